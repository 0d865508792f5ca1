#!/usr/bin/python3
"""Writes an ID3v2 tag with mutagen onto an MP3 file: text frames in every encoding, TXXX,
WXXX, COMM, APIC and a TCON with references.   make_id3_fixture.py FILE 3|4"""
import sys

from mutagen.id3 import APIC, COMM, ID3, TALB, TCOM, TCON, TIT2, TPE1, TPE2, TRCK, TXXX, TYER, WOAR, WXXX, TDRC

path, version = sys.argv[1], int(sys.argv[2])
tag = ID3()
tag.add(TIT2(encoding=0, text="Caf\xe9 Latin"))
tag.add(TPE1(encoding=1, text="\u0391\u03c1\u03c4\u03af\u03c3\u03c4\u03b1\u03c2"))  # UTF-16 with BOM
tag.add(TALB(encoding=2 if version == 4 else 1, text="\u30a2\u30eb\u30d0\u30e0"))
tag.add(TCOM(encoding=3 if version == 4 else 1, text="Komponist \u00fc"))
tag.add(TPE2(encoding=1, text=["Band"]))
tag.add(TRCK(encoding=0, text="7/9"))
tag.add(TCON(encoding=0, text="(17)(4)Live"))
if version == 3:
    tag.add(TYER(encoding=0, text="1999"))
else:
    tag.add(TDRC(encoding=0, text="2001"))
tag.add(TXXX(encoding=1, desc="Mood", text="calm"))
tag.add(WXXX(encoding=1, desc="Home", url="http://example.org/"))
tag.add(WOAR(url="http://artist.example/"))
tag.add(COMM(encoding=1, lang="eng", desc="note", text="Comment \u00e9"))
tag.add(APIC(encoding=0, mime="image/png", type=3, desc="front", data=b"\x89PNG" + bytes(300)))
tag.save(path, v2_version=version, v1=0)
