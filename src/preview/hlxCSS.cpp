// ThlxCSSRTF: CSS: "/* */" comments, strings, at-rules, property names inside declaration
// blocks, the common value words, units and !important as keywords, numbers, #ids and colours.
#include <algorithm>
#include <cctype>

#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

// Value words of the properties people write most, the font families and the basic colour
// names, sorted: words hold "-", so they are looked up whole, not through a keyword table.
constexpr std::string_view kCSSValueWords[] = {
    "absolute", "auto", "baseline", "black", "block", "blue", "bold", "bolder", "both", "bottom", "capitalize",
    "center", "collapse", "column", "contain", "content-box", "cover", "currentcolor", "cursive", "dashed",
    "default", "dotted", "double", "ease", "ease-in", "ease-in-out", "ease-out", "fantasy", "fixed", "flex",
    "gray", "green", "grey", "grid", "groove", "hidden", "important", "inherit", "initial", "inline",
    "inline-block", "inline-flex", "inset", "italic", "justify", "large", "larger", "left", "lighter", "linear",
    "lowercase", "medium", "middle", "monospace", "none", "normal", "nowrap", "oblique", "orange", "outset",
    "pointer", "pre", "pre-line", "pre-wrap", "purple", "red", "relative", "repeat", "repeat-x", "repeat-y",
    "ridge", "right", "row", "sans-serif", "scroll", "serif", "silver", "small", "smaller", "solid",
    "space-around", "space-between", "static", "sticky", "table", "table-cell", "thick", "thin", "top",
    "transparent", "underline", "unset", "uppercase", "visible", "white", "wrap", "x-large", "x-small",
    "xx-large", "xx-small", "yellow"};

bool IsValueWord(std::string_view word) {
  std::string lower(word);
  for (auto& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return std::binary_search(std::begin(kCSSValueWords), std::end(kCSSValueWords), std::string_view(lower));
}

TLanguageDef MakeCSSDef() {
  TLanguageDef d = ModernSchemeDef(nullptr);
  d.BlockComments = {{"/*", "*/"}};
  d.Quotes = "\"'";
  d.BackslashEscape = true;
  d.Symbols = "{}()[];,.:=+>~*!/%";
  return d;
}

const TLanguageDef kCSSDef = MakeCSSDef();

bool IsNameChar(char c) { return IsIdentChar(c) || c == '-'; }

class ThlxCSSRTF : public ThlxTableSyntax {
public:
  ThlxCSSRTF() : ThlxTableSyntax(kCSSDef) {}

protected:
  void OnSymbol(char c) override {
    if (c == '{') ++FDepth;
    else if (c == '}' && FDepth > 0) --FDepth;
    else if (c == ';') FValue = false;
    if (c == '{' || c == '}') FValue = false;
  }

  bool ScanSpecial(char c) override {
    if (c == '!' && Matches(FRun + 1, "important")) {
      FRun += 10;
      FTokenKind = tkKeyword;
      return true;
    }
    if (c == '@' && IsLetter(At(FRun + 1))) {
      ++FRun;
      while (IsNameChar(At(FRun))) ++FRun;
      FTokenKind = tkDirective;
      return true;
    }
    if (c == '#' && IsNameChar(At(FRun + 1))) {  // an id selector, or a colour in a value
      ++FRun;
      while (IsNameChar(At(FRun))) ++FRun;
      FTokenKind = FValue ? tkNumber : tkIdentifier;
      return true;
    }
    if (c == ':' && FDepth > 0 && !FValue) FValue = true;  // then the table's symbol rule
    if (IsDigit(c) || (c == '.' && IsDigit(At(FRun + 1)))) {  // a number; its unit is a word of its own
      while (IsDigit(At(FRun)) || At(FRun) == '.') ++FRun;
      FTokenKind = tkNumber;
      return true;
    }
    if (IsLetter(c) || c == '_' || (c == '-' && (IsLetter(At(FRun + 1)) || At(FRun + 1) == '-'))) {
      const bool unit = FRun > 0 && IsDigit(FText[FRun - 1]);
      size_t i = FRun;
      while (IsNameChar(At(i))) ++i;
      const std::string_view word = FText.substr(FRun, i - FRun);
      FRun = i;
      size_t k = i;
      while (At(k) == ' ' || At(k) == '\t') ++k;
      if (FDepth > 0 && !FValue && At(k) == ':') FTokenKind = tkKeyword;  // a property name
      else if (unit || (FValue && IsValueWord(word))) FTokenKind = tkKeyword;
      else FTokenKind = tkIdentifier;
      if (At(FRun) == '(') FTokenKind = tkIdentifier;  // a function: url(, rgb(
      return true;
    }
    return false;
  }

private:
  int FDepth = 0;
  bool FValue = false;  // after the ":" of a declaration, up to its ";"
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateCSSRTF() { return std::make_unique<ThlxCSSRTF>(); }

}  // namespace bq
