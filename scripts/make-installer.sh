#!/usr/bin/env bash
# Builds the setup program: the windows-x64 and windows-x86 presets (the DLL, bqlite.exe and
# Extensions.ini of each), then build/installer/BQLite-<version>-setup.exe with makensis; the
# version is read from the x64 DLL's version resource. The images go in without their DWARF
# sections (build/installer/stage); their symbols stay in build/installer/symbols. Prints the
# setup's path last.
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
stage=$out/stage    # what the setup carries: the images without their DWARF sections
symbols=$out/symbols  # their debug information, which the stripped images name (.gnu_debuglink)
mkdir -p "$out"
inputs=(build/windows-x64/BQLite.dll build/windows-x64/bqlite.exe build/windows-x64/Extensions.ini
        build/windows-x86/BQLite.dll build/windows-x86/Extensions.ini installer/BQLite.nsi installer/readme.txt
        scripts/make-installer.sh)
staged=(x64/BQLite.dll x64/bqlite.exe x64/Extensions.ini x86/BQLite.dll x86/Extensions.ini)

# stage_image ARCH FILE: copies the image into the stage without DWARF, its symbols beside.
stage_image() {
  local arch=$1 src=$2 name objcopy
  name=$(basename "$src")
  objcopy=$([ "$arch" = x64 ] && echo x86_64 || echo i686)-w64-mingw32-objcopy
  mkdir -p "$stage/$arch" "$symbols/$arch"
  "$objcopy" --only-keep-debug "$src" "$symbols/$arch/$name.debug"
  (cd "$symbols/$arch" && "$objcopy" --strip-debug --add-gnu-debuglink="$name.debug" "$src" "$stage/$arch/$name")
  echo "$arch/$name: $(( $(stat -c %s "$src") - $(stat -c %s "$stage/$arch/$name") )) bytes smaller without its DWARF sections" >&2
}

setup=$(ls "$out"/BQLite-*-setup.exe 2>/dev/null | head -1 || true)  # none yet on a clean tree
missing_stage=$(for f in "${staged[@]}"; do [ -f "$stage/$f" ] || echo "$f"; done)
if [ -z "$setup" ] || [ -n "$missing_stage" ] || [ -n "$(find "${inputs[@]}" -newer "$setup")" ]; then
  rm -rf "$out"/BQLite-*-setup.exe "$stage" "$symbols"
  for arch in x64 x86; do
    stage_image "$arch" "$root/build/windows-$arch/BQLite.dll"
    cp "$root/build/windows-$arch/Extensions.ini" "$stage/$arch/"
  done
  stage_image x64 "$root/build/windows-x64/bqlite.exe"
  # Stripped, and still every protection the linker gave them.
  python3 "$root/cmake/check_pe_hardening.py" --no-debug "$stage"/x64/*.dll "$stage"/x64/*.exe "$stage"/x86/*.dll >&2
  makensis -V2 -WX -DX64_DIR="$stage/x64" -DX86_DIR="$stage/x86" -DOUT_DIR="$out" \
    "$root/installer/BQLite.nsi" >&2
  setup=$(ls "$out"/BQLite-*-setup.exe)
fi
echo "$setup"
