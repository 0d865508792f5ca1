#!/usr/bin/python3
"""Independent readings of audio files, as lines FILE<TAB>GROUP<TAB>LABEL<TAB>VALUE that their
Audio pages must show: mutagen for ID3v1/ID3v2, Vorbis comments, Ogg durations, FLAC
STREAMINFO and the MPEG header with its Xing frame count and bitrate mode; ffprobe for the
frames of MP3 files without a Xing header, the wave format and its duration; exiftool for RIFF
INFO (UTF-8 text as such), the Opus channels and the AIFF channels, rates, sample sizes and durations (again);
exiftool for the Opus input rate and gain and the AIFF-C compression and text
chunks; mutagen for Opus, Ogg FLAC and AIFF streams, APEv2 items and the ID3v2 frames users
read (comments, user texts, URLs, lyrics, ratings, private frames; ID3v2.2 ids through
mutagen's own 2.2 frame classes).
A label "=Comment [eng]" compares a value written with Python escapes (line breaks); "@WOAR"
stands for the URL frame's label. An ID3v2 label "#TIT2" stands for the frame's description ("~TCON": the ";"-separated parts
compared as a set); a wave tag label "*" for any; a label "%Bitrate" for a number within 3 %."""
import json
import math
import os
import subprocess
import sys

import mutagen
from mutagen.flac import FLAC
from mutagen.id3 import ID3, ParseID3v1, ID3NoHeaderError
from mutagen.mp3 import MP3, BitrateMode, XingHeader, XingHeaderError
from mutagen.oggvorbis import OggVorbis
from mutagen.oggopus import OggOpus
from mutagen.oggflac import OggFLAC
from mutagen.aiff import AIFF
from mutagen.apev2 import APEv2, APENoHeaderError

MODES = ["Stereo", "Joint Stereo", "Dual channel", "Mono"]


current = ""


def out(group, label, value):
    value = str(value)
    if "\n" in value:  # a line break is written as \n under a "=" label
        label = label if label.startswith("=") else "=" + label
        value = value.replace("\n", "\\n")
    print(f"{current}\t{group}\t{label}\t{value}")


def mpeg(path):
    try:
        info = MP3(path).info
    except Exception:
        return
    if info.layer != 3:
        return
    out("MPEG stream", "Container", f"MPEG-{int(info.version)} Layer 3")
    out("MPEG stream", "Samplerate", f"{info.sample_rate} Hz")
    out("MPEG stream", "Channel Mode", MODES[info.mode])
    # The Xing header sits after the side information of the first frame.
    with open(path, "rb") as f:
        side = (32 if info.mode != 3 else 17) if info.version == 1 else (17 if info.mode != 3 else 9)
        f.seek(info.frame_offset + 4 + side)
        try:
            xing = XingHeader(f)
        except XingHeaderError:
            xing = None
    if xing is not None and not xing.is_info and xing.frames != -1:
        out("MPEG stream", "Framecount", xing.frames)
    if info.bitrate_mode != BitrateMode.UNKNOWN:  # from the Xing/Info header
        out("MPEG stream", "Bitrate mode", "CBR" if info.bitrate_mode == BitrateMode.CBR else "VBR")
    # Duration and average bitrate: the header's frame count and byte count, or else every
    # frame ffprobe finds and the audio's bytes (the file less its tags).
    samples = 1152 if info.version == 1 else 576
    size = os.path.getsize(path)
    with open(path, "rb") as f:
        f.seek(-128, 2)
        if f.read(3) == b"TAG":
            size -= 128
        f.seek(size - 32)
        footer = f.read(32)  # an APEv2 tag before it is not audio either
        if footer[:8] == b"APETAGEX":
            size -= int.from_bytes(footer[12:16], "little") + (32 if footer[23] & 0x80 else 0)
    audio = size - info.frame_offset
    if xing is not None and xing.frames > 0:
        frames, audio = xing.frames, xing.bytes if xing.bytes > 0 else audio
    else:
        probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-count_packets",
                                "-show_entries", "stream=nb_read_packets",
                                "-of", "csv=p=0", path], capture_output=True, text=True)
        frames = int(probe.stdout.strip().split(",")[0])
    seconds = frames * samples / info.sample_rate
    out("MPEG stream", "%Duration", seconds * 1000)
    out("MPEG stream", "%Bitrate", audio * 8 / seconds / 1000)


