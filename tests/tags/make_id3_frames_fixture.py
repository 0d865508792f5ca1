#!/usr/bin/python3
"""Writes the ID3v2 frames users read with mutagen: COMM, TXXX, WXXX, WOAR, USLT (long, with
line breaks), POPM and PRIV.   make_id3_frames_fixture.py FILE 3|4"""
import sys

from mutagen.id3 import COMM, ID3, POPM, PRIV, TIT2, TXXX, USLT, WOAR, WXXX

path, version = sys.argv[1], int(sys.argv[2])
tag = ID3()
tag.add(TIT2(encoding=1, text="Frames"))
tag.add(COMM(encoding=1, lang="eng", desc="note", text="Comment \u00e9"))
tag.add(COMM(encoding=3 if version == 4 else 0, lang="deu", desc="", text="Kommentar"))
tag.add(TXXX(encoding=1, desc="REPLAYGAIN_TRACK_GAIN", text="-6.5 dB"))
tag.add(WXXX(encoding=1, desc="Shop", url="http://shop.example/"))
tag.add(WOAR(url="http://artist.example/"))
tag.add(USLT(encoding=1, lang="eng", desc="words", text="line one\nline two\r\n" + "la " * 2000))
tag.add(POPM(email="rater@example.org", rating=196, count=12))
tag.add(PRIV(owner="owner.example", data=b"\x00\x01\x02"))
tag.save(path, v2_version=version, v1=0)
