// ThlxVBRTF: Visual Basic: "'" comments, "..." strings, #...# dates, no styles.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kVBKeywords(
    {"abs", "and", "appactivate", "array", "as", "asc", "atn", "attribute", "base", "beep", "begin", "boolean",
     "byte", "call", "case", "cbool", "cbyte", "ccur", "cdate", "cdbl", "chdir", "chdrive", "chr", "cint",
     "circle", "class", "clear", "clng", "close", "command", "compare", "const", "cos", "createobject", "csng",
     "cstr", "curdir", "currency", "cvar", "cverr", "date", "dateadd", "datediff", "datepart", "dateserial",
     "datevalue", "ddb", "deftype", "dim", "dir", "do", "doevents", "double", "each", "else", "elseif", "empty",
     "end", "end with", "environ", "eof", "eqv", "erase", "err", "error", "exit", "exp", "explicit", "fileattr",
     "filecopy", "filedatetime", "filelen", "fix", "for", "form", "format", "freefile", "function", "fv", "get",
     "getattr", "getobject", "gosub", "goto", "hex", "hour", "if", "iif", "imp", "input", "instr", "int",
     "integer", "ipmt", "irr", "is", "isarray", "isdate", "isempty", "iserror", "ismissing", "isnull",
     "isnumeric", "isobject", "kill", "lbound", "lcase", "left", "len", "let", "line", "loc", "lock", "lof",
     "log", "long", "loop", "lset", "ltrim", "me", "mid", "minute", "mirr", "mkdir", "mod", "module", "month",
     "msgbox", "name", "new", "next", "not", "nothing", "now", "nper", "npv", "object", "oct", "on", "open",
     "option", "or", "pmt", "ppmt", "print", "private", "property", "pset", "public", "put", "pv", "qbcolor",
     "raise", "randomize", "rate", "redim", "rem", "reset", "resume", "return", "rgb", "right", "rmdir", "rnd",
     "rset", "rtrim", "second", "seek", "select", "sendkeys", "set", "setattr", "sgn", "shell", "sin", "single",
     "sln", "space", "spc", "sqr", "static", "stop", "str", "strcomp", "strconv", "string", "sub", "switch",
     "syd", "system", "tab", "tan", "then", "time", "timer", "timeserial", "timevalue", "to", "trim",
     "typename", "ubound", "ucase", "unlock", "until", "val", "variant", "vartype", "version", "weekday", "wend",
     "while", "width", "with", "write", "xor"});

const TLanguageDef kVBDef = VBSchemeDef(&kVBKeywords);

}  // namespace

TLanguageDef VBSchemeDef(const TKeywordTable* keywords) {
  TLanguageDef d;
  d.Colors = {{0, 128, 0}, {0, 0, 0}, {0, 0, 128}, {0, 0, 255}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  d.ColorOf.fill(8);
  d.ColorOf[tkComment] = 1;
  d.ColorOf[tkIdentifier] = 2;
  d.ColorOf[tkKeyword] = 3;
  d.ColorOf[tkNumber] = 4;
  d.ColorOf[tkSpace] = 5;
  d.ColorOf[tkString] = 6;
  d.ColorOf[tkSymbol] = 7;
  d.Keywords = keywords;
  d.LineComments = {"'"};
  d.Quotes = "\"";
  d.VBQuote = true;
  d.HashDate = true;
  d.Symbols = "()&*+,-./:;<=>\\^";
  d.TwoCharSymbols = {"<>", "<=", ">="};
  return d;
}

std::unique_ptr<ThlxRTFSyntax> CreateVBRTF() { return std::make_unique<ThlxTableSyntax>(kVBDef); }

}  // namespace bq
