#!/bin/bash
# The setup program under Wine, in a fresh prefix of its own: a silent install, what it puts on
# disk and in the registry, the Properties dialog served by the installed DLL, a repair, an
# upgrade while Explorer holds the DLL, the call of the 32-bit regsvr32, the silent uninstall,
# and the bad cases. Ends with "N passed, N failed"; exits non-zero on any failure.
set -u -o pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$ROOT/build/windows-x64
STAGE=$ROOT/build/installer/stage  # what the setup carries (scripts/make-installer.sh)
ART=$ROOT/build/installer-test
TOOLS=$ROOT/build/installer-tools
TIMEOUT=${BQ_INSTALLER_TIMEOUT:-300}
export WINEPREFIX=$ROOT/build/installer-prefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8 LC_ALL=C.UTF-8

if [ "${1:-}" != "--inner" ]; then
  for tool in makensis wine xvfb-run x86_64-w64-mingw32-gcc-posix; do
    command -v "$tool" >/dev/null 2>&1 && continue
    "$ROOT/scripts/install-deps.sh" test || { echo "0 passed, 1 failed"; exit 1; }
    break
  done
  SETUP=$("$ROOT/scripts/make-installer.sh" | tail -1) && [ -f "$SETUP" ] ||
    { echo "the setup program did not build"; echo "0 passed, 1 failed"; exit 1; }
  cmake --build "$BUILD" -j2 --target bqdialoghost >/dev/null || { echo "build failed"; echo "0 passed, 1 failed"; exit 1; }
  rm -rf "$ART"; mkdir -p "$ART" "$TOOLS"
  for helper in regsvr32_standin holddll; do
    [ "$TOOLS/$helper.exe" -nt "$ROOT/tests/installer/$helper.c" ] && continue
    x86_64-w64-mingw32-gcc-posix -municode -O2 -s -Wall -o "$TOOLS/$helper.exe" "$ROOT/tests/installer/$helper.c" ||
      { echo "0 passed, 1 failed"; exit 1; }
  done
  export SETUP
  start=$(date +%s)
  timeout -k 20 "$TIMEOUT" xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inner
  rc=$?
  [ $rc -eq 124 ] && echo "timed out after ${TIMEOUT}s" && echo "0 passed, 1 failed"
  echo "installer tests took $(( $(date +%s) - start ))s"
  exit $rc
fi

# ---- Inside Xvfb.
passed=0; failed=0
. "$ROOT/tests/win32/wine_helpers.sh"
phase() { echo "--- $1 (at ${SECONDS}s)"; }

phase "fresh prefix"
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
wineserver -w
# The server stays between the test's Wine runs (starting one costs seconds).
wineserver -p20

C=$WINEPREFIX/drive_c
DEST=$C/Program\ Files/Brisquel\ Lite
WDEST='C:\Program Files\Brisquel Lite'
WSETUP=$(winpath "$SETUP")
CLSID='{6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A61}'
LIBID='{6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A60}'
IID='{6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A62}'
HANDLER='HKCR\*\shellex\PropertySheetHandlers'
UNINST='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brisquel Lite'
PENDING='HKLM\System\CurrentControlSet\Control\Session Manager'
WOW64=$C/windows/syswow64
OURS=("HKCR\\CLSID\\$CLSID" "HKCR\\BQLite.BrisquelPropSheet" "$HANDLER\\BrisquelPropSheet" "HKCR\\TypeLib\\$LIBID"
      "HKCR\\Interface\\$IID" "$UNINST")
# Exit codes reach the shell modulo 256: 3010 ("done; restart to finish") arrives as 194.
RESTART=$((3010 % 256))

finish() {
  wineserver -k >/dev/null 2>&1
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}
# run_setup NAME ARGS...: the setup's exit code in $rc, its standard error in $ART/NAME.err.
run_setup() { local name=$1; shift; wine "$SETUP" "$@" 2>"$ART/$name.err"; rc=$?; }
# Runs the uninstaller in place, so that its exit code is the outcome. Wine quotes an argument
# with blanks, and NSIS reads "_?=" only unquoted: the folder goes in blank-separated pieces.
run_uninstall() {
  local name=$1 parts
  read -r -a parts <<< "_?=$WDEST"
  wine "$DEST/Uninstall.exe" /S "${parts[@]}" 2>"$ART/$name.err"; rc=$?
}
restart_windows() { wineboot -r >/dev/null 2>&1; }
# batch NAME LINE...: runs the lines as one batch file in one Wine process tree (a Wine start
# from here costs a second or more; reg.exe started by cmd far less).
batch() {
  local name=$1; shift
  printf '%s\r\n' "@echo off" "$@" > "$ART/$name.cmd"
  wine cmd /c "$(winpath "$ART/$name.cmd")" 2>/dev/null | tr -d '\r'
}

