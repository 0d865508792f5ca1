#!/usr/bin/env python3
"""Lists an archive with an independent lister: oracle.py KIND FILE

Prints one line per entry: name, unpacked size, packed size, "YYYY-MM-DD HH:MM", CRC-32 (8
upper-case hex digits), separated by tabs; "*" where the lister does not tell. Path separators
are turned into "\\" where the archive stores "\\" (RAR, CAB, CHM, NSIS), as the readers show them."""
import json
import os
import re
import subprocess
import sys
import tempfile
import zipfile


def out(name, size="*", packed="*", when="*", crc="*"):
    print("\t".join(str(x) for x in (name, size, packed, when, crc)))


def seven_zip(path, backslash, unknown_size="0", folder_slash=True, check=True, no_crc="*"):
    text = subprocess.run(["7z", "l", "-slt", path], capture_output=True, text=True, check=check).stdout
    body = text.split("----------\n", 1)[1]
    for block in body.strip().split("\n\n"):
        f = dict(line.split(" = ", 1) for line in block.splitlines() if " = " in line)
        if "Path" not in f:
            continue
        slash = "/" if folder_slash and f.get("Folder") == "+" else ""
        name = f["Path"].replace("/", "\\") if backslash else f["Path"] + slash
        crc = f.get("CRC") or no_crc
        out(name, f.get("Size") or unknown_size, f.get("Packed Size") or unknown_size, f.get("Modified", "*")[:16] or "*",
            crc.upper().zfill(8) if crc not in ("*", "") else crc)


