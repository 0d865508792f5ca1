#!/usr/bin/python3
"""Tags and pictures written by mutagen into files that ffmpeg, lame, oggenc and flac made:
  make_picture_fixtures.py m4a FILE COVER.jpg COVER.png   iTunes items and two covr pictures
  make_picture_fixtures.py mp3 FILE COVER.jpg COVER.png   APIC front (JPEG) and back (PNG)
  make_picture_fixtures.py ogg FILE COVER.jpg COVER.png   METADATA_BLOCK_PICTURE comments"""
import base64
import sys

kind, path, jpeg_path, png_path = sys.argv[1:5]
jpeg = open(jpeg_path, "rb").read()
png = open(png_path, "rb").read()

if kind == "m4a":
    from mutagen.mp4 import MP4, MP4Cover, MP4FreeForm
    m = MP4(path)
    m["\xa9nam"] = ["Song Ω"]
    m["\xa9ART"] = ["Band"]
    m["aART"] = ["Various"]
    m["\xa9alb"] = ["Album"]
    m["\xa9day"] = ["2004"]
    m["trkn"] = [(3, 12)]
    m["disk"] = [(1, 2)]
    m["\xa9gen"] = ["Rock"]
    m["\xa9cmt"] = ["A comment"]
    m["\xa9wrt"] = ["Composer"]
    m["cpil"] = True
    m["tmpo"] = [120]
    m["----:com.apple.iTunes:X"] = [MP4FreeForm(b"free text")]
    m["covr"] = [MP4Cover(jpeg, MP4Cover.FORMAT_JPEG), MP4Cover(png, MP4Cover.FORMAT_PNG)]
    m.save()
elif kind == "mp3":
    from mutagen.id3 import ID3, APIC, TIT2
    t = ID3()
    t.add(TIT2(encoding=3, text="Pictured"))
    t.add(APIC(encoding=3, mime="image/jpeg", type=3, desc="front", data=jpeg))
    t.add(APIC(encoding=1, mime="image/png", type=4, desc="back", data=png))
    t.save(path, v2_version=3)
elif kind == "ogg":
    from mutagen import File
    from mutagen.flac import Picture
    f = File(path)
    pictures = []
    for data, mime, ptype, w, h in ((jpeg, "image/jpeg", 3, 0, 0), (png, "image/png", 18, 0, 0)):
        p = Picture()
        p.data, p.mime, p.type, p.desc = data, mime, ptype, "cover"
        pictures.append(base64.b64encode(p.write()).decode("ascii"))
    f["METADATA_BLOCK_PICTURE"] = pictures
    f.save()
else:
    sys.exit("unknown kind " + kind)
