// The scanner shared by the code languages: a language is data (comment and string delimiters,
// keywords, symbols, colours and the colour number of each token kind) plus, where data cannot
// say it, a few virtual hooks (Pascal's property, asm and comment ranges).
#pragma once
#include <algorithm>
#include <cctype>
#include <memory>
#include <string_view>
#include <vector>

#include "preview/hlxRichSyntax.h"

namespace bq {

// Token kinds of the code languages; each language maps them to its colour numbers.
enum TTokenKind : uint8_t {
  tkNull, tkSpace, tkComment, tkIdentifier, tkKeyword, tkNumber, tkString, tkSymbol, tkUnknown,
  tkVariable, tkInvalidSymbol, tkAssembler, tkKindCount
};

struct TLanguageDef {
  struct TBlock {
    std::string_view Open, Close;
  };
  std::vector<TRtfColor> Colors;                 // colour 1, 2, ...
  std::array<uint8_t, tkKindCount> ColorOf{};    // token kind -> colour number
  bool Styled = false;                           // colour 1 italic, colour 3 bold
  const TKeywordTable* Keywords = nullptr;
  std::vector<std::string_view> LineComments;    // to the end of the line
  std::vector<TBlock> BlockComments;             // may span lines
  std::string_view Quotes;                       // characters that open a string
  bool DoubledQuote = false;                     // '' inside a '...' string stays in it
  bool BackslashEscape = false;                  // \x inside a string takes x
  bool VBQuote = false;                          // "" right after the opening " belong to it
  bool HashCharCode = false;                     // Pascal: # and digits is a string
  bool HashDate = false;                         // VB: #...# on one line is a string
  bool DollarHex = false;                        // Pascal: $ and hex digits is a number
  bool DollarVariable = false;                   // PHP: $ and identifier characters
  bool NumberTakesLetters = false;               // C-like: 0x1F, 10L
  std::string_view Symbols;                      // one-character symbols
  std::vector<std::string_view> TwoCharSymbols;
  bool OtherIsInvalidSymbol = false;             // other printable ASCII: invalid symbol, not unknown
};

// Scanning state and helpers common to every highlighter (code and markup).
class ThlxScanSyntax : public ThlxRTFSyntax {
public:
  void EscapeToken(std::string_view text, std::string& out) const override;
  bool GetEol() const override { return FEnd; }
  std::string_view GetToken() const override { return FText.substr(FTokenPos, FRun - FTokenPos); }
  void SetLine(std::string_view text, int lineNumber) override;

protected:
  // The character at i; 0 at and past the end of the text, as at its terminating zero.
  char At(size_t i) const { return i < FText.size() ? FText[i] : '\0'; }
  static bool IsLineEnd(char c) { return c == '\r' || c == '\n' || c == '\0'; }
  bool Matches(size_t i, std::string_view s) const { return FText.compare(std::min(i, FText.size()), s.size(), s) == 0; }
  // Line breaks, blanks (codes 1 to 32) and the end: true when the run position held one; the
  // token then has the kind space or null.
  bool ScanSpaceOrEnd(uint8_t space, uint8_t null);
  // Runs to the end of the line.
  void RunToLineEnd() {
    while (!IsLineEnd(At(FRun))) ++FRun;
  }
  // Runs to just after close, or to the end of the line; true when close was found.
  bool RunToClose(std::string_view close);
  // One whole character (a UTF-8 sequence is one).
  void SkipChar();

  std::string_view FText;
  size_t FRun = 0, FTokenPos = 0;
  int FLine = 1;
  uint8_t FTokenKind = tkNull;  // the language's own kind
  bool FEnd = true;             // the token is the end of the text
};

class ThlxTableSyntax : public ThlxScanSyntax {
public:
  explicit ThlxTableSyntax(const TLanguageDef& def);
  void FormatToken(int kind, std::string_view text, std::string& out) const override;
  void Next() override;
  int GetTokenKind() const override { return FDef.ColorOf[ReportedKind()]; }
  void SetDefaultColors() override { SetColors(FDef.Colors); }

protected:
  // The kind a word gets; keyword is the index in the language's keyword list or -1.
  virtual uint8_t WordKind(int keyword) { return keyword >= 0 ? tkKeyword : tkIdentifier; }
  virtual uint8_t ReportedKind() const { return FTokenKind; }
  virtual void OnBlockOpen() {}
  virtual void OnBlockClose() {}
  virtual void OnSymbol(char) {}

  const TLanguageDef& FDef;
  int FBlock = 0;  // 1 + index of the open block comment, 0 for none

private:
  void ContinueBlock();
  void ScanString(char quote);
  void ScanNumber();
};

// What the markup highlighters (XML, HTML) share: token kinds are the colour numbers
// themselves, one colour table, and a range number where 0 is plain text.
class ThlxMarkupSyntax : public ThlxScanSyntax {
public:
  ThlxMarkupSyntax() { SetDefaultColors(); }
  void SetDefaultColors() override;
  // "\cf<Kind> <Text>", where a text starting with "//" takes colour 2 and a colour-10 text
  // starting with a double quote colour 6.
  void FormatToken(int kind, std::string_view text, std::string& out) const override;
  int GetTokenKind() const override { return FTokenKind; }

protected:
  // A section that runs, line by line, to close and then returns to plain text.
  void Section(std::string_view close, uint8_t kind) {
    if (RunToClose(close)) FRange = 0;
    FTokenKind = kind;
  }

  int FRange = 0;
};

// The Visual Basic scheme (comments, strings, dates, numbers, symbols and the colours that
// VBScript and JScript share) over a keyword list.
TLanguageDef VBSchemeDef(const TKeywordTable* keywords);

// The nine highlighters.
std::unique_ptr<ThlxRTFSyntax> CreatePasRTF();
std::unique_ptr<ThlxRTFSyntax> CreateDFMRTF();
std::unique_ptr<ThlxRTFSyntax> CreateSQLRTF();
std::unique_ptr<ThlxRTFSyntax> CreateVBRTF();
std::unique_ptr<ThlxRTFSyntax> CreateVBScriptRTF();
std::unique_ptr<ThlxRTFSyntax> CreateJScriptRTF();
std::unique_ptr<ThlxRTFSyntax> CreatePHPRTF();
std::unique_ptr<ThlxRTFSyntax> CreateXMLRTF();
std::unique_ptr<ThlxRTFSyntax> CreateHTMLRTF();

}  // namespace bq