def main():
    kind, path = sys.argv[1], sys.argv[2]
    if kind == "zip-python":
        with zipfile.ZipFile(path) as z:
            for i in z.infolist():
                y, mo, d, h, mi, _ = i.date_time
                out(i.filename, i.file_size, i.compress_size, f"{y:04}-{mo:02}-{d:02} {h:02}:{mi:02}", f"{i.CRC:08X}")
    elif kind == "zip-unzip":
        text = subprocess.run(["unzip", "-Z", "-v", path], capture_output=True, check=True).stdout.decode("utf-8", "replace")
        for block in text.split("Central directory entry #")[1:]:
            name = [line for line in block.splitlines()[2:] if line.strip()][0].strip()
            size = re.search(r"uncompressed size:\s+(\d+)", block).group(1)
            packed = re.search(r"  compressed size:\s+(\d+)", block).group(1)
            crc = re.search(r"32-bit CRC value \(hex\):\s+([0-9a-f]+)", block).group(1)
            out(name, size, packed, "*", crc.upper())
    elif kind in ("zip-7z", "rar-7z"):
        seven_zip(path, backslash=kind != "zip-7z")
    elif kind == "nsis-7z":  # a size 7z cannot tell is empty, as ours
        seven_zip(path, backslash=True, unknown_size="")
    elif kind == "rar-lsar":
        doc = json.loads(subprocess.run(["lsar", "-j", path], capture_output=True, check=True).stdout)
        for e in doc["lsarContents"]:
            out(e["XADFileName"].replace("/", "\\"), e.get("XADFileSize", 0), e.get("XADCompressedSize", 0),
                e["XADLastModificationDate"][:16], f'{e.get("RARCRC32", 0):08X}')
    elif kind == "rar5-7z":  # names as stored ("/"), folders without a slash; a missing volume is no error here
        seven_zip(path, backslash=False, folder_slash=False, check=False)
    elif kind == "rar5-lsar":
        doc = json.loads(subprocess.run(["lsar", "-j", path], capture_output=True, check=True).stdout)
        for e in doc["lsarContents"]:
            crc = f'{e["RAR5CRC32"]:08X}' if "RAR5CRC32" in e else ("*" if e.get("XADIsDirectory") else "")
            out(e["XADFileName"], e.get("XADFileSize", "*"), e.get("XADCompressedSize", 0), e["XADLastModificationDate"][:16], crc)
    elif kind == "iso-7z":  # folders with a slash, as ZIP stores them; no sizes for folders
        seven_zip(path, backslash=False, unknown_size="")
    elif kind == "iso-bsdtar":  # disk order: sorted lines; times only to the day, so none
        text = subprocess.run(["bsdtar", "-tvf", path], capture_output=True, text=True, check=True).stdout
        lines = []
        for line in text.splitlines():
            m = re.match(r"(\S+)\s+\d+\s+\S+\s+\S+\s+(\d+)\s+\w+\s+\d+\s+[\d:]+\s(.*)$", line)
            if not m or m.group(3) == ".":
                continue
            folder = m.group(1).startswith("d")
            size = "" if folder else m.group(2)
            lines.append((m.group(3) + ("/" if folder else ""), size, size, "*", "*"))
        for line in sorted(lines):
            out(*line)
    elif kind == "7z-7z":  # names as stored, folders without a slash; no CRC and no packed size are empty
        seven_zip(path, backslash=False, unknown_size="", folder_slash=False, no_crc="")
    elif kind == "7z-lsar":
        doc = json.loads(subprocess.run(["lsar", "-j", path], capture_output=True, check=True).stdout)
        for e in doc["lsarContents"]:
            crc = f'{e["7zCRC32"]:08X}' if "7zCRC32" in e else ""
            out(e["XADFileName"], e.get("XADFileSize", 0), "*", e["XADLastModificationDate"][:16], crc)
    elif kind == "xz-xz":  # one row: the name without .xz, the unpacked size, the file's size
        text = subprocess.run(["xz", "--robot", "-l", path], capture_output=True, text=True, check=True).stdout
        totals = [line.split("\t") for line in text.splitlines() if line.startswith("totals")][0]
        out(os.path.basename(path)[:-3], totals[4], totals[3])
    elif kind == "cab":
        text = subprocess.run(["cabextract", "-l", path], capture_output=True, text=True, check=True).stdout
        for line in text.splitlines():
            m = re.match(r"\s*(\d+) \| (\d\d)\.(\d\d)\.(\d{4}) (\d\d:\d\d):\d\d \| (.*)$", line)
            if m:
                out(m.group(6).replace("/", "\\"), m.group(1), "*", f"{m.group(4)}-{m.group(3)}-{m.group(2)} {m.group(5)}")
    elif kind == "chm":
        text = subprocess.run(["enum_chmLib", path], capture_output=True, text=True, check=True).stdout
        for line in text.splitlines():
            m = re.match(r"\s*\d+\s+\d+\s+(\d+)\s+.*?\t+(/.*)$", line)
            if m and not m.group(2).endswith("/"):
                out(m.group(2).replace("/", "\\"), m.group(1))
    elif kind == "tar-bsdtar":  # names, sizes and order; the date only where it shows the minute
        env = dict(os.environ, LC_ALL="C.UTF-8")
        text = subprocess.run(["bsdtar", "-tvf", path], capture_output=True, check=True, env=env).stdout.decode()
        for line in text.splitlines():
            mode, _, _, _, size, _, _, when, name = line.split(None, 8)
            if mode[0] == "l":
                name = name.rsplit(" -> ", 1)[0]
            elif mode[0] == "h":
                name = name.rsplit(" link to ", 1)[0]
            out(name, size)
    elif kind == "tar-7z":  # 7z tells a link's size as its target's length: not compared
        unpack = {".gz": "gzip", ".tgz": "gzip", ".bz2": "bzip2", ".tbz2": "bzip2"}.get(os.path.splitext(path)[1])
        if unpack:  # 7z lists the compressed layer: it lists the tar unpacked by gzip or bzip2
            with tempfile.NamedTemporaryFile(suffix=".tar") as t:
                subprocess.run([unpack, "-dc", path], stdout=t, check=True)
                text = subprocess.run(["7z", "l", "-slt", t.name], capture_output=True, text=True, check=True).stdout
        else:
            text = subprocess.run(["7z", "l", "-slt", path], capture_output=True, text=True, check=True).stdout
        for block in text.split("----------\n", 1)[1].strip().split("\n\n"):
            f = dict(line.split(" = ", 1) for line in block.splitlines() if " = " in line)
            link = f.get("Symbolic Link") or f.get("Hard Link")
            out(f["Path"] + ("/" if f.get("Folder") == "+" else ""), "*" if link else f["Size"], "*",
                f["Modified"][:16] or "*")
    elif kind == "gz-7z":  # a lone compressed file: 7z's name and size, its packed size the file's
        text = subprocess.run(["7z", "l", "-slt", path], capture_output=True, text=True, check=True).stdout
        f = dict(line.split(" = ", 1) for line in text.split("----------\n", 1)[1].splitlines() if " = " in line)
        out(f.get("Path", "*"), f.get("Size") or "", f.get("Packed Size") or "*", f.get("Modified", "")[:16] or "")
    else:
        sys.exit(f"unknown kind {kind}")


if __name__ == "__main__":
    main()
