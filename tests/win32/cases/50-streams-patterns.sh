# Streams and Patterns under Wine (sourced by run_wine_tests.sh inside Xvfb, in $BUILD).
# Wine lists no streams through BackupRead or FindFirstStreamW, so the Streams page shows the
# one "Standard" row of the last fallback; the Patterns page searches a cross-built EXE.

cat > "$FIX/patterns.c" <<'C'
#include <stdio.h>
static const char* found[] = {
  "{6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A61}", "http://www.example.com/brisquel?lite=1",
  "SOFTWARE\\Marrowgate\\Brisquel Lite\\Tabs", "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet",
  "C:\\Windows\\System32\\notepad.exe", "setup.ini"};
int main(void) {
  for (int i = 0; i < 6; ++i) puts(found[i]);
  return 0;
}
C
if ! x86_64-w64-mingw32-gcc-posix -O1 -o "$FIX/patterns.exe" "$FIX/patterns.c"; then
  fail "streams-patterns: the fixture EXE builds"
else
  dialog_case streams-patterns-exe "Brisquel,Hashes,Streams,Header,Sections,Imports,Exports,Resources,Details,Patterns" "$FIX/patterns.exe"
  if msg=$(python3 - "$ART/streams-patterns-exe.dialog.json" "$(stat -c %s "$FIX/patterns.exe")" <<'PY'
import json, sys
pages = {p["title"]: p for p in json.load(open(sys.argv[1], encoding="utf-8"))["pages"]}
streams, patterns = pages["Streams"], pages["Patterns"]
want = [{"group": 1, "cells": ["", sys.argv[2], "00000000"]}]
rows = [{"group": r["group"], "cells": r["cells"][:3]} for r in streams["rows"]]
assert streams["groups"] == [{"id": 1, "header": "Standard"}], streams["groups"]
assert rows == want, rows
texts = {g: [r["cells"][0] for r in patterns["rows"] if r["group"] == g] for g in range(1, 6)}
for g, text in [(1, "{6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A61}"), (2, "http://www.example.com/brisquel?lite=1"),
                (3, "SOFTWARE\\Marrowgate\\Brisquel"), (3, "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet"),
                (4, "C:\\Windows\\System32\\notepad.exe"), (4, "setup.ini"), (5, "setup.ini")]:
    assert text in texts[g], (g, text, texts[g][:20])
PY
  ); then
    pass "streams-patterns: one Standard row; every pattern kind of the EXE found"
  else
    fail "streams-patterns: one Standard row; every pattern kind of the EXE found" "$msg"
  fi
fi

patterns_closed_ms() { echo "$1" | sed -n 's/^cancel: closed in \([0-9]*\) ms$/\1/p'; }

# Cancelling during the search of a large file closes the dialog as promptly as the shell's own.
truncate -s 3G "$FIX/large-patterns.bin"
base=$(run_host 180 --cancel-on General "$(winpath "$FIX/notes.txt")" 2>&1 | tr -d '\r')
out=$(run_host 180 --cancel-on Patterns "$(winpath "$FIX/large-patterns.bin")" 2>&1 | tr -d '\r')
rc=$?
echo "$base"$'\n'"$out" > "$ART/cancel-patterns.host.log"
b=$(patterns_closed_ms "$base"); c=$(patterns_closed_ms "$out")
if [ $rc -ne 0 ] || [ -z "$b" ] || [ -z "$c" ]; then
  fail "cancel during the pattern search closes promptly" "$base"$'\n'"$out"
elif ! echo "$out" | grep -q '^cancel: [1-9][0-9]* worker thread(s) running'; then
  fail "cancel during the pattern search closes promptly" "the search was not running when cancelled: $out"
elif [ "$c" -gt $((b + 1000)) ]; then
  fail "cancel during the pattern search closes promptly" "closed in $c ms; the shell alone needs $b ms"
else
  pass "cancel during the pattern search closes promptly ($c ms; the shell alone needs $b ms)"
fi
rm -f "$FIX/large-patterns.bin"
