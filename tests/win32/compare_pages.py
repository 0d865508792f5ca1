#!/usr/bin/env python3
"""Compares the "pages" of two bqlite JSON documents: what the real dialog showed (read back by
bqdialoghost) and what bqlite printed for the same files. Trailing empty cells of a row are
ignored, since a list view has a cell in every column whether a page set it or not."""
import json
import re
import sys


def load(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def normalise(pages):
    """A grouped list as it is shown: each listed group's rows in group order, no row outside
    the listed groups and no empty group (a virtual list draws only what is shown)."""
    for page in pages:
        for row in page.get("rows", []):
            # A list view shows a cell's line breaks as " / ".
            row["cells"] = [re.sub(r"\r\n|\r|\n", " / ", c) if isinstance(c, str) else c for c in row["cells"]]
            cells = row["cells"]
            while len(cells) > 1 and cells[-1] == "":
                cells.pop()
        groups = page.get("groups")
        if groups:
            order = {}
            for i, g in enumerate(groups):
                order.setdefault(g["id"], i)
            rows = [r for r in page["rows"] if r["group"] in order]
            rows.sort(key=lambda r: order[r["group"]])
            page["rows"] = rows
            used = {r["group"] for r in rows}
            page["groups"] = [g for g in groups if g["id"] in used]
    return pages


def first_difference(a, b, path="pages"):
    if type(a) is not type(b):
        return f"{path}: {a!r} != {b!r}"
    if isinstance(a, dict):
        for key in sorted(set(a) | set(b)):
            if key not in a or key not in b:
                return f"{path}.{key}: only in {'dialog' if key in a else 'bqlite'}"
            d = first_difference(a[key], b[key], f"{path}.{key}")
            if d:
                return d
        return None
    if isinstance(a, list):
        for i, (x, y) in enumerate(zip(a, b)):
            d = first_difference(x, y, f"{path}[{i}]")
            if d:
                return d
        if len(a) != len(b):
            return f"{path}: {len(a)} items in the dialog, {len(b)} in bqlite"
        return None
    return None if a == b else f"{path}: dialog {a!r}, bqlite {b!r}"


def main():
    if len(sys.argv) < 3:
        print("usage: compare_pages.py DIALOG.json BQLITE.json [--expect-tabs T1,T2,...]")
        return 2
    dialog = normalise(load(sys.argv[1])["pages"])
    cli = normalise(load(sys.argv[2])["pages"])
    if len(sys.argv) > 4 and sys.argv[3] == "--expect-tabs":
        tabs = [p["title"] for p in dialog]
        expected = sys.argv[4].split(",")
        if tabs != expected:
            print(f"tabs {tabs}, expected {expected}")
            return 1
    d = first_difference(dialog, cli)
    if d:
        print(d)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
