#!/usr/bin/env bash
# Seeds for the archive fuzz targets from the test fixtures (made by real tools):
#   fuzz/archive_seeds.sh [corpus folder, default build/fuzz/corpus]
# Installers are cut to a 512-byte stub and their data, so they fit the fuzzers' length limit.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-$root/build/fuzz/corpus}
fx=$(mktemp -d)
trap 'rm -rf "$fx"' EXIT
python3 "$root/tests/archive/make_fixtures.py" "$fx"
python3 "$root/tests/archive/make_fixtures.py" "$fx" --rar5-iso
for t in zip rar cab chm nsis rar5 iso; do mkdir -p "$corpus/fuzz_archive_$t"; done
cp "$fx"/*.zip "$corpus/fuzz_archive_zip/"
cp "$fx"/*.rar "$corpus/fuzz_archive_rar/"
cp "$fx"/*.cab "$corpus/fuzz_archive_cab/"
cp "$fx"/*.chm "$corpus/fuzz_archive_chm/"
cp "$fx"/*5.rar "$corpus/fuzz_archive_rar5/"
mkdir -p "$corpus/fuzz_multidecoder"
python3 - "$fx" "$corpus" <<'PY'
import glob, lzma, os, sys, zlib
fx, corpus = sys.argv[1], sys.argv[2]
for exe in glob.glob(f"{fx}/*.exe"):
    data = open(exe, "rb").read()
    at = data.find(b"\xef\xbe\xad\xdeNullsoftInst") - 4
    open(f"{corpus}/fuzz_archive_nsis/{os.path.basename(exe)}", "wb").write(bytes(512) + data[at:])
# ISO images from their volume descriptors on (the target puts the input at 0x8000), cut to 32 KiB:
# the descriptors, path tables and the first directories.
for iso in glob.glob(f"{fx}/*.iso"):
    data = open(iso, "rb").read()[0x8000:0x8000 + 32768]
    open(f"{corpus}/fuzz_archive_iso/{os.path.basename(iso)}", "wb").write(data)
text = b"".join(b"line %d of the seed text\n" % i for i in range(400))
raw = zlib.compressobj(9, zlib.DEFLATED, -15)
deflated = raw.compress(text) + raw.flush()
alone = lzma.compress(text, format=lzma.FORMAT_ALONE)
# selector byte: method = b % 5, output bound = 2 ** (b // 5 % 25)
open(f"{corpus}/fuzz_multidecoder/deflate", "wb").write(bytes([2 + 5 * 14]) + bytes(5) + deflated)
open(f"{corpus}/fuzz_multidecoder/lzma", "wb").write(bytes([3 + 5 * 14]) + alone[:5] + alone[13:])
open(f"{corpus}/fuzz_multidecoder/copy", "wb").write(bytes([1 + 5 * 6]) + bytes(5) + text[:200])
PY
echo "seeds in $corpus"
