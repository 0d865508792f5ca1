#!/bin/bash
# End-to-end test of BQLite.dll under Wine: registration, the Properties dialog opened through
# the shell's "properties" verb and read back by bqdialoghost, compared with bqlite.exe, and
# removal. Ends with "N passed, N failed"; exits non-zero on any failure.
set -u -o pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$ROOT/build/windows-x64
ART=$BUILD/wine-artifacts
TIMEOUT=${BQ_WINE_TIMEOUT:-1200}
export WINEPREFIX=$ROOT/build/wine-prefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8 LC_ALL=C.UTF-8

if [ "${1:-}" != "--inner" ]; then
  # Tools, when missing (a fresh Debian machine).
  missing=()
  need() { command -v "$1" >/dev/null 2>&1 || missing+=("$2"); }
  need wine wine; dpkg -s wine64 >/dev/null 2>&1 || missing+=(wine64); need xvfb-run xvfb; need xauth xauth; need convert imagemagick
  need x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
  need i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix
  need x86_64-w64-mingw32-widl mingw-w64-tools; need cmake cmake; need ninja ninja-build; need python3 python3
  [ -f /usr/x86_64-w64-mingw32/include/zlib.h ] || missing+=(libz-mingw-w64-dev)
  [ -f /usr/include/wine/wine/windows/unknwn.idl ] || missing+=(libwine-dev)
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q && apt-get install -y -q "${missing[@]}" || { echo "0 passed, 1 failed"; exit 1; }
  fi

  if [ ! -f "$BUILD/build.ninja" ]; then
    (cd "$ROOT" && cmake --preset windows-x64 >/dev/null) || { echo "configure failed"; echo "0 passed, 1 failed"; exit 1; }
  fi
  cmake --build "$BUILD" -j2 --target BQLite bqlite bqdialoghost || { echo "build failed"; echo "0 passed, 1 failed"; exit 1; }

  start=$(date +%s)
  timeout -k 20 "$TIMEOUT" xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inner
  rc=$?
  [ $rc -eq 124 ] && echo "timed out after ${TIMEOUT}s" && echo "0 passed, 1 failed"
  echo "wine tests took $(( $(date +%s) - start ))s"
  exit $rc
fi

# ---- Inside Xvfb.
passed=0; failed=0
. "$ROOT/tests/win32/wine_helpers.sh"
finish() {
  wineserver -k >/dev/null 2>&1
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

rm -rf "$ART"; mkdir -p "$ART/fixtures" "$ART/shots"
wineboot -i >/dev/null 2>&1
wineserver -w
# One server for the whole run. Without it, the server shuts down 3 s after the last process
# ends, taking Wine's desktop and services with it, and a program started while it shuts down
# can be killed before it prints anything.
wineserver -p

DLL=$BUILD/BQLite.dll
WDLL=$(winpath "$DLL")
CLSID='{6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A61}'
LIBID='{6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A60}'
HANDLER='HKCR\*\shellex\PropertySheetHandlers'
TABS='HKCU\Software\Marrowgate\Brisquel Lite\Tabs'

snapshot() {
  for k in "HKCR\\CLSID\\$CLSID" "HKCR\\BQLite.BrisquelPropSheet" "$HANDLER\\BrisquelPropSheet" "HKCR\\TypeLib\\$LIBID"; do
    wine reg query "$k" /s 2>&1 | tr -d '\r'
  done
}

# ---- Registration.
wine regsvr32 /s "$WDLL"; rc=$?
[ $rc -eq 0 ] && pass "regsvr32 registers the DLL" || fail "regsvr32 registers the DLL" "exit code $rc"
check_registration() {
  local tag=$1
  expect_value "$tag: CLSID default is the empty description" "HKCR\\CLSID\\$CLSID" "" ""
  expect_value "$tag: InprocServer32 is the module path" "HKCR\\CLSID\\$CLSID\\InprocServer32" "" "$WDLL"
  expect_value "$tag: ThreadingModel" "HKCR\\CLSID\\$CLSID\\InprocServer32" ThreadingModel Apartment
  expect_value "$tag: ProgID key" "HKCR\\BQLite.BrisquelPropSheet" "" ""
  expect_value "$tag: ProgID Clsid" "HKCR\\BQLite.BrisquelPropSheet\\Clsid" "" "$CLSID"
  expect_value "$tag: CLSID ProgID" "HKCR\\CLSID\\$CLSID\\ProgID" "" "BQLite.BrisquelPropSheet"
  expect_value "$tag: property sheet handler for every file" "$HANDLER\\BrisquelPropSheet" "" "$CLSID"
  expect_value "$tag: type library" "HKCR\\TypeLib\\$LIBID\\1.0\\0\\win64" "" "$WDLL"
}
check_registration "register"
before=$(snapshot)
wine regsvr32 /s "$WDLL"; rc=$?
after=$(snapshot)
[ $rc -eq 0 ] && [ "$before" = "$after" ] && pass "registering twice leaves the same keys and values" \
  || fail "registering twice leaves the same keys and values" "$(diff <(echo "$before") <(echo "$after"))"

# A module path with blanks is written in its 8.3 form.
BLANKDIR="$WINEPREFIX/drive_c/Program Files/Brisquel Lite"
mkdir -p "$BLANKDIR" && cp "$DLL" "$BLANKDIR/"
wine regsvr32 /s 'C:\Program Files\Brisquel Lite\BQLite.dll'
short=$(regsz "HKCR\\CLSID\\$CLSID\\InprocServer32" "")
case "$short" in
  *" "*|"") fail "a path with blanks is registered in its short form" "got '$short'" ;;
  C:\\*) pass "a path with blanks is registered in its short form ($short)" ;;
  *) fail "a path with blanks is registered in its short form" "got '$short'" ;;
