#!/usr/bin/env bash
# bqlite's Imports and Exports pages over 200+ DLLs against pefile doing the same walk
# (PE(fast_load=True), then parse_data_directories for imports and exports only, every name
# formatted), timed alternately in the same run. Target: bqlite at most 0.02 of pefile's time.
# Then the Details page against pefile computing the same (a full load, imphash, Rich header
# hash, checksum, overlay, file and section entropies, version strings). Target: 0.05.
#
#   bench/pe_bench.sh [FOLDER_OF_DLLS] [RUNS]
# Without a folder it builds 240 DLLs with MinGW (12 sizes of export and import tables, 20
# copies each) into build/bench-pe. BQLITE may name another bqlite. Each time is the best of
# RUNS runs, wall and CPU (user + system, from bench/runtime.py); the exit status is 1 when the
# CPU ratio misses the target.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$here/..
tool=${BQLITE:-$root/build/linux/bqlite}
folder=${1:-}
runs=${2:-5}
py=/usr/bin/python3  # Debian's python3-pefile

[ -x "$tool" ] || { echo "pe_bench: $tool not built" >&2; exit 2; }
$py -c 'import pefile' 2>/dev/null || { echo "pe_bench: python3-pefile not installed" >&2; exit 2; }

if [ -z "$folder" ]; then
  folder=$root/build/bench-pe
  if [ ! -f "$folder/.done" ]; then
    mkdir -p "$folder"
    work=$(mktemp -d)
    for n in 20 40 60 80 100 150 200 250 300 400 500 600; do
      {
        echo '#include <windows.h>'
        echo '#include <stdio.h>'
        for i in $(seq 1 "$n"); do echo "__declspec(dllexport) int Exported_Function_$i(int x) { return x * $i + (int)GetTickCount(); }"; done
        echo '__declspec(dllexport) void Uses(void) { MessageBoxA(0, "a", "b", 0); printf("%d", (int)GetCurrentProcessId()); }'
      } > "$work/d$n.c"
      x86_64-w64-mingw32-gcc -shared -O1 -s -o "$work/d$n.dll" "$work/d$n.c" -luser32
      for c in $(seq 1 20); do cp "$work/d$n.dll" "$folder/d${n}_$c.dll"; done
    done
    rm -rf "$work"
    touch "$folder/.done"
  fi
fi
mapfile -t files < <(find "$folder" -maxdepth 1 -type f \( -iname '*.dll' -o -iname '*.exe' \) | sort)
[ ${#files[@]} -ge 1 ] || { echo "pe_bench: no DLLs in $folder" >&2; exit 2; }
cat "${files[@]}" > /dev/null  # into the page cache

script=$(mktemp)
details=$(mktemp)
times=$(mktemp)
trap 'rm -f "$script" "$details" "$times"' EXIT
cat > "$details" <<'PY'
import sys, pefile
out = []
for f in sys.argv[1:]:
    try:
        pe = pefile.PE(f)
    except pefile.PEFormatError:
        continue
    out.append(pe.get_imphash())
    out.append(str(pe.get_rich_header_hash()))
    out.append("%08X" % pe.generate_checksum())
    out.append(str(pe.get_overlay_data_start_offset()))
    out.append("%.2f" % pe.sections[0].entropy_H(pe.__data__) if pe.sections else "")
    out += ["%.2f" % s.get_entropy() for s in pe.sections]
    for group in getattr(pe, "FileInfo", None) or []:
        for entry in group:
            for table in getattr(entry, "StringTable", [])[:1]:
                out += ["%s=%s" % (k.decode(), v.decode()) for k, v in table.entries.items()]
sys.stdout.write("\n".join(out))
PY
cat > "$script" <<'PY'
import sys, pefile
wanted = [pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"], pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]]
out = []
for f in sys.argv[1:]:
    try:
        pe = pefile.PE(f, fast_load=True)
        pe.parse_data_directories(directories=wanted)
    except pefile.PEFormatError:
        continue
    for d in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        for imp in d.imports:
            if imp.name:
                out.append("%s:%s %08X" % (d.dll.decode("latin-1"), imp.name.decode("latin-1"), imp.hint_name_table_rva or 0))
    if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        e = pe.DIRECTORY_ENTRY_EXPORT
        for s in e.symbols:
            if s.name:
                out.append("%s %d %08X" % (s.name.decode("latin-1"), s.ordinal - e.struct.Base, s.address))
sys.stdout.write("\n".join(out))
PY

# Wall time and CPU time (user + system) of each run, in ms to a tenth; the best of each.
run() { /usr/bin/python3 "$here/runtime.py" "$@" || true; }  # prints "wall cpu"
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == 0 || b < a) ? b : a }'; }
ow=0; oc=0; tw=0; tc=0; dw=0; dc=0; pw=0; pc=0
for r in $(seq 1 "$runs"); do
  read -r w c < <(run "$tool" --each --page Imports --page Exports "${files[@]}"); ow=$(best $ow $w); oc=$(best $oc $c)
  read -r w c < <(run $py "$script" "${files[@]}"); tw=$(best $tw $w); tc=$(best $tc $c)
  read -r w c < <(run "$tool" --each --page Details "${files[@]}"); dw=$(best $dw $w); dc=$(best $dc $c)
  read -r w c < <(run $py "$details" "${files[@]}"); pw=$(best $pw $w); pc=$(best $pc $c)
done
wall=$(awk -v a=$ow -v b=$tw 'BEGIN { printf "%.4f", a / b }')
cpu=$(awk -v a=$oc -v b=$tc 'BEGIN { printf "%.4f", a / b }')
echo "files: ${#files[@]} in $folder; load average: $(cut -d' ' -f1-3 /proc/loadavg); best of $runs alternate runs"
echo "bqlite --each --page Imports --page Exports: wall $ow ms, cpu $oc ms"
echo "pefile (fast_load, imports + exports):        wall $tw ms, cpu $tc ms"
echo "ratio: wall $wall, cpu $cpu (target <= 0.02; judged on cpu, which other load on the machine does not inflate)"
dwall=$(awk -v a=$dw -v b=$pw 'BEGIN { printf "%.4f", a / b }')
dcpu=$(awk -v a=$dc -v b=$pc 'BEGIN { printf "%.4f", a / b }')
echo "bqlite --each --page Details:                wall $dw ms, cpu $dc ms"
echo "pefile (full load, imphash, rich, checksum, overlay, entropies, version strings): wall $pw ms, cpu $pc ms"
echo "ratio: wall $dwall, cpu $dcpu (target <= 0.05)"
awk -v r=$cpu -v d=$dcpu 'BEGIN { exit !(r <= 0.02 && d <= 0.05) }'