def id3(path):
    with open(path, "rb") as f:
        f.seek(0, 2)
        if f.tell() >= 128:
            f.seek(-128, 2)
            v1 = ParseID3v1(f.read(128))
            if v1:
                text = lambda k: str(v1[k]) if k in v1 else ""
                out("ID3v1 tags", "Artist", text("TPE1"))
                out("ID3v1 tags", "Title", text("TIT2"))
                out("ID3v1 tags", "Album", text("TALB"))
                out("ID3v1 tags", "Comment", text("COMM"))
                out("ID3v1 tags", "Track", text("TRCK") or "0")
    try:
        tag = ID3(path, translate=False, load_v1=False)
    except ID3NoHeaderError:
        return
    id3_frames(tag, "ID3v2 tags")


def id3_frames(tag, group):
    for frame in tag.values():
        fid = frame.FrameID
        if len(fid) == 3:  # an ID3v2.2 frame: mutagen's class derives from its 2.3 form
            fid = type(frame).__base__.__name__
        if fid in ("COMM", "USLT"):
            what = "Comment" if fid == "COMM" else "Lyrics"
            label = what + (f" [{frame.lang}]" if frame.lang else "") + (f": {frame.desc}" if frame.desc else "")
            text = str(frame.text if fid == "USLT" else "\0".join(frame.text)).strip()
            if fid == "USLT":
                text = text.replace("\r\n", "\n").replace("\r", "\n")[:4096]
            out(group, label, text)
        elif fid == "TXXX":
            out(group, label_or(frame.desc, "User defined text"), "\0".join(frame.text))
        elif fid == "WXXX":
            out(group, label_or(frame.desc, "User defined URL"), frame.url)
        elif fid.startswith("W"):
            out(group, "@" + fid, frame.url)
        elif fid == "POPM":
            who = f" ({frame.email})" if frame.email else ""
            out(group, "Rating" + who, f"{frame.rating}/255")
            if getattr(frame, "count", None) is not None:
                out(group, "Play counter" + who, frame.count)
        elif fid == "PRIV":
            out(group, "Private data", frame.owner)
        if fid.startswith("T") and fid != "TXXX":
            if fid == "TCON":
                # mutagen lists referenced genres before the refinement text: compare as a set.
                out("ID3v2 tags", "~" + fid, ";".join(sorted(frame.genres)))
            else:
                out("ID3v2 tags", "#" + fid, "\0".join(str(t) for t in frame.text))


def label_or(text, other):
    return text if text else other


def vorbis(path):
    try:
        f = mutagen.File(path)
    except Exception:
        return
    if isinstance(f, OggVorbis):
        out("OGG/FLAC stream", "Container", "Ogg container")
        out("OGG/FLAC stream", "Channels", f.info.channels)
        out("OGG/FLAC stream", "Samplerate", f"{f.info.sample_rate} Hz")
        # mutagen's own bitrate falls back on other fields: the header's nominal one is read here.
        with open(path, "rb") as raw:
            head = raw.read(4096)
        at = head.find(b"\x01vorbis")
        nominal = int.from_bytes(head[at + 20:at + 24], "little", signed=True)
        if nominal > 0:
            out("OGG/FLAC stream", "Bitrate (nominal)", nominal)
        else:
            out("OGG/FLAC stream", "%Bitrate (average)", os.path.getsize(path) * 8 / f.info.length)
        out("OGG/FLAC stream", "%Duration", f.info.length * 1000)
    elif isinstance(f, OggOpus):
        out("OGG/FLAC stream", "Container", "Ogg container")
        out("OGG/FLAC stream", "Codec", "Opus")
        out("OGG/FLAC stream", "Channels", f.info.channels)
        out("OGG/FLAC stream", "Pre-skip", f.info._OggOpusInfo__pre_skip)
        out("OGG/FLAC stream", "%Duration", f.info.length * 1000)
        exif = exif_of(path)
        out("OGG/FLAC stream", "Input samplerate", f"{exif['SampleRate']} Hz")
        out("OGG/FLAC stream", "%Output gain", 20 * math.log10(float(exif["OutputGain"])))
        # ffprobe's duration counts the pre-skip samples too: only its channel count is taken.
        stream, _ = probe(path)
        out("OGG/FLAC stream", "Channels", stream["channels"])
    elif isinstance(f, OggFLAC):
        i = f.info
        out("OGG/FLAC stream", "Container", "Ogg container")
        out("OGG/FLAC stream", "Codec", "FLAC")
        out("OGG/FLAC stream", "Channels", i.channels)
        out("OGG/FLAC stream", "Samplerate", f"{i.sample_rate} Hz")
        out("OGG/FLAC stream", "Bits/sample", i.bits_per_sample)
        out("OGG/FLAC stream", "Length", f"{i.total_samples // i.sample_rate} seconds")
        out("OGG/FLAC stream", "%Duration", i.length * 1000)
    elif isinstance(f, FLAC):
        i = f.info
        out("OGG/FLAC stream", "Container", "Native flac")
        out("OGG/FLAC stream", "Channels", i.channels)
        out("OGG/FLAC stream", "Samplerate", f"{i.sample_rate} Hz")
        out("OGG/FLAC stream", "Bits/sample", i.bits_per_sample)
        out("OGG/FLAC stream", "Length", f"{i.total_samples // i.sample_rate} seconds")
        out("OGG/FLAC stream", "MD5", f"{i.md5_signature:032X}")
    else:
        return
    if f.tags is None:
        return
    last = {}
    for key, value in f.tags:  # a repeated name keeps its last value
        last[key.upper()] = value
    for key, value in last.items():
        if value:
            out("VorbisComments tags", key.capitalize(), value)


