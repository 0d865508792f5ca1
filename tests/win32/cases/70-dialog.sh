# The dialog around the rows: a list long enough to be drawn from the page's record (its groups
# as header lines), sorting by a column, and Copy, Ctrl+A/Ctrl+C and Save as… (CSV, text,
# JSON) of the Archive, Hashes, Patterns and Imports tree pages, each checked against
# bqlite's JSON of the page. Sourced by run_wine_tests.sh inside Xvfb.
DFIX=$FIX/dialog
mkdir -p "$DFIX" "$ART/exports"
python3 - "$DFIX" <<'PY'
import random, sys, zipfile
d = sys.argv[1]
rnd = random.Random(7)
# 1,500 entries: past the rows a list holds itself; sizes and dates that text order would sort wrong.
with zipfile.ZipFile(f"{d}/long.zip", "w") as z:
    for i in range(1500):
        info = zipfile.ZipInfo("dir%02d/file,%05d \"q\".txt" % (i % 7, i),
                               (rnd.randint(1990, 2030), rnd.randint(1, 12), rnd.randint(1, 28), rnd.randint(0, 23), rnd.randint(0, 59), 0))
        z.writestr(info, b"x" * rnd.choice([0, 5, 9, 10, 99, 100, 1000, 12345]))
PY

# export_case NAME PAGE... -- FILE: the dialog's rows equal bqlite's, and what it copied and
# saved of each PAGE too.
export_case() {
  local name=$1; shift
  local pages=() args=()
  while [ "$1" != "--" ]; do pages+=("$1"); args+=(--export-page "$1"); shift; done
  shift
  local wfile; wfile=$(winpath "$1")
  local out
  out=$(run_host 400 --name "$name" --shots "$(winpath "$ART/shots")" --out "$(winpath "$ART/$name.dialog.json")" --export "$(winpath "$ART/exports")" "${args[@]}" "$wfile" 2>&1 | tr -d '\r')
  local rc=$?
  echo "$out" > "$ART/$name.host.log"
  echo "$out" | grep '^timing:' | sed 's/^/    /'
  if [ $rc -ne 0 ] || [ ! -s "$ART/$name.dialog.json" ]; then fail "$name: dialog read back" "$out"; return; fi
  timeout 300 wine "$BUILD/bqlite.exe" --json "$wfile" 2>/dev/null | tr -d '\r' > "$ART/$name.bqlite.json"
  local diff
  if diff=$(python3 "$ROOT/tests/win32/compare_pages.py" "$ART/$name.dialog.json" "$ART/$name.bqlite.json"); then
    pass "$name: every page equals bqlite's"
  else
    fail "$name: every page equals bqlite's" "$diff"
  fi
  local p
  for p in "${pages[@]}"; do
    if diff=$(python3 "$ROOT/tests/win32/check_exports.py" "$ART/$name.bqlite.json" "$p" "$ART/exports/$name-$p"); then
      pass "$name: $p copied (Copy all, Ctrl+A/Ctrl+C) and saved as CSV, text and JSON as bqlite shows it"
    else
      fail "$name: $p copied and saved as bqlite shows it" "$diff"
    fi
  done
}

export_case long-zip Archive Hashes Patterns -- "$DFIX/long.zip"
if grep -q '"Files inside long.zip"' "$ART/long-zip.dialog.json" 2>/dev/null &&
   python3 - "$ART/long-zip.host.log" <<'PY'
import re, sys
# The long list was drawn from the record (its group a header line), not item by item.
log = open(sys.argv[1]).read()
m = re.search(r"timing: long-zip: Archive: .* all (\d+) after", log)
sys.exit(0 if m and int(m.group(1)) == 1501 else 1)
PY
then
  pass "long-zip: the 1,500 entries are a virtual list with a header line for their group"
else
  fail "long-zip: the 1,500 entries are a virtual list with a header line for their group" "$(grep timing "$ART/long-zip.host.log")"
fi

