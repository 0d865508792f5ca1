#!/usr/bin/env bash
# The Patterns page (every recogniser over the bytes and over their UTF-16LE text, rows printed)
# against strings -a -n 5 plus strings -a -el -n 5 on the same bytes: at least 200 MB of this
# machine's executables and libraries, concatenated once into a cached file. All write to
# /dev/null. Targets: bqlite's time <= 1.0 x the two strings runs together, and a peak RSS of
# bqlite --json under 64 MiB.
#
#   bench/patterns_bench.sh [BQLITE] [SIZE_MB] [RUNS]
# Each time is the best of RUNS interleaved runs after a warm-up; the exit status is 1 when a
# target is missed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tool=${1:-$here/../build/linux/bqlite}
size_mb=${2:-220}
runs=${3:-5}
for cmd in "$tool" strings /usr/bin/time; do
  command -v "$cmd" >/dev/null || { echo "patterns_bench: $cmd not found" >&2; exit 2; }
done

cache=$here/../build/bench-cache
mkdir -p "$cache"
file=$cache/executables-${size_mb}MB.bin
if [ ! -s "$file" ]; then
  # ELF executables and shared libraries, in a fixed order, until the size is reached.
  python3 - "$file.part" "$((size_mb * 1000 * 1000))" <<'PY'
import os, sys
out, want = open(sys.argv[1], "wb"), int(sys.argv[2])
files = []
for top in ("/usr/lib", "/usr/bin", "/usr/libexec"):
    for folder, _, names in os.walk(top):
        files += [os.path.join(folder, n) for n in names]
for path in sorted(files):
    if want <= 0:
        break
    try:
        if os.path.islink(path) or os.path.getsize(path) < 65536:
            continue
        with open(path, "rb") as f:
            if f.read(4) != b"\x7fELF":
                continue
            f.seek(0)
            data = f.read(want)
    except OSError:
        continue
    out.write(data)
    want -= len(data)
PY
  mv "$file.part" "$file"
fi
bytes=$(stat -c %s "$file")
[ "$bytes" -ge 200000000 ] || { echo "patterns_bench: only $bytes bytes of executables found" >&2; exit 2; }
cat "$file" > /dev/null  # into the page cache

cmd_s="strings -a -n 5 $file; strings -a -el -n 5 $file"
cmd_p="$tool --page Patterns $file"
echo "input: $bytes bytes of ELF executables and libraries; load average: $(cut -d' ' -f1-3 /proc/loadavg); best of $runs runs"

# One run: wall seconds and CPU (user + system) seconds.
time_once() {
  /usr/bin/time -f "%e %U %S" -o "$cache/t.txt" sh -c "{ $1; } > /dev/null"
  awk '{printf "%s %.2f\n", $1, $2 + $3}' "$cache/t.txt"
}

best_wall=(9999 9999); best_cpu=(9999 9999)
cmds=("$cmd_s" "$cmd_p")
for c in "${cmds[@]}"; do sh -c "{ $c; } > /dev/null"; done  # warm-up
for _ in $(seq "$runs"); do
  for i in 0 1; do
    read -r wall cpu < <(time_once "${cmds[$i]}")
    best_wall[$i]=$(echo "if ($wall < ${best_wall[$i]}) $wall else ${best_wall[$i]}" | bc -l)
    best_cpu[$i]=$(echo "if ($cpu < ${best_cpu[$i]}) $cpu else ${best_cpu[$i]}" | bc -l)
  done
done
ratio_wall=$(echo "scale=2; ${best_wall[1]} / ${best_wall[0]}" | bc -l)
ratio_cpu=$(echo "scale=2; ${best_cpu[1]} / ${best_cpu[0]}" | bc -l)
printf '%-40s wall %6.2f s  cpu %6.2f s\n' "strings -a -n 5 + strings -a -el -n 5" "${best_wall[0]}" "${best_cpu[0]}"
printf '%-40s wall %6.2f s  cpu %6.2f s\n' "bqlite --page Patterns" "${best_wall[1]}" "${best_cpu[1]}"
echo "ratio bqlite/strings: wall $ratio_wall, cpu $ratio_cpu (target <= 1.0)"

/usr/bin/time -f "%M" -o "$cache/m.txt" "$tool" --json --page Patterns "$file" > /dev/null
peak_kib=$(tail -1 "$cache/m.txt")
echo "peak RSS of bqlite --json --page Patterns: $((peak_kib / 1024)) MiB (target < 64 MiB)"

status=0
[ "$(echo "$ratio_cpu <= 1.0" | bc -l)" = 1 ] || { echo "MISSED: time ratio"; status=1; }
[ "$peak_kib" -lt 65536 ] || { echo "MISSED: peak memory"; status=1; }
exit $status
