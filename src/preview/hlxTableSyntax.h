// The scanner shared by the code languages: a language is data (comment and string delimiters,
// keywords, symbols, colours and the colour number of each token kind) plus, where data cannot
// say it, a few virtual hooks (Pascal's property, asm and comment ranges).
#pragma once
#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "preview/hlxRichSyntax.h"

namespace bq {

// Token kinds of the code languages; each language maps them to its colour numbers.
enum TTokenKind : uint8_t {
  tkNull, tkSpace, tkComment, tkIdentifier, tkKeyword, tkNumber, tkString, tkSymbol, tkUnknown,
  tkVariable, tkInvalidSymbol, tkAssembler,
  tkDirective,  // preprocessor lines, decorators and annotations, labels, shebangs
  tkKey,        // JSON and YAML keys, INI keys, CSS properties
  tkHeading,    // INI sections, Markdown headings
  tkEmphasis,   // Markdown emphasis
  tkKindCount
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
  bool HashDirective = false;                    // C-like: "#" first on a line starts a directive line
};

// How a construct that may span lines (opened by a language's own scanning) ends.
enum class TPendingMode : uint8_t {
  pmNone,
  pmClose,         // at Close, anywhere
  pmCloseEscaped,  // at Close; the escape character (a backslash) takes the next character
  pmCloseDoubled,  // at Close, but Close twice over stays inside
  pmLineStart,     // at Close first on a line (after blanks)
  pmLine,          // at a line that is Close (leading tabs too when LeadingTabs)
  pmContinued,     // to the line end, and on while a line ends with a backslash
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
  const std::vector<TRtfColor>* LanguageColors() const override { return &FDef.Colors; }
  // Starts afresh: no comment or other construct stays open from an earlier text.
  void SetLine(std::string_view text, int lineNumber) override {
    FBlock = 0;
    FPendingMode = TPendingMode::pmNone;
    FPendingNextLine = false;
    ThlxScanSyntax::SetLine(text, lineNumber);
  }

protected:
  // The kind a word gets; keyword is the index in the language's keyword list or -1.
  virtual uint8_t WordKind(int keyword) { return keyword >= 0 ? tkKeyword : tkIdentifier; }
  virtual uint8_t ReportedKind() const { return FTokenKind; }
  virtual void OnBlockOpen() {}
  virtual void OnBlockClose() {}
  virtual void OnSymbol(char) {}
  // A language's own constructs, tried before the table's rules at every token that is not a
  // blank or a line end: true when it took a token (FRun moved past it, FTokenKind set).
  virtual bool ScanSpecial(char) { return false; }

  // Opens a construct that runs, line by line, until close (see TPendingMode), with the kind
  // kind. nextLine: it starts at the next line (a here-document), else at FRun, where the
  // current token goes on in it.
  void OpenPending(TPendingMode mode, std::string_view close, uint8_t kind, bool nextLine = false,
                   bool leadingTabs = false, char escape = '\\');
  bool Pending() const { return FPendingMode != TPendingMode::pmNone; }
  // Whether only blanks stand between the line's start and the token's start.
  bool FirstOnLine() const;
  void ScanString(char quote);
  void ScanNumber();
  void ScanWord();

  const TLanguageDef& FDef;
  int FBlock = 0;  // 1 + index of the open block comment, 0 for none

private:
  void ContinueBlock();
  void ContinuePending();

  TPendingMode FPendingMode = TPendingMode::pmNone;
  std::string FPendingClose;
  uint8_t FPendingKind = tkNull;
  bool FPendingNextLine = false, FPendingTabs = false;
  char FPendingEscape = '\\';
};

// The colours and kinds the later languages share: comments green italic, keywords blue
// bold, strings dark red, numbers teal, directives purple, variables brown, keys navy,
// headings navy bold-less, emphasis dark cyan.
TLanguageDef ModernSchemeDef(const TKeywordTable* keywords);

// What the markup highlighters (XML, HTML) share: token kinds are the colour numbers
// themselves, one colour table, and a range number where 0 is plain text.
class ThlxMarkupSyntax : public ThlxScanSyntax {
public:
  ThlxMarkupSyntax() { SetDefaultColors(); }
  void SetDefaultColors() override;
  static std::vector<TRtfColor> MarkupColors();
  static constexpr int MarkupColorCount = 11;
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

// The highlighters.
std::unique_ptr<ThlxRTFSyntax> CreatePasRTF();
std::unique_ptr<ThlxRTFSyntax> CreateDFMRTF();
std::unique_ptr<ThlxRTFSyntax> CreateSQLRTF();
std::unique_ptr<ThlxRTFSyntax> CreateVBRTF();
std::unique_ptr<ThlxRTFSyntax> CreateVBScriptRTF();
std::unique_ptr<ThlxRTFSyntax> CreateJScriptRTF();
std::unique_ptr<ThlxRTFSyntax> CreatePHPRTF();
std::unique_ptr<ThlxRTFSyntax> CreateXMLRTF();
std::unique_ptr<ThlxRTFSyntax> CreateHTMLRTF();
std::unique_ptr<ThlxRTFSyntax> CreateCppRTF();
std::unique_ptr<ThlxRTFSyntax> CreateCSharpRTF();
std::unique_ptr<ThlxRTFSyntax> CreateJavaRTF();
std::unique_ptr<ThlxRTFSyntax> CreatePythonRTF();
std::unique_ptr<ThlxRTFSyntax> CreateJSONRTF();
std::unique_ptr<ThlxRTFSyntax> CreateCSSRTF();
std::unique_ptr<ThlxRTFSyntax> CreatePowerShellRTF();
std::unique_ptr<ThlxRTFSyntax> CreateBatchRTF();
std::unique_ptr<ThlxRTFSyntax> CreateShellRTF();
std::unique_ptr<ThlxRTFSyntax> CreateIniRTF();
std::unique_ptr<ThlxRTFSyntax> CreateMarkdownRTF();
std::unique_ptr<ThlxRTFSyntax> CreateYAMLRTF();

}  // namespace bq
