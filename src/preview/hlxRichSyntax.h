// ThlxRTFSyntax: the base of the highlighters. A highlighter scans a text token by token; the
// base writes each token into one RTF document with the colour number of the token's kind.
// The text is UTF-8; the document is pure ASCII (characters above 127 become \'hh or \uN?).
#pragma once
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace bq {

// What the document's font table says of a font: the pitch-and-family byte and the character
// set of its text metrics.
struct TRtfFontInfo {
  uint8_t PitchAndFamily = 0x30;  // FF_MODERN
  uint8_t CharSet = 0;            // ANSI_CHARSET
};
// Fills info for a face name from the platform's text metrics; false when it cannot. The core
// has no such query; a front end that has one (the DLL: GDI) installs it once at start-up.
// Without it, or when it fails, the Western values of "Courier New" (family 0x30, set 0) hold.
using TRtfFontQuery = bool (*)(std::string_view faceName, TRtfFontInfo& info);
void SetRtfFontQuery(TRtfFontQuery query);
TRtfFontQuery RtfFontQuery();

struct TRtfColor {
  uint8_t R = 0, G = 0, B = 0;
};

constexpr std::array<bool, 256> MakeIdentifierChars() {
  std::array<bool, 256> t{};
  for (int c = 0; c < 256; ++c)
    t[static_cast<size_t>(c)] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  return t;
}
constexpr std::array<uint8_t, 256> MakeHashValues() {
  std::array<uint8_t, 256> t{};
  for (int c = 'A'; c <= 'Z'; ++c) t[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'A' + 1);
  for (int c = 'a'; c <= 'z'; ++c) t[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'a' + 1);
  t['_'] = 31;
  return t;
}
// The two character tables, built at compile time (keyword tables of every language module
// are built from them while the module loads).
// "A".."Z", "a".."z", "0".."9" and "_".
inline constexpr std::array<bool, 256> IdentifierChars = MakeIdentifierChars();
// Letters: position in the alphabet (either case); "_": 31; every other byte: 0.
inline constexpr std::array<uint8_t, 256> HashValues = MakeHashValues();

inline bool IsIdentChar(char c) { return IdentifierChars[static_cast<unsigned char>(c)]; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The keyword test by hash: the hash of a word is the sum of the hash values of all its
// identifier characters, and the whole word is compared. A word is a keyword of equal length
// whose letters match in either case and whose digits and "_" are the same. Words whose hash
// reaches the table size are identifiers.
enum class TKeywordCase { kcAny, kcExact };
class TKeywordTable {
public:
  // tableSize 0: one more than the largest keyword hash.
  TKeywordTable(std::initializer_list<std::string_view> words, int tableSize = 0);
  // Keywords of a language that tells "if" from "If" (kcExact).
  TKeywordTable(std::initializer_list<std::string_view> words, TKeywordCase match)
      : TKeywordTable(words) {
    FExact = match == TKeywordCase::kcExact;
  }
  // The index (in the given list) of the keyword the identifier at text[start] is, or -1.
  int Find(std::string_view text, size_t start) const;
  std::string_view Word(int index) const { return FWords[static_cast<size_t>(index)]; }
  int TableSize() const { return FTableSize; }

private:
  std::vector<std::string_view> FWords;
  std::vector<std::vector<int>> FBuckets;  // hash -> keyword indexes, in list order
  int FTableSize = 0;
  bool FExact = false;
};

// Appends text to out as RTF text: "\", "{" and "}" escaped, characters above 127 written as
// \'hh (Windows-1252) or \uN? (signed 16-bit, surrogate pairs above U+FFFF). Invalid UTF-8
// bytes are written as U+FFFD.
void AppendRtfEscaped(std::string_view text, std::string& out);

// Appends "\cf<kind> " to out.
void AppendColorWord(int kind, std::string& out);

class ThlxRTFSyntax {
public:
  ThlxRTFSyntax();
  virtual ~ThlxRTFSyntax() = default;
  ThlxRTFSyntax(const ThlxRTFSyntax&) = delete;
  ThlxRTFSyntax& operator=(const ThlxRTFSyntax&) = delete;

  // 1. Turns a token's text into RTF text, into out (cleared first). Base: the text unchanged.
  virtual void EscapeToken(std::string_view text, std::string& out) const;
  // 2. Appends the fragment of one escaped token: base "\cf<Kind> <Text>".
  virtual void FormatToken(int kind, std::string_view text, std::string& out) const;
  // 3-6. The scanner.
  virtual void Next() {}
  virtual bool GetEol() const { return true; }
  virtual std::string_view GetToken() const { return {}; }
  virtual int GetTokenKind() const { return 0; }
  // 7. "\redR\greenG\blueB;"
  static std::string ColorToRtf(TRtfColor color);
  // 8. Starts scanning text (kept by reference until the document is made) at a line number.
  virtual void SetLine(std::string_view text, int lineNumber);
  // 10.
  void SetText(std::string_view text) { SetLine(text, 1); }
  // 11. Rebuilds the font table body.
  void SetFonts(const std::vector<std::string>& fonts);
  // 12. Rebuilds the colour table: black as colour 0, then colors as 1, 2, ...
  void SetColors(const std::vector<TRtfColor>& colors);
  // 13. Appends the whole document to out, in one pass over the text.
  void ConvertToRtf(std::string& out);
  // 14.
  std::string ConvertToString();
  // 15. Base: nothing; a language sets its own colours.
  virtual void SetDefaultColors() {}
  // The colours of the language's own table (colour 1, 2, ...), for a host that embeds it in
  // its document (HTML's scripts and style sheets); null when it has none to lend.
  virtual const std::vector<TRtfColor>* LanguageColors() const { return nullptr; }

  // The font table entry for font i (exposed for tests).
  static std::string FontEntry(int index, std::string_view face, const TRtfFontInfo& info);

protected:
  std::string FHeader, FFontTable, FFontTableEnd, FColorTable, FParagraphStart;
  int FCodePage = 1252;
};

// Splits an RTF document into complete documents of about chunkBytes each which, inserted one
// after another at the end of a rich edit control, show the same text in the same format.
// Every piece has the header (the control words and destination groups before the first text,
// content group or line break), then the character format in force at the outer level where
// the piece starts (\cf, \b, \i, \ul, ... since the last \plain), then a part of the body
// that starts at an outer \par, or at an outer content group right after a paragraph break,
// or at an outer \line, which the piece starts with \par instead (a piece that went on in the
// paragraph before would have the control lay that whole paragraph out again, and a document
// broken by \line alone is one paragraph). No piece starts inside
// a table row, nor where a paragraph format set in the body (\qc, \li, ...) would be lost:
// there only before a \par that a \pard follows. A document with no such place past
// chunkBytes comes back whole as one piece.
std::vector<std::string> SplitRtfDocument(std::string_view rtf, size_t chunkBytes);

// The places SplitRtfDocument cuts at, at least chunkBytes apart, so that a reader may join
// neighbouring pieces: the header's length and, per cut, its position and the format words.
// No cut: the document goes whole.
struct TRtfCuts {
  struct TCut {
    size_t At = 0;       // where the piece before ends
    size_t Resume = 0;   // where the next one goes on (past a \line it shows as \par)
    std::string Format;  // what the next one puts between the header and the rest
  };
  size_t HeaderEnd = 0;
  std::vector<TCut> Cuts;
};
TRtfCuts FindRtfCuts(std::string_view rtf, size_t chunkBytes);
// The same search a cut at a time, for a reader that takes the pieces as it goes (rtf must
// outlive it).
class TRtfCutter {
public:
  explicit TRtfCutter(std::string_view rtf);
  // The next place to cut, at least minBytes after the last one (or the start); false when
  // the rest of the document is the last piece.
  bool Next(size_t minBytes, TRtfCuts::TCut& cut);
  // The header's length, known once the first cut is found.
  size_t HeaderEnd() const { return FHeaderEnd; }

private:
  static constexpr size_t kNone = std::string_view::npos;
  std::string_view FRtf;
  size_t FAt = 0, FLast = 0, FHeaderEnd = kNone, FEnd = kNone;
  // Where the character-format words just before the body began: they are not header, but
  // the format each piece restates.
  size_t FFormatRun = kNone;
  int FDepth = 0;
  // A piece starts a paragraph: a text that goes on in the paragraph before would have the
  // control lay that whole paragraph out again with every piece (a document with \line breaks
  // only is one paragraph, and would take time by the square of its length).
  bool FParagraphSet = false, FInRow = false, FAfterPar = false;
  std::array<std::string, 20> FFormat;  // the format words in force, by slot
};
// The document from boundary from to boundary to, as one complete document: boundary 0 is its
// start, k (1..cuts) the k-th cut, cuts + 1 its end.
std::string RtfPiece(std::string_view rtf, const TRtfCuts& cuts, size_t from, size_t to);

}  // namespace bq