def probe(path):
    """ffprobe's first stream and the format's duration in seconds."""
    result = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                             "stream=channels,sample_rate,bits_per_sample:format=duration",
                             "-of", "json", path], capture_output=True, text=True)
    doc = json.loads(result.stdout or "{}")
    streams = doc.get("streams") or [{}]
    return streams[0], float(doc.get("format", {}).get("duration", 0))


def exif_of(path):
    return json.loads(subprocess.run(["exiftool", "-j", path], capture_output=True, text=True).stdout)[0]


def aiff(path):
    f = AIFF(path)
    i = f.info
    exif = exif_of(path)
    group = "AIFF stream"
    out(group, "Channels", i.channels)
    out(group, "Sample frames", exif["NumSampleFrames"])
    out(group, "Sample size", f"{i.sample_size} bits")
    out(group, "Samplerate", f"{i.sample_rate} Hz")
    out(group, "%Duration", i.length * 1000)
    stream, seconds = probe(path)
    out(group, "Channels", stream["channels"])
    out(group, "Samplerate", f"{stream['sample_rate']} Hz")
    out(group, "Sample size", f"{stream['bits_per_sample']} bits")
    out(group, "%Duration", seconds * 1000)
    if "CompressionType" in exif:
        with open(path, "rb") as raw:
            at = raw.read(4096).find(b"COMM")
            raw.seek(at + 8 + 18)
            fourcc = raw.read(4).decode("latin-1")
        out(group, "Compression type", f"{fourcc} ({exif['CompressorName']})" if exif.get("CompressorName") else fourcc)
    for key, caption in (("Name", "Name"), ("Author", "Author"), ("Annotation", "Annotation"), ("Copyright", "Copyright")):
        if key in exif:
            out("AIFF tags", caption, exif[key])
    if f.tags is not None:
        id3_frames(f.tags, "ID3v2 tags")


def ape(path):
    try:
        tag = APEv2(path)
    except APENoHeaderError:
        return
    for key, value in tag.items():
        if value.kind == 1:  # binary
            out("APE tags", key, f"<binary, {len(value.value)} bytes>")
        else:
            out("APE tags", key, "; ".join(list(value)))


def wave(path):
    probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=channels,sample_rate,bits_per_sample,duration",
                            "-of", "json", path], capture_output=True, text=True)
    streams = json.loads(probe.stdout or "{}").get("streams", [])
    if not streams:
        return
    s = streams[0]
    out("Wave stream", "Channels", s["channels"])
    out("Wave stream", "Samplerate", f"{s['sample_rate']} Hz")
    out("Wave stream", "Bits/sample", s["bits_per_sample"])
    out("Wave stream", "%Duration", float(s["duration"]) * 1000)
    info = riff_info.get(path, {})
    skip = {"SourceFile", "NumberOfSamples", "Encoding", "NumChannels", "SampleRate", "AvgBytesPerSec", "BitsPerSample"}
    for k, v in info.items():
        if k not in skip:
            out("Wave tags", "*", v)


paths = sys.argv[1:]
waves = [p for p in paths if p.lower().endswith(".wav")]
riff_info = {}
if waves:  # one exiftool run for all of them
    for entry in json.loads(subprocess.run(["exiftool", "-charset", "RIFF=UTF8", "-j", "-RIFF:all"] + waves, capture_output=True, text=True).stdout):
        riff_info[entry["SourceFile"]] = entry
for path in paths:
    current = path
    if path.lower().endswith(".mp3"):
        mpeg(path)
        id3(path)
    elif path.lower().endswith((".ogg", ".flac", ".opus", ".oga")):
        vorbis(path)
    elif path.lower().endswith((".aif", ".aiff", ".aifc")):
        aiff(path)
    elif path.lower().endswith(".wav"):
        wave(path)
    if path.lower().endswith((".mp3", ".wv", ".ape", ".mpc")):
        ape(path)
