#!/usr/bin/env python3
"""Passes when no page of a bqlite JSON document shows a value: every field is empty and no
list has a row (the dialog of a file that cannot be read)."""
import json
import sys

pages = json.load(open(sys.argv[1], encoding="utf-8"))["pages"]
bad = [f"{p['title']}: field {f['id']} = {f['text']!r}" for p in pages for f in p.get("fields", []) if f["text"]]
bad += [f"{p['title']}: {len(p['rows'])} rows" for p in pages if p.get("rows")]
if not pages:
    bad.append("no pages")
print("\n".join(bad))
sys.exit(1 if bad else 0)