# Sorting: a click on "Unpacked" orders by number, on "Date/Time" by date, twice: descending.
out=$(run_host 300 --name sorted --out "$(winpath "$ART/sorted.dialog.json")" --sort Archive:2 "$(winpath "$DFIX/long.zip")" 2>&1 | tr -d '\r')
out2=$(run_host 300 --name sorted-date --out "$(winpath "$ART/sorted-date.dialog.json")" --sort Archive:3 --sort Archive:3 "$(winpath "$DFIX/long.zip")" 2>&1 | tr -d '\r')
if msg=$(python3 - "$ART/sorted.dialog.json" "$ART/sorted-date.dialog.json" <<'PY'
import datetime, json, sys
def rows(path):
    page = [p for p in json.load(open(path, encoding="utf-8"))["pages"] if p["title"] == "Archive"][0]
    return [r["cells"] for r in page["rows"]]
sizes = [int(c[2]) for c in rows(sys.argv[1])]
dates = [datetime.datetime.strptime(c[3], "%m/%d/%Y %I:%M %p") for c in rows(sys.argv[2])]
if len(sizes) != 1500 or sizes != sorted(sizes):
    print(f"Unpacked ascending: {len(sizes)} rows, sorted: {sizes == sorted(sizes)}")
elif len(dates) != 1500 or dates != sorted(dates, reverse=True):
    print(f"Date/Time descending: {len(dates)} rows, sorted: {dates == sorted(dates, reverse=True)}")
PY
) && [ -z "$msg" ]; then
  pass "a column click sorts numbers as numbers and dates as dates, a second click reverses"
else
  fail "a column click sorts numbers as numbers and dates as dates, a second click reverses" "$msg $out $out2"
fi

# The Imports tree of a MinGW executable (the tweak as 10-pe.sh sets it).
if [ -f "$BUILD/pe-fixtures/x64/app.exe" ]; then
  cp "$BUILD/pe-fixtures/x64/app.exe" "$DFIX/tree.exe"
  for view in 32 64; do wine reg add 'HKLM\SOFTWARE\Marrowgate\Tweaks' /v DisableImportsXPView /t REG_DWORD /d 1 /f /reg:$view >/dev/null 2>&1; done
  export_case tree-exe Imports -- "$DFIX/tree.exe"
  for view in 32 64; do wine reg delete 'HKLM\SOFTWARE\Marrowgate\Tweaks' /v DisableImportsXPView /f /reg:$view >/dev/null 2>&1; done
fi

# A page whose filling and dialog procedure throw (the tweak FailPage.Sections): the barriers
# hold, the dialog shows every other page as bqlite does, and the host lives to close it.
if [ -f "$DFIX/tree.exe" ]; then
  TWEAKS='HKLM\SOFTWARE\Marrowgate\Tweaks'
  for view in 32 64; do wine reg add "$TWEAKS" /v FailPage.Sections /t REG_DWORD /d 1 /f /reg:$view >/dev/null 2>&1; done
  out=$(run_host 180 --name faulty --out "$(winpath "$ART/faulty.dialog.json")" "$(winpath "$DFIX/tree.exe")" 2>&1 | tr -d '\r')
  rc=$?
  for view in 32 64; do wine reg delete "$TWEAKS" /v FailPage.Sections /f /reg:$view >/dev/null 2>&1; done
  echo "$out" > "$ART/faulty.host.log"
  timeout 120 wine "$BUILD/bqlite.exe" --json "$(winpath "$DFIX/tree.exe")" 2>/dev/null | tr -d '\r' > "$ART/faulty.bqlite.json"
  without_sections() {  # the document without its Sections page
    python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); d["pages"] = [p for p in d["pages"] if p["title"] != "Sections"]; print(json.dumps(d))' "$1"
  }
  if [ $rc -eq 0 ] &&
     msg=$(python3 -c 'import json, sys; s = [p for p in json.load(open(sys.argv[1]))["pages"] if p["title"] == "Sections"]; print("" if s and not s[0].get("rows") and not s[0].get("columns") else "the Sections page shows something")' "$ART/faulty.dialog.json") &&
     [ -z "$msg" ] &&
     msg=$(python3 "$ROOT/tests/win32/compare_pages.py" <(without_sections "$ART/faulty.dialog.json") <(without_sections "$ART/faulty.bqlite.json")); then
    pass "a page that throws stays empty; the others equal bqlite's and the host lives"
  else
    fail "a page that throws stays empty; the others equal bqlite's and the host lives" "rc $rc: ${msg:-} $out"
  fi
fi
