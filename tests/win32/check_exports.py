#!/usr/bin/env python3
"""Checks what the dialog copied and saved for a page against bqlite's JSON of the same page:
the clipboard after "Copy all" and after Ctrl+A, Ctrl+C (tab-separated, or the tree indented),
and the files saved as CSV, tab-separated text and JSON.

usage: check_exports.py BQLITE.json TITLE BASE   (BASE.copy-all.txt, BASE.keys.txt, BASE.csv, ...)
Prints the first difference and exits 1, or exits 0."""
import csv
import io
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_pages import first_difference, normalise  # noqa: E402


def read(path):
    with open(path, "rb") as f:
        data = f.read()
    return data.decode("utf-8")


def shown_lines(page):
    """The page's rows as the list shows them: [group header or None, cells padded to the columns]."""
    page = normalise([json.loads(json.dumps(page))])[0]
    headers = {g["id"]: g["header"] for g in page.get("groups", [])}
    width = max(len(page.get("columns", [])), 1)
    lines = []
    for r in page.get("rows", []):
        cells = (r["cells"] + [""] * width)[:width]
        lines.append(([headers[r["group"]]] if headers else []) + cells)
    titles = (["Group"] if headers else []) + [c["title"] for c in page.get("columns", [])]
    return titles, lines


def tsv(titles, lines):
    clean = lambda c: c.replace("\t", " ").replace("\r", " ").replace("\n", " ")
    return "".join("\t".join(clean(c) for c in line) + "\r\n" for line in [titles] + lines)


def tree_text(nodes, depth=0):
    return "".join("\t" * depth + n["text"].replace("\t", " ") + "\r\n" + tree_text(n.get("children", []), depth + 1)
                   for n in nodes)


def tree_rows(nodes, depth=0):
    rows = []
    for n in nodes:
        rows.append([""] * depth + [n["text"]])
        rows += tree_rows(n.get("children", []), depth + 1)
    return rows


def check(bqlite, title, base):
    pages = [p for p in json.load(open(bqlite, encoding="utf-8"))["pages"] if p["title"] == title]
    if not pages:
        return f"bqlite shows no page {title}"
    page = pages[0]
    problems = []

    def expect(what, got, want):
        if got != want:
            g, w = got.splitlines(), want.splitlines()
            at = next((i for i, (x, y) in enumerate(zip(g, w)) if x != y), min(len(g), len(w)))
            problems.append(f"{what}: line {at + 1}: got {g[at] if at < len(g) else '(end)'!r}, "
                            f"expected {w[at] if at < len(w) else '(end)'!r} ({len(g)} vs {len(w)} lines)")

    if "tree" in page:
        text = tree_text(page["tree"])
        expect("Copy all", read(base + ".copy-all.txt"), text)
        expect("Ctrl+C on the first library", read(base + ".keys.txt"), tree_text(page["tree"][:1]))
        expect("saved text", read(base + ".txt").lstrip("\ufeff"), text)
        rows = [r for r in csv.reader(io.StringIO(read(base + ".csv").lstrip("\ufeff"), newline=""))]
        if rows != tree_rows(page["tree"]):
            problems.append("saved CSV: the tree's nodes differ")
    else:
        titles, lines = shown_lines(page)
        text = tsv(titles, lines)
        if title == "Hashes":
            # Copied as checksum lines ("value *name", as sha256sum -b writes them) and values.
            cells = [line[1:] for line in lines]
            gnu = "".join(f"{c[1].lower()} *{c[0]}\r\n" for c in cells)
            expect("Copy all", read(base + ".copy-all.txt"), gnu)
            expect("Ctrl+A, Ctrl+C", read(base + ".keys.txt"), gnu)
            expect("Copy value", read(base + ".copy-value.txt"), "".join(c[1] + "\r\n" for c in cells))
        else:
            expect("Copy all", read(base + ".copy-all.txt"), text)
            expect("Ctrl+A, Ctrl+C", read(base + ".keys.txt"), text)
            expect("Copy value (not offered)", read(base + ".copy-value.txt"), "")
        saved = read(base + ".txt")
        if not saved.startswith("\ufeff"):
            problems.append("saved text: no byte order mark")
        expect("saved text", saved.lstrip("\ufeff"), text)
        saved = read(base + ".csv")
        if not saved.startswith("\ufeff"):
            problems.append("saved CSV: no byte order mark")
        rows = [r for r in csv.reader(io.StringIO(saved.lstrip("\ufeff"), newline=""))]
        if rows != [titles] + lines:
            at = next((i for i, (x, y) in enumerate(zip(rows, [titles] + lines)) if x != y), None)
            problems.append(f"saved CSV: row {at}: {rows[at] if at is not None else len(rows)} != "
                            f"{([titles] + lines)[at] if at is not None else len(lines) + 1}")
    saved = json.loads(read(base + ".json"))
    d = first_difference(normalise(saved["pages"]), normalise([page]))
    if d:
        problems.append(f"saved JSON: {d}")
    return "\n".join(problems)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        print(__doc__)
        sys.exit(2)
    problem = check(*sys.argv[1:])
    if problem:
        print(problem)
        sys.exit(1)
