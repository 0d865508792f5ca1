# Hashes under Wine (sourced by run_wine_tests.sh inside Xvfb, in $BUILD): the Check column
# from checksum files beside the files, the "Compare:" box filled from the clipboard, the first
# page computing on a worker, and the launch button.
HFIX=$FIX/hashes
mkdir -p "$HFIX"
head -c 200000 /dev/urandom > "$HFIX/good.img"
head -c 5000 /dev/urandom > "$HFIX/bad.img"
head -c 3000 /dev/urandom > "$HFIX/plain.bin"
(cd "$HFIX" && sha256sum good.img > good.img.sha256 && sha256sum bad.img | sed 's/^0/1/;t;s/^./0/' > bad.img.sha256)

# Dialog and bqlite agree on every page, Check column included; it shows both verdicts.
dialog_case hashes-check "Brisquel,Hashes,Patterns" "$HFIX/good.img" "$HFIX/bad.img"
if msg=$(python3 - "$ART/hashes-check.dialog.json" <<'PY'
import json, sys
pages = {p["title"]: p for p in json.load(open(sys.argv[1], encoding="utf-8"))["pages"]}
rows = pages["Hashes"]["rows"]
assert [c["title"] for c in pages["Hashes"]["columns"]] == ["Filename", "Hash Value", "Check"]
assert len(pages["Hashes"]["groups"]) == 12, pages["Hashes"]["groups"]
check = {(r["cells"][0], r["group"]): (r["cells"] + ["", "", ""])[2] for r in rows}
assert check[("good.img", 9)] == "matches good.img.sha256", check[("good.img", 9)]
assert check[("bad.img", 9)].startswith("DIFFERS from bad.img.sha256, expected "), check[("bad.img", 9)]
PY
); then
  pass "hashes: Check shows 'matches' and 'DIFFERS' from the .sha256 files beside"
else
  fail "hashes: Check shows 'matches' and 'DIFFERS' from the .sha256 files beside" "$msg"
fi

# A value on the clipboard before the dialog opens is put in the box and matched; another is
# not matched once all values are in.
md5=$(md5sum "$HFIX/plain.bin" | cut -c1-32)
spaced="0x$(echo "$md5" | tr a-f A-F | sed 's/\(....\)/\1 /g')"
out=$(run_host 180 --name hashes-clip --clipboard "$spaced" --out "$(winpath "$ART/hashes-clip.dialog.json")" \
      "$(winpath "$HFIX/plain.bin")" 2>&1 | tr -d '\r')
echo "$out" > "$ART/hashes-clip.host.log"
line=$(echo "$out" | grep "^hashes-clip compare:")
if [ "$line" = "hashes-clip compare: box '$md5' result 'Matches plain.bin (MD5)'" ] &&
   python3 -c "
import json, sys
rows = [p for p in json.load(open(sys.argv[1], encoding='utf-8'))['pages'] if p['title'] == 'Hashes'][0]['rows']
marks = [r['group'] for r in rows if (r['cells'] + ['', '', ''])[2] == 'matches']
sys.exit(0 if marks == [3] else 1)" "$ART/hashes-clip.dialog.json"; then
  pass "hashes: a value on the clipboard is put in the Compare box and matched (MD5 row)"
else
  fail "hashes: a value on the clipboard is put in the Compare box and matched (MD5 row)" "$out"
fi
out=$(run_host 180 --name hashes-nomatch --clipboard "$(printf '%064d' 7)" --out "$(winpath "$ART/hashes-nomatch.dialog.json")" \
      "$(winpath "$HFIX/plain.bin")" 2>&1 | tr -d '\r')
if echo "$out" | grep -q "^hashes-nomatch compare: box '$(printf '%064d' 7)' result 'No match'$"; then
  pass "hashes: a value that matches nothing says 'No match' once all values are in"
else
  fail "hashes: a value that matches nothing says 'No match' once all values are in" "$out"
fi

