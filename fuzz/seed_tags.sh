#!/usr/bin/env bash
# Seeds for fuzz_tags: short files made by lame, mutagen, oggenc, opusenc, flac, sox, wavpack
# and ffmpeg, and an ID3v2.2 tag built by hand.
#   fuzz/seed_tags.sh [CORPUS_DIR]   (default build/fuzz/corpus/fuzz_tags)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/fuzz/corpus/fuzz_tags}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
sox -n -b 16 -r 8000 -c 1 t.wav synth 0.05 sine 440
lame --quiet -b 8 --tt Title --ta Artist --tl Album --ty 2004 --tn 3/12 --tg Rock --tc Comment t.wav "$out/id3v1v2.mp3"
lame --quiet -V 9 --tt Variable t.wav "$out/vbr.mp3"
lame --quiet -b 8 --id3v1-only --tt One t.wav "$out/v1.mp3"
lame --quiet -V 9 -t t.wav "$out/vbr-noxing.mp3"
cp "$out/v1.mp3" "$work/m.mp3"
/usr/bin/python3 "$root/tests/tags/make_id3_fixture.py" "$work/m.mp3" 4 && cp "$work/m.mp3" "$out/mutagen24.mp3"
/usr/bin/python3 "$root/tests/tags/make_id3_fixture.py" "$work/m.mp3" 3 && cp "$work/m.mp3" "$out/mutagen23.mp3"
oggenc -Q -c TITLE=Song -c ARTIST=Band t.wav -o "$out/a.ogg"
flac -s -f -T TITLE=Song t.wav -o "$out/a.flac"
ffmpeg -loglevel error -y -i t.wav -metadata title=Bänd -metadata artist=Odd "$out/info.wav"
ffmpeg -loglevel error -y -i t.wav -ac 2 -c:a vorbis -strict -2 "$out/native.ogg"
sox -n -e mu-law -r 8000 -c 1 "$out/ulaw.wav" synth 0.02 sine 300
opusenc --quiet --title Song --artist Band t.wav "$out/a.opus"
flac -s -f --ogg -T TITLE=Song t.wav -o "$out/a.oga"
sox t.wav "$out/a.aiff"
sox t.wav -e signed -t aifc "$out/a.aifc"
ffmpeg -loglevel error -y -i t.wav -write_id3v2 1 -metadata title=Id3 "$out/id3.aiff"
/usr/bin/python3 "$root/tests/tags/make_id3v22_fixture.py" "$out/v1.mp3" "$out/v22.mp3"
cp "$out/v1.mp3" "$out/ape-v1.mp3" && /usr/bin/python3 "$root/tests/tags/make_ape_fixture.py" "$out/ape-v1.mp3" --id3v1
wavpack -q t.wav -o w.wv && /usr/bin/python3 "$root/tests/tags/make_ape_fixture.py" w.wv && cp w.wv "$out/a.wv"
/usr/bin/python3 - "$out/ape-header.mp3" <<'PY'
import struct, sys
# An APEv2 tag at the start, with a header, as some Monkey's Audio writers place it.
item = struct.pack("<II", 4, 0) + b"Title\0" + b"Head"
footer = lambda flags: b"APETAGEX" + struct.pack("<IIII", 2000, len(item) + 32, 1, flags) + bytes(8)
open(sys.argv[1], "wb").write(footer(0xA0000000) + item + footer(0x80000000) + bytes(64))
PY
# MP4 with iTunes items and covers, pictures in FLAC, Ogg and ID3v2; small covers keep them short.
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=8x8 -frames:v 1 c.png
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=8x8 -frames:v 1 c.jpg
ffmpeg -loglevel error -y -i t.wav -c:a aac -b:a 16k "$out/aac.m4a"
ffmpeg -loglevel error -y -i t.wav -c:a alac "$out/alac.m4a"
for f in aac alac; do /usr/bin/python3 "$root/tests/tags/make_picture_fixtures.py" m4a "$out/$f.m4a" c.jpg c.png; done
flac -s -f t.wav -o "$out/pic.flac" && metaflac --import-picture-from='3|image/png|||c.png' "$out/pic.flac"
cp "$out/a.ogg" "$out/pic.ogg" && /usr/bin/python3 "$root/tests/tags/make_picture_fixtures.py" ogg "$out/pic.ogg" c.jpg c.png
cp "$out/v1.mp3" "$out/apic.mp3" && /usr/bin/python3 "$root/tests/tags/make_picture_fixtures.py" mp3 "$out/apic.mp3" c.jpg c.png
cp c.png c.jpg "$out/"
ls "$out" | wc -l
