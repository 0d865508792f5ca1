# Many dialogs and a long session (sourced by run_wine_tests.sh inside Xvfb, in $BUILD): twenty
# Properties dialogs open at once on files of every kind, every tab of each visited, all closed;
# then BQ_STRESS_CYCLES open/visit/close cycles on one text file. bqstresshost fails when the
# process's handles, GDI and USER objects or private bytes do not come back to their level after
# the first cycle, or when the module does not answer S_OK to DllCanUnloadNow.
# A cycle costs 4-6 s under Wine here (2 s of it Wine's sheet closing), so the suite runs 30,
# enough for a leak of one object a dialog to pass the 5 % allowed; BQ_STRESS_CYCLES=200 (with
# BQ_WINE_TIMEOUT=3000) gives the long session.
SFIX=$FIX/stress
mkdir -p "$SFIX"
cmake --build "$BUILD" --target bqstresshost >"$ART/stress-build.log" 2>&1 ||
  fail "stress: bqstresshost builds" "$(tail -20 "$ART/stress-build.log")"

# The fixtures of the other cases, made here when those cases did not run.
stress_files=("$FIX/notes.txt" "$FIX/résumé notes.txt" "$FIX/bundle.zip")
if "$ROOT/tests/pe/make_fixtures.sh" "$BUILD/pe-fixtures" >"$ART/stress-pe-fixtures.log" 2>&1; then
  for arch in x64 x86; do
    cp "$BUILD/pe-fixtures/$arch/app.exe" "$SFIX/app-$arch.exe"
    cp "$BUILD/pe-fixtures/$arch/lib.dll" "$SFIX/lib-$arch.dll"
    stress_files+=("$SFIX/app-$arch.exe" "$SFIX/lib-$arch.dll")
  done
fi
[ -f "$FIX/archive/py.zip" ] || python3 "$ROOT/tests/archive/make_fixtures.py" "$FIX/archive" >"$ART/stress-archive-fixtures.log" 2>&1
for f in py.zip full.rar mszip.cab help.chm nsis-lzma.exe; do
  [ -f "$FIX/archive/$f" ] && stress_files+=("$FIX/archive/$f")
done
(cd "$SFIX" &&
  sox -n -b 16 -r 22050 -c 1 tone.wav synth 0.5 sine 440 &&
  lame --quiet -b 64 --tt 'Τίτλος' tone.wav song.mp3 &&
  oggenc -Q -c TITLE=Song tone.wav -o song.ogg &&
  flac -s -f -T TITLE=Song tone.wav -o song.flac) >/dev/null 2>&1
for f in tone.wav song.mp3 song.ogg song.flac; do [ -f "$SFIX/$f" ] && stress_files+=("$SFIX/$f"); done
printf 'unit Demo;\r\n{ comment }\r\ninterface\r\nend.\r\n' > "$SFIX/demo.pas"
printf '{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Hello {\\b bold}\\par}' > "$SFIX/doc.rtf"
printf 'Greek: \xce\xb1\xce\xb2\xce\xb3\nCJK: \xe4\xb8\xad\xe6\x96\x87\n' > "$SFIX/utf8.txt"
printf '<?xml version="1.0"?>\n<!-- note -->\n<a b="1">text</a>\n' > "$SFIX/data.xml"
stress_files+=("$SFIX/demo.pas" "$SFIX/doc.rtf" "$SFIX/data.xml" "$SFIX/utf8.txt")
stress_files=("${stress_files[@]:0:20}")

if [ ${#stress_files[@]} -lt 20 ]; then
  fail "stress: twenty fixtures of every kind" "only ${#stress_files[@]}: ${stress_files[*]}"
else
  wfiles=()
  for f in "${stress_files[@]}"; do wfiles+=("$(winpath "$f")"); done
  cycles=${BQ_STRESS_CYCLES:-30}
  start=$SECONDS
  wine "$BUILD/bqstresshost.exe" --cycles "$cycles" --cycle-file "$(winpath "$FIX/notes.txt")" "${wfiles[@]}" \
    >"$ART/stress.host.log" 2>&1 &
  pid=$! waited=0 limit=${BQ_STRESS_TIMEOUT:-$((300 + 10 * cycles))}
  while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt "$limit" ]; do sleep 1; waited=$((waited + 1)); done
  if kill -0 "$pid" 2>/dev/null; then
    wpid=$(winedbg --command "info process" 2>/dev/null | tr -d '\r' | awk '/bqstresshost/ {print $1}' | head -1)
    [ -n "$wpid" ] && timeout 60 winedbg --command "bt all" "0x$wpid" >"$ART/stress-hang.txt" 2>&1
    kill -9 "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
    rc=124
    echo "stress host hung after ${limit}s; threads traced to $ART/stress-hang.txt" >>"$ART/stress.host.log"
  else
    wait "$pid"; rc=$?
  fi
  out=$(tr -d '\r' < "$ART/stress.host.log")
  echo "$out" | grep '^stress:'
  echo "stress: the case took $((SECONDS - start)) s"
  if [ $rc -eq 0 ] && echo "$out" | grep -q '^stress: 20 dialogs open at once'; then
    pass "stress: twenty dialogs at once and $cycles cycles leave handles, objects and memory as after the first cycle; DllCanUnloadNow S_OK after the host's own sheets"
  else
    fail "stress: twenty dialogs at once and $cycles cycles" "exit code $rc"$'\n'"$(echo "$out" | tail -30)"
  fi
fi
