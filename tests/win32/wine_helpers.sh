# Shell helpers of the Wine tests (tests/win32/run_wine_tests.sh, tests/installer): the PASS/FAIL
# tally, Windows paths, registry reads and the dialog host. The sourcing script sets passed=0,
# failed=0, BUILD (the windows-x64 build folder) and ART (its artifacts folder).

pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; [ -n "${2:-}" ] && echo "$2" | sed 's/^/    /'; }
winpath() { local p=$1; echo "Z:${p//\//\\}"; }

# Prints the data of a REG_SZ value ("" for the default value); fails when it is missing or of
# another type.
regsz() {
  local out
  if [ -z "$2" ]; then out=$(wine reg query "$1" /ve 2>/dev/null | tr -d '\r'); else out=$(wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r'); fi
  echo "$out" | grep -q 'REG_SZ' || return 1
  echo "$out" | sed -n 's/^    .*REG_SZ    \{0,1\}//p' | head -1
}
expect_value() {  # name key value-name expected
  local got
  if ! got=$(regsz "$2" "$3"); then fail "$1" "missing or not REG_SZ: $2 [$3]"; return; fi
  [ "$got" = "$4" ] && pass "$1" || fail "$1" "$2 [$3] = '$got', expected '$4'"
}

# run_host LIMIT ARGS...: runs the dialog host for at most LIMIT seconds. A host that hangs is
# traced with winedbg before it is killed (the trace goes to $ART/hang-*.txt). When the trace
# shows a thread inside Wine's text shaping (usp10), which races when edit controls on two
# threads lay out text at once, the run is tried once more; any other hang fails.
run_host() {
  local limit=$1 attempt; shift
  for attempt in 1 2; do
    local log; log=$(mktemp)
    wine "$BUILD/bqdialoghost.exe" "$@" >"$log" 2>&1 &
    local pid=$! waited=0
    while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt "$limit" ]; do sleep 1; waited=$((waited + 1)); done
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"; local rc=$?
      cat "$log"
      # A host that failed says so, even when it printed nothing of its own.
      if [ $rc -ne 0 ]; then
        [ -s "$log" ] || echo "the host printed nothing"
        echo "host exited with status $rc after ${waited}s"
      fi
      rm -f "$log"
      return $rc
    fi
    local trace; trace=$ART/hang-$(date +%s%N).txt
    local wpid; wpid=$(winedbg --command "info process" 2>/dev/null | tr -d '\r' | awk '/bqdialoghost/ {print $1}' | head -1)
    [ -n "$wpid" ] && timeout 60 winedbg --command "bt all" "0x$wpid" >"$trace" 2>&1
    kill -9 "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
    cat "$log"; rm -f "$log"
    echo "host hung after ${limit}s; threads traced to $trace"
    if [ "$attempt" -eq 1 ] && grep -q 'usp10' "$trace" 2>/dev/null; then
      echo "the hang is inside Wine's usp10; trying once more"
      continue
    fi
    return 124
  done
}
