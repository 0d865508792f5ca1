#!/usr/bin/env bash
# The Archive page on archives of 100,000 entries against bsdtar listing the same file:
#   (a) bsdtar -tvf FILE          (b) bqlite --page Archive FILE
# Targets: b/a <= 0.2 on a ZIP (the central directory is read in one piece); b/a <= 1.0 on a
# .tar.gz and a .tar.xz (both decode the whole stream and walk every header); b/a <= 0.2 on a 7z
# (one packed header to decode and walk).
#
#   bench/archive_bench.sh [BQLITE] [RUNS]
# BQLITE defaults to build/linux/bqlite. The archives are made once (Python zipfile, tarfile, 7z)
# and kept in build/bench-archive/. Each time is the best of RUNS interleaved runs after a
# warm-up, so that other load on the machine inflates it as little as possible; exit status 1
# when a target is missed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tool=${1:-$here/../build/linux/bqlite}
runs=${2:-7}
for cmd in "$tool" bsdtar python3; do
  command -v "$cmd" >/dev/null || { echo "archive_bench: $cmd not found" >&2; exit 2; }
done

cache=$here/../build/bench-archive
mkdir -p "$cache"
python3 -c "
import sys; sys.path.insert(0, '$here/../tests/archive')
import make_fixtures; make_fixtures.make_many('$cache/many.zip'); make_fixtures.make_many_tar('$cache/many.tar.gz')"

best() { sort -g | head -1; }
# One run: "wall cpu" in seconds (cpu = user + system, which other load on the machine barely
# touches; the wall time is what a person waits).
time_once() {
  python3 "$(dirname "$0")/runtime.py" "$@" | awk '{printf "%.4f %.4f\n", $1 / 1000, $2 / 1000}'
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
missed=0

# bench FILE TARGET
bench() {
  local file=$1 target=$2
  cat "$file" > /dev/null  # into the page cache
  # Both list every entry.
  local ours theirs
  ours=$("$tool" --page Archive "$file" | grep -c '\.txt ')
  theirs=$(bsdtar -tvf "$file" | grep -c '\.txt$')
  [ "$ours" = 100000 ] && [ "$theirs" = 100000 ] || { echo "archive_bench: $file: $ours vs $theirs entries" >&2; exit 1; }
  "$tool" --page Archive "$file" >/dev/null; bsdtar -tvf "$file" >/dev/null  # warm-up
  : > "$work/a"; : > "$work/b"
  for _ in $(seq "$runs"); do
    time_once bsdtar -tvf "$file" >> "$work/a"
    time_once "$tool" --page Archive "$file" >> "$work/b"
  done
  local wa ca wb cb rw rc
  wa=$(cut -d' ' -f1 "$work/a" | best); ca=$(cut -d' ' -f2 "$work/a" | best)
  wb=$(cut -d' ' -f1 "$work/b" | best); cb=$(cut -d' ' -f2 "$work/b" | best)
  printf 'file: %s, 100,000 entries, %d bytes; load average: %s; best of %d runs\n' "$(basename "$file")" \
    "$(stat -c %s "$file")" "$(cut -d' ' -f1-3 /proc/loadavg)" "$runs"
  printf '                              wall      cpu\n'
  printf '(a) bsdtar -tvf              %6.3f s  %6.3f s\n' "$wa" "$ca"
  printf '(b) bqlite --page Archive    %6.3f s  %6.3f s\n' "$wb" "$cb"
  rw=$(echo "$wb / $wa" | bc -l); rc=$(echo "$cb / $ca" | bc -l)
  theirs_cpu=$ca
  printf 'b/a = %.3f wall, %.3f cpu (target <= %s)\n\n' "$rw" "$rc" "$target"
  [ "$(echo "$rw <= $target || $rc <= $target" | bc -l)" = 1 ] || missed=1
}

bench "$cache/many.zip" 0.2
bench "$cache/many.tar.gz" 1.0
# The same tar in xz (LZMA2): the stream is decoded once, front to back, as bsdtar does.
[ -f "$cache/many.tar.xz" ] || { gzip -dc "$cache/many.tar.gz" | xz -6 -T1 > "$cache/many.tar.xz.tmp" && mv "$cache/many.tar.xz.tmp" "$cache/many.tar.xz"; }
bench "$cache/many.tar.xz" 1.0
# A 7z of 100,000 small files in one solid LZMA2 block: its packed header (names, sizes, times,
# attributes, CRCs) is decoded and walked.
[ -f "$cache/many.7z" ] || python3 -c "
import sys; sys.path.insert(0, '$here/../tests/archive')
import make_7z_fixtures; make_7z_fixtures.make_many('$cache/many.7z')"
bench "$cache/many.7z" 0.2
# What both listers must do first: decode the packed header (LZMA). Here liblzma, bsdtar's own
# decoder, does it alone, in this process; the ratio is a floor under any lister's.
read -r ms packed unpacked < <(python3 "$here/sevenzip_header.py" "$cache/many.7z" "$runs")
printf '(c) its packed header alone (%d to %d bytes), liblzma: %.3f s = %.3f of (a)\n' "$packed" "$unpacked" \
  "$(echo "$ms / 1000" | bc -l)" "$(echo "$ms / 1000 / $theirs_cpu" | bc -l)"
exit $missed
