// ThlxYAMLRTF: YAML: "#" comments, document markers, keys (a plain or quoted scalar followed by
// ": " or a line end), strings in single quotes ('' inside) and double quotes (backslash
// escapes), anchors, aliases and tags, block scalars (| and >) as strings down to the first
// line indented no deeper than their key, and the constants true, false, null, yes, no, ~.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kYAMLKeywords({"true", "false", "null", "yes", "no", "on", "off"});

TLanguageDef MakeYAMLDef() {
  TLanguageDef d = ModernSchemeDef(&kYAMLKeywords);
  d.NumberTakesLetters = true;
  d.Symbols = "-:,[]{}?|>";
  return d;
}

const TLanguageDef kYAMLDef = MakeYAMLDef();

class ThlxYAMLRTF : public ThlxTableSyntax {
public:
  ThlxYAMLRTF() : ThlxTableSyntax(kYAMLDef) {}

  void Next() override {
    // A block scalar's lines: every line indented deeper than the line that opened it, and
    // the blank lines between them.
    if (FBlockIndent >= 0 && (FRun == 0 || FText[FRun - 1] == '\n' || FText[FRun - 1] == '\r') && !IsLineEnd(At(FRun))) {
      size_t i = FRun;
      while (At(i) == ' ') ++i;
      if (static_cast<int>(i - FRun) > FBlockIndent || IsLineEnd(At(i))) {
        FTokenPos = FRun;
        FEnd = false;
        RunToLineEnd();
        FTokenKind = tkString;
        return;
      }
      FBlockIndent = -1;
    }
    ThlxTableSyntax::Next();
  }

protected:
  bool ScanSpecial(char c) override {
    const bool first = FirstOnLine();
    if (c == '#' && (FRun == 0 || FText[FRun - 1] == ' ' || FText[FRun - 1] == '\t' || first)) {
      RunToLineEnd();
      FTokenKind = tkComment;
      return true;
    }
    if (first && (Matches(FRun, "---") || Matches(FRun, "...")) && !IsIdentChar(At(FRun + 3))) {
      FRun += 3;
      FTokenKind = tkDirective;
      return true;
    }
    if (first && c == '%') {
      RunToLineEnd();
      FTokenKind = tkDirective;
      return true;
    }
    if ((c == '|' || c == '>') && AfterValueStart()) {
      RunToLineEnd();  // the indicator and its header
      FBlockIndent = LineIndent();
      FTokenKind = tkSymbol;
      return true;
    }
    if (c == '&' || c == '*' || c == '!') {
      size_t i = FRun + 1;
      while (!IsLineEnd(At(i)) && At(i) != ' ' && At(i) != ',' && At(i) != ']' && At(i) != '}') ++i;
      FRun = i;
      FTokenKind = c == '!' ? tkDirective : tkVariable;
      return true;
    }
    if (c == '\'' || c == '"') {
      ++FRun;
      OpenPending(c == '\'' ? TPendingMode::pmCloseDoubled : TPendingMode::pmCloseEscaped, std::string_view(&FText[FRun - 1], 1), tkString);
      if (!Pending() && IsKeyColon(FRun)) FTokenKind = tkKey;
      return true;
    }
    if (IsLetter(c) || c == '_' || c == '~' || c == '/' || c == '.') {
      // A plain scalar: to ": ", " #" or the line end (in flow collections, to "," "]" "}").
      const int keyword = kYAMLKeywords.Find(FText, FRun);
      size_t i = FRun;
      while (!IsLineEnd(At(i)) && !IsKeyColon(i) && !(At(i) == ' ' && At(i + 1) == '#') && At(i) != ',' &&
             At(i) != ']' && At(i) != '}')
        ++i;
      while (i > FRun && At(i - 1) == ' ') --i;
      const size_t length = i - FRun;
      FRun = i;
      if (IsKeyColon(i)) FTokenKind = tkKey;
      else if (keyword >= 0 && length == kYAMLKeywords.Word(keyword).size()) FTokenKind = tkKeyword;
      else if (c == '~' && length == 1) FTokenKind = tkKeyword;
      else FTokenKind = tkIdentifier;
      return true;
    }
    return false;
  }

private:
  bool IsKeyColon(size_t i) const {
    return At(i) == ':' && (At(i + 1) == ' ' || At(i + 1) == '\t' || IsLineEnd(At(i + 1)));
  }
  // Whether only blanks, a key's ":" or a "- " stand before the token on its line.
  bool AfterValueStart() const {
    size_t i = FTokenPos;
    while (i > 0 && (FText[i - 1] == ' ' || FText[i - 1] == '\t')) --i;
    return i == 0 || FText[i - 1] == ':' || FText[i - 1] == '-' || FText[i - 1] == '\n' || FText[i - 1] == '\r';
  }
  int LineIndent() const {
    size_t start = FTokenPos;
    while (start > 0 && FText[start - 1] != '\n' && FText[start - 1] != '\r') --start;
    int n = 0;
    while (At(start + static_cast<size_t>(n)) == ' ') ++n;
    return n;
  }

  int FBlockIndent = -1;
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateYAMLRTF() { return std::make_unique<ThlxYAMLRTF>(); }

}  // namespace bq