esac
wine regsvr32 /s "$WDLL"
expect_value "registering from the build folder again" "HKCR\\CLSID\\$CLSID\\InprocServer32" "" "$WDLL"

# ---- Fixtures, made by real tools.
FIX=$ART/fixtures
printf 'Brisquel Lite notes\r\nline two\r\n' > "$FIX/notes.txt"
printf 'une note\n' > "$FIX/résumé notes.txt"
cp "$BUILD/bqlite.exe" "$FIX/tool.exe"
python3 - "$FIX/bundle.zip" "$FIX/notes.txt" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.write(sys.argv[2], "notes.txt")
PY
truncate -s 768M "$FIX/large.bin"

cd "$BUILD"

# dialog_case NAME EXPECTED-TABS FILE...: the dialog's pages equal bqlite.exe's for the files.
dialog_case() {
  local name=$1 tabs=$2; shift 2
  local wfiles=() f
  for f in "$@"; do wfiles+=("$(winpath "$f")"); done
  local out
  out=$(run_host 180 --name "$name" --out "$(winpath "$ART/$name.dialog.json")" --shots "$(winpath "$ART/shots")" "${wfiles[@]}" 2>&1 | tr -d '\r')
  local rc=$?
  echo "$out" > "$ART/$name.host.log"
  if [ $rc -ne 0 ] || [ ! -s "$ART/$name.dialog.json" ]; then fail "$name: dialog read back" "$out"; return; fi
  timeout 120 wine "$BUILD/bqlite.exe" --json "${wfiles[@]}" 2>/dev/null | tr -d '\r' > "$ART/$name.bqlite.json"
  local diff
  if diff=$(python3 "$ROOT/tests/win32/compare_pages.py" "$ART/$name.dialog.json" "$ART/$name.bqlite.json" --expect-tabs "$tabs"); then
    pass "$name: tabs $tabs; every page equals bqlite's"
  else
    fail "$name: dialog pages equal bqlite's" "$diff"
  fi
}

# archive_rows_differ NAME FILE...: after dialog_case NAME, the native bqlite's Archive rows for
# the files against bqlite.exe's; prints the first difference, nothing when they are the same.
archive_rows_differ() {
  local name=$1; shift
  "$ROOT/build/linux/bqlite" --json --page Archive "$@" > "$ART/$name.native.json" 2>/dev/null
  python3 "$ROOT/tests/win32/compare_archive_rows.py" "$ART/$name.bqlite.json" "$ART/$name.native.json"
}

if [ -z "${BQ_WINE_CASES:-}" ]; then  # BQ_WINE_CASES=GLOB runs only the matching case files
dialog_case one-text "Brisquel,Hashes,Streams,Preview,Patterns" "$FIX/notes.txt"
dialog_case one-unicode-name "Brisquel,Hashes,Streams,Preview,Patterns" "$FIX/résumé notes.txt"
dialog_case one-exe "Brisquel,Hashes,Streams,Header,Sections,Imports,Exports,Resources,Details,Patterns" "$FIX/tool.exe"
dialog_case one-zip "Brisquel,Hashes,Streams,Patterns,Archive" "$FIX/bundle.zip"
dialog_case two-files "Brisquel,Hashes,Header,Sections,Exports,Details,Patterns" "$FIX/tool.exe" "$FIX/bundle.zip"

# ---- Page switches.
wine reg add "$TABS" /v Hashes /t REG_DWORD /d 0 /f >/dev/null 2>&1
dialog_case switch-dword-0 "Brisquel,Streams,Preview,Patterns" "$FIX/notes.txt"
wine reg add "$TABS" /v Hashes /t REG_SZ /d 0 /f >/dev/null 2>&1
dialog_case switch-string-0 "Brisquel,Hashes,Streams,Preview,Patterns" "$FIX/notes.txt"
wine reg delete "$TABS" /v Hashes /f >/dev/null 2>&1

# ---- A file that cannot be read: the host holds it open with no sharing.
out=$(run_host 180 --name locked --shots "$(winpath "$ART/shots")" --lock --out "$(winpath "$ART/locked.dialog.json")" "$(winpath "$FIX/notes.txt")" 2>&1 | tr -d '\r')
rc=$?
echo "$out" > "$ART/locked.host.log"
if [ $rc -eq 0 ] && msg=$(python3 "$ROOT/tests/win32/check_empty_pages.py" "$ART/locked.dialog.json"); then
  pass "unreadable file: empty boxes, no rows, the dialog stays usable and closes"
