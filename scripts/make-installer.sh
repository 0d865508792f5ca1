#!/usr/bin/env bash
# Builds the setup program: the windows-x64 and windows-x86 presets (the DLL, bqlite.exe and
# Extensions.ini of each), then build/installer/BQLite-<version>-setup.exe with makensis; the
# version is read from the x64 DLL's version resource. Prints the setup's path last.
#   make-installer.sh [--no-build]   --no-build: package what the presets hold now
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
command -v makensis >/dev/null || { echo "makensis is missing: scripts/install-deps.sh test" >&2; exit 1; }

if [ "${1:-}" != "--no-build" ]; then
  for preset in windows-x64 windows-x86; do
    [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
  done
  cmake --build build/windows-x64 -j"$(nproc)" --target BQLite bqlite
  cmake --build build/windows-x86 -j"$(nproc)" --target BQLite
fi
for f in windows-x64/BQLite.dll windows-x64/bqlite.exe windows-x64/Extensions.ini windows-x86/BQLite.dll windows-x86/Extensions.ini; do
  [ -f "build/$f" ] || { echo "build/$f is missing" >&2; exit 1; }
done

out=$root/build/installer
mkdir -p "$out"
inputs=(build/windows-x64/BQLite.dll build/windows-x64/bqlite.exe build/windows-x64/Extensions.ini
        build/windows-x86/BQLite.dll build/windows-x86/Extensions.ini installer/BQLite.nsi installer/readme.txt)
setup=$(ls "$out"/BQLite-*-setup.exe 2>/dev/null | head -1 || true)  # none yet on a clean tree
if [ -z "$setup" ] || [ -n "$(find "${inputs[@]}" -newer "$setup")" ]; then
  rm -f "$out"/BQLite-*-setup.exe
  makensis -V2 -WX -DX64_DIR="$root/build/windows-x64" -DX86_DIR="$root/build/windows-x86" -DOUT_DIR="$out" \
    "$root/installer/BQLite.nsi" >&2
  setup=$(ls "$out"/BQLite-*-setup.exe)
fi
echo "$setup"
