// ThlxBatchRTF: batch files: REM and "::" comments, labels, %VARIABLE%, %1, %~dp0, %%i and
// !DELAYED! variables, strings in double quotes to the line end, and the commands and words
// of cmd.exe without regard to case.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kBatchKeywords(
    {"assoc", "break", "call", "cd", "chdir", "cls", "color", "copy", "date", "defined", "del", "dir", "do",
     "dpath", "echo", "else", "endlocal", "equ", "erase", "errorlevel", "exist", "exit", "for", "ftype", "geq",
     "goto", "gtr", "if", "in", "keys", "leq", "lss", "md", "mkdir", "mklink", "move", "neq", "not", "path",
     "pause", "popd", "prompt", "pushd", "rd", "ren", "rename", "rmdir", "set", "setlocal", "shift", "start",
     "time", "title", "type", "ver", "verify", "vol", "cmdextversion"});

TLanguageDef MakeBatchDef() {
  TLanguageDef d = ModernSchemeDef(&kBatchKeywords);
  d.Symbols = "()@=<>|&,;+-*/^";
  d.TwoCharSymbols = {"==", ">>", "&&", "||"};
  return d;
}

const TLanguageDef kBatchDef = MakeBatchDef();

bool IsWordEnd(char c) { return c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '(' || c == '&' || c == '|' || c == '>' || c == '<'; }

class ThlxBatchRTF : public ThlxTableSyntax {
public:
  ThlxBatchRTF() : ThlxTableSyntax(kBatchDef) {}

protected:
  bool ScanSpecial(char c) override {
    const bool first = FirstOnLine() || (FTokenPos > 0 && FText[FTokenPos - 1] == '@' && FirstOnLineAt(FTokenPos - 1));
    if (first && (c == 'r' || c == 'R') && (At(FRun + 1) == 'e' || At(FRun + 1) == 'E') &&
        (At(FRun + 2) == 'm' || At(FRun + 2) == 'M') && (IsWordEnd(At(FRun + 3)) || At(FRun + 3) == '.' || At(FRun + 3) == ':')) {
      RunToLineEnd();
      FTokenKind = tkComment;
      return true;
    }
    if (c == ':' && FirstOnLine()) {
      RunToLineEnd();  // "::" comments and labels
      FTokenKind = At(FTokenPos + 1) == ':' ? tkComment : tkDirective;
      return true;
    }
    if (c == '%') {
      size_t i = FRun + 1;
      if (At(i) == '%') {  // %%i
        i += 1;
        if (At(i) == '~') while (IsLetter(At(i + 1)) && i < FRun + 12) ++i;
        if (IsIdentChar(At(i))) ++i;
      } else if (IsDigit(At(i)) || At(i) == '*') {
        ++i;
      } else if (At(i) == '~') {
        while (IsLetter(At(i + 1)) && i < FRun + 12) ++i;
        ++i;
        if (IsDigit(At(i))) ++i;
      } else {
        while (!IsLineEnd(At(i)) && At(i) != '%' && At(i) != ' ' && At(i) != '"' && i < FRun + 256) ++i;
        if (At(i) != '%') return false;
        ++i;
      }
      FRun = i;
      FTokenKind = tkVariable;
      return true;
    }
    if (c == '!' && IsIdentChar(At(FRun + 1))) {
      size_t i = FRun + 1;
      while (IsIdentChar(At(i))) ++i;
      if (At(i) != '!') return false;
      FRun = i + 1;
      FTokenKind = tkVariable;
      return true;
    }
    if (c == '"') {
      ++FRun;
      while (!IsLineEnd(At(FRun)) && At(FRun) != '"') SkipChar();
      if (At(FRun) == '"') ++FRun;
      FTokenKind = tkString;
      return true;
    }
    return false;
  }

private:
  bool FirstOnLineAt(size_t at) const {
    while (at > 0 && (FText[at - 1] == ' ' || FText[at - 1] == '\t')) --at;
    return at == 0 || FText[at - 1] == '\n' || FText[at - 1] == '\r';
  }
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateBatchRTF() { return std::make_unique<ThlxBatchRTF>(); }

}  // namespace bq
