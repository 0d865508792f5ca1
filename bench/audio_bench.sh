#!/usr/bin/env bash
# The Audio page over 1000 small tagged files (300 MP3 by lame: 1 s, mono, 32 kbit/s, ID3v2 +
# ID3v1; 250 Opus by opusenc; 250 FLAC by flac; 200 M4A by ffmpeg, AAC with iTunes items and two
# covers set by mutagen) against a python3-mutagen loop reading the same tags and stream values,
# timed in the same run; and the page's peak memory on a 1 GiB MP3, Opus and M4A file.
# Targets: bqlite / mutagen <= 0.25, peak RSS < 16 MiB.
#
#   bench/audio_bench.sh [BQLITE] [RUNS]
# BQLITE defaults to build/linux/bqlite. Each time is the best of RUNS interleaved runs after a
# warm-up. The files are made once and kept in build/bench-audio. Exit status 1 when a target
# is missed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tool=${1:-$here/../build/linux/bqlite}
runs=${2:-5}
python=/usr/bin/python3  # Debian's, with python3-mutagen
for cmd in "$tool" lame sox opusenc flac ffmpeg "$python"; do
  command -v "$cmd" >/dev/null || { echo "audio_bench: $cmd not found" >&2; exit 2; }
done
"$python" -c 'import mutagen' || { echo "audio_bench: python3-mutagen missing" >&2; exit 2; }

cache=$here/../build/bench-audio
files=$cache/mixed
if [ ! -f "$cache/done-mixed-m4a" ]; then
  rm -rf "$cache"; mkdir -p "$files"
  sox -n -b 16 -r 44100 -c 1 "$cache/tone.wav" synth 1 sine 440
  ffmpeg -loglevel error -y -f lavfi -i testsrc=size=64x64 -frames:v 1 "$cache/cover.png"
  # Ten different tags, each copied to 30 MP3, 25 Opus, 25 FLAC and 20 M4A names.
  for i in $(seq 0 9); do
    lame --quiet -b 32 -m m --add-id3v2 --tt "Title $i" --ta "Artist $i" --tl "Album $i" --ty $((2000 + i)) \
      --tn "$i/10" --tg Rock --tc "Comment $i" "$cache/tone.wav" "$cache/t$i.mp3"
    opusenc --quiet --bitrate 32 --title "Title $i" --artist "Artist $i" --album "Album $i" --date $((2000 + i)) \
      --tracknumber "$i" --genre Rock "$cache/tone.wav" "$cache/t$i.opus"
    flac -s -f -T "TITLE=Title $i" -T "ARTIST=Artist $i" -T "ALBUM=Album $i" -T "DATE=$((2000 + i))" \
      -T "TRACKNUMBER=$i" -T GENRE=Rock "$cache/tone.wav" -o "$cache/t$i.flac"
    ffmpeg -loglevel error -y -i "$cache/tone.wav" -c:a aac -b:a 32k -movflags faststart -metadata "title=Title $i" \
      -metadata "artist=Artist $i" "$cache/t$i.m4a"
    "$python" "$here/../tests/tags/make_picture_fixtures.py" m4a "$cache/t$i.m4a" "$cache/cover.png" "$cache/cover.png"
    for j in $(seq -w 0 29); do cp "$cache/t$i.mp3" "$files/f$i$j.mp3"; done
    for j in $(seq -w 0 24); do cp "$cache/t$i.opus" "$files/f$i$j.opus"; cp "$cache/t$i.flac" "$files/f$i$j.flac"; done
    for j in $(seq -w 0 19); do cp "$cache/t$i.m4a" "$files/f$i$j.m4a"; done
  done
  truncate -s 1G "$cache/big.mp3"
  dd if="$cache/t0.mp3" of="$cache/big.mp3" conv=notrunc status=none
  truncate -s 1G "$cache/big.opus"
  dd if="$cache/t0.opus" of="$cache/big.opus" conv=notrunc status=none
  # The M4A's atoms first, then zeros: an atom of size 0 that runs to the end.
  truncate -s 1G "$cache/big.m4a"
  dd if="$cache/t0.m4a" of="$cache/big.m4a" conv=notrunc status=none
  touch "$cache/done-mixed-m4a"
