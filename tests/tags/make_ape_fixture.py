#!/usr/bin/python3
"""Writes an APEv2 tag with mutagen (text, a list, a UTF-8 value and a binary cover) at the end
of a file; with --id3v1 an ID3v1 record follows it.   make_ape_fixture.py FILE [--id3v1]"""
import sys

from mutagen.apev2 import APEv2, APEValue, BINARY

path = sys.argv[1]
tag = APEv2()
tag["Title"] = "Ape title"
tag["Artist"] = ["One", "Two"]
tag["Album"] = "\u00c4lbum \u03b1"
tag["Cover Art (Front)"] = APEValue(b"cover.jpg\x00\xff\xd8\xff\xe0" + bytes(100), BINARY)
tag.save(path)
if "--id3v1" in sys.argv[2:]:
    with open(path, "ab") as f:
        f.write(b"TAG" + b"V1 title".ljust(30, b"\0") + bytes(30 + 30 + 4 + 30) + b"\x11")
