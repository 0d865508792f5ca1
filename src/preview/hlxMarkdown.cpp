// ThlxMarkdownRTF: Markdown: ATX headings, fenced code blocks (``` and ~~~) up to their closing
// fence, code spans, emphasis and strong emphasis within a line, link targets, block quote and
// list markers. Words are plain text; there are no keywords.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

// How far a span (code, emphasis, link target, tag) is looked for on its line: a long line of
// openers without closers stays linear.
constexpr size_t kSpanReach = 1024;

TLanguageDef MakeMarkdownDef() {
  TLanguageDef d = ModernSchemeDef(nullptr);
  d.Symbols = "[]()>!-+|:.";
  return d;
}

const TLanguageDef kMarkdownDef = MakeMarkdownDef();

class ThlxMarkdownRTF : public ThlxTableSyntax {
public:
  ThlxMarkdownRTF() : ThlxTableSyntax(kMarkdownDef) {}

protected:
  bool ScanSpecial(char c) override {
    if (FirstOnLine()) {
      if (c == '#') {
        size_t i = FRun;
        while (At(i) == '#' && i < FRun + 7) ++i;
        if (i - FRun <= 6 && (At(i) == ' ' || At(i) == '\t' || IsLineEnd(At(i)))) {
          RunToLineEnd();
          FTokenKind = tkHeading;
          return true;
        }
      }
      if ((c == '`' || c == '~') && At(FRun + 1) == c && At(FRun + 2) == c) {
        size_t i = FRun;
        while (At(i) == c) ++i;
        const std::string fence(i - FRun, c);
        RunToLineEnd();  // the opening fence and its info string
        OpenPending(TPendingMode::pmLineStart, fence, tkString, true);
        FTokenKind = tkString;
        return true;
      }
    }
    if (c == '`') {  // a code span closes with a run of as many backquotes
      size_t i = FRun;
      while (At(i) == '`') ++i;
      const std::string_view run = FText.substr(FRun, i - FRun);
      size_t k = i;
      while (!IsLineEnd(At(k)) && k < i + kSpanReach) {
        if (At(k) == '`') {
          size_t e = k;
          while (At(e) == '`') ++e;
          if (e - k == run.size()) {
            FRun = e;
            FTokenKind = tkString;
            return true;
          }
          k = e;
        } else {
          ++k;
        }
      }
      FRun = i;
      FTokenKind = tkSymbol;
      return true;
    }
    if ((c == '*' || c == '_') && !(c == '_' && FRun > 0 && IsIdentChar(FText[FRun - 1]))) {
      // Emphasis: one or two markers, text not starting with a blank, the same markers again.
      size_t i = FRun;
      while (At(i) == c && i < FRun + 3) ++i;
      const std::string_view marks = FText.substr(FRun, i - FRun);
      if (At(i) == ' ' || At(i) == '\t' || IsLineEnd(At(i))) {
        FRun = i;
        FTokenKind = tkSymbol;  // a list marker or a rule
        return true;
      }
      size_t k = i + 1;
      while (!IsLineEnd(At(k)) && k < i + kSpanReach) {
        if (At(k) == c && Matches(k, marks) && At(k - 1) != ' ') {
          FRun = k + marks.size();
          FTokenKind = tkEmphasis;
          return true;
        }
        ++k;
      }
      FRun = i;
      FTokenKind = tkSymbol;
      return true;
    }
    if (c == ']' && At(FRun + 1) == '(') {  // a link's target
      size_t i = FRun + 2;
      while (!IsLineEnd(At(i)) && At(i) != ')' && i < FRun + kSpanReach) ++i;
      if (At(i) == ')') {
        FRun = i + 1;
        FTokenKind = tkKey;
        return true;
      }
    }
    if (c == '<' && (IsLetter(At(FRun + 1)) || At(FRun + 1) == '/' || At(FRun + 1) == '!')) {  // inline HTML
      size_t i = FRun + 1;
      while (!IsLineEnd(At(i)) && At(i) != '>' && i < FRun + kSpanReach) ++i;
      if (At(i) == '>') {
        FRun = i + 1;
        FTokenKind = tkDirective;
        return true;
      }
    }
    return false;
  }
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateMarkdownRTF() { return std::make_unique<ThlxMarkdownRTF>(); }

}  // namespace bq
