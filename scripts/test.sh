#!/usr/bin/env bash
# Runs every test suite: the native build, the same suite under ASan+UBSan, the MinGW cross
# builds (x64 and x86), and the Wine end-to-end test of the DLL. Installs what it needs.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh" test || { echo "dependency installation failed"; exit 1; }

jobs=$(nproc)
passed=0
failed=0
failures=()
step() {  # step NAME COMMAND...
  local name=$1
  shift
  echo "::: $name"
  local start=$SECONDS
  if "$@"; then
    passed=$((passed + 1))
    echo "::: $name passed ($((SECONDS - start)) s)"
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "::: $name FAILED ($((SECONDS - start)) s)"
  fi
}

build() { cmake --preset "$1" >/dev/null && cmake --build "build/$1" -j"$jobs"; }
native() { build linux && ctest --test-dir build/linux --output-on-failure -j"$jobs"; }
sanitized() {
  build linux-asan &&
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --test-dir build/linux-asan --output-on-failure -j"$jobs"
}

step "native tests" native
step "sanitizer tests" sanitized
step "fuzzing, 10 s a target" fuzz/run.sh 10
step "windows-x64 build" build windows-x64
step "windows-x86 build" build windows-x86
# The portable suites, built for Windows, run under Wine as well.
wine_units() {
  local prefix="$root/build/windows-x64/wine-units" t rc=0
  for t in build/windows-x64/tests/platform/platform_tests.exe build/windows-x64/tests/shell/shell_tests.exe; do
    [ -f "$t" ] || { echo "missing $t"; return 1; }
    WINEPREFIX="$prefix" WINEDEBUG=-all timeout 600 wine "$t" || rc=1
  done
  return $rc
}
step "windows unit tests under wine" wine_units
if [ -x tests/win32/run_wine_tests.sh ]; then
  step "wine end-to-end" tests/win32/run_wine_tests.sh
fi
step "installer" tests/installer/run_installer_tests.sh

echo
[ ${#failures[@]} -gt 0 ] && printf 'failed: %s\n' "${failures[@]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
