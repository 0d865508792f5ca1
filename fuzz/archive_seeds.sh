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
for t in zip rar cab chm nsis rar5 iso tar; do mkdir -p "$corpus/fuzz_archive_$t"; done
cp "$fx"/*.zip "$corpus/fuzz_archive_zip/"
cp "$fx"/*.rar "$corpus/fuzz_archive_rar/"
cp "$fx"/*.cab "$corpus/fuzz_archive_cab/"
cp "$fx"/*.chm "$corpus/fuzz_archive_chm/"
cp "$fx"/*5.rar "$corpus/fuzz_archive_rar5/"
# tar: the small trees in every format, plain, gzip and bzip2; lone compressed files.
cp "$fx"/ustar.tar* "$fx"/v7.tar* "$fx"/gnu.tar* "$fx"/pax.tar* "$fx"/notes.txt.* "$corpus/fuzz_archive_tar/"
mkdir -p "$corpus/fuzz_bzip2"
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
# bzip2: streams of text and of runs (mode byte 0x10: standard, reads of 64 bytes), and the
# bare blocks of a solid bzip2 installer (mode byte 0x11).
import bz2
for name, data in (("text", text), ("runs", b"".join(bytes([65 + n % 3]) * n for n in range(1, 300)))):
    open(f"{corpus}/fuzz_bzip2/{name}", "wb").write(bytes([0x10]) + bz2.compress(data, 1))
for exe in glob.glob(f"{fx}/nsis-solid-bzip2.exe"):
    data = open(exe, "rb").read()
    at = data.find(b"\xef\xbe\xad\xdeNullsoftInst") - 4
    open(f"{corpus}/fuzz_bzip2/nsis", "wb").write(bytes([0x11]) + data[at + 28:])
PY
# 7z archives made by 7z; xz files and raw LZMA2 streams made by Python's lzma.
python3 "$root/tests/archive/make_7z_fixtures.py" "$fx/7z" >/dev/null
mkdir -p "$corpus/fuzz_archive_7z" "$corpus/fuzz_xz" "$corpus/fuzz_lzma2"
cp "$fx"/7z/*.7z "$corpus/fuzz_archive_7z/"
for o in "-mhc=off" "-ms=off" "-mhe=on -pSecret" "-m0=lzma2 -mhc=on"; do  # small ones: the header is most of them
  (cd "$fx/7z/src7z" && 7z a -bd $o "$corpus/fuzz_archive_7z/small$(echo "$o" | tr -dc a-z0-9).7z" a.txt sub empty.txt emptydir >/dev/null)
done
python3 - "$corpus" <<'PY'
import lzma, sys
corpus = sys.argv[1]
text = b"".join(b"line %d of the seed text\n" % i for i in range(400)) + bytes(range(256)) * 8
for check in (lzma.CHECK_NONE, lzma.CHECK_CRC32, lzma.CHECK_CRC64, lzma.CHECK_SHA256):
    open(f"{corpus}/fuzz_xz/check{check}.xz", "wb").write(lzma.compress(text, format=lzma.FORMAT_XZ, check=check))
two = lzma.compress(text[:300], format=lzma.FORMAT_XZ) + bytes(4) + lzma.compress(text[300:900], format=lzma.FORMAT_XZ)
open(f"{corpus}/fuzz_xz/concat.xz", "wb").write(two)
raw = lzma.compress(text, format=lzma.FORMAT_RAW, filters=[{"id": lzma.FILTER_LZMA2, "dict_size": 1 << 16}])
# dictionary byte 10 (64 KiB), output bound 2 ** 14
open(f"{corpus}/fuzz_lzma2/text", "wb").write(bytes([10, 14]) + raw)
PY
echo "seeds in $corpus"
