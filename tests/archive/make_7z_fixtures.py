#!/usr/bin/env python3
"""Makes the 7z and xz fixtures with 7z and xz: make_7z_fixtures.py DIR [--many]

7z archives with every method, solid or not, with empty files and folders, plain and encrypted
headers; xz files of several presets, checks, block sizes and concatenated streams, with the
plain bytes beside them (NAME.plain). --many adds a 7z of 100,000 entries, kept once made."""
import os
import random
import shutil
import subprocess
import sys


def run(*args, cwd=None):
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def tree(src):
    if os.path.exists(src):
        shutil.rmtree(src)
    write(f"{src}/a.txt", "alpha\n")
    write(f"{src}/sub/b.txt", "bravo bravo bravo\n" * 300)
    write(f"{src}/sub/deeper/c.txt", "charlie\n")
    write(f"{src}/caf\u00e9 \u65e5\u672c.txt", "unicode name\n")
    write(f"{src}/empty.txt", b"")
    write(f"{src}/random.bin", random.Random(7).randbytes(20000))
    os.makedirs(f"{src}/emptydir/inner")
    for p, t in (("a.txt", "2021-03-04 05:06:08"), ("sub/b.txt", "2019-12-31 23:59:58"), ("sub/deeper/c.txt", "2000-02-29 12:00:00"),
                 ("caf\u00e9 \u65e5\u672c.txt", "2011-11-11 11:11:12"), ("empty.txt", "2015-05-05 05:05:06"),
                 ("random.bin", "2012-12-12 12:12:12"), ("emptydir/inner", "2003-03-03 03:03:04"), ("emptydir", "2004-04-04 04:04:04"),
                 ("sub/deeper", "2001-01-01 01:01:00"), ("sub", "2002-02-02 02:02:02")):
        subprocess.run(["touch", "-d", t, f"{src}/{p}"], check=True)


SEVEN = {
    "lzma2": ["-m0=lzma2"], "lzma": ["-m0=lzma"], "ppmd": ["-m0=ppmd"], "bzip2": ["-m0=bzip2"], "copy": ["-m0=copy"],
    "lzma2-nonsolid": ["-m0=lzma2", "-ms=off"], "lzma-solid": ["-m0=lzma", "-ms=on"], "plainheader": ["-mhc=off"],
    "plainheader-nonsolid": ["-mhc=off", "-ms=off"], "encrypted": ["-mhe=on", "-pSecret"],
    "encrypted-data": ["-pSecret"], "bcj": ["-m0=bcj", "-m1=lzma2"],
}


def sevens(d, src):
    for name, options in SEVEN.items():
        path = f"{d}/{name}.7z"
        if os.path.exists(path):
            os.remove(path)
        run("7z", "a", "-bd", *options, path, ".", cwd=src)


def xzs(d, src):
    text = b"".join(b"line %d of the text, with some words repeated\n" % i for i in range(20000))
    noise = random.Random(3).randbytes(300000)
    plain = {"text": text, "mixed": text[:100000] + noise + text[:50000], "empty": b""}
    cases = {
        "preset0": ("text", ["-0"]), "preset6": ("text", ["-6"]), "preset9e": ("mixed", ["-9e"]),
        "crc32": ("text", ["--check=crc32"]), "crc64": ("mixed", ["--check=crc64"]),
        "sha256": ("mixed", ["--check=sha256"]), "none": ("text", ["--check=none"]),
        "blocks": ("mixed", ["--block-size=65536"]), "empty": ("empty", []),
        "bcj": ("text", ["--x86", "--lzma2"]), "delta": ("text", ["--delta", "--lzma2"]),
    }
    for name, (which, options) in cases.items():
        data = plain[which]
        out = subprocess.run(["xz", "-c", "-T1", *options], input=data, capture_output=True, check=True).stdout
        write(f"{d}/{name}.xz", out)
        write(f"{d}/{name}.xz.plain", data)
    # Two streams one after the other, with stream padding between them.
    one = subprocess.run(["xz", "-c", "-T1"], input=text[:5000], capture_output=True, check=True).stdout
    two = subprocess.run(["xz", "-c", "-T1", "--check=sha256"], input=noise[:9000], capture_output=True, check=True).stdout
    write(f"{d}/concat.xz", one + bytes(8) + two)
    write(f"{d}/concat.xz.plain", text[:5000] + noise[:9000])
    # Multithreaded xz writes the sizes into each block header.
    out = subprocess.run(["xz", "-c", "-T2", "--block-size=100000"], input=plain["mixed"], capture_output=True, check=True).stdout
    write(f"{d}/sized.xz", out)
    write(f"{d}/sized.xz.plain", plain["mixed"])
    # A raw LZMA2 stream (no container) and a tar inside xz.
    raw = subprocess.run(["xz", "-c", "--format=raw", "--lzma2=preset=6,dict=1MiB"], input=plain["mixed"], capture_output=True,
                         check=True).stdout
    write(f"{d}/raw.lzma2", raw)
    write(f"{d}/raw.lzma2.plain", plain["mixed"])
    run("bsdtar", "-cJf", f"{d}/tree.tar.xz", ".", cwd=src)


def make_many(path):
    if os.path.exists(path):
        return
    work = path + ".src"
    if os.path.exists(work):
        shutil.rmtree(work)
    for i in range(100000):
        folder = f"{work}/d{i // 1000:03}"
        if i % 1000 == 0:
            os.makedirs(folder)
        with open(f"{folder}/f{i:06}.txt", "wb") as f:
            f.write(b"%d\n" % i)
    run("7z", "a", "-bd", path + ".tmp.7z", ".", cwd=work)
    shutil.rmtree(work)
    os.replace(path + ".tmp.7z", path)


if __name__ == "__main__":
    out = os.path.abspath(sys.argv[1])
    os.makedirs(out, exist_ok=True)
    src = os.path.join(out, "src7z")
    tree(src)
    sevens(out, src)
    xzs(out, src)
    if "--many" in sys.argv:
        make_many(f"{out}/many.7z")
