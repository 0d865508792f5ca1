#!/usr/bin/env bash
# Builds the fuzz targets with clang (ASan + UBSan + libFuzzer) and runs each for a while.
#   fuzz/run.sh [seconds per target, default 60] [target...]
# A target's extra libFuzzer flags may stand in fuzz/<target>.flags (one line); its seeds in
# build/fuzz/corpus/<target>, which a fixture script may fill.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBQ_SANITIZE=ON -DBQ_FUZZ=ON -DBQ_TESTS=OFF -DBQ_BENCH=OFF >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for s in "$root"/fuzz/fuzz_*.cpp; do targets+=("$(basename "$s" .cpp)"); done
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t"
  flags=()
  [ -f "$root/fuzz/$t.flags" ] && read -r -a flags < "$root/fuzz/$t.flags"
  echo "::: $t"
  # The fuzzer's own status says whether it found something (a pipe into grep would hide it).
  status=0
  "$build/fuzz/$t" -max_total_time="$seconds" -max_len=70000 -rss_limit_mb=1024 -timeout=10 "${flags[@]}" \
    "$build/corpus/$t" > "$build/$t.log" 2>&1 || status=$?
  grep -E '^(#[0-9]+ *DONE|==|SUMMARY|ERROR|INFO: Running|Done )' "$build/$t.log" || true
  [ "$status" -eq 0 ] || { echo "$t: finding (exit status $status; the whole log: $build/$t.log)"; exit 1; }
done
