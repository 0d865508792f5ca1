#!/usr/bin/env python3
"""Checks that a built PE image keeps the protections the linker gives it, reading the headers
itself (no third-party module):
  - ASLR (DYNAMIC_BASE), DEP (NX_COMPAT) and, on PE32+, HIGH_ENTROPY_VA;
  - relocations kept: the RELOCS_STRIPPED flag clear, a .reloc section and a non-empty base
    relocation directory;
  - no section both writable and executable;
  - with --no-debug: no DWARF (.debug_*) section.

  check_pe_hardening.py [--no-debug] [--facts] [--remove] FILE...
Exits 1 naming each missing protection; --remove deletes such a FILE (a build step that failed
must not leave an image that the next build takes as up to date). --facts prints what was read as one JSON object per
file (the tests compare it with pefile's reading).
"""
import json
import os
import struct
import sys

DYNAMIC_BASE, HIGH_ENTROPY_VA, NX_COMPAT = 0x0040, 0x0020, 0x0100
RELOCS_STRIPPED = 0x0001
MEM_EXECUTE, MEM_WRITE = 0x20000000, 0x80000000
BASERELOC = 5


def read_facts(path):
    with open(path, "rb") as f:
        data = f.read()

    def u(fmt, at):
        if at < 0 or at + struct.calcsize(fmt) > len(data):
            raise ValueError(f"truncated at offset {at}")
        return struct.unpack_from(fmt, data, at)

    if data[:2] != b"MZ":
        raise ValueError("no MZ header")
    pe = u("<I", 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    machine, nsections, _, symtab, nsymbols, optsize, characteristics = u("<HHIIIHH", pe + 4)
    opt = pe + 24
    magic = u("<H", opt)[0]
    if magic not in (0x10B, 0x20B):
        raise ValueError(f"unknown optional header magic {magic:#x}")
    plus = magic == 0x20B
    dll_characteristics = u("<H", opt + 70)[0]
    ndirs_at = opt + (108 if plus else 92)
    ndirs = u("<I", ndirs_at)[0]
    reloc_dir = u("<II", ndirs_at + 4 + 8 * BASERELOC) if ndirs > BASERELOC else (0, 0)
    strings = symtab + 18 * nsymbols  # the COFF string table, where long section names live
    sections = []
    for i in range(nsections):
        at = opt + optsize + 40 * i
        raw = u("<8s", at)[0].rstrip(b"\0")
        name = raw.decode("latin-1")
        if name.startswith("/") and name[1:].isdigit() and symtab:
            start = strings + int(name[1:])
            end = data.find(b"\0", start)
            name = data[start:end if end >= 0 else len(data)].decode("latin-1")
        vsize, _, rawsize, _ = u("<IIII", at + 8)
        flags = u("<I", at + 36)[0]
        sections.append({"name": name, "flags": flags, "size": rawsize})
    return {"machine": machine, "pe32plus": plus, "characteristics": characteristics,
            "dll_characteristics": dll_characteristics, "reloc_dir_size": reloc_dir[1],
            "sections": sections}


def problems(facts, no_debug):
    out = []
    dc = facts["dll_characteristics"]
    need = DYNAMIC_BASE | NX_COMPAT | (HIGH_ENTROPY_VA if facts["pe32plus"] else 0)
    names = {DYNAMIC_BASE: "ASLR (DYNAMIC_BASE)", NX_COMPAT: "DEP (NX_COMPAT)", HIGH_ENTROPY_VA: "HIGH_ENTROPY_VA"}
    for bit, name in names.items():
        if need & bit and not dc & bit:
            out.append(f"no {name}: DllCharacteristics {dc:#06x}")
    if facts["characteristics"] & RELOCS_STRIPPED:
        out.append("relocations stripped (RELOCS_STRIPPED set)")
    if not any(s["name"] == ".reloc" for s in facts["sections"]):
        out.append("no .reloc section")
    if not facts["reloc_dir_size"]:
        out.append("empty base relocation directory")
    for s in facts["sections"]:
        if s["flags"] & MEM_WRITE and s["flags"] & MEM_EXECUTE:
            out.append(f"section {s['name']} is writable and executable ({s['flags']:#010x})")
        if no_debug and s["name"].startswith(".debug_"):
            out.append(f"debug section {s['name']} ({s['size']} bytes)")
    return out


def main(argv):
    no_debug = "--no-debug" in argv
    facts_only = "--facts" in argv
    remove = "--remove" in argv
    files = [a for a in argv if not a.startswith("--")]
    if not files:
        print(__doc__, file=sys.stderr)
        return 2
    bad = 0
    for path in files:
        try:
            facts = read_facts(path)
        except (OSError, ValueError) as e:
            print(f"{path}: not a readable PE image: {e}", file=sys.stderr)
            bad += 1
            continue
        if facts_only:
            print(json.dumps({"file": path, **facts}))
            continue
        found = problems(facts, no_debug)
        for p in found:
            print(f"{path}: {p}", file=sys.stderr)
        if found and remove:
            os.remove(path)
            print(f"{path}: removed", file=sys.stderr)
        bad += bool(found)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
