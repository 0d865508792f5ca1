#!/usr/bin/env python3
"""Compares the Archive page's rows (group and cells) of two bqlite JSON documents, the Windows
one read under Wine and the native one; prints the first difference, or nothing when they are
the same and not empty.
    compare_archive_rows.py WINE.json NATIVE.json"""
import json, sys


def archive(path):
    pages = [p for p in json.load(open(path, encoding="utf-8"))["pages"] if p["title"] == "Archive"]
    return [(r["group"], r["cells"]) for r in pages[0]["rows"]] if pages else None


a, b = archive(sys.argv[1]), archive(sys.argv[2])
if not a:
    print("no rows")
elif a != b:
    print(next((f"wine {x} != native {y}" for x, y in zip(a or [], b or []) if x != y), f"wine {a} != native {b}"))
