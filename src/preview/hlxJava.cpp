// ThlxJavaRTF: Java: "//" and "/* */" comments, strings and characters with backslash
// escapes, text blocks """...""" across lines, annotations, and the keywords with the
// contextual ones (var, yield, record, sealed, permits, the module words).
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kJavaKeywords(
    {"abstract", "assert", "boolean", "break", "byte", "case", "catch", "char", "class", "const", "continue",
     "default", "do", "double", "else", "enum", "extends", "final", "finally", "float", "for", "goto", "if",
     "implements", "import", "instanceof", "int", "interface", "long", "native", "new", "package", "private",
     "protected", "public", "return", "short", "static", "strictfp", "super", "switch", "synchronized", "this",
     "throw", "throws", "transient", "try", "void", "volatile", "while", "true", "false", "null", "var", "yield",
     "record", "sealed", "permits", "exports", "module", "open", "opens", "provides", "requires", "to",
     "transitive", "uses", "with", "when"},
    TKeywordCase::kcExact);

TLanguageDef MakeJavaDef() {
  TLanguageDef d = ModernSchemeDef(&kJavaKeywords);
  d.LineComments = {"//"};
  d.BlockComments = {{"/*", "*/"}};
  d.Quotes = "\"'";
  d.BackslashEscape = true;
  d.NumberTakesLetters = true;
  d.Symbols = "(){}[];,.=+-*/%<>!&|^~?:";
  d.TwoCharSymbols = {"==", "!=", "<=", ">=", "&&", "||", "++", "--", "->", "::", "+=", "-=", "*=", "/="};
  return d;
}

const TLanguageDef kJavaDef = MakeJavaDef();

class ThlxJavaRTF : public ThlxTableSyntax {
public:
  ThlxJavaRTF() : ThlxTableSyntax(kJavaDef) {}

protected:
  bool ScanSpecial(char c) override {
    if (c == '"' && At(FRun + 1) == '"' && At(FRun + 2) == '"') {
      FRun += 3;
      OpenPending(TPendingMode::pmCloseEscaped, "\"\"\"", tkString);
      return true;
    }
    if (c == '@' && IsLetter(At(FRun + 1)) && !Matches(FRun, "@interface")) {
      ++FRun;
      while (IsIdentChar(At(FRun)) || (At(FRun) == '.' && IsLetter(At(FRun + 1)))) ++FRun;
      FTokenKind = tkDirective;
      return true;
    }
    return false;
  }
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateJavaRTF() { return std::make_unique<ThlxJavaRTF>(); }

}  // namespace bq
