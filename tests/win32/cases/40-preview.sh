# Preview page cases (sourced by run_wine_tests.sh inside Xvfb): the rich edit of the real
# dialog, read back with WM_GETTEXT and EM_GETCHARFORMAT, against bqlite.exe --json.

PV=$FIX/preview
mkdir -p "$PV"
printf 'unit Demo;\r\n{ first comment }\r\ninterface\r\n\r\ntype\r\n  TThing = class\r\n    FSize: Integer;\r\n    property Size: Integer read FSize write FSize;\r\n  end;\r\n\r\nimplementation\r\n\r\nend.\r\n' > "$PV/demo.pas"
python3 -m pydoc -w json >/dev/null 2>&1 && mv json.html "$PV/json.html"
xmllint --format /usr/share/xml/iso-codes/iso_15924.xml -o "$PV/scripts.xml"
printf 'Greek: \xce\xb1\xce\xb2\xce\xb3\nCJK: \xe4\xb8\xad\xe6\x96\x87\nLatin: caf\xc3\xa9\n' > "$PV/utf8.txt"
{ echo "unit Big;"; cat /usr/share/fpcsrc/3.2.2/rtl/objpas/*.pp; } | head -c 204800 > "$PV/big.pas"
# A routine heading near the end of big.pas, found once in it: in one of the last pieces the
# dialog adds to the document.
big_probe=$(python3 - "$PV/big.pas" <<'PY'
import re, sys
data = open(sys.argv[1], encoding="latin-1").read()
for m in re.finditer(r"(?m)^(?:procedure|function) [A-Za-z_.]+", data[-40000:]):
    if data.count(m.group(0)) == 1:
        print(m.group(0)); break
PY
)
# Short lines too: many line ends fall where the control's reads of the stream end.
{ seq 1 40000; for _ in 1 2 3 4 5 6; do cat /usr/share/common-licenses/GPL-3; printf 'Gr\xc3\xbc\xc3\x9fe \xce\xb1\xce\xb2 \xe4\xb8\xad \xf0\x9f\x98\x80\n'; done; } > "$PV/big.txt"
printf '{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Hello {\\b bold} world\\par second line\\par}' > "$PV/doc.rtf"
# An RTF file long enough to go in as pieces, from another writer (styled runs in groups).
enscript -q -w rtf --color -Ec -p "$PV/headers.rtf" /usr/include/stdio.h /usr/include/stdlib.h /usr/include/unistd.h
cat /usr/include/stdio.h /usr/include/stdlib.h /usr/include/unistd.h > "$PV/headers.rtf.expected"
printf 'Hello bold world\nsecond line\n' > "$PV/doc.rtf.expected"

# preview_case NAME FILE [PROBE...]: the Preview page of the dialog equals bqlite's; each probe
# is a text whose first occurrence's format the host prints.
preview_case() {
  local name=$1 file=$2; shift 2
  local probes=() p
  for p in "$@"; do probes+=(--probe "$p"); done
  local out
  out=$(run_host 240 --name "preview-$name" --out "$(winpath "$ART/preview-$name.dialog.json")" \
        --shots "$(winpath "$ART/shots")" "${probes[@]}" "$(winpath "$file")" 2>&1 | tr -d '\r')
  local rc=$?
  echo "$out" > "$ART/preview-$name.host.log"
  if [ $rc -ne 0 ] || [ ! -s "$ART/preview-$name.dialog.json" ]; then fail "preview $name: dialog read back" "$out"; return; fi
  timeout 120 wine "$BUILD/bqlite.exe" --json --page Preview "$(winpath "$file")" 2>/dev/null | tr -d '\r' > "$ART/preview-$name.bqlite.json"
  local msg
  if msg=$(python3 - "$ART/preview-$name.dialog.json" "$ART/preview-$name.bqlite.json" "$file.expected" <<'PY'
import json, os, re, sys
def preview(path):
    pages = [p for p in json.load(open(path, encoding="utf-8"))["pages"] if p["title"] == "Preview"]
    if not pages: sys.exit(f"{path}: no Preview page")
    return pages[0]
d, b = preview(sys.argv[1]), preview(sys.argv[2])
pieces = re.split(r"\n(?=\{\\rtf)", d["rtf"])
if len(pieces) > 1:
    # A long document went in as pieces: each has the document's header and closes; the text
    # check below proves they add up to the document.
    head = os.path.commonprefix(pieces)
    if (not b["rtf"].startswith(pieces[0][:-1]) or not b["rtf"].startswith(head) or
            ("\\fonttbl" in b["rtf"] and "\\fonttbl" not in head) or not all(p.rstrip().endswith("}") for p in pieces)):
        sys.exit(f"the {len(pieces)} pieces are not pieces of bqlite's document")
elif d["rtf"] != b["rtf"]:
    i = next((k for k, (x, y) in enumerate(zip(d["rtf"], b["rtf"])) if x != y), min(len(d["rtf"]), len(b["rtf"])))
    sys.exit(f"rtf differs at {i}: dialog {d['rtf'][i:i+60]!r}, bqlite {b['rtf'][i:i+60]!r}")
if b["rtf"].startswith("{\\rtf") and b["text"].startswith("{\\rtf"):
    # An RTF file: the control shows the formatted document, not its source; where the text it
    # was made from is known (FILE.expected), the same words (Wine shows a \\line as a blank).
    if "\\rtf" in d["text"]:
        sys.exit(f"the RTF file is not shown formatted: {d['text'][:80]!r}")
    try:
        expected = open(sys.argv[3], encoding="utf-8").read()
    except OSError:
        expected = "Hello bold world"
    got, want = d["text"].split(), expected.split()
    if got != want:
        i = next((k for k, (x, y) in enumerate(zip(got, want)) if x != y), min(len(got), len(want)))
        sys.exit(f"word {i} of {len(got)}/{len(want)}: dialog {got[i:i+5]!r}, expected {want[i:i+5]!r}")
    sys.exit(0)
shown = d["text"]
if b["rtf"] and shown.endswith(" "):
    shown = shown[:-1]  # the document's closing " }" shows one blank
if shown != b["text"]:
    i = next((k for k, (x, y) in enumerate(zip(shown, b["text"])) if x != y), min(len(shown), len(b["text"])))
    sys.exit(f"text differs at {i} (dialog {len(shown)}, bqlite {len(b['text'])} characters): "
             f"dialog {shown[i:i+40]!r}, bqlite {b['text'][i:i+40]!r}")
PY
  ); then
    pass "preview $name: the rich edit shows bqlite's document and text"
  else
    fail "preview $name: the rich edit shows bqlite's document and text" "$msg"
  fi
}

# probe_is NAME PROBE EXPECTED...: the host's format line for PROBE holds every EXPECTED word.
probe_is() {
  local name=$1 probe=$2; shift 2
  local line; line=$(grep -F "probe \"$probe\":" "$ART/preview-$name.host.log" | head -1)
  local w
  for w in "$@"; do
    case "$line" in *"$w"*) ;; *) fail "preview $name: \"$probe\" is $*" "${line:-no probe line}"; return ;; esac
  done
  pass "preview $name: \"$probe\" is $*"
}

preview_case pascal "$PV/demo.pas" "unit" "{ first comment }" "Size: Integer read"
probe_is pascal "unit" bold=1 italic=0 color=000000 "face=Courier New"
probe_is pascal "{ first comment }" bold=0 italic=1 color=0000FF
preview_case html "$PV/json.html" "<!DOCTYPE"
preview_case xml "$PV/scripts.xml" "<!--"
probe_is xml "<!--" color=0000FF
preview_case utf8 "$PV/utf8.txt"
preview_case big-pascal "$PV/big.pas" ${big_probe:+"$big_probe"}
[ -n "$big_probe" ] && probe_is big-pascal "$big_probe" bold=1 color=000000
preview_case big-text "$PV/big.txt"
preview_case rtf "$PV/doc.rtf" "bold"
preview_case big-rtf "$PV/headers.rtf" "<stdio.h> included."
probe_is big-rtf "<stdio.h> included." italic=1
probe_is rtf "bold" bold=1
