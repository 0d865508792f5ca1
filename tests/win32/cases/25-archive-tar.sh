# Archive page of a solid bzip2 NSIS installer and of a .tar.gz (unicode names, folders, times
# before 1970 and after 2100), each dialog equal to bqlite.exe's JSON and its rows equal to the
# native bqlite's. Sourced by run_wine_tests.sh inside Xvfb.
AFIX=$FIX/archive
if [ ! -f "$AFIX/gnu.tar.gz" ] || [ ! -f "$AFIX/nsis-solid-bzip2.exe" ]; then
  python3 "$ROOT/tests/archive/make_fixtures.py" "$AFIX" >"$ART/archive-tar-fixtures.log" 2>&1 ||
    fail "tar fixtures made" "$(tail -5 "$ART/archive-tar-fixtures.log")"
fi
if [ -f "$AFIX/gnu.tar.gz" ]; then
  dialog_case archive-nsis-bzip2 "Brisquel,Hashes,Streams,Header,Sections,Imports,Exports,Resources,Details,Patterns,Archive" \
    "$AFIX/nsis-solid-bzip2.exe"
  dialog_case archive-targz "Brisquel,Hashes,Streams,Patterns,Archive" "$AFIX/gnu.tar.gz"
  NATIVE=$ROOT/build/linux/bqlite
  if [ -x "$NATIVE" ]; then
    msg=""
    for name in nsis-bzip2 targz; do
      file=$AFIX/gnu.tar.gz
      [ $name = nsis-bzip2 ] && file=$AFIX/nsis-solid-bzip2.exe
      m=$(archive_rows_differ "archive-$name" "$file")
      [ -n "$m" ] && msg+="$name: $m"$'\n'
    done
    [ -z "$msg" ] && pass "tar.gz and bzip2 installer rows under Wine equal the native bqlite's" ||
      fail "tar.gz and bzip2 installer rows under Wine equal the native bqlite's" "$msg"
  fi
fi
