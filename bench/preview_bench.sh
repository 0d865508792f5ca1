#!/usr/bin/env bash
# The Preview page against pygmentize's RTF formatter on the same files, in the same run:
#   a 3.9 MB Pascal file (fpc-source units) and a 3.9 MB HTML file (pydoc pages), both below
#   the preview's 4 MiB bound: bqlite --json --page Preview vs pygmentize -f rtf.
#   Target: at most 0.1 of pygmentize's time; peak RSS on a 1 GiB text file below 64 MiB.
#
#   bench/preview_bench.sh [BQLITE] [RUNS]
# Each time is the best of RUNS runs after a warm-up; exit status 1 when a target is missed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tool=${1:-$here/../build/linux/bqlite}
runs=${2:-3}
pyg=/usr/bin/pygmentize  # Debian's python3-pygments
for cmd in "$tool" "$pyg" /usr/bin/time; do
  [ -x "$cmd" ] || { echo "preview_bench: $cmd not found (scripts/install-deps.sh test)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
size=3900000
{ echo "unit Bench;"; while cat /usr/share/fpcsrc/3.2.2/rtl/objpas/*.pp /usr/share/fpcsrc/3.2.2/rtl/inc/*.inc; do :; done; } 2>/dev/null \
  | head -c $size > "$work/bench.pas" || true
for m in json os re collections argparse typing pathlib subprocess; do
  (cd "$work" && /usr/bin/python3 -m pydoc -w "$m" >/dev/null 2>&1) || true
done
cp /usr/share/doc/base-passwd/users-and-groups.html "$work/" 2>/dev/null || true
ls "$work"/*.html >/dev/null 2>&1 || { echo "preview_bench: no HTML pages to build the HTML file from" >&2; exit 2; }
{ while cat "$work"/*.html; do :; done; } 2>/dev/null | head -c $size > "$work/bench.htm" || true
rm -f "$work"/*.html

best() {  # best wall time in ms of "$@" over $runs runs, after one warm-up
  "$@" >/dev/null 2>&1
  local b=999999999 i s e
  for ((i = 0; i < runs; i++)); do
    s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N)
    (( (e - s) / 1000000 < b )) && b=$(( (e - s) / 1000000 ))
  done
  echo "$b"
}

status=0
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); best of $runs runs"
for f in bench.pas:delphi bench.htm:html; do
  file=$work/${f%%:*}; lexer=${f##*:}
  ours=$(best "$tool" --json --page Preview "$file")
  theirs=$(best "$pyg" -f rtf -l "$lexer" "$file")
  ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.3f", a / b }')
  verdict=ok; awk -v r="$ratio" 'BEGIN { exit !(r > 0.1) }' && { verdict=MISSED; status=1; }
  printf '%-9s %d bytes: bqlite %6d ms, pygmentize -f rtf %6d ms, ratio %s (target <= 0.1) %s\n' \
    "${f%%:*}" "$(stat -c %s "$file")" "$ours" "$theirs" "$ratio" "$verdict"
done

# Peak memory on a 1 GiB text file: 8 MiB of text lines, the rest a sparse tail.
big=$work/huge.txt
awk 'BEGIN { for (i = 0; i < 140000; i++) print "log line " i ": the quick brown fox jumps over the lazy dog" }' > "$big"
truncate -s 1G "$big"
kib=$(/usr/bin/time -f %M "$tool" --json --page Preview "$big" 2>&1 >/dev/null | tail -1)
verdict=ok; [ "$kib" -ge 65536 ] && { verdict=MISSED; status=1; }
echo "1 GiB text file: peak RSS $((kib / 1024)) MiB (target < 64 MiB) $verdict"
exit $status
