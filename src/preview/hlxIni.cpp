// ThlxIniRTF: INI, REG and INF files: [sections], key = value lines (the key, "=", and the
// value, continued over lines ending with a backslash as .reg files write long values), ";"
// and "#" comment lines, and "Windows Registry Editor" headers as plain words.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

TLanguageDef MakeIniDef() {
  TLanguageDef d = ModernSchemeDef(nullptr);
  d.Quotes = "\"";
  d.Symbols = "=[]:,";
  return d;
}

const TLanguageDef kIniDef = MakeIniDef();

class ThlxIniRTF : public ThlxTableSyntax {
public:
  ThlxIniRTF() : ThlxTableSyntax(kIniDef) {}

protected:
  bool ScanSpecial(char c) override {
    if (FirstOnLine()) {
      FAfterKey = false;
      if (c == ';' || c == '#') {
        RunToLineEnd();
        FTokenKind = tkComment;
        return true;
      }
      if (c == '[') {
        RunToLineEnd();
        FTokenKind = tkHeading;
        return true;
      }
      // A key runs to the "=" of its line (outside quotes); a line without one is no key.
      size_t i = FRun;
      bool quoted = false;
      while (!IsLineEnd(At(i)) && (quoted || At(i) != '=')) {
        if (At(i) == '"') quoted = !quoted;
        ++i;
      }
      if (At(i) != '=') return false;
      while (i > FRun && (At(i - 1) == ' ' || At(i - 1) == '\t')) --i;
      FAfterKey = true;
      if (i == FRun) {  // "=value": no key, the "=" itself
        ++FRun;
        FTokenKind = tkSymbol;
        return true;
      }
      FRun = i;
      FTokenKind = tkKey;
      return true;
    }
    if (FAfterKey && c == '=') {
      ++FRun;
      FTokenKind = tkSymbol;
      return true;
    }
    if (FAfterKey) {  // the value
      FAfterKey = false;
      OpenPending(TPendingMode::pmContinued, {}, tkString);
      return true;
    }
    return false;
  }

private:
  bool FAfterKey = false;
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateIniRTF() { return std::make_unique<ThlxIniRTF>(); }

}  // namespace bq