fi
cat "$files"/* > /dev/null  # into the page cache

cat > "$cache/mutagen_loop.py" <<'PY'
import sys
from mutagen.flac import FLAC
from mutagen.mp3 import MP3
from mutagen.mp4 import MP4
from mutagen.oggopus import OggOpus
n = 0
for path in sys.argv[1:]:
    if path.endswith(".m4a"):
        f = MP4(path)  # the first audio track's esds and mdhd, the ilst items with the covers
        i = f.info
        values = [i.codec, i.channels, i.sample_rate, i.bitrate, i.length]
        values += [str(v) if k != "covr" else [len(c) for c in v] for k, v in f.tags.items()]
    elif path.endswith(".mp3"):
        f = MP3(path)  # ID3v2 with the ID3v1 merged in, and the first frame with its Xing/Info header
        i = f.info
        values = [i.version, i.layer, i.bitrate, i.sample_rate, i.mode, i.length]
        values += [str(frame) for frame in f.tags.values()]
    elif path.endswith(".opus"):
        f = OggOpus(path)  # OpusHead, OpusTags and the last page's granule position
        values = [f.info.channels, f.info.length] + list(f.tags)
    else:
        f = FLAC(path)  # STREAMINFO and VORBIS_COMMENT
        i = f.info
        values = [i.channels, i.sample_rate, i.bits_per_sample, i.total_samples, i.md5_signature] + list(f.tags)
    n += len(values)
print(n)
PY

list=("$files"/*)
[ ${#list[@]} -eq 1000 ] || { echo "audio_bench: expected 1000 files, found ${#list[@]}" >&2; exit 2; }
ours=$("$tool" --each --page Audio "${list[@]}" | grep -cE '^(ID3v2 tags|VorbisComments tags|MP4 tags)$')
[ "$ours" = 1000 ] || { echo "audio_bench: bqlite showed $ours tag groups, not 1000" >&2; exit 1; }
covers=$("$tool" --each --page Audio "${list[@]}" | grep -c '^  Front cover ')
[ "$covers" = 400 ] || { echo "audio_bench: bqlite showed $covers covers, not 400" >&2; exit 1; }

time_once() {  # seconds of one run of "$@"
  local t0 t1
  t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l
}
best_a="" best_b=""
"$python" "$cache/mutagen_loop.py" "${list[@]}" >/dev/null  # warm-up
for _ in $(seq "$runs"); do
  a=$(time_once "$python" "$cache/mutagen_loop.py" "${list[@]}")
  b=$(time_once "$tool" --each --page Audio "${list[@]}")
  if [ -z "$best_a" ] || [ "$(echo "$a < $best_a" | bc -l)" = 1 ]; then best_a=$a; fi
  if [ -z "$best_b" ] || [ "$(echo "$b < $best_b" | bc -l)" = 1 ]; then best_b=$b; fi
done

echo "1000 files (300 MP3 by lame, 1 s mono 32 kbit/s, ID3v2 + ID3v1; 250 Opus; 250 FLAC; 200 M4A, AAC, iTunes items, 2 covers), cached; load average: $(cut -d' ' -f1-3 /proc/loadavg); best of $runs runs"
printf '(a) %-52s %7.3f s\n' "python3-mutagen: MP3/OggOpus/FLAC/MP4 tags + info" "$best_a"
printf '(b) %-52s %7.3f s\n' "bqlite --each --page Audio" "$best_b"

fail=0
check() {  # check NAME VALUE OP LIMIT
  if [ "$(echo "$2 $3 $4" | bc -l)" = 1 ]; then verdict=ok; else verdict=MISSED; fail=1; fi
  printf '%-28s %8s  (target %s %s)  %s\n' "$1" "$2" "$3" "$4" "$verdict"
}
check "b/a" "$(printf '%.3f' "$(echo "$best_b / $best_a" | bc -l)")" "<=" 0.25
if [ -x /usr/bin/time ]; then
  for big in big.mp3 big.opus big.m4a; do
    /usr/bin/time -v "$tool" --page Audio "$cache/$big" > /dev/null 2> "$cache/rss.txt"
    rss_kib=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$cache/rss.txt")
    check "peak RSS, 1 GiB $big, MiB" "$(printf '%.1f' "$(echo "$rss_kib / 1024" | bc -l)")" "<" 16
  done
fi
exit $fail
