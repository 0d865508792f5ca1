#!/usr/bin/env python3
"""Decodes a 7z's packed header (kEncodedHeader, LZMA) with liblzma, RUNS times, and prints the
best time in milliseconds and the header's packed and unpacked sizes: the work every lister of
the archive does before it can show a name.
    sevenzip_header.py FILE [RUNS]"""
import lzma, struct, sys, time


def number(b, i):
    """A 7z variable-length number at b[i]: (value, next index)."""
    first, i, mask, value = b[i], i + 1, 0x80, 0
    for k in range(8):
        if first & mask == 0:
            return value | (first & (mask - 1)) << (8 * k), i
        value |= b[i] << (8 * k)
        i, mask = i + 1, mask >> 1
    return value, i


data = open(sys.argv[1], "rb").read()
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
offset, size, _ = struct.unpack("<QQI", data[12:32])
h = data[32 + offset:32 + offset + size]
if h[:2] != b"\x17\x06":
    sys.exit("not a packed header")
pack_pos, i = number(h, 2)
_, i = number(h, i)       # one pack stream
assert h[i] == 0x09       # kSize
packed, i = number(h, i + 1)
coder = h.index(b"\x03\x01\x01", i)  # LZMA, then its five property bytes
props = h[coder + 4:coder + 9]
unpacked, _ = number(h, h.index(b"\x0c", coder + 9) + 1)  # kCodersUnpackSize
d = props[0]
filters = [{"id": lzma.FILTER_LZMA1, "dict_size": struct.unpack("<I", props[1:5])[0],
            "lc": d % 9, "lp": d // 9 % 5, "pb": d // 45}]
raw = data[32 + pack_pos:32 + pack_pos + packed]
best = None
for _ in range(runs):
    start = time.perf_counter()
    out = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=filters).decompress(raw, unpacked)
    elapsed = time.perf_counter() - start
    best = elapsed if best is None else min(best, elapsed)
assert len(out) == unpacked
print(f"{best * 1000:.1f} {packed} {unpacked}")
