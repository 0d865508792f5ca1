#!/usr/bin/python3
"""Independent readings of MP4 streams, MP4 tags and embedded pictures, as lines
FILE<TAB>GROUP<TAB>LABEL<TAB>VALUE the Audio page must show: mutagen for the MP4 tags, the
pictures (type, MIME type, bytes) and the stream's codec, channels, sample rate and mdhd
duration; ffprobe for the codec, channels, sample rate, bitrate and duration; exiftool for the
pictures' sizes. Each picture's bytes are written beside the file as FILE.picN.
A label "%Bitrate" stands for a number within 3 %, "@Duration" for one within 30 ms, "#N" for
the Nth row of the group."""
import json
import subprocess
import sys

from mutagen import File
from mutagen.flac import FLAC, Picture
from mutagen.id3 import ID3
from mutagen.mp4 import MP4, MP4Cover

TYPES = ["Other", "File icon", "Other file icon", "Front cover", "Back cover", "Leaflet page", "Media",
         "Lead artist", "Artist", "Conductor", "Band", "Composer", "Lyricist", "Recording location",
         "During recording", "During performance", "Movie screen capture", "Bright coloured fish",
         "Illustration", "Band logotype", "Publisher logotype"]


def out(path, group, label, value):
    print(f"{path}\t{group}\t{label}\t{value}")


def pictures(path):
    """(type, mime, bytes) in the page's order: APIC, FLAC blocks and comment pictures, covr."""
    found = []
    if path.endswith(".mp3"):
        for frame in ID3(path).getall("APIC"):
            found.append((frame.type, frame.mime, frame.data))
    elif path.endswith(".flac"):
        for p in FLAC(path).pictures:
            found.append((p.type, p.mime, p.data))
    elif path.endswith(".ogg") or path.endswith(".opus"):
        import base64
        for b in File(path).get("metadata_block_picture", []):
            p = Picture(base64.b64decode(b))
            found.append((p.type, p.mime, p.data))
    elif path.endswith(".m4a"):
        for c in MP4(path).get("covr", []):
            mime = "image/jpeg" if c.imageformat == MP4Cover.FORMAT_JPEG else "image/png"
            found.append((3, mime, bytes(c)))
    return found


def mp4(path):
    m = MP4(path)
    info = m.info
    codec = {"mp4a.40.2": "AAC LC", "mp4a.40.5": "HE-AAC", "mp4a.40.29": "HE-AACv2", "alac": "ALAC"}[info.codec]
    out(path, "MP4 stream", "Codec", codec)
    out(path, "MP4 stream", "Channels", info.channels)
    out(path, "MP4 stream", "Samplerate", f"{info.sample_rate} Hz")
    out(path, "MP4 stream", "Duration", round(info.length * 1000))
    probe = json.loads(subprocess.run(["ffprobe", "-v", "error", "-show_format", "-show_streams", "-of", "json", path],
                                      capture_output=True, check=True).stdout)
    audio = [s for s in probe["streams"] if s["codec_type"] == "audio"][0]
    name = {"aac": "AAC " + audio.get("profile", ""), "alac": "ALAC"}[audio["codec_name"]]
    out(path, "MP4 stream", "Codec", name)
    out(path, "MP4 stream", "Channels", audio["channels"])
    out(path, "MP4 stream", "Samplerate", f"{audio['sample_rate']} Hz")
    out(path, "MP4 stream", "%Bitrate", int(audio["bit_rate"]) / 1000)
    out(path, "MP4 stream", "@Duration", float(audio["duration"]) * 1000)
    labels = {"\xa9nam": "Title", "\xa9ART": "Artist", "aART": "Album artist", "\xa9alb": "Album", "\xa9day": "Year",
              "\xa9gen": "Genre", "\xa9cmt": "Comment", "\xa9wrt": "Composer", "\xa9too": "Encoder"}
    for key, value in m.tags.items():
        if key in labels:
            out(path, "MP4 tags", labels[key], "; ".join(value))
        elif key in ("trkn", "disk"):
            n, total = value[0]
            out(path, "MP4 tags", "Track" if key == "trkn" else "Disc", f"{n}/{total}" if total else n)
        elif key == "cpil":
            out(path, "MP4 tags", "Compilation", "Yes" if value else "No")
        elif key == "tmpo":
            out(path, "MP4 tags", "BPM", value[0])
        elif key.startswith("----:"):
            out(path, "MP4 tags", key.split(":", 2)[2], "; ".join(bytes(v).decode() for v in value))


def main():
    files = sys.argv[1:]
    rows = []  # (path, index, type, mime, size, picture file)
    for path in files:
        if path.endswith(".m4a"):
            mp4(path)
        for n, (ptype, mime, data) in enumerate(pictures(path), 1):
            name = f"{path}.pic{n}"
            with open(name, "wb") as f:
                f.write(data)
            rows.append((path, n, ptype, mime, len(data), name))
    if not rows:
        return
    sizes = {e["SourceFile"]: e for e in json.loads(subprocess.run(
        ["exiftool", "-j", "-ImageWidth", "-ImageHeight"] + [r[5] for r in rows], capture_output=True, check=True).stdout)}
    for path, n, ptype, mime, size, name in rows:
        e = sizes[name]
        out(path, "Pictures", f"#{n}", f"{TYPES[ptype]}\t{mime}, {e['ImageWidth']} \u00d7 {e['ImageHeight']}, {size} bytes")


main()
