// ThlxShellRTF: POSIX shell and bash: "#" comments where a word starts, the "#!" line,
// strings in single quotes, double quotes (backslash escapes) and backquotes, all across
// lines, $VAR, ${...} and the special parameters, here-documents (<<EOF, <<-EOF, quoted
// delimiters) up to their delimiter line, and the reserved words.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kShellKeywords(
    {"if", "then", "else", "elif", "fi", "case", "esac", "for", "select", "while", "until", "do", "done", "in",
     "function", "time", "coproc", "return", "continue", "break"},
    TKeywordCase::kcExact);

TLanguageDef MakeShellDef() {
  TLanguageDef d = ModernSchemeDef(&kShellKeywords);
  d.Symbols = "(){}[];,.=+-*/%<>!&|^~?:@\\";
  d.TwoCharSymbols = {"&&", "||", ";;", ">>", "$(", "[[", "]]", "<(", ">("};
  return d;
}

const TLanguageDef kShellDef = MakeShellDef();

bool IsBlankOrStart(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ';' || c == '|' || c == '&' || c == '(' || c == ')'; }

class ThlxShellRTF : public ThlxTableSyntax {
public:
  ThlxShellRTF() : ThlxTableSyntax(kShellDef) {}

protected:
  bool ScanSpecial(char c) override {
    const bool wordStart = FRun == 0 || IsBlankOrStart(FText[FRun - 1]);
    if (c == '#' && wordStart) {
      RunToLineEnd();
      FTokenKind = FRun > 1 && FTokenPos == 0 && At(1) == '!' ? tkDirective : tkComment;
      return true;
    }
    if (c == '\'') {
      ++FRun;
      OpenPending(TPendingMode::pmClose, "'", tkString);
      return true;
    }
    if (c == '"' || c == '`') {
      ++FRun;
      OpenPending(TPendingMode::pmCloseEscaped, std::string_view(&FText[FRun - 1], 1), tkString);
      return true;
    }
    if (c == '\\' && !IsLineEnd(At(FRun + 1))) {  // an escaped character stands for itself
      ++FRun;
      SkipChar();
      FTokenKind = tkIdentifier;
      return true;
    }
    if (c == '$') {
      size_t i = FRun + 1;
      const char n = At(i);
      if (n == '{') {
        while (!IsLineEnd(At(i)) && At(i) != '}' && i < FRun + 256) ++i;  // bounded: "${${${" stays linear
        if (At(i) == '}') ++i;
      } else if (IsLetter(n) || n == '_') {
        while (IsIdentChar(At(i))) ++i;
      } else if (IsDigit(n) || n == '@' || n == '*' || n == '#' || n == '?' || n == '$' || n == '!' || n == '-') {
        ++i;
      } else {
        return false;
      }
      FRun = i;
      FTokenKind = tkVariable;
      return true;
    }
    if (c == '<' && At(FRun + 1) == '<' && At(FRun + 2) != '<') return HereDocument();
    if (IsLetter(c) || c == '_') {
      // Words run over the characters a command name or file name holds; only a whole word
      // can be a reserved word.
      ScanWord();
      if (At(FRun) == '-' || At(FRun) == '.' || At(FRun) == '/' || At(FRun) == '=' || (FTokenPos > 0 && (FText[FTokenPos - 1] == '-' || FText[FTokenPos - 1] == '.' || FText[FTokenPos - 1] == '/'))) {
        while (IsIdentChar(At(FRun)) || At(FRun) == '-' || At(FRun) == '.' || At(FRun) == '/') ++FRun;
        FTokenKind = tkIdentifier;
      }
      return true;
    }
    return false;
  }

private:
  // "<<", "<<-", blanks, then the delimiter, bare or quoted: the body starts on the next line
  // and ends at the line that is the delimiter (after tabs, with "<<-").
  bool HereDocument() {
    size_t i = FRun + 2;
    const bool tabs = At(i) == '-';
    if (tabs) ++i;
    while (At(i) == ' ' || At(i) == '\t') ++i;
    std::string delimiter;
    const char quote = At(i) == '\'' || At(i) == '"' ? At(i) : '\0';
    if (quote) ++i;
    while (!IsLineEnd(At(i)) && (quote ? At(i) != quote : (IsIdentChar(At(i)) || At(i) == '\\'))) {
      if (At(i) != '\\') delimiter.push_back(At(i));
      ++i;
    }
    if (quote && At(i) == quote) ++i;
    if (delimiter.empty()) return false;
    FRun = i;
    OpenPending(TPendingMode::pmLine, delimiter, tkString, true, tabs);
    FTokenKind = tkString;
    return true;
  }
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateShellRTF() { return std::make_unique<ThlxShellRTF>(); }

}  // namespace bq
