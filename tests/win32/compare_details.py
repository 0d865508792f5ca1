#!/usr/bin/python3
"""Compares the Details page the dialog showed (the host's JSON) with the one the Linux bqlite
printed: every row of every group but File's checksum-free rows are equal, and the Signature
group's rows equal but for "Trust", which is the system's own verdict. Prints the trust row."""
import json
import sys


def rows(path):
    doc = json.load(open(path))
    page = [p for p in doc["pages"] if p.get("setting") == "PEDetails" or p.get("title") == "Details"][0]
    groups = {g["id"]: g["header"] for g in page.get("groups", [])}
    return [(groups.get(r.get("group")), r["cells"]) for r in page.get("rows", [])]


def main():
    dialog, linux = rows(sys.argv[1]), rows(sys.argv[2])
    trust = [c[1] for g, c in dialog if g == "Signature" and c[0] == "Trust"]
    strip = lambda rs: [(g, c) for g, c in rs if not (g == "Signature" and c[0] == "Trust")]
    if strip(dialog) != strip(linux):
        for a, b in zip(strip(dialog), strip(linux)):
            if a != b:
                print("dialog %s, linux %s" % (a, b))
        print("%d rows against %d" % (len(dialog), len(linux)))
        sys.exit(1)
    print("%d rows; trust: %s" % (len(dialog), trust[0] if trust else "no signature"))


if __name__ == "__main__":
    main()
