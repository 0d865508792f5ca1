#!/usr/bin/python3
"""Puts a hand-built ID3v2.2 tag (three-character frame ids, 24-bit sizes) in front of an MP3
file's audio: text frames in Latin-1 and UTF-16, COM, TXX, WXX, WAR, ULT with line breaks, POP
and a PIC with a 3-character image format. No tool writes 2.2 any more.
   make_id3v22_fixture.py IN.mp3 OUT.mp3"""
import struct
import sys


def frame(fid, payload):
    return fid.encode() + struct.pack(">I", len(payload))[1:] + payload


def utf16(text):
    return b"\xff\xfe" + text.encode("utf-16-le")


frames = b"".join([
    frame("TT2", b"\x00Caf\xe9 v22"),
    frame("TP1", b"\x01" + utf16("\u0391\u03c1\u03c4")),
    frame("TAL", b"\x00Album 22"),
    frame("TYE", b"\x001998"),
    frame("TRK", b"\x003/10"),
    frame("TCO", b"\x00(17)"),
    frame("COM", b"\x00eng" + b"desc\x00" + b"comment 22"),
    frame("TXX", b"\x00Mood\x00calm"),
    frame("WXX", b"\x00Home\x00http://example.org/"),
    frame("WAR", b"http://artist.example/"),
    frame("ULT", b"\x00eng\x00" + b"first line\nsecond line"),
    frame("POP", b"me@example.org\x00" + bytes([128]) + struct.pack(">I", 42)),
    frame("PIC", b"\x00JPG\x03front\x00" + b"\xff\xd8\xff\xe0" + bytes(60)),
])
body = frames + bytes(64)  # padding
size = len(body)
header = b"ID3\x02\x00\x00" + bytes([(size >> 21) & 127, (size >> 14) & 127, (size >> 7) & 127, size & 127])
with open(sys.argv[1], "rb") as f:
    audio = f.read()
if audio[:3] == b"ID3":  # drop a tag the encoder wrote
    n = ((audio[6] & 127) << 21) | ((audio[7] & 127) << 14) | ((audio[8] & 127) << 7) | (audio[9] & 127)
    audio = audio[10 + n:]
with open(sys.argv[2], "wb") as f:
    f.write(header + body + audio)
