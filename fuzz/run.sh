#!/usr/bin/env bash
# Builds the fuzz targets with clang (ASan + UBSan + libFuzzer) and runs each for a while.
#   fuzz/run.sh [seconds per target, default 60]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBQ_SANITIZE=ON -DBQ_FUZZ=ON -DBQ_TESTS=OFF -DBQ_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_identify
for t in fuzz_identify; do
  mkdir -p "$build/corpus/$t"
  "$build/fuzz/$t" -max_total_time="$seconds" -max_len=70000 -rss_limit_mb=1024 "$build/corpus/$t"
done
