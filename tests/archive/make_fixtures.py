#!/usr/bin/env python3
"""Makes the archive fixtures with real tools: make_fixtures.py DIR [--heavy | --many | --tar]

Light fixtures are made afresh; the heavy ones (--heavy: a ZIP64 archive with a 5 GiB member and
a ZIP of 100,000 entries) only when they are not in DIR already, so a build folder keeps them.
--tar makes only the tar, gzip and bzip2 fixtures."""
import os
import shutil
import struct
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))


def run(*args, cwd):
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def stamp(path, when):  # mtime with even seconds, so MS-DOS times are exact
    subprocess.run(["touch", "-d", when, path], check=True)


def zips(d):
    src = os.path.join(d, "src")
    for old in ("info.zip", "bsd.zip"):  # zip would add to the old one
        if os.path.exists(f"{d}/{old}"):
            os.remove(f"{d}/{old}")
    write(f"{src}/a.txt", "alpha\n")
    write(f"{src}/sub/b.txt", "bravo bravo bravo\n" * 20)
    write(f"{src}/sub/deeper/c.txt", "charlie\n")
    for p, t in (("a.txt", "2021-03-04 05:06:08"), ("sub/b.txt", "2019-12-31 23:59:58"), ("sub/deeper/c.txt", "2000-02-29 12:00:00"),
                 ("sub/deeper", "2001-01-01 01:01:00"), ("sub", "2002-02-02 02:02:02")):
        stamp(f"{src}/{p}", t)
    # Info-ZIP, with folders and an archive comment (which holds "PK" too).
    subprocess.run(["zip", "-q", "-r", "-z", "../info.zip", "a.txt", "sub"], cwd=src, check=True,
                   input=b"comment with PK\x05\x06 inside\n")
    run("bsdtar", "--format", "zip", "-cf", "../bsd.zip", "a.txt", "sub", cwd=src)
    # Python: UTF-8 names (flag bit 11), a folder, stored and deflated members, a comment.
    with zipfile.ZipFile(f"{d}/py.zip", "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("folder/", (2010, 10, 10, 10, 10, 10)), b"")
        z.writestr(zipfile.ZipInfo("folder/caf\u00e9 \u65e5\u672c.txt", (2011, 11, 11, 11, 11, 12)), "unicode name\n")
        z.writestr(zipfile.ZipInfo("stored.bin", (2012, 12, 12, 12, 12, 12)), bytes(range(256)) * 4, zipfile.ZIP_STORED)
        z.writestr(zipfile.ZipInfo("zeros.bin", (1980, 1, 1, 0, 0, 0)), bytes(100000))
        z.comment = b"python comment"
    # A name without flag bit 11 is OEM text: "caf\x82" is "cafe" with an acute accent in code page 437.
    with zipfile.ZipFile(f"{d}/oem.zip", "w") as z:
        z.writestr(zipfile.ZipInfo("cafX.txt", (2015, 5, 5, 5, 5, 6)), "oem\n")
        z.writestr(zipfile.ZipInfo("next.txt", (2015, 5, 5, 5, 5, 8)), "next\n")
    data = open(f"{d}/oem.zip", "rb").read().replace(b"cafX.txt", b"caf\x82.txt")
    write(f"{d}/oem.zip", data)
    # An invalid date (all zero) in the second entry: it shows with time 0, and the third follows.
    with zipfile.ZipFile(f"{d}/baddate.zip", "w") as z:
        for n in ("first.txt", "second.txt", "third.txt"):
            z.writestr(zipfile.ZipInfo(n, (2016, 6, 6, 6, 6, 6)), n)
    data = bytearray(open(f"{d}/baddate.zip", "rb").read())
    second = data.find(b"PK\x01\x02", data.find(b"PK\x01\x02") + 4)
    data[second + 12:second + 16] = bytes(4)
    write(f"{d}/baddate.zip", bytes(data))


def heavy(d):
    if not os.path.exists(f"{d}/zip64.zip"):
        zeros = bytes(1 << 20)
        with zipfile.ZipFile(f"{d}/zip64.tmp", "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
            with z.open(zipfile.ZipInfo("huge.bin", (2024, 2, 29, 12, 34, 56)), "w", force_zip64=True) as w:
                for _ in range(5 * 1024):
                    w.write(zeros)
            z.writestr(zipfile.ZipInfo("after.txt", (2024, 3, 1, 0, 0, 0)), "after")
        os.replace(f"{d}/zip64.tmp", f"{d}/zip64.zip")
    make_many(f"{d}/many.zip")


def make_many(path):
    if os.path.exists(path):
        return
    with zipfile.ZipFile(path + ".tmp", "w") as z:
        for i in range(100000):
            z.writestr(zipfile.ZipInfo("d%03d/f%06d.txt" % (i // 1000, i), (2020, 1, 2, 3, 4, 6)), b"")
    os.replace(path + ".tmp", path)


def make_many_tar(path):  # 100,000 small members in a .tar.gz, for the benchmark
    if os.path.exists(path):
        return
    import io
    import tarfile
    with tarfile.open(path + ".tmp", "w:gz", format=tarfile.GNU_FORMAT) as t:
        for i in range(100000):
            info = tarfile.TarInfo("d%03d/f%06d.txt" % (i // 1000, i))
            info.size, info.mtime = 10, 1577934246
            t.addfile(info, io.BytesIO(b"%09d\n" % i))
    os.replace(path + ".tmp", path)


def cabs(d):
    src = os.path.join(d, "src")
    run("gcab", "-c", "../plain.cab", "a.txt", "sub/b.txt", "sub/deeper/c.txt", cwd=src)
    run("gcab", "-c", "-z", "../mszip.cab", "a.txt", "sub/b.txt", "sub/deeper/c.txt", cwd=src)


def chms(d):
    p = os.path.join(d, "chm")
    write(f"{p}/index.html", "<html><head><title>Index</title></head><body>index</body></html>")
    write(f"{p}/sub/page.html", "<html><body>page</body></html>")
    write(f"{p}/sub/more/deep.html", "<html><body>deep</body></html>")
    write(f"{p}/help.hhp", "[OPTIONS]\nCompiled file=help.chm\nDefault topic=index.html\nTitle=Help\n\n"
                           "[FILES]\nindex.html\nsub/page.html\nsub/more/deep.html\n")
    run("chmcmd", "help.hhp", cwd=p)
    shutil.copy(f"{p}/help.chm", f"{d}/help.chm")


NSIS_BODY = r'''
OutFile "{out}"
InstallDir "$PROGRAMFILES\Fixture"
RequestExecutionLevel user
Section "one"
  SetOutPath "$INSTDIR"
  File a.txt
  File sub\b.txt
  File /oname=$PLUGINSDIR\plugin.dat a.txt
  File /oname=$DESKTOP\desk.txt sub\deeper\c.txt
SectionEnd
Section "two"
  File a.txt
SectionEnd
'''


def nsis(d):
    src = os.path.join(d, "src")
    variants = {"nsis-zlib": "SetCompressor zlib", "nsis-lzma": "SetCompressor lzma",
                "nsis-bzip2": "SetCompressor bzip2", "nsis-solid-bzip2": "SetCompressor /SOLID bzip2",
                "nsis-solid-lzma": "SetCompressor /SOLID lzma", "nsis-solid-zlib": "SetCompressor /SOLID zlib",
                "nsis-off": "SetCompress off", "nsis-ansi": "Unicode false\nSetCompressor lzma"}
    for name, head in variants.items():
        write(f"{src}/{name}.nsi", head + NSIS_BODY.format(out=f"../{name}.exe"))
        run("makensis", "-V1", f"{name}.nsi", cwd=src)
    write(f"{src}/nsis-one.nsi", 'OutFile "../nsis-one.exe"\nRequestExecutionLevel user\n'
                                 'Section\n  SetOutPath "$INSTDIR"\n  File a.txt\nSectionEnd\n')
    run("makensis", "-V1", "nsis-one.nsi", cwd=src)
    # Two files named a.txt in two folders; CreateDirectory does not change the output folder.
    write(f"{src}/twin/a.txt", "the other a\n")
    write(f"{src}/nsis-folders.nsi", 'OutFile "../nsis-folders.exe"\nRequestExecutionLevel user\nSetCompressor zlib\n'
                                     'InstallDir "$PROGRAMFILES\\Fixture"\nSection\n'
                                     '  SetOutPath "$INSTDIR"\n  File a.txt\n'
                                     '  SetOutPath "$INSTDIR\\sub"\n  File twin\\a.txt\n'
                                     '  CreateDirectory "$INSTDIR\\other"\n  File sub\\b.txt\nSectionEnd\n')
    run("makensis", "-V1", "nsis-folders.nsi", cwd=src)


def rars(d):
    for v in ("full", "plain", "skip", "unknown", "encrypted"):
        run(sys.executable, os.path.join(HERE, "make_rar.py"), f"{d}/{v}.rar", v, cwd=d)


def rar5s(d):
    for v in ("full", "solid", "volume", "encrypted"):
        run(sys.executable, os.path.join(HERE, "make_rar5.py"), f"{d}/{v}5.rar", v, cwd=d)


LONG_NAME = "a file name well beyond the sixty-four characters that Joliet allows, kept whole by Rock Ridge.txt"


def isos(d):
    """ISO 9660 images by genisoimage and xorriso: plain level 1 and 2, Joliet, Rock Ridge, both,
    a tree deeper than ISO 9660's eight levels (genisoimage relocates it under rr_moved), long
    and UTF-8 names, an empty file."""
    base = os.path.join(d, "isosrc")
    shutil.rmtree(base, ignore_errors=True)
    plain, rich = f"{base}/plain", f"{base}/rich"
    for root in (plain, rich):
        write(f"{root}/a.txt", "alpha\n")
        write(f"{root}/empty.txt", "")
        write(f"{root}/sub/b.txt", "bravo bravo bravo\n" * 200)
        write(f"{root}/sub/deeper/c.txt", "charlie\n")
    write(f"{rich}/{LONG_NAME}", "long\n")
    write(f"{rich}/caf\u00e9 \u65e5\u672c.txt", "unicode\n")
    write(f"{rich}/d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/leaf.txt", "leaf\n")
    for root in (plain, rich):
        for p, t in (("a.txt", "2021-03-04 05:06:08"), ("empty.txt", "1999-12-31 23:59:58"), ("sub/b.txt", "2019-12-31 23:59:58"),
                     ("sub/deeper/c.txt", "2000-02-29 12:00:00"), ("sub/deeper", "2001-01-01 01:01:00"), ("sub", "2002-02-02 02:02:02")):
            stamp(f"{root}/{p}", t)
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL, "check": True}
    subprocess.run(["genisoimage", "-quiet", "-o", f"{d}/plain.iso", plain], **quiet)
    subprocess.run(["genisoimage", "-quiet", "-iso-level", "2", "-o", f"{d}/level2.iso", plain], **quiet)
    subprocess.run(["genisoimage", "-quiet", "-J", "-o", f"{d}/joliet.iso", plain], **quiet)
    subprocess.run(["genisoimage", "-quiet", "-R", "-o", f"{d}/deep.iso", rich], **quiet)
    subprocess.run(["xorriso", "-as", "mkisofs", "-quiet", "-R", "-o", f"{d}/rr.iso", rich], **quiet)
    subprocess.run(["xorriso", "-as", "mkisofs", "-quiet", "-J", "-joliet-long", "-R", "-o", f"{d}/both.iso", rich], **quiet)
    subprocess.run(["xorriso", "-as", "mkisofs", "-quiet", "-J", "-o", f"{d}/xjoliet.iso", plain], **quiet)
    # Seventy nested directories: deeper than a reader should follow.
    write(f"{base}/nested/" + "/".join(f"n{i}" for i in range(70)) + "/bottom.txt", "bottom\n")
    subprocess.run(["xorriso", "-as", "mkisofs", "-quiet", "-R", "-o", f"{d}/nested.iso", f"{base}/nested"], **quiet)
# Tar trees: what every format can hold, and what only GNU and pax can (names and link targets
# beyond 100 bytes in one piece, a time before 1970).
TAR_COMMON = {"dir/a.txt": ("alpha\n" * 40, "2021-03-04 05:06:08"), "empty.txt": ("", "1971-02-03 04:05:06"),
              "caf\u00e9/\u65e5\u672c\u8a9e.txt": ("unicode\n", "2010-10-10 10:10:10"),
              "future.txt": ("later\n", "2200-01-01 12:34:56"),
              "deep/" + "n" * 60 + "/" + "m" * 70 + ".txt": ("long path\n", "2015-05-05 05:05:05")}
TAR_EXTRA = {"x" * 120 + ".txt": ("one long name\n", "2016-06-06 06:06:06"), "old.txt": ("old\n", "1965-05-05 10:10:10")}


def tar_tree(d, name, extra):
    root = os.path.join(d, "tarsrc", name)
    shutil.rmtree(root, ignore_errors=True)
    files = dict(TAR_COMMON, **(TAR_EXTRA if extra else {}))
    if name == "v7":  # names of 99 bytes at most
        files = {k: v for k, v in files.items() if len(k) < 99}
    for path, (text, _) in files.items():
        write(f"{root}/{path}", text)
    os.makedirs(f"{root}/dir/sub", exist_ok=True)
    os.link(f"{root}/dir/a.txt", f"{root}/hard.txt")
    os.symlink("t" * 150 if extra else "dir/a.txt", f"{root}/link")
    for path, (_, when) in files.items():
        stamp(f"{root}/{path}", when)
    for folder in ("dir/sub", "dir"):
        stamp(f"{root}/{folder}", "2020-02-02 02:02:02")
    return root


def tars(d):
    made = []
    for name, tool, fmt, extra in (("ustar", "tar", "ustar", False), ("gnu", "tar", "gnu", True), ("pax", "tar", "pax", True),
                                   ("oldgnu", "tar", "oldgnu", True), ("v7", "tar", "v7", False),
                                   ("bsd-pax", "bsdtar", "pax", True), ("bsd-ustar", "bsdtar", "ustar", False)):
        root = tar_tree(d, name, extra)
        out = f"{d}/{name}.tar"
        args = [tool, "--format", fmt, "-cf", out, "."] if tool == "bsdtar" else \
            [tool, f"--format={fmt}", "--sort=name", "-cf", out, "."]
        subprocess.run(args, cwd=root, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        made.append(out)
    for out in made:
        data = open(out, "rb").read()
        write(out + ".gz", subprocess.run(["gzip", "-c"], input=data, capture_output=True, check=True).stdout)
        write(out + ".bz2", subprocess.run(["bzip2", "-c"], input=data, capture_output=True, check=True).stdout)
    shutil.copy(f"{d}/pax.tar.gz", f"{d}/pax.tgz")
    shutil.copy(f"{d}/gnu.tar.bz2", f"{d}/gnu.tbz2")
    # Lone compressed files: gzip with and without the stored name, bzip2.
    text = "".join(f"line {i}\n" for i in range(5000))
    write(f"{d}/lone/notes.txt", text)
    stamp(f"{d}/lone/notes.txt", "2018-08-08 08:08:08")
    run("gzip", "-k", "-f", "notes.txt", cwd=f"{d}/lone")
    run("bzip2", "-k", "-f", "notes.txt", cwd=f"{d}/lone")
    write(f"{d}/nameless.gz", subprocess.run(["gzip", "-n", "-c"], input=text.encode(), capture_output=True, check=True).stdout)
    shutil.copy(f"{d}/lone/notes.txt.gz", f"{d}/notes.txt.gz")
    shutil.copy(f"{d}/lone/notes.txt.bz2", f"{d}/notes.txt.bz2")


if __name__ == "__main__":
    out = os.path.abspath(sys.argv[1])
    os.makedirs(out, exist_ok=True)
    if "--rar5-iso" in sys.argv:  # only what the RAR 5 and ISO 9660 tests need
        rar5s(out)
        isos(out)
        sys.exit(0)
    if "--tar" in sys.argv:  # the tar fixtures alone
        tars(out)
        sys.exit(0)
    zips(out)
    cabs(out)
    chms(out)
    nsis(out)
    rars(out)
    rar5s(out)
    isos(out)
    tars(out)
    if "--heavy" in sys.argv:
        heavy(out)
    elif "--many" in sys.argv:
        make_many(f"{out}/many.zip")