else
  fail "unreadable file: empty boxes, no rows, the dialog stays usable and closes" "$out ${msg:-}"
fi

# ---- Two dialogs at once, each with its own file.
out=$(run_host 240 --name pair --shots "$(winpath "$ART/shots")" --pair --out "$(winpath "$ART/pair-a.dialog.json")" --out-b "$(winpath "$ART/pair-b.dialog.json")" \
      "$(winpath "$FIX/notes.txt")" "$(winpath "$FIX/bundle.zip")" 2>&1 | tr -d '\r')
rc=$?
echo "$out" > "$ART/pair.host.log"
if [ $rc -ne 0 ]; then
  fail "two dialogs at once" "$out"
else
  ok=1; msg=""
  for p in "a notes.txt Brisquel,Hashes,Streams,Preview,Patterns" "b bundle.zip Brisquel,Hashes,Streams,Patterns,Archive"; do
    set -- $p
    wine "$BUILD/bqlite.exe" --json "$(winpath "$FIX/$2")" 2>/dev/null | tr -d '\r' > "$ART/pair-$1.bqlite.json"
    m=$(python3 "$ROOT/tests/win32/compare_pages.py" "$ART/pair-$1.dialog.json" "$ART/pair-$1.bqlite.json" --expect-tabs "$3") || { ok=0; msg+="$2: $m"$'\n'; }
  done
  [ $ok -eq 1 ] && pass "two dialogs at once each show their own file" || fail "two dialogs at once each show their own file" "$msg"
fi

# ---- Cancelling while a large file is being hashed: the dialog closes as fast as one whose
# only work is the shell's own page, and the worker ends with it.
closed_ms() { echo "$1" | sed -n 's/^cancel: closed in \([0-9]*\) ms$/\1/p'; }
base=$(run_host 180 --cancel-on General "$(winpath "$FIX/notes.txt")" 2>&1 | tr -d '\r')
out=$(run_host 180 --cancel-on Hashes "$(winpath "$FIX/large.bin")" 2>&1 | tr -d '\r')
rc=$?
echo "$base"$'\n'"$out" > "$ART/cancel.host.log"
b=$(closed_ms "$base"); c=$(closed_ms "$out")
if [ $rc -ne 0 ] || [ -z "$b" ] || [ -z "$c" ]; then
  fail "cancel during hashing closes promptly" "$base"$'\n'"$out"
elif ! echo "$out" | grep -q '^cancel: [1-9][0-9]* worker thread(s) running'; then
  fail "cancel during hashing closes promptly" "the hash list worker was not running when cancelled: $out"
elif [ "$c" -gt $((b + 1000)) ]; then
  fail "cancel during hashing closes promptly" "closed in $c ms; the shell alone needs $b ms"
else
  pass "cancel during hashing closes promptly ($c ms; the shell alone needs $b ms)"
fi
rm -f "$FIX/large.bin"


fi  # the base cases
# ---- Each subsystem's cases (tests/win32/cases/*.sh), in name order. They run here, inside
# Xvfb in $BUILD, and use dialog_case, run_host, winpath, pass, fail and $FIX.
for case_file in "$ROOT"/tests/win32/cases/*.sh; do
  [ -f "$case_file" ] || continue
  case "$(basename "$case_file")" in ${BQ_WINE_CASES:-*}) . "$case_file" ;; esac
done

# ---- Screenshots as PNG.
n=0
for b in "$ART"/shots/*.bmp; do
  [ -f "$b" ] || continue
  convert "$b" "${b%.bmp}.png" && rm -f "$b" && n=$((n + 1))
done
[ $n -gt 0 ] && pass "screenshots saved ($n PNG files in $ART/shots)" || fail "screenshots saved"

# ---- Removal.
OTHER="$HANDLER\\OtherHandler"
wine reg add "$OTHER" /ve /d '{00000000-1111-2222-3333-444444444444}' /f >/dev/null 2>&1
wine regsvr32 /s /u "$WDLL"; rc=$?
[ $rc -eq 0 ] && pass "regsvr32 /u unregisters the DLL" || fail "regsvr32 /u unregisters the DLL" "exit code $rc"
left=""
for k in "HKCR\\CLSID\\$CLSID" "HKCR\\BQLite.BrisquelPropSheet" "$HANDLER\\BrisquelPropSheet" "HKCR\\TypeLib\\$LIBID"; do
  wine reg query "$k" >/dev/null 2>&1 && left+="$k "
done
[ -z "$left" ] && pass "no key of ours remains" || fail "no key of ours remains" "$left"
expect_value "another program's handler is untouched" "$OTHER" "" '{00000000-1111-2222-3333-444444444444}'
wine regsvr32 /s /u "$WDLL"; rc=$?
[ $rc -eq 0 ] && pass "unregistering again is not a failure" || fail "unregistering again is not a failure" "exit code $rc"
wine reg delete "$OTHER" /f >/dev/null 2>&1

finish
