# The Patterns page of a DLL that keeps its text in UTF-16 (L"..." strings and a string table),
# with the Encoding and Section columns, and the dialog's row bound lowered by the test-only
# DialogRowLimit tweak. Sourced by run_wine_tests.sh inside Xvfb.
cat > "$FIX/wide.c" <<'C'
#include <windows.h>
static const wchar_t* texts[] = {L"https://www.example.org/brisquel?lite=1", L"HKCU\\Software\\Marrowgate",
  L"C:\\Windows\\System32\\cmd.exe /c echo done", L"support@example.com", L"Server 192.168.10.20 ready"};
__declspec(dllexport) const wchar_t* WideText(int i) { return texts[i % 5]; }
C
cat > "$FIX/wide.rc" <<'RC'
STRINGTABLE
BEGIN
  1, "(rundll32.exe shell32.dll,Control_RunDLL desk.cpl)"
END
RC
if ! x86_64-w64-mingw32-windres "$FIX/wide.rc" -O coff -o "$FIX/wide_rc.o" ||
   ! x86_64-w64-mingw32-gcc -O1 -shared -o "$FIX/wide.dll" "$FIX/wide.c" "$FIX/wide_rc.o"; then
  fail "patterns-utf16: the fixture DLL builds"
else
  dialog_case patterns-utf16-dll "Brisquel,Hashes,Streams,Header,Sections,Imports,Exports,Resources,Details,Patterns" "$FIX/wide.dll"
  if msg=$(python3 - "$ART/patterns-utf16-dll.dialog.json" <<'PY'
import json, sys
pages = {p["title"]: p for p in json.load(open(sys.argv[1], encoding="utf-8"))["pages"]}
patterns = pages["Patterns"]
titles = [c["title"] for c in patterns["columns"]]
assert titles == ["Pattern", "Position", "Encoding", "Section"], titles
headers = [g["header"] for g in patterns["groups"]]
assert headers[-2:] == ["E-mail Addresses", "IP Addresses"], headers  # a long list shows only groups with rows
rows = {(r["group"], r["cells"][0]): r["cells"] for r in patterns["rows"] if r["cells"][2] == "UTF-16"}
for group, text, section in [(2, "https://www.example.org/brisquel?lite=1", ".rdata"), (3, "HKCU\\Software\\Marrowgate", ".rdata"),
                             (4, "C:\\Windows\\System32\\cmd.exe", ".rdata"), (6, "support@example.com", ".rdata"),
                             (7, "192.168.10.20", ".rdata"), (4, "rundll32.exe", ".rsrc"), (4, "shell32.dll", ".rsrc")]:
    assert (group, text) in rows, (group, text, sorted(rows)[:30])
    assert rows[(group, text)][3] == section, rows[(group, text)]
assert any(r["cells"][3] == "headers" for r in patterns["rows"]), "no finding in the headers"
PY
  ); then
    pass "patterns-utf16: UTF-16 findings of every new kind, with their sections"
  else
    fail "patterns-utf16: UTF-16 findings of every new kind, with their sections" "$msg"
  fi

  # The bound: 40 rows, then one count row per group that had more.
  TWEAKS='HKLM\SOFTWARE\Marrowgate\Tweaks'
  for view in 32 64; do wine reg add "$TWEAKS" /v DialogRowLimit /t REG_DWORD /d 40 /f /reg:$view >/dev/null 2>&1; done
  out=$(run_host 180 --name patterns-bound --out "$(winpath "$ART/patterns-bound.dialog.json")" "$(winpath "$FIX/wide.dll")" 2>&1 | tr -d '\r')
  echo "$out" > "$ART/patterns-bound.host.log"
  for view in 32 64; do wine reg delete "$TWEAKS" /v DialogRowLimit /f /reg:$view >/dev/null 2>&1; done
  if msg=$(python3 - "$ART/patterns-bound.dialog.json" "$ART/patterns-utf16-dll.dialog.json" <<'PY'
import json, re, sys
def patterns(path):
    return [p for p in json.load(open(path, encoding="utf-8"))["pages"] if p["title"] == "Patterns"][0]["rows"]
bounded, full = patterns(sys.argv[1]), patterns(sys.argv[2])
assert len(full) > 40, len(full)
# Both lists are read as shown, group by group: the 40 rows kept are, in each group, the first
# of that group's rows, and each group's count row says how many of its rows were not kept.
count = re.compile("\u2026 ([0-9]+) more findings not shown \\(bqlite lists them all\\)")
kept = [r for r in bounded if not count.fullmatch(r["cells"][0])]
assert len(kept) == 40, len(kept)
counts = {r["group"]: int(count.fullmatch(r["cells"][0]).group(1)) for r in bounded if count.fullmatch(r["cells"][0])}
for g in {r["group"] for r in full}:
    every, shown = [r for r in full if r["group"] == g], [r for r in kept if r["group"] == g]
    assert shown == every[:len(shown)], ("the first rows differ", g)
    assert counts.get(g, 0) == len(every) - len(shown), (g, counts.get(g), len(every), len(shown))
PY
  ); then
    pass "patterns-bound: 40 rows, then the count of the rest per group"
  else
    fail "patterns-bound: 40 rows, then the count of the rest per group" "$msg"
  fi
fi
