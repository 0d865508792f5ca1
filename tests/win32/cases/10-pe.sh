# PE pages in the real dialog: an x64 and an i686 executable and DLL made by MinGW, the Imports
# page as list and (with the DisableImportsXPView tweak) as tree, and a two-file selection.
# Sourced by run_wine_tests.sh inside Xvfb.
PEFIX=$FIX/pe
mkdir -p "$PEFIX"
if "$ROOT/tests/pe/make_fixtures.sh" "$BUILD/pe-fixtures" >"$ART/pe-fixtures.log" 2>&1; then
  cp "$BUILD/pe-fixtures/x64/app.exe" "$PEFIX/app64.exe"
  cp "$BUILD/pe-fixtures/x86/app.exe" "$PEFIX/app32.exe"
  cp "$BUILD/pe-fixtures/x64/lib.dll" "$PEFIX/lib64.dll"
  cp "$BUILD/pe-fixtures/x86/lib.dll" "$PEFIX/lib32.dll"
  PE_TABS="Brisquel,Hashes,Streams,Header,Sections,Imports,Exports,Resources,Details,Patterns"
  dialog_case pe-x64-exe "$PE_TABS" "$PEFIX/app64.exe"
  dialog_case pe-x86-exe "$PE_TABS" "$PEFIX/app32.exe"
  dialog_case pe-x86-dll "$PE_TABS" "$PEFIX/lib32.dll"
  dialog_case pe-two-files "Brisquel,Hashes,Header,Sections,Exports,Details,Patterns" "$PEFIX/app64.exe" "$PEFIX/lib32.dll"

  # The tree view: the tweak under the common key, read when the module loads. It is set in both
  # registry views, so the test holds whichever view the x64 module reads.
  TWEAKS='HKLM\SOFTWARE\Marrowgate\Tweaks'
  for view in 32 64; do wine reg add "$TWEAKS" /v DisableImportsXPView /t REG_DWORD /d 1 /f /reg:$view >/dev/null 2>&1; done
  for arch in 64 32; do
    dialog_case "pe-x$arch-tree" "$PE_TABS" "$PEFIX/app$arch.exe"
    if grep -q '"template": "IMPORTS"' "$ART/pe-x$arch-tree.dialog.json" 2>/dev/null &&
       python3 -c 'import json,sys; t=[p for p in json.load(open(sys.argv[1]))["pages"] if p["template"]=="IMPORTS"][0]["tree"]; sys.exit(0 if len(t) >= 5 and all(n.get("children") for n in t) else 1)' "$ART/pe-x$arch-tree.dialog.json"; then
      pass "pe-x$arch-tree: the Imports page is a tree of libraries with their functions"
    else
      fail "pe-x$arch-tree: the Imports page is a tree of libraries with their functions"
    fi
  done
  for view in 32 64; do wine reg delete "$TWEAKS" /v DisableImportsXPView /f /reg:$view >/dev/null 2>&1; done
else
  fail "PE fixtures built with MinGW" "$(tail -20 "$ART/pe-fixtures.log")"
fi
