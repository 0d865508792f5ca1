# Archive page of 7z archives (solid LZMA2 with empty files and folders, encrypted names), of a
# .tar.xz and of a lone .xz, each dialog equal to bqlite.exe's JSON. Fixtures from make_7z_fixtures.py.
# Sourced by run_wine_tests.sh inside Xvfb.
A7=$FIX/archive7z
if ! python3 "$ROOT/tests/archive/make_7z_fixtures.py" "$A7" >"$ART/archive7z-fixtures.log" 2>&1; then
  fail "7z and xz fixtures made" "$(tail -5 "$ART/archive7z-fixtures.log")"
else
  dialog_case archive-7z "Brisquel,Hashes,Streams,Patterns,Archive" "$A7/lzma2.7z"
  dialog_case archive-7z-encrypted "Brisquel,Hashes,Streams,Patterns,Archive" "$A7/encrypted.7z"
  dialog_case archive-xz "Brisquel,Hashes,Streams,Patterns,Archive" "$A7/concat.xz"
  dialog_case archive-tarxz "Brisquel,Hashes,Streams,Patterns,Archive" "$A7/tree.tar.xz"
  # The rows are the native bqlite's too.
  NATIVE=$ROOT/build/linux/bqlite
  if [ -x "$NATIVE" ]; then
    msg=""
    for pair in "archive-7z lzma2.7z" "archive-7z-encrypted encrypted.7z" "archive-xz concat.xz" "archive-tarxz tree.tar.xz"; do
      set -- $pair
      m=$(archive_rows_differ "$1" "$A7/$2")
      [ -n "$m" ] && msg+="$2: $m"$'\n'
    done
    [ -z "$msg" ] && pass "7z, tar.xz and xz rows under Wine equal the native bqlite's" || fail "7z, tar.xz and xz rows under Wine equal the native bqlite's" "$msg"
  fi
fi
