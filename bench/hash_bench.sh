#!/usr/bin/env bash
# End-to-end digest throughput on one cached file:
#   (a) openssl dgst -md5            (b) bqlite's first page: CRC-32 + MD5 + SHA-1
#   (c) rhash with the eight digests it shares with the list: CRC-32 MD4 MD5 SHA-1
#       RIPEMD-160 SHA-256 SHA-512 SHA3-256
#   (d) bqlite's digest list: all twelve digests
# Targets: b/a <= 1.1, d/c <= 1.0, peak RSS of (d) < 64 MiB.
#
#   bench/hash_bench.sh [BQLITE] [SIZE_MIB] [RUNS]
# BQLITE defaults to build/linux/bqlite. Each time is the best
# of RUNS interleaved runs after a warm-up (timed by hyperfine when installed),
# so that other load on the machine inflates it as little as possible; the
# exit status is 1 when a target is missed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tool=${1:-$here/../build/linux/bqlite}
size_mib=${2:-1024}
runs=${3:-5}

for cmd in "$tool" openssl rhash; do
  command -v "$cmd" >/dev/null || { echo "hash_bench: $cmd not found" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/data.bin
head -c "$((size_mib * 1024 * 1024))" /dev/urandom > "$file"
cat "$file" > /dev/null  # into the page cache

# The tools must agree before their times mean anything.
ours=$("$tool" --page Main "$file" | awk '/^MD5:/ {print $2}')
theirs=$(openssl dgst -md5 -r "$file" | awk '{print $1}')
[ "$ours" = "$theirs" ] || { echo "hash_bench: MD5 mismatch: $ours vs $theirs" >&2; exit 1; }
ours=$("$tool" --sums sha3-256 "$file" | awk '{print $1}')
theirs=$(rhash --sha3-256 "$file" | awk '{print $1}')
[ "$ours" = "$theirs" ] || { echo "hash_bench: SHA3-256 mismatch: $ours vs $theirs" >&2; exit 1; }

cmd_a="openssl dgst -md5 $file"
cmd_b="$tool --page Main $file"
cmd_c="rhash --crc32 --md4 --md5 --sha1 --ripemd160 --sha256 --sha512 --sha3-256 $file"
cmd_d="$tool --page Hashes $file"

echo "file: $size_mib MiB, cached; load average: $(cut -d' ' -f1-3 /proc/loadavg); best of $runs runs"

# One timed run of CMD, in seconds.
time_once() {
  if command -v hyperfine >/dev/null; then
    hyperfine --style none --runs 1 --export-csv "$work/t.csv" "$1" >/dev/null 2>&1
    awk -F, 'NR == 2 {print $2}' "$work/t.csv"  # command,mean,...
  else
    local t0 t1
    t0=$(date +%s.%N); eval "$1" >/dev/null; t1=$(date +%s.%N)
    echo "$t1 - $t0" | bc -l
  fi
}

# Rounds interleave the four commands so that load from elsewhere on the
# machine hits them alike; each keeps its best time.
cmds=("$cmd_a" "$cmd_b" "$cmd_c" "$cmd_d")
best=("" "" "" "")
for c in "${cmds[@]}"; do eval "$c" >/dev/null; done  # warm-up
for _ in $(seq "$runs"); do
  for i in 0 1 2 3; do
    t=$(time_once "${cmds[$i]}")
    if [ -z "${best[$i]}" ] || [ "$(echo "$t < ${best[$i]}" | bc -l)" = 1 ]; then best[$i]=$t; fi
  done
done
ta=${best[0]} tb=${best[1]} tc=${best[2]} td=${best[3]}
printf '(a) %-62s %7.3f s\n' "openssl dgst -md5" "$ta"
printf '(b) %-62s %7.3f s\n' "bqlite --page Main (CRC-32, MD5, SHA-1)" "$tb"
printf '(c) %-62s %7.3f s\n' "rhash, 8 digests (crc32 md4 md5 sha1 ripemd160 sha256 sha512 sha3-256)" "$tc"
printf '(d) %-62s %7.3f s\n' "bqlite --page Hashes (12 digests)" "$td"

rss_kib=""
if [ -x /usr/bin/time ]; then
  /usr/bin/time -v $cmd_d > /dev/null 2> "$work/rss.txt"
  rss_kib=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$work/rss.txt")
fi

fail=0
check() {  # check NAME VALUE OP LIMIT
  if [ "$(echo "$2 $3 $4" | bc -l)" = 1 ]; then verdict=ok; else verdict=MISSED; fail=1; fi
  printf '%-22s %8s  (target %s %s)  %s\n' "$1" "$2" "$3" "$4" "$verdict"
}
check "b/a" "$(printf '%.3f' "$(echo "$tb / $ta" | bc -l)")" "<=" 1.1
check "d/c" "$(printf '%.3f' "$(echo "$td / $tc" | bc -l)")" "<=" 1.0
if [ -n "$rss_kib" ]; then
  check "peak RSS (d), MiB" "$(printf '%.1f' "$(echo "$rss_kib / 1024" | bc -l)")" "<" 64
fi
exit $fail
