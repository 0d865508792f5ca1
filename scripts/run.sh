#!/usr/bin/env bash
# The main job: builds bqlite and prints the pages for the files given, or for a sample set
# the project makes itself when no file is given. Extra bqlite options may come first
# (e.g. scripts/run.sh --json file.exe).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" build
cd "$root"
cmake --preset linux >/dev/null
cmake --build build/linux -j"$(nproc)" --target bqlite >/dev/null

has_file=0
for a in "$@"; do [ -e "$a" ] && has_file=1; done
[ $has_file -eq 1 ] && exec "$root/build/linux/bqlite" "$@"

"$root/scripts/make-samples.sh" "$root/build/samples" >/dev/null
status=0
for f in "$root"/build/samples/*; do
  case "$f" in *.c) continue ;; esac
  echo "=== $(basename "$f")"
  "$root/build/linux/bqlite" "$@" "$f" || status=$?
done
exit $status
