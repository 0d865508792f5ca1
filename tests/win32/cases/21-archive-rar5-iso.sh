# Archive page of a RAR 5 archive (made by tests/archive/make_rar5.py), of one whose headers are
# encrypted, and of ISO 9660 images with Joliet and with Rock Ridge names (genisoimage, xorriso),
# each dialog equal to bqlite.exe's JSON and its rows equal to the native bqlite's. Sourced by
# run_wine_tests.sh inside Xvfb.
R5FIX=$FIX/archive-rar5-iso
if ! python3 "$ROOT/tests/archive/make_fixtures.py" "$R5FIX" --rar5-iso >"$ART/archive-rar5-iso-fixtures.log" 2>&1; then
  fail "RAR 5 and ISO fixtures made" "$(tail -5 "$ART/archive-rar5-iso-fixtures.log")"
else
  R5TABS="Brisquel,Hashes,Streams,Patterns,Archive"
  dialog_case archive-rar5 "$R5TABS" "$R5FIX/full5.rar"
  dialog_case archive-rar5-encrypted "$R5TABS" "$R5FIX/encrypted5.rar"
  dialog_case archive-iso-joliet "$R5TABS" "$R5FIX/joliet.iso"
  dialog_case archive-iso-rockridge "$R5TABS" "$R5FIX/both.iso"

  NATIVE=$ROOT/build/linux/bqlite
  if [ -x "$NATIVE" ]; then
    msg=""
    for name in rar5:full5.rar rar5-encrypted:encrypted5.rar iso-joliet:joliet.iso iso-rockridge:both.iso; do
      m=$(archive_rows_differ "archive-${name%%:*}" "$R5FIX/${name#*:}")
      [ -n "$m" ] && msg+="${name%%:*}: $m"$'\n'
    done
    [ -z "$msg" ] && pass "RAR 5 and ISO rows and dates under Wine equal the native bqlite's" || fail "RAR 5 and ISO rows and dates under Wine equal the native bqlite's" "$msg"
  fi
fi
