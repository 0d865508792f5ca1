#include "preview/hlxTableSyntax.h"

namespace bq {

void ThlxScanSyntax::EscapeToken(std::string_view text, std::string& out) const {
  out.clear();
  AppendRtfEscaped(text, out);
}

void ThlxScanSyntax::SetLine(std::string_view text, int lineNumber) {
  FText = text;
  FRun = 0;
  FLine = lineNumber;
  Next();
}

bool ThlxScanSyntax::ScanSpaceOrEnd(uint8_t space, uint8_t null) {
  const char c = At(FRun);
  if (c == '\0') {
    FTokenKind = null;
    FEnd = true;
    return true;
  }
  FEnd = false;
  if (c == '\r') {
    ++FRun;
    if (At(FRun) == '\n') ++FRun;
  } else if (c == '\n') {
    ++FRun;
  } else if (static_cast<unsigned char>(c) <= 32) {
    while (At(FRun) != '\r' && At(FRun) != '\n' && At(FRun) != '\0' && static_cast<unsigned char>(At(FRun)) <= 32) ++FRun;
  } else {
    return false;
  }
  FTokenKind = space;
  return true;
}

bool ThlxScanSyntax::RunToClose(std::string_view close) {
  for (;;) {
    const char c = At(FRun);
    if (IsLineEnd(c)) return false;
    if (c == close[0] && Matches(FRun, close)) {
      FRun += close.size();
      return true;
    }
    SkipChar();
  }
}

void ThlxScanSyntax::SkipChar() {
  const auto c = static_cast<unsigned char>(At(FRun));
  size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
  // Only continuation bytes belong to the character; the text's end stops it.
  size_t k = 1;
  while (k < len && (static_cast<unsigned char>(At(FRun + k)) & 0xC0) == 0x80) ++k;
  FRun += k;
}

ThlxTableSyntax::ThlxTableSyntax(const TLanguageDef& def) : FDef(def) { SetDefaultColors(); }

void ThlxTableSyntax::FormatToken(int kind, std::string_view text, std::string& out) const {
  if (FDef.Styled && kind == 1) {
    out += "\\cf1 \\i ";
    out += text;
    out += "\\i0 ";
  } else if (FDef.Styled && kind == 3) {
    out += "\\cf3 \\b ";
    out += text;
    out += "\\b0 ";
  } else {
    ThlxRTFSyntax::FormatToken(kind, text, out);
  }
}

void ThlxTableSyntax::ContinueBlock() {
  if (RunToClose(FDef.BlockComments[static_cast<size_t>(FBlock - 1)].Close)) {
    FBlock = 0;
    OnBlockClose();
  }
  FTokenKind = tkComment;
}

void ThlxTableSyntax::ScanString(char quote) {
  ++FRun;
  if (FDef.VBQuote && At(FRun) == '"' && At(FRun + 1) == '"') FRun += 2;
  for (;;) {
    const char c = At(FRun);
    if (IsLineEnd(c)) break;
    if (c == quote) {
      ++FRun;
      if (FDef.DoubledQuote && At(FRun) == quote) {
        ++FRun;
        continue;
      }
      break;
    }
    if (FDef.BackslashEscape && c == '\\') {
      ++FRun;
      if (IsLineEnd(At(FRun))) break;
    }
    SkipChar();
  }
  FTokenKind = tkString;
}

void ThlxTableSyntax::ScanNumber() {
  for (;;) {
    const char c = At(FRun);
    if (IsDigit(c) || c == 'e' || c == 'E' || (FDef.NumberTakesLetters && IsIdentChar(c))) {
      ++FRun;
    } else if (c == '.' && At(FRun + 1) != '.') {
      ++FRun;
    } else {
      break;
    }
  }
  FTokenKind = tkNumber;
}

void ThlxTableSyntax::OpenPending(TPendingMode mode, std::string_view close, uint8_t kind, bool nextLine,
                                  bool leadingTabs, char escape) {
  FPendingEscape = escape;
  FPendingMode = mode;
  FPendingClose.assign(close);
  FPendingKind = kind;
  FPendingNextLine = nextLine;
  FPendingTabs = leadingTabs;
  if (!nextLine) ContinuePending();
}

bool ThlxTableSyntax::FirstOnLine() const {
  size_t i = FTokenPos;
  while (i > 0 && (FText[i - 1] == ' ' || FText[i - 1] == '\t')) --i;
  return i == 0 || FText[i - 1] == '\n' || FText[i - 1] == '\r';
}

void ThlxTableSyntax::ContinuePending() {
  FTokenKind = FPendingKind;
  const std::string_view close = FPendingClose;
  switch (FPendingMode) {
    case TPendingMode::pmContinued: {
      RunToLineEnd();
      if (FRun > FTokenPos && FText[FRun - 1] == '\\') FPendingNextLine = true;
      else FPendingMode = TPendingMode::pmNone;
      return;
    }
    case TPendingMode::pmLine: {
      size_t start = FRun;
      if (FPendingTabs)
        while (At(start) == '\t') ++start;
      RunToLineEnd();
      if (FText.substr(start, FRun - start) == close) FPendingMode = TPendingMode::pmNone;
      return;
    }
    case TPendingMode::pmLineStart: {
      size_t start = FRun;
      while (At(start) == ' ' || At(start) == '\t') ++start;
      if (!close.empty() && Matches(start, close)) {
        FRun = start + close.size();
        FPendingMode = TPendingMode::pmNone;
        return;
      }
      RunToLineEnd();
      return;
    }
    default: break;
  }
  for (;;) {
    const char c = At(FRun);
    if (IsLineEnd(c)) return;
    if (c == FPendingEscape && FPendingMode == TPendingMode::pmCloseEscaped) {
      ++FRun;
      if (IsLineEnd(At(FRun))) return;
      SkipChar();
      continue;
    }
    if (!close.empty() && c == close[0] && Matches(FRun, close)) {
      FRun += close.size();
      if (FPendingMode == TPendingMode::pmCloseDoubled && Matches(FRun, close)) {
        FRun += close.size();
        continue;
      }
      FPendingMode = TPendingMode::pmNone;
      return;
    }
    SkipChar();
  }
}

void ThlxTableSyntax::ScanWord() {
  const int keyword = FDef.Keywords ? FDef.Keywords->Find(FText, FRun) : -1;
  while (IsIdentChar(At(FRun))) ++FRun;
  FTokenKind = WordKind(keyword);
}

void ThlxTableSyntax::Next() {
  FTokenPos = FRun;
  if (Pending() && !FPendingNextLine && !IsLineEnd(At(FRun))) {
    FEnd = false;
    ContinuePending();
    return;
  }
  if (FBlock && !IsLineEnd(At(FRun))) {
    FEnd = false;
    ContinueBlock();
    return;
  }
  if (ScanSpaceOrEnd(tkSpace, tkNull)) {
    if (FPendingNextLine && (At(FTokenPos) == '\r' || At(FTokenPos) == '\n')) FPendingNextLine = false;
    return;
  }
  const char c = At(FRun);
  if (ScanSpecial(c)) return;
  if (c == '#' && FDef.HashDirective && FirstOnLine()) {
    OpenPending(TPendingMode::pmContinued, {}, tkDirective);
    return;
  }
  for (auto start : FDef.LineComments)
    if (c == start[0] && Matches(FRun, start)) {
      RunToLineEnd();
      FTokenKind = tkComment;
      return;
    }
  for (size_t b = 0; b < FDef.BlockComments.size(); ++b) {
    const auto& block = FDef.BlockComments[b];
    if (c == block.Open[0] && Matches(FRun, block.Open)) {
      FRun += block.Open.size();
      FBlock = static_cast<int>(b) + 1;
      OnBlockOpen();
      ContinueBlock();
      return;
    }
  }
  if (FDef.Quotes.find(c) != std::string_view::npos) {
    ScanString(c);
    return;
  }
  if (c == '#' && FDef.HashCharCode) {
    ++FRun;
    while (IsDigit(At(FRun))) ++FRun;
    FTokenKind = tkString;
    return;
  }
  if (c == '#' && FDef.HashDate) {
    ++FRun;
    while (!IsLineEnd(At(FRun)) && At(FRun) != '#') SkipChar();
    if (At(FRun) == '#') ++FRun;
    FTokenKind = tkString;
    return;
  }
  if (c == '$' && FDef.DollarHex) {
    ++FRun;
    while (std::isxdigit(static_cast<unsigned char>(At(FRun)))) ++FRun;
    FTokenKind = tkNumber;
    return;
  }
  if (c == '$' && FDef.DollarVariable && IsIdentChar(At(FRun + 1))) {
    ++FRun;
    while (IsIdentChar(At(FRun))) ++FRun;
    FTokenKind = tkVariable;
    return;
  }
  if (IsDigit(c)) {
    ScanNumber();
    return;
  }
  if (IsLetter(c) || c == '_') {
    ScanWord();
    return;
  }
  if (static_cast<unsigned char>(c) >= 0x80) {
    SkipChar();
    FTokenKind = tkUnknown;
    return;
  }
  if (FDef.Symbols.find(c) != std::string_view::npos) {
    ++FRun;
    for (auto two : FDef.TwoCharSymbols)
      if (two[0] == c && At(FRun) == two[1]) {
        ++FRun;
        break;
      }
    FTokenKind = tkSymbol;
    OnSymbol(c);
    return;
  }
  ++FRun;
  FTokenKind = FDef.OtherIsInvalidSymbol && c > 32 && c < 127 ? tkInvalidSymbol : tkUnknown;
}

TLanguageDef ModernSchemeDef(const TKeywordTable* keywords) {
  TLanguageDef d;
  d.Colors = {{0, 128, 0},   {0, 0, 0},   {0, 0, 255},  {0, 128, 128}, {0, 0, 0},    {163, 21, 21},
              {128, 0, 128}, {128, 64, 0}, {0, 0, 128}, {0, 0, 160},   {0, 128, 160}, {0, 0, 0}};
  d.ColorOf.fill(12);
  d.ColorOf[tkComment] = 1;
  d.ColorOf[tkIdentifier] = 2;
  d.ColorOf[tkKeyword] = 3;
  d.ColorOf[tkNumber] = 4;
  d.ColorOf[tkSpace] = d.ColorOf[tkSymbol] = d.ColorOf[tkNull] = 5;
  d.ColorOf[tkString] = 6;
  d.ColorOf[tkDirective] = 7;
  d.ColorOf[tkVariable] = 8;
  d.ColorOf[tkKey] = 9;
  d.ColorOf[tkHeading] = 10;
  d.ColorOf[tkEmphasis] = 11;
  d.Styled = true;
  d.Keywords = keywords;
  return d;
}

}  // namespace bq