# The first page of a 3 GiB file: the dialog appears as fast as for a small file, its boxes
# read "Computing..." with a bar, and a cancel closes it at once and ends the worker.
appeared_ms() { echo "$1" | sed -n 's/^dialog appeared \([0-9]*\) ms after the verb$/\1/p'; }
closed_ms() { echo "$1" | sed -n 's/^cancel: closed in \([0-9]*\) ms$/\1/p'; }
truncate -s 3G "$HFIX/big.bin"
base=$(run_host 180 --cancel-on General "$(winpath "$FIX/notes.txt")" 2>&1 | tr -d '\r')
out=$(run_host 180 --cancel-on Brisquel "$(winpath "$HFIX/big.bin")" 2>&1 | tr -d '\r')
rc=$?
echo "$base"$'\n'"$out" > "$ART/hashes-first-page.host.log"
ab=$(appeared_ms "$base"); a=$(appeared_ms "$out"); b=$(closed_ms "$base"); c=$(closed_ms "$out")
if [ $rc -ne 0 ] || [ -z "$a" ] || [ -z "$ab" ] || [ -z "$b" ] || [ -z "$c" ]; then
  fail "hashes: first page of a 3 GiB file" "$base"$'\n'"$out"
elif [ "$a" -gt $((ab + 1000)) ]; then
  fail "hashes: first page of a 3 GiB file appears at once" "appeared after $a ms; a small file's after $ab ms"
elif ! echo "$out" | grep -q "^cancel: MD5 box 'Computing…', progress bar shown$"; then
  fail "hashes: first page of a 3 GiB file reads Computing… with a bar" "$out"
elif ! echo "$out" | grep -q '^cancel: [1-9][0-9]* worker thread(s) running'; then
  fail "hashes: first page of a 3 GiB file computes on a worker" "$out"
elif [ "$c" -gt $((b + 1000)) ]; then
  fail "hashes: cancelling the first page of a 3 GiB file closes at once" "closed in $c ms; the shell alone needs $b ms"
else
  pass "hashes: first page of a 3 GiB file appears in $a ms (small file: $ab ms) reading Computing…; cancel closes in $c ms (shell alone: $b ms)"
fi
rm -f "$HFIX/big.bin"

# The launch button: a REG_EXPAND_SZ command is expanded, a path with a blank arrives as one
# argument; a program that cannot be started brings up the system's error text.
cat > "$HFIX/argv.c" <<'C'
#include <stdio.h>
int main(int argc, char** argv) {
  FILE* f = fopen("Z:\\tmp\\bq-launch-args.txt", "w");
  if (!f) return 1;
  for (int i = 1; i < argc; ++i) fprintf(f, "[%s]\n", argv[i]);
  fclose(f);
  return 0;
}
C
LAUNCH='HKCR\*\shell\brisquel\command'
cp "$HFIX/plain.bin" "$HFIX/with blank.bin"
rm -f /tmp/bq-launch-args.txt
if ! x86_64-w64-mingw32-gcc-posix -O1 -o "$HFIX/argv.exe" "$HFIX/argv.c"; then
  fail "hashes: the launch recorder builds"
else
  wine reg add "$LAUNCH" /ve /t REG_EXPAND_SZ /d "%BQ_LAUNCH_DIR%\\argv.exe \"%1\"" /f >/dev/null 2>&1
  out=$(BQ_LAUNCH_DIR="$(winpath "$HFIX")" run_host 180 --name hashes-launch --launch --out "$(winpath "$ART/hashes-launch.dialog.json")" \
        "$(winpath "$HFIX/with blank.bin")" 2>&1 | tr -d '\r')
  for _ in 1 2 3 4 5; do [ -s /tmp/bq-launch-args.txt ] && break; sleep 1; done
  got=$(tr -d '\r' < /tmp/bq-launch-args.txt 2>/dev/null)
  if [ "$got" = "[$(winpath "$HFIX/with blank.bin")]" ] && echo "$out" | grep -q '^launch: no message box$'; then
    pass "hashes: launch expands REG_EXPAND_SZ and passes a path with a blank as one argument"
  else
    fail "hashes: launch expands REG_EXPAND_SZ and passes a path with a blank as one argument" "args: $got"$'\n'"$out"
  fi
  wine reg add "$LAUNCH" /ve /t REG_SZ /d 'C:\nowhere\missing.exe "%1"' /f >/dev/null 2>&1
  out=$(run_host 180 --name hashes-launch-missing --launch --out "$(winpath "$ART/hashes-launch-missing.dialog.json")" \
        "$(winpath "$HFIX/plain.bin")" 2>&1 | tr -d '\r')
  if echo "$out" | grep -q "^launch: message box 'Brisquel Lite': 'C:.nowhere.missing.exe  ..*'$"; then
    pass "hashes: a program that cannot be started shows the system's error text"
  else
    fail "hashes: a program that cannot be started shows the system's error text" "$out"
  fi
  wine reg delete 'HKCR\*\shell\brisquel' /f >/dev/null 2>&1
fi
rm -f /tmp/bq-launch-args.txt
