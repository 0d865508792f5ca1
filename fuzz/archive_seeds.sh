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
for t in zip rar cab chm nsis; do mkdir -p "$corpus/fuzz_archive_$t"; done
cp "$fx"/*.zip "$corpus/fuzz_archive_zip/"
cp "$fx"/*.rar "$corpus/fuzz_archive_rar/"
cp "$fx"/*.cab "$corpus/fuzz_archive_cab/"
cp "$fx"/*.chm "$corpus/fuzz_archive_chm/"
mkdir -p "$corpus/fuzz_multidecoder"
python3 - "$fx" "$corpus" <<'PY'
import glob, lzma, os, sys, zlib
fx, corpus = sys.argv[1], sys.argv[2]
for exe in glob.glob(f"{fx}/*.exe"):
    data = open(exe, "rb").read()
    at = data.find(b"\xef\xbe\xad\xdeNullsoftInst") - 4
    open(f"{corpus}/fuzz_archive_nsis/{os.path.basename(exe)}", "wb").write(bytes(512) + data[at:])
text = b"".join(b"line %d of the seed text\n" % i for i in range(400))
raw = zlib.compressobj(9, zlib.DEFLATED, -15)
deflated = raw.compress(text) + raw.flush()
alone = lzma.compress(text, format=lzma.FORMAT_ALONE)
# selector byte: method = b % 5, output bound = 2 ** (b // 5 % 25)
open(f"{corpus}/fuzz_multidecoder/deflate", "wb").write(bytes([2 + 5 * 14]) + bytes(5) + deflated)
open(f"{corpus}/fuzz_multidecoder/lzma", "wb").write(bytes([3 + 5 * 14]) + alone[:5] + alone[13:])
open(f"{corpus}/fuzz_multidecoder/copy", "wb").write(bytes([1 + 5 * 6]) + bytes(5) + text[:200])
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
