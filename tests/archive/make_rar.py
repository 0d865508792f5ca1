#!/usr/bin/env python3
"""Assembles RAR 4 archives block by block, since no free tool writes them.

    make_rar.py OUT [VARIANT]

Variants:
  full      a directory, stored files, an archive comment sub-block, a file whose sizes need the
            high 32 bits, a file with a Unicode name in RAR's compressed UTF-16 form, the end block
  plain     two stored files and no end block
  skip      a block of a type no reader knows, with LONG_BLOCK and its ADD_SIZE bytes, between files
  unknown   the same block without LONG_BLOCK: a lister cannot tell where it ends
  encrypted the main header's flag 0x0080: every later header is encrypted (salt, AES data)
Every header carries the right CRC-16 (the low half of the CRC-32 of the header after its CRC
field), so independent listers accept them."""
import struct
import sys
import zlib

MARKER = b"Rar!\x1a\x07\x00"
LONG_BLOCK, LARGE, UNICODE, DIRECTORY = 0x8000, 0x0100, 0x0200, 0x00E0


def block(head_type, flags, body):
    size = 7 + len(body)
    rest = struct.pack("<BHH", head_type, flags, size) + body
    return struct.pack("<H", zlib.crc32(rest) & 0xFFFF) + rest


def dos_time(y, mo, d, h, mi, s):
    return ((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) | (s // 2)


def encode_name(name):
    """The 8-bit form, a zero byte, then the UTF-16 form as RAR packs it: a high byte, then
    flag bytes whose 2-bit codes say how each unit is stored (0: low byte, high 0; 1: low byte,
    the high byte given first; 2: both bytes)."""
    ansi = name.encode("ascii", "replace")
    units = [ord(c) for c in name]
    highs = [u >> 8 for u in units if u >> 8]
    high = highs[0] if highs else 0
    out = bytearray([high])
    for i in range(0, len(units), 4):
        group = units[i:i + 4]
        flags, data = 0, bytearray()
        for k, u in enumerate(group):
            if u >> 8 == 0:
                code = 0
                data.append(u)
            elif u >> 8 == high:
                code = 1
                data.append(u & 0xFF)
            else:
                code = 2
                data += struct.pack("<H", u)
            flags |= code << (6 - 2 * k)
        out.append(flags)
        out += data
    return ansi + b"\0" + bytes(out)


def file_block(name, data=b"", unp_size=None, when=(2021, 3, 4, 5, 6, 8), attr=0x20, directory=False,
               head_type=0x74, method=0x30, high=False, unicode=False, crc=None):
    raw_name = encode_name(name) if unicode else name.encode("latin-1")
    flags = LONG_BLOCK | (LARGE if high else 0) | (UNICODE if unicode else 0) | (DIRECTORY if directory else 0)
    pack = len(data)
    unp = len(data) if unp_size is None else unp_size
    body = struct.pack("<IIBIIBBHI", pack & 0xFFFFFFFF, unp & 0xFFFFFFFF, 2,
                       zlib.crc32(data) if crc is None else crc, dos_time(*when), 29, method, len(raw_name), attr)
    if high:
        body += struct.pack("<II", pack >> 32, unp >> 32)
    return block(head_type, flags, body + raw_name) + data


def archive_header(flags=0):
    return block(0x73, flags, struct.pack("<HI", 0, 0))


def end_block():
    return block(0x7B, 0x4000, b"")


def full():
    comment = b"archive comment"
    return (MARKER + archive_header()
            + file_block("CMT", comment, head_type=0x7A, when=(1980, 1, 1, 0, 0, 0), attr=0)
            + file_block("docs", directory=True, attr=0x10, when=(2020, 1, 2, 3, 4, 6))
            + file_block("docs\\readme.txt", b"read me\r\n", when=(2020, 1, 2, 3, 5, 10))
            + file_block("big.bin", b"\x55" * 16, unp_size=5 * 1024 ** 3 + 7, high=True, method=0x35, crc=0x12345678)
            + file_block("caf\u00e9 \u65e5\u672c.txt", b"unicode\n", unicode=True, when=(2022, 12, 31, 23, 59, 58))
            + file_block("last.txt", b"the end\n", when=(2023, 6, 7, 8, 9, 10))
            + end_block())


def plain():
    return (MARKER + archive_header()
            + file_block("one.txt", b"1\n") + file_block("two.txt", b"22\n", when=(2019, 9, 9, 9, 9, 10)))


def foreign(long_block):
    data = b"\x7a" * 40  # looks like block headers if it were read as such
    body = struct.pack("<I", len(data)) if long_block else b""
    flags = LONG_BLOCK if long_block else 0
    return (MARKER + archive_header()
            + file_block("one.txt", b"1\n")
            + block(0x7E, flags, body + b"extra") + (data if long_block else b"")
            + file_block("two.txt", b"22\n", when=(2019, 9, 9, 9, 9, 10))
            + end_block())


def encrypted():
    # What follows the main header is a salt and ciphertext; here bytes that parse as a block
    # of 8 bytes and then file headers, for a reader that does not stop.
    fake = file_block("bogus.txt", b"x" * 5)
    salt = b"\x00\x00\x75\x00\x00\x08\x00\x00"
    return MARKER + archive_header(0x0080) + salt + fake * 3


if __name__ == "__main__":
    variant = sys.argv[2] if len(sys.argv) > 2 else "full"
    with open(sys.argv[1], "wb") as f:
        f.write({"full": full, "plain": plain, "skip": lambda: foreign(True), "unknown": lambda: foreign(False),
                 "encrypted": encrypted}[variant]())
