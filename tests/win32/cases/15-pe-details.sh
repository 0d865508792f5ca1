# The Details tab of a signed x64 DLL (osslsigncode, with an RFC 3161 time stamp) and of a .NET
# assembly (mcs) in the real dialog, with screenshots; the signature rows CryptoAPI gives
# equal those libcrypto gives the Linux bqlite, but for the trust row (WinVerifyTrust's answer).
# Sourced by run_wine_tests.sh inside Xvfb.
DFIX=$FIX/pe-details
mkdir -p "$DFIX"
if "$ROOT/tests/pe/make_fixtures.sh" "$BUILD/pe-fixtures" >"$ART/pe-fixtures.log" 2>&1; then
  cp "$BUILD/pe-fixtures/x64/signed.dll" "$DFIX/signed64.dll"
  cp "$BUILD/pe-fixtures/x64/signed_modified.dll" "$DFIX/modified64.dll"
  cp "$BUILD/pe-fixtures/net/prefer32.exe" "$DFIX/dotnet.exe"
  PE_TABS="Brisquel,Hashes,Streams,Header,Sections,Imports,Exports,Resources,Details,Patterns"
  dialog_case pe-details-signed "$PE_TABS" "$DFIX/signed64.dll"
  dialog_case pe-details-modified "$PE_TABS" "$DFIX/modified64.dll"
  dialog_case pe-details-dotnet "$PE_TABS" "$DFIX/dotnet.exe"
  linux=${BQ_LINUX_BQLITE:-$ROOT/build/linux/bqlite}
  for name in signed modified dotnet; do
    f=$(ls "$DFIX"/${name}*)
    if [ -x "$linux" ] && "$linux" --json --page Details "$f" > "$ART/pe-details-$name.linux.json" 2>/dev/null &&
       msg=$(python3 "$ROOT/tests/win32/compare_details.py" "$ART/pe-details-$name.dialog.json" "$ART/pe-details-$name.linux.json"); then
      pass "pe-details-$name: the dialog's Details rows equal the Linux bqlite's ($msg)"
    else
      fail "pe-details-$name: the dialog's Details rows equal the Linux bqlite's" "${msg:-no Linux bqlite at $linux}"
    fi
  done
else
  fail "PE fixtures built with MinGW" "$(tail -20 "$ART/pe-fixtures.log")"
fi
