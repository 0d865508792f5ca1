#!/usr/bin/env python3
"""Writes RAR 5.0 archives header by header, since no free tool makes them.

    make_rar5.py OUT [VARIANT]

Variants:
  full       a comment service header (CMT), a directory, stored files with CRC-32s and the file
             time extra record (Windows FILETIME, Unix time, Unix time with nanoseconds), one with
             only the header's Unix mtime, a UTF-8 name, an empty file, ACL and STM service
             headers after a file, a quick-open service header, the end of archive header
  solid      a solid archive: the main header's flag and the files' solid bit
  volume     the first volume of a set: the main header's volume flag, a file whose data goes on
             in the next volume, the end header saying more volumes follow
  encrypted  an archive encryption header after the signature, then ciphertext that happens to
             look like headers
Every header carries its CRC-32 (of the header from its size field on), stored data its own
CRC-32, so independent listers (lsar, 7z) accept them."""
import struct
import sys
import zlib

SIGNATURE = b"Rar!\x1a\x07\x01\x00"
MAIN, FILE, SERVICE, ENCRYPTION, END = 1, 2, 3, 4, 5
HAS_EXTRA, HAS_DATA, SPLIT_BEFORE, SPLIT_AFTER = 0x0001, 0x0002, 0x0008, 0x0010
DIRECTORY, UNIX_MTIME, HAS_CRC = 0x0001, 0x0002, 0x0004
WINDOWS, UNIX = 0, 1


def vint(n):
    out = bytearray()
    while True:
        b = n & 0x7F
        n >>= 7
        out.append(b | (0x80 if n else 0))
        if not n:
            return bytes(out)


def header(kind, flags, fields, extra=b"", data=None):
    """A whole header: CRC-32, size, type, flags, extra area size and data size when present,
    the type's fields, the extra area; then the data area."""
    if extra:
        flags |= HAS_EXTRA
    if data is not None:
        flags |= HAS_DATA
    body = vint(kind) + vint(flags)
    if extra:
        body += vint(len(extra))
    if data is not None:
        body += vint(len(data))
    body += fields + extra
    sized = vint(len(body)) + body
    return struct.pack("<I", zlib.crc32(sized)) + sized + (data or b"")


def record(kind, payload):
    inner = vint(kind) + payload
    return vint(len(inner)) + inner


def filetime(y, mo, d, h, mi, s):
    import calendar
    return (calendar.timegm((y, mo, d, h, mi, s)) + 11644473600) * 10000000


def unixtime(y, mo, d, h, mi, s):
    import calendar
    return calendar.timegm((y, mo, d, h, mi, s))


def time_windows(when):
    return record(3, vint(0x0002) + struct.pack("<Q", filetime(*when)))


def time_unix(when, ns=None):
    if ns is None:
        return record(3, vint(0x0003) + struct.pack("<I", unixtime(*when)))
    # mtime and atime, then their nanoseconds in the same order
    return record(3, vint(0x0001 | 0x0002 | 0x0008 | 0x0010) + struct.pack("<IIII", unixtime(*when), unixtime(*when), ns, 0))


def main_header(flags=0, volume_number=None):
    fields = vint(flags | (0x0002 if volume_number is not None else 0))
    if volume_number is not None:
        fields += vint(volume_number)
    return header(MAIN, 0, fields)


def file_header(name, data=b"", kind=FILE, extra=b"", directory=False, host=WINDOWS, attributes=None,
                mtime=None, solid=False, split=0, unpacked=None, crc=True):
    flags = (DIRECTORY if directory else 0) | (UNIX_MTIME if mtime is not None else 0) | (HAS_CRC if crc and not directory else 0)
    if attributes is None:
        attributes = (0x10 if directory else 0x20) if host == WINDOWS else (0o40755 if directory else 0o100644)
    fields = vint(flags) + vint(len(data) if unpacked is None else unpacked) + vint(attributes)
    if mtime is not None:
        fields += struct.pack("<I", unixtime(*mtime))
    if flags & HAS_CRC:
        fields += struct.pack("<I", zlib.crc32(data))
    method = (0x40 if solid else 0)  # version 0, stored, solid bit
    raw = name.encode("utf-8")
    fields += vint(method) + vint(host) + vint(len(raw)) + raw
    return header(kind, split, fields, extra, None if directory and not data else data)


def end_header(more_volumes=False):
    return header(END, 0, vint(1 if more_volumes else 0))


def full():
    return (SIGNATURE + main_header()
            + file_header("CMT", b"an archive comment", kind=SERVICE, crc=False)
            + file_header("docs", directory=True, extra=time_windows((2020, 1, 2, 3, 4, 6)))
            + file_header("docs/readme.txt", b"read me\r\n", extra=time_windows((2020, 1, 2, 3, 5, 10)))
            + file_header("ACL", b"\x01\x02\x03\x04", kind=SERVICE)
            + file_header("STM", b"stream data", kind=SERVICE)
            + file_header("unix.sh", b"#!/bin/sh\necho hi\n", host=UNIX, extra=time_unix((2021, 6, 7, 8, 9, 10)))
            + file_header("nano.bin", bytes(range(200)), host=UNIX, extra=time_unix((1975, 5, 6, 7, 8, 9), ns=987654321))
            + file_header("plain-mtime.txt", b"header mtime\n", mtime=(2019, 9, 9, 9, 9, 10))
            + file_header("caf\u00e9 \u65e5\u672c.txt", b"unicode\n", extra=time_windows((2022, 12, 31, 23, 59, 58)))
            + file_header("empty.txt", b"", extra=time_windows((2023, 1, 1, 0, 0, 0)))
            + file_header("QO", b"\x00" * 12, kind=SERVICE)
            + end_header())


def solid():
    return (SIGNATURE + main_header(0x0004)
            + file_header("one.txt", b"first\n", extra=time_windows((2018, 2, 3, 4, 5, 6)))
            + file_header("two.txt", b"second\n", extra=time_windows((2018, 2, 3, 4, 5, 8)), solid=True)
            + end_header())


def volume():
    data = b"the first part of a file that goes on in the next volume\n"
    return (SIGNATURE + main_header(0x0001)
            + file_header("whole.txt", b"all here\n", extra=time_windows((2017, 7, 7, 7, 7, 8)))
            + file_header("split.bin", data, split=SPLIT_AFTER, unpacked=1000, crc=False,
                          extra=time_windows((2017, 7, 7, 7, 7, 10)))
            + end_header(more_volumes=True))


def encrypted():
    # Version 0, password check present, KDF count 15, a salt and the check value; what follows
    # is ciphertext, here bytes that parse as a main header and a file header.
    fields = vint(0) + vint(1) + bytes([15]) + bytes(range(16)) + bytes(12)
    fake = main_header() + file_header("bogus.txt", b"x" * 5)
    return SIGNATURE + header(ENCRYPTION, 0, fields) + fake


if __name__ == "__main__":
    variant = sys.argv[2] if len(sys.argv) > 2 else "full"
    with open(sys.argv[1], "wb") as f:
        f.write({"full": full, "solid": solid, "volume": volume, "encrypted": encrypted}[variant]())
