// ThlxCSharpRTF: C#: "//" and "/* */" comments, preprocessor lines, strings with backslash
// escapes, verbatim strings @"..." ("" inside) and raw strings """...""" across lines,
// interpolated strings $"..." and $@"...", @identifiers, and the keywords with the contextual
// ones.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kCSharpKeywords(
    {"abstract", "as", "base", "bool", "break", "byte", "case", "catch", "char", "checked", "class", "const",
     "continue", "decimal", "default", "delegate", "do", "double", "else", "enum", "event", "explicit", "extern",
     "false", "finally", "fixed", "float", "for", "foreach", "goto", "if", "implicit", "in", "int", "interface",
     "internal", "is", "lock", "long", "namespace", "new", "null", "object", "operator", "out", "override",
     "params", "private", "protected", "public", "readonly", "ref", "return", "sbyte", "sealed", "short", "sizeof",
     "stackalloc", "static", "string", "struct", "switch", "this", "throw", "true", "try", "typeof", "uint",
     "ulong", "unchecked", "unsafe", "ushort", "using", "virtual", "void", "volatile", "while", "add", "alias",
     "and", "ascending", "async", "await", "by", "descending", "dynamic", "equals", "file", "from", "get",
     "global", "group", "init", "into", "join", "let", "managed", "nameof", "nint", "not", "notnull", "nuint",
     "on", "or", "orderby", "partial", "record", "remove", "required", "scoped", "select", "set", "unmanaged",
     "value", "var", "when", "where", "with", "yield"},
    TKeywordCase::kcExact);

TLanguageDef MakeCSharpDef() {
  TLanguageDef d = ModernSchemeDef(&kCSharpKeywords);
  d.LineComments = {"//"};
  d.BlockComments = {{"/*", "*/"}};
  d.Quotes = "\"'";
  d.BackslashEscape = true;
  d.NumberTakesLetters = true;
  d.HashDirective = true;
  d.Symbols = "(){}[];,.=+-*/%<>!&|^~?:";
  d.TwoCharSymbols = {"==", "!=", "<=", ">=", "&&", "||", "++", "--", "=>", "??", "?.", "+=", "-=", "*=", "/=", "::"};
  return d;
}

const TLanguageDef kCSharpDef = MakeCSharpDef();

class ThlxCSharpRTF : public ThlxTableSyntax {
public:
  ThlxCSharpRTF() : ThlxTableSyntax(kCSharpDef) {}

protected:
  bool ScanSpecial(char c) override {
    if (c != '@' && c != '$' && c != '"') return false;
    size_t i = FRun;
    bool verbatim = false;
    while (At(i) == '$' || At(i) == '@') verbatim |= At(i++) == '@';
    if (At(i) == '"' && At(i + 1) == '"' && At(i + 2) == '"') {
      // A raw string: as many quotes close it as opened it.
      size_t q = i;
      while (At(q) == '"') ++q;
      FRun = q;
      OpenPending(TPendingMode::pmClose, FText.substr(i, q - i), tkString);
      return true;
    }
    if (At(i) == '"' && verbatim) {
      FRun = i + 1;
      OpenPending(TPendingMode::pmCloseDoubled, "\"", tkString);
      return true;
    }
    if (At(i) == '"') {  // a regular or interpolated string ends with its line
      FRun = i;
      ScanString('"');
      return true;
    }
    if (c == '@' && (IsLetter(At(FRun + 1)) || At(FRun + 1) == '_')) {  // @class: an identifier
      ++FRun;
      while (IsIdentChar(At(FRun))) ++FRun;
      FTokenKind = tkIdentifier;
      return true;
    }
    return false;
  }
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateCSharpRTF() { return std::make_unique<ThlxCSharpRTF>(); }

}  // namespace bq
