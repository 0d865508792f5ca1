#!/usr/bin/env bash
# The Preview page against pygmentize's RTF formatter on the same files, in the same run:
#   a 3.9 MB Pascal file (fpc-source units), a 3.9 MB HTML file (pydoc pages) and one 3.9 MB
#   file per later language, from sources Debian packages ship (C++, Python, JSON, PowerShell,
#   shell, Java, CSS, INI, Markdown, YAML) or written here (batch, C#), all below the preview's
#   4 MiB bound: bqlite --json --page Preview vs pygmentize -f rtf with the same lexer.
#   Target: at most 0.1 of pygmentize's time; peak RSS on a 1 GiB text file below 64 MiB.
#
#   bench/preview_bench.sh [BQLITE] [RUNS] [LEXER...]   (only these files; default all)
# Each time is the best of RUNS runs after a warm-up; exit status 1 when a target is missed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tool=${1:-$here/../build/linux/bqlite}
runs=${2:-3}
shift $(( $# < 2 ? $# : 2 ))
only=("$@")
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

# One 3.9 MB file per later language: its sources repeated up to the size.
fill() {  # fill FILE SOURCE...: the sources, over and over, cut at $size bytes
  local out=$1; shift
  { while cat "$@"; do :; done; } 2>/dev/null | head -c $size > "$out" || true
}
fill "$work/bench.cpp" /usr/include/c++/12/bits/*.h
fill "$work/bench.py" /usr/lib/python3.11/*.py
fill "$work/bench.json" /usr/share/iso-codes/json/*.json
fill "$work/bench.ps1" /usr/lib/python3.11/venv/scripts/common/Activate.ps1
fill "$work/bench.sh" /usr/share/debconf/confmodule /usr/bin/gettext.sh /usr/share/debconf/*.sh
unzip -q -o /usr/lib/jvm/java-17-openjdk-amd64/lib/src.zip 'java.base/java/util/*.java' -d "$work/java" 2>/dev/null || true
fill "$work/bench.java" "$work"/java/java.base/java/util/*.java
fill "$work/bench.css" /usr/share/gitweb/static/gitweb.css
fill "$work/bench.ini" /usr/share/wine/wine.inf
fill "$work/bench.md" /usr/share/doc/libbenchmark-dev/benchmark/*.md /usr/share/doc/git/README.md
fill "$work/bench.yaml" /usr/share/doc/python3-yaml/examples/pygments-lexer/example.yaml
cat > "$work/one.bat" <<'EOF'
@echo off
rem Build every C file of the folder
:: and report the count
setlocal EnableDelayedExpansion
set "OUT=%~dp0out"
if not exist "%OUT%" mkdir "%OUT%"
for %%f in (*.c) do (
  echo Compiling %%f
  call :compile %%f || goto :fail
  set /a count=!count!+1
)
goto :eof
:compile
cl /nologo /c %1 /Fo"%OUT%\\" >nul
exit /b %errorlevel%
:fail
echo failed & exit /b 1
EOF
fill "$work/bench.bat" "$work/one.bat"
cat > "$work/one.cs" <<'EOF'
using System;
using System.Collections.Generic;
namespace Demo {
  /// <summary>Counts words.</summary>
  public sealed class Counter {
    private readonly Dictionary<string, int> counts = new();
    public void Add(string text) {
      foreach (var word in text.Split(' ', StringSplitOptions.RemoveEmptyEntries)) {
        if (counts.TryGetValue(word, out var n)) counts[word] = n + 1; else counts[word] = 1;
      }
    }
    public override string ToString() => $"{counts.Count} words, path {@"C:\temp"}";
    /* a block
       comment */
    public static async System.Threading.Tasks.Task Main(string[] args) { await System.Threading.Tasks.Task.Yield(); }
  }
}
EOF
fill "$work/bench.cs" "$work/one.cs"

status=0
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); best of $runs runs"
all=(bench.pas:delphi bench.htm:html bench.cpp:cpp bench.py:python bench.json:json bench.ps1:powershell
     bench.sh:bash bench.bat:batch bench.cs:csharp bench.java:java bench.css:css bench.ini:ini bench.md:markdown
     bench.yaml:yaml)
chosen=()
for f in "${all[@]}"; do
  if [ ${#only[@]} -eq 0 ]; then chosen+=("$f"); continue; fi
  for l in "${only[@]}"; do [ "$l" = "${f##*:}" ] && chosen+=("$f"); done
done
for f in "${chosen[@]}"; do
  file=$work/${f%%:*}; lexer=${f##*:}
  ours=$(best "$tool" --json --page Preview "$file")
  theirs=$(best "$pyg" -f rtf -l "$lexer" "$file")
  ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.3f", a / b }')
  verdict=ok; awk -v r="$ratio" 'BEGIN { exit !(r > 0.1) }' && { verdict=MISSED; status=1; }
  printf '%-10s %d bytes: bqlite %6d ms, pygmentize -f rtf %6d ms, ratio %s (target <= 0.1) %s\n' \
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
