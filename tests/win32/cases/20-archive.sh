# Archive page: one archive of each kind and a selection of a ZIP, a CAB and a text file, each
# dialog equal to bqlite.exe's JSON (screenshots in $ART/shots). Fixtures come from the same
# maker as the native tests. Sourced by run_wine_tests.sh inside Xvfb.
AFIX=$FIX/archive
if ! python3 "$ROOT/tests/archive/make_fixtures.py" "$AFIX" >"$ART/archive-fixtures.log" 2>&1; then
  fail "archive fixtures made" "$(tail -5 "$ART/archive-fixtures.log")"
else
  printf 'not an archive\r\n' > "$AFIX/readme.txt"
  ARCHIVE_TABS="Brisquel,Hashes,Streams,Patterns,Archive"
  dialog_case archive-zip "$ARCHIVE_TABS" "$AFIX/py.zip"
  dialog_case archive-rar "$ARCHIVE_TABS" "$AFIX/full.rar"
  dialog_case archive-cab "$ARCHIVE_TABS" "$AFIX/mszip.cab"
  dialog_case archive-chm "$ARCHIVE_TABS" "$AFIX/help.chm"
  dialog_case archive-nsis "Brisquel,Hashes,Streams,Header,Sections,Imports,Exports,Resources,Details,Patterns,Archive" "$AFIX/nsis-lzma.exe"
  dialog_case archive-selection "Brisquel,Hashes,Patterns,Archive" "$AFIX/py.zip" "$AFIX/mszip.cab" "$AFIX/readme.txt"

  # The Windows pages print dates in the user's short format; under this test's locale that is
  # English (United States), as the native bqlite prints them: the rows must be the same.
  NATIVE=$ROOT/build/linux/bqlite
  if [ -x "$NATIVE" ]; then
    msg=""
    for name in zip rar cab chm nsis selection; do
      set -- "$AFIX/py.zip"
      case $name in
        rar) set -- "$AFIX/full.rar" ;; cab) set -- "$AFIX/mszip.cab" ;; chm) set -- "$AFIX/help.chm" ;;
        nsis) set -- "$AFIX/nsis-lzma.exe" ;; selection) set -- "$AFIX/py.zip" "$AFIX/mszip.cab" "$AFIX/readme.txt" ;;
      esac
      m=$(archive_rows_differ "archive-$name" "$@")
      [ -n "$m" ] && msg+="$name: $m"$'\n'
    done
    [ -z "$msg" ] && pass "archive rows and dates under Wine equal the native bqlite's" || fail "archive rows and dates under Wine equal the native bqlite's" "$msg"
  fi
fi
