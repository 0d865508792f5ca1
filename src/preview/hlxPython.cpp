// ThlxPythonRTF: Python: "#" comments, strings with their prefixes (r, b, u, f and pairs of
// them), triple-quoted strings across lines, decorators, and the keywords.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kPythonKeywords(
    {"False", "None", "True", "and", "as", "assert", "async", "await", "break", "class", "continue", "def", "del",
     "elif", "else", "except", "finally", "for", "from", "global", "if", "import", "in", "is", "lambda",
     "nonlocal", "not", "or", "pass", "raise", "return", "try", "while", "with", "yield"},
    TKeywordCase::kcExact);

TLanguageDef MakePythonDef() {
  TLanguageDef d = ModernSchemeDef(&kPythonKeywords);
  d.LineComments = {"#"};
  d.Quotes = "\"'";
  d.BackslashEscape = true;
  d.NumberTakesLetters = true;
  d.Symbols = "(){}[];,.=+-*/%<>!&|^~:@";
  d.TwoCharSymbols = {"==", "!=", "<=", ">=", "**", "//", "->", "+=", "-=", "*=", "/=", ":=", "<<", ">>"};
  return d;
}

const TLanguageDef kPythonDef = MakePythonDef();

bool IsPrefixLetter(char c) {
  return c == 'r' || c == 'R' || c == 'b' || c == 'B' || c == 'u' || c == 'U' || c == 'f' || c == 'F';
}

class ThlxPythonRTF : public ThlxTableSyntax {
public:
  ThlxPythonRTF() : ThlxTableSyntax(kPythonDef) {}

protected:
  bool ScanSpecial(char c) override {
    size_t q = FRun;
    bool raw = false;
    // A prefix of one or two letters right before the quote.
    for (int k = 0; k < 2 && IsPrefixLetter(At(q)); ++k) raw |= At(q++) == 'r' || At(q - 1) == 'R';
    if ((q > FRun && (At(q) == '"' || At(q) == '\'')) || c == '"' || c == '\'') {
      const char quote = At(q);
      if (quote != '"' && quote != '\'') return false;
      if (At(q + 1) == quote && At(q + 2) == quote) {
        FRun = q + 3;
        OpenPending(raw ? TPendingMode::pmClose : TPendingMode::pmCloseEscaped, FText.substr(q, 3), tkString);
        return true;
      }
      FRun = q;
      ScanString(quote);
      return true;
    }
    if (c == '@' && FirstOnLine() && (IsLetter(At(FRun + 1)) || At(FRun + 1) == '_')) {
      ++FRun;
      while (IsIdentChar(At(FRun)) || (At(FRun) == '.' && IsLetter(At(FRun + 1)))) ++FRun;
      FTokenKind = tkDirective;
      return true;
    }
    return false;
  }
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreatePythonRTF() { return std::make_unique<ThlxPythonRTF>(); }

}  // namespace bq