# The registry as the test sees it: every key of ours and the keys that must stay, recursively,
# the pending renames, and the short form of the installed DLL's path. `snapshot NAME` takes it
# (into $ART/NAME.reg.txt); `has_key`, `value` and `expect` read the last one.
OTHER="$HANDLER\\OtherHandler"
TABS='HKCU\Software\Marrowgate\Brisquel Lite\Tabs'
snapshot() {
  local k lines=()
  SNAP=$ART/$1.reg.txt
  for k in "${OURS[@]}" "$OTHER" "$TABS"; do lines+=("reg query \"$k\" /s"); done
  batch "$1" "${lines[@]}" "reg query \"$PENDING\" /v PendingFileRenameOperations" \
    "for %%I in (\"$WDEST\\BQLite.dll\") do echo SHORT %%~sI" > "$SNAP"
}
long_key() { local k=${1/#HKCR\\/HKEY_CLASSES_ROOT\\}; k=${k/#HKLM\\/HKEY_LOCAL_MACHINE\\}; echo "${k/#HKCU\\/HKEY_CURRENT_USER\\}"; }
# A key with no values of its own shows only through its subkeys.
has_key() {
  KEY=$(long_key "$1") awk 'BEGIN { key = tolower(ENVIRON["KEY"]) }
    /^HKEY_/ { k = tolower($0); if (k == key || index(k, key "\\") == 1) { found = 1; exit } }
    END { exit !found }' "$SNAP"
}
value() {  # KEY NAME ("" for the default value): prints the data; fails when absent
  KEY=$(long_key "$1") NAME=${2:-(Default)} awk '
    BEGIN { key = tolower(ENVIRON["KEY"]); name = ENVIRON["NAME"] }
    /^HKEY_/ { here = (tolower($0) == key); next }
    here && index($0, "    " name "    ") == 1 {
      rest = substr($0, length(name) + 9); i = index(rest, "    ")
      print (i ? substr(rest, i + 4) : ""); found = 1; exit }
    END { exit !found }' "$SNAP"
}
expect() {  # NAME KEY VALUE-NAME EXPECTED
  local got
  if ! got=$(value "$2" "$3"); then fail "$1" "missing: $2 [$3]"; return; fi
  [ "$got" = "$4" ] && pass "$1" || fail "$1" "$2 [$3] = '$got', expected '$4'"
}
keys_left() { local k; for k in "${OURS[@]}"; do has_key "$k" && echo "$k"; done; }
installed_files=(BQLite.dll Extensions.ini bqlite.exe readme.txt Uninstall.exe x86/BQLite.dll x86/Extensions.ini)

# ---- A file where the folder should be: nothing is installed or registered.
phase "bad /D"
echo "not a folder" > "$C/blocked"
run_setup blocked /S '/D=C:\blocked'
snapshot blocked
if [ $rc -ne 0 ] && grep -q 'cannot install into C:\\blocked' "$ART/blocked.err" && [ -z "$(keys_left)" ] && [ -f "$C/blocked" ] &&
   [ ! -e "$DEST" ]; then
  pass "/D= naming a file: exit code $rc, \"$(tr -d '\r\n' < "$ART/blocked.err")\", nothing registered"
else
  fail "/D= naming a file fails and registers nothing" "exit code $rc; $(cat "$ART/blocked.err"); keys: $(keys_left)"
fi

# ---- Silent installation on a Windows without its 32-bit subsystem (64-bit Wine).
phase "silent installation"
run_setup install /S
[ $rc -eq 0 ] && pass "setup /S exits 0" || fail "setup /S exits 0" "exit code $rc; $(cat "$ART/install.err")"
snapshot install
same_files() {  # the installed files are the built ones
  local bad="" f
  for f in BQLite.dll:$STAGE/x64/BQLite.dll Extensions.ini:$STAGE/x64/Extensions.ini bqlite.exe:$STAGE/x64/bqlite.exe \
           readme.txt:$ROOT/installer/readme.txt x86/BQLite.dll:$STAGE/x86/BQLite.dll x86/Extensions.ini:$STAGE/x86/Extensions.ini; do
    cmp -s "$DEST/${f%%:*}" "${f#*:}" || bad+="${f%%:*} "
  done
  [ -f "$DEST/Uninstall.exe" ] || bad+="Uninstall.exe "
  echo "$bad"
}
bad=$(same_files)
[ -z "$bad" ] && pass "every file is in place and equals the build's" || fail "every file is in place" "missing or different: $bad"
# The installed images carry no DWARF (objdump resolves the long section names) and keep ASLR,
# DEP and their relocations, as pefile reads them.
debug=""
for f in BQLite.dll bqlite.exe x86/BQLite.dll; do
  n=$(x86_64-w64-mingw32-objdump -h "$DEST/$f" 2>&1 | grep -c ' \.debug_')
  [ "$n" -eq 0 ] || debug+="$f: $n .debug_ sections; "
done
[ -z "$debug" ] && pass "the installed images carry no DWARF sections" || fail "the installed images carry no DWARF sections" "$debug"
if msg=$(/usr/bin/python3 - "$DEST/BQLite.dll" "$DEST/bqlite.exe" "$DEST/x86/BQLite.dll" <<'PY'
import sys, pefile
bad = []
for path in sys.argv[1:]:
    pe = pefile.PE(path, fast_load=True)
    want = 0x0160 if pe.OPTIONAL_HEADER.Magic == 0x20B else 0x0140
    dc = pe.OPTIONAL_HEADER.DllCharacteristics
    reloc = pe.OPTIONAL_HEADER.DATA_DIRECTORY[5].Size
    wx = [s.Name.rstrip(b"\0").decode() for s in pe.sections if s.Characteristics & 0xA0000000 == 0xA0000000]
    names = [s.Name.rstrip(b"\0") for s in pe.sections]
    if dc & want != want or not reloc or b".reloc" not in names or pe.FILE_HEADER.Characteristics & 1 or wx:
        bad.append(f"{path}: DllCharacteristics {dc:#06x}, relocations {reloc} bytes, writable code {wx}")
    print(f"{'/'.join(path.split('/')[-2:])}: DllCharacteristics {dc:#06x}", file=sys.stderr)
print("; ".join(bad))
sys.exit(1 if bad else 0)
PY
); then
  pass "the installed images keep ASLR, DEP and their relocations, with no writable code"
else
  fail "the installed images keep ASLR, DEP and their relocations, with no writable code" "$msg"
fi
file "$DEST/x86/BQLite.dll" | grep -q 'PE32 executable (DLL).*Intel 80386' && file "$DEST/BQLite.dll" | grep -q 'PE32+ executable (DLL).*x86-64' &&
  pass "the x86 DLL lands in x86\\, the x64 DLL beside it" || fail "x86 and x64 DLLs" "$(file "$DEST/BQLite.dll" "$DEST/x86/BQLite.dll")"

# InprocServer32 holds the short form of the installed x64 DLL's path.
check_registration() {
  local tag=$1 short
  short=$(sed -n 's/^SHORT //p' "$SNAP")
  expect "$tag: InprocServer32 is the installed x64 DLL ($short)" "HKCR\\CLSID\\$CLSID\\InprocServer32" "" "$short"
  expect "$tag: ThreadingModel" "HKCR\\CLSID\\$CLSID\\InprocServer32" ThreadingModel Apartment
  expect "$tag: ProgID" "HKCR\\BQLite.BrisquelPropSheet\\Clsid" "" "$CLSID"
  expect "$tag: property sheet handler for every file" "$HANDLER\\BrisquelPropSheet" "" "$CLSID"
  expect "$tag: type library" "HKCR\\TypeLib\\$LIBID\\1.0\\0\\win64" "" "$WDEST\\BQLite.dll"
}
check_registration "install"

version=$(basename "$SETUP"); version=${version#BQLite-}; version=${version%-setup.exe}
check_uninstall_entry() {
  local tag=$1 size actual
  expect "$tag: DisplayName" "$UNINST" DisplayName "Brisquel Lite"
  expect "$tag: DisplayVersion" "$UNINST" DisplayVersion "$version"
  expect "$tag: Publisher" "$UNINST" Publisher "Marrowgate"
  expect "$tag: DisplayIcon" "$UNINST" DisplayIcon "$WDEST\\BQLite.dll,0"
  expect "$tag: InstallLocation" "$UNINST" InstallLocation "$WDEST"
  expect "$tag: UninstallString" "$UNINST" UninstallString "\"$WDEST\\Uninstall.exe\""
  expect "$tag: QuietUninstallString" "$UNINST" QuietUninstallString "\"$WDEST\\Uninstall.exe\" /S"
  expect "$tag: NoModify" "$UNINST" NoModify 0x1
  expect "$tag: NoRepair" "$UNINST" NoRepair 0x1
  size=$(( $(value "$UNINST" EstimatedSize || echo 0) ))
  actual=$(( $(du -cb "${installed_files[@]/#/$DEST/}" | tail -1 | cut -f1) / 1024 ))
  [ "$size" -gt $((actual * 9 / 10)) ] && [ "$size" -le $((actual * 11 / 10)) ] && pass "$tag: EstimatedSize $size KiB (files: $actual KiB)" ||
    fail "$tag: EstimatedSize" "$size KiB; the files take $actual KiB"
}
check_uninstall_entry "install"

# ---- The Properties dialog, served by the installed DLL, shows what the installed bqlite shows.
phase "Properties dialog"
mkdir -p "$ART/shots"
printf 'Brisquel Lite notes\r\nline two\r\n' > "$ART/notes.txt"
cd "$ART"
out=$(run_host 180 --name installed --out "$(winpath "$ART/installed.dialog.json")" --shots "$(winpath "$ART/shots")" "$(winpath "$ART/notes.txt")" 2>&1 | tr -d '\r')
hrc=$?
echo "$out" > "$ART/installed.host.log"
module=$(echo "$out" | sed -n 's/^installed module: //p')
wine "$DEST/bqlite.exe" --json "$(winpath "$ART/notes.txt")" 2>/dev/null | tr -d '\r' > "$ART/installed.bqlite.json"
if [ $hrc -ne 0 ] || [ ! -s "$ART/installed.dialog.json" ]; then
  fail "the dialog host opens the Properties dialog" "$out"
elif [ "$module" != "$WDEST\\BQLite.dll" ]; then
  fail "the tabs are served by the installed DLL" "loaded from '$module'"
elif diff=$(python3 "$ROOT/tests/win32/compare_pages.py" "$ART/installed.dialog.json" "$ART/installed.bqlite.json" \
            --expect-tabs "Brisquel,Hashes,Streams,Preview,Patterns"); then
  pass "the installed DLL serves the tabs; every page equals the installed bqlite's"
else
  fail "the dialog's pages equal the installed bqlite's" "$diff"
fi

# ---- Setup over the installation repairs it (and upgrades it, the version being the same).
phase "repair"
# A damaged installation: the handler's key and a file gone.
damaged=$(batch damage "reg delete \"$HANDLER\\BrisquelPropSheet\" /f >nul" "reg query \"$HANDLER\\BrisquelPropSheet\" >nul 2>&1 || echo gone")
rm -f "$DEST/readme.txt"
run_setup repair /S
[ $rc -eq 0 ] && [ "$damaged" = gone ] && [ -z "$(same_files)" ] && pass "setup over a damaged installation exits 0 and restores the files" ||
  fail "setup over a damaged installation" "exit code $rc; damaged: $damaged; $(cat "$ART/repair.err"); files: $(same_files)"
snapshot repair
check_registration "again"
check_uninstall_entry "again"

# ---- Upgrade while a program (Explorer) has the DLL loaded: replaced at the next restart.
phase "upgrade of a DLL in use"
rm -f "$ART/ready"
wine "$TOOLS/holddll.exe" "$WDEST\\BQLite.dll" "$(winpath "$ART/ready")" &
holder=$!
for _ in $(seq 100); do [ -f "$ART/ready" ] && break; sleep 0.2; done
run_setup inuse /S
snapshot inuse
pending=$(value "$PENDING" PendingFileRenameOperations)
check_registration "in use"
if [ $rc -eq $RESTART ] && grep -q 'replaced when Windows restarts' "$ART/inuse.err" && [ -f "$DEST/BQLite.dll.new" ] &&
   echo "$pending" | grep -qF 'Brisquel Lite\BQLite.dll.new'; then
  pass "a DLL in use: exit code 3010, \"replaced when Windows restarts\", the rename waits for the restart"
else
  fail "a DLL in use is replaced at the next restart" "exit code $rc; $(cat "$ART/inuse.err"); $(ls "$DEST"); $pending"
fi
kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null
# The staged file gets a mark, to see that it is the one in place after the restart.
printf 'upgrade' >> "$DEST/BQLite.dll.new"
restart_windows
[ ! -e "$DEST/BQLite.dll.new" ] && [ "$(tail -c 7 "$DEST/BQLite.dll")" = upgrade ] && pass "after the restart the new DLL is in place" ||
  fail "after the restart the new DLL is in place" "$(ls -l "$DEST")"

# ---- The x86 DLL on a Windows that runs 32-bit programs. This machine runs none, so a
# stand-in SysWOW64\regsvr32.exe (a 64-bit program) records how it is called.
phase "32-bit registration"
echo "marks a 32-bit subsystem" > "$WOW64/ntdll.dll"
cp "$TOOLS/regsvr32_standin.exe" "$WOW64/regsvr32.exe"
calls=$WOW64/regsvr32-calls.txt
run_setup wow64 /S
expected="\"C:\\windows\\SysWOW64\\regsvr32.exe\" /s \"$WDEST\\x86\\BQLite.dll\""
[ $rc -eq 0 ] && [ "$(tr -d '\r' < "$calls" 2>/dev/null)" = "$expected" ] && pass "the x86 DLL is registered with SysWOW64\\regsvr32 /s" ||
  fail "the x86 DLL is registered with SysWOW64\\regsvr32" "exit code $rc; calls: $(cat "$calls" 2>&1); expected $expected"
echo 5 > "$WOW64/regsvr32-exit.txt"
run_setup wow64-fails /S
[ $rc -ne 0 ] && [ $rc -ne $RESTART ] && grep -q 'could not register .*x86\\BQLite.dll (exit code 5)' "$ART/wow64-fails.err" &&
  pass "a failed 32-bit registration fails the setup: \"$(tr -d '\r\n' < "$ART/wow64-fails.err")\"" ||
  fail "a failed 32-bit registration fails the setup" "exit code $rc; $(cat "$ART/wow64-fails.err")"
rm -f "$WOW64/regsvr32-exit.txt" "$calls"

# ---- Silent uninstall; another program's handler and the user's page switches stay.
phase "uninstall"
batch add "reg add \"$OTHER\" /ve /d {00000000-1111-2222-3333-444444444444} /f" "reg add \"$TABS\" /v Hashes /t REG_DWORD /d 0 /f" >/dev/null
run_uninstall uninstall
[ $rc -eq 0 ] && pass "Uninstall.exe /S exits 0" || fail "Uninstall.exe /S exits 0" "exit code $rc; $(cat "$ART/uninstall.err")"
[ "$(tr -d '\r' < "$calls" 2>/dev/null)" = "\"C:\\windows\\SysWOW64\\regsvr32.exe\" /u /s \"$WDEST\\x86\\BQLite.dll\"" ] &&
  pass "the x86 DLL is unregistered with SysWOW64\\regsvr32 /u" || fail "the x86 DLL is unregistered" "calls: $(cat "$calls" 2>&1)"
rm -f "$WOW64/regsvr32.exe" "$WOW64/ntdll.dll" "$calls"
snapshot uninstall
left=$(keys_left)
[ -z "$left" ] && pass "no key of ours remains" || fail "no key of ours remains" "$left"
expect "another program's handler is untouched" "$OTHER" "" '{00000000-1111-2222-3333-444444444444}'
expect "the user's page switch is untouched" "$TABS" Hashes 0x0
# Run in place, the uninstaller cannot delete itself: it and the folder go at the next restart.
[ "$(cd "$DEST" 2>/dev/null && find . -mindepth 1)" = "./Uninstall.exe" ] && pass "every other file is gone" ||
  fail "every other file is gone" "$(cd "$DEST" && find . -mindepth 1)"
restart_windows
[ ! -e "$DEST" ] && pass "after the restart the folder is gone" || fail "after the restart the folder is gone" "$(ls -la "$DEST")"

# ---- Uninstall after the files were deleted by hand: the keys go all the same.
phase "uninstall after deletion by hand"
run_setup reinstall /S
[ $rc -eq 0 ] || fail "setup /S after an uninstall" "exit code $rc; $(cat "$ART/reinstall.err")"
find "$DEST" -mindepth 1 ! -name Uninstall.exe -delete
run_uninstall deleted
snapshot deleted
left=$(keys_left)
[ $rc -eq 0 ] && [ -z "$left" ] && pass "uninstall after the files were deleted by hand exits 0 and leaves no key" ||
  fail "uninstall after the files were deleted by hand" "exit code $rc; $(cat "$ART/deleted.err"); left: $left"

finish
