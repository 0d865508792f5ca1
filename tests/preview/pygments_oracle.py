#!/usr/bin/python3
"""Where Pygments' lexer puts keywords, comments and strings in a file.

    pygments_oracle.py LEXER FILE

Prints one line per token of those classes: "K", "C" or "S", then the token's first and
last-plus-one code point offsets in the file's text with its line ends as LF. Keywords are
only the tokens that are words (Pygments also calls some punctuation keywords); string escapes
outside strings (batch files' "%%") are not strings.
"""
import re
import sys

from pygments.lexers import get_lexer_by_name
from pygments.token import Comment, Keyword, String

WORD = re.compile(r"[A-Za-z_][A-Za-z0-9_]*\Z")


def main():
    lexer = get_lexer_by_name(sys.argv[1], stripnl=False, stripall=False, ensurenl=True)
    with open(sys.argv[2], "rb") as f:
        text = f.read().decode("utf-8", "replace").replace("\r\n", "\n").replace("\r", "\n")
    text = text.split("\0")[0]
    # PowerShell's comment-based help keywords (.SYNOPSIS) are String.Doc inside a comment.
    doc_is_comment = sys.argv[1] == "powershell"
    out = []
    for index, kind, value in lexer.get_tokens_unprocessed(text):
        if kind in Keyword and WORD.match(value):
            c = "K"
        elif kind in Comment or (doc_is_comment and kind in String.Doc):
            c = "C"
        elif kind in String and kind not in String.Escape:
            c = "S"
        else:
            continue
        out.append("%s %d %d\n" % (c, index, index + len(value)))
    sys.stdout.write("".join(out))


main()
