#include "preview/hlxRichSyntax.h"

#include <algorithm>
#include <atomic>
#include <iterator>

#include "platform/bqText.h"

namespace bq {

namespace {

std::atomic<TRtfFontQuery> gFontQuery{nullptr};

// Hash and compared length of the word at text[start] (see TKeywordTable).
int WordHash(std::string_view text, size_t start, size_t& length) {
  int hash = 0;
  size_t i = start;
  while (i < text.size() && IsIdentChar(text[i])) hash += HashValues[static_cast<unsigned char>(text[i++])];
  length = i - start;
  return hash;
}

// Letters compare in either case; digits and "_" only with themselves.
bool SameKeyChar(char a, char b) {
  return a == b || (IsLetter(a) && IsLetter(b) && HashValues[static_cast<unsigned char>(a)] == HashValues[static_cast<unsigned char>(b)]);
}

const char* FamilyWord(uint8_t pitchAndFamily) {
  switch (pitchAndFamily & 0xF0) {
    case 0x00: return "fdontcare";
    case 0x10: return "froman";
    case 0x20: return "fswiss";
    case 0x30: return "fmodern";
    case 0x40: return "fscript";
    case 0x50: return "fdecorative";
    default: return "froman";
  }
}

const char* CharSetWord(uint8_t charSet) {
  switch (charSet) {
    case 0: return "fcharset0";
    case 1: return "fcharset1";
    case 2: return "fcharset2";
    case 128: return "fcharset128";
    case 255: return "fcharset255";
    default: return "";
  }
}

void AppendUnicode(uint32_t cp, std::string& out) {
  const int ansi = UnicodeToCp1252(cp);
  if (ansi >= 0) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\'";
    out.push_back(kHex[(ansi >> 4) & 0xF]);
    out.push_back(kHex[ansi & 0xF]);
    return;
  }
  auto unit = [&out](uint32_t u) {
    out += "\\u";
    out += std::to_string(static_cast<int16_t>(static_cast<uint16_t>(u)));
    out.push_back('?');
  };
  if (cp >= 0x10000) {
    cp -= 0x10000;
    unit(0xD800 + (cp >> 10));
    unit(0xDC00 + (cp & 0x3FF));
  } else {
    unit(cp);
  }
}

}  // namespace

void SetRtfFontQuery(TRtfFontQuery query) { gFontQuery = query; }
TRtfFontQuery RtfFontQuery() { return gFontQuery; }

TKeywordTable::TKeywordTable(std::initializer_list<std::string_view> words, int tableSize) : FWords(words) {
  int largest = -1;
  std::vector<int> hashes;
  for (auto w : FWords) {
    size_t length = 0;
    const int h = WordHash(w, 0, length);
    hashes.push_back(h);
    if (h > largest) largest = h;
  }
  FTableSize = tableSize > 0 ? tableSize : largest + 1;
  FBuckets.resize(static_cast<size_t>(FTableSize));
  for (size_t i = 0; i < FWords.size(); ++i)
    if (hashes[i] < FTableSize) FBuckets[static_cast<size_t>(hashes[i])].push_back(static_cast<int>(i));
}

int TKeywordTable::Find(std::string_view text, size_t start) const {
  size_t length = 0;
  const int hash = WordHash(text, start, length);
  if (hash >= FTableSize) return -1;
  for (int index : FBuckets[static_cast<size_t>(hash)]) {
    const std::string_view w = FWords[static_cast<size_t>(index)];
    if (w.size() != length) continue;
    if (FExact) {
      if (w == text.substr(start, length)) return index;
      continue;
    }
    bool same = true;
    for (size_t k = 0; k < length && same; ++k)
      same = SameKeyChar(w[k], text[start + k]);
    if (same) return index;
  }
  return -1;
}

void AppendRtfEscaped(std::string_view text, std::string& out) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c == '\\' || c == '{' || c == '}') out.push_back('\\');
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    // One UTF-8 sequence; anything malformed is one U+FFFD per byte.
    size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    uint32_t cp = 0xFFFD;
    if (len && i + len <= n) {
      uint32_t v = c & (len == 2 ? 0x1Fu : len == 3 ? 0x0Fu : 0x07u);
      bool ok = true;
      for (size_t k = 1; k < len && ok; ++k) {
        const auto cc = static_cast<unsigned char>(text[i + k]);
        ok = (cc & 0xC0) == 0x80;
        v = (v << 6) | (cc & 0x3Fu);
      }
      static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
      if (ok && v >= kMin[len] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) cp = v;
      else len = 1;
    } else {
      len = 1;
    }
    AppendUnicode(cp, out);
    i += len;
  }
}

ThlxRTFSyntax::ThlxRTFSyntax()
    : FFontTableEnd("}\r\n"), FParagraphStart("\\deflang1033\\pard\\plain\\f0\\fs20") {
  FHeader = "{\\rtf1\\ansi\\ansicpg" + std::to_string(FCodePage) + "\\deff0\\deftab720{\\fonttbl";
  SetFonts({"Courier New"});
  SetColors({});
}

void ThlxRTFSyntax::EscapeToken(std::string_view text, std::string& out) const { out.assign(text); }

void AppendColorWord(int kind, std::string& out) {
  out += "\\cf";
  if (kind >= 0 && kind < 100) {  // every colour number of the languages; no allocation per token
    if (kind >= 10) out.push_back(static_cast<char>('0' + kind / 10));
    out.push_back(static_cast<char>('0' + kind % 10));
  } else {
    out += std::to_string(kind);
  }
  out.push_back(' ');
}

void ThlxRTFSyntax::FormatToken(int kind, std::string_view text, std::string& out) const {
  AppendColorWord(kind, out);
  out += text;
}

std::string ThlxRTFSyntax::ColorToRtf(TRtfColor c) {
  return "\\red" + std::to_string(c.R) + "\\green" + std::to_string(c.G) + "\\blue" + std::to_string(c.B) + ";";
}

void ThlxRTFSyntax::SetLine(std::string_view, int) {}

std::string ThlxRTFSyntax::FontEntry(int index, std::string_view face, const TRtfFontInfo& info) {
  std::string e = "{\\f" + std::to_string(index) + "\\" + FamilyWord(info.PitchAndFamily) + "\\" + CharSetWord(info.CharSet) + " ";
  e += face;
  return e + ";}";
}

void ThlxRTFSyntax::SetFonts(const std::vector<std::string>& fonts) {
  FFontTable.clear();
  const TRtfFontQuery query = RtfFontQuery();
  for (size_t i = 0; i < fonts.size(); ++i) {
    TRtfFontInfo info;
    if (query) {
      TRtfFontInfo asked;
      if (query(fonts[i], asked)) info = asked;
    }
    FFontTable += FontEntry(static_cast<int>(i), fonts[i], info);
  }
}

void ThlxRTFSyntax::SetColors(const std::vector<TRtfColor>& colors) {
  FColorTable = "{\\colortbl\\red0\\green0\\blue0;";
  for (const auto& c : colors) FColorTable += ColorToRtf(c);
  FColorTable += "}\r\n";
}

void ThlxRTFSyntax::ConvertToRtf(std::string& out) {
  out += FHeader;
  out += FFontTable;
  out += FFontTableEnd;
  out += FColorTable;
  out += FParagraphStart;
  out += "\\f0 ";
  std::string text;
  while (!GetEol()) {
    const std::string_view token = GetToken();
    const int kind = GetTokenKind();
    EscapeToken(token, text);
    if (token == "\r\n" || token == "\r") out += "\\par";
    FormatToken(kind, text, out);
    Next();
  }
  out += " }";
}

std::string ThlxRTFSyntax::ConvertToString() {
  std::string out;
  ConvertToRtf(out);
  return out;
}

}  // namespace bq

namespace bq {
namespace {

// The character-format words a piece carries over, by slot; "ul" also holds "\ulnone" and
// "super" holds "\sub" and "\nosupersub".
constexpr std::string_view kFormatWords[] = {"cf",  "cb", "highlight", "f",    "fs",   "b",    "i",     "ul",        "strike",
                                             "super", "v", "caps",      "scaps", "lang", "up",   "dn",    "outl",      "shad",
                                             "expnd", "charscalex"};

int FormatSlot(std::string_view word) {
  if (word == "ulnone" || word == "ulw" || word == "uld" || word == "uldb" || word == "ulwave") return 7;
  if (word == "sub" || word == "nosupersub") return 9;
  for (size_t k = 0; k < std::size(kFormatWords); ++k)
    if (word == kFormatWords[k]) return static_cast<int>(k);
  return -1;
}

// Control words that put something on the page: where the body begins, at the latest.
bool ShowsSomething(std::string_view word) {
  return word == "par" || word == "line" || word == "tab" || word == "u" || word == "emdash" || word == "endash" ||
         word == "bullet" || word == "lquote" || word == "rquote" || word == "ldblquote" || word == "rdblquote" ||
         word == "page" || word == "sect";
}

// Paragraph formats that hold until the next \pard.
bool ParagraphWord(std::string_view word) {
  static constexpr std::string_view kWords[] = {"ql", "qr", "qc", "qj", "qd", "li", "ri", "fi", "lin", "rin", "sa", "sb",
                                                "sl", "slmult", "s", "ls", "ilvl", "tx", "tqr", "tqc", "tqdec", "tb",
                                                "keep", "keepn", "brdrt", "brdrb", "brdrl", "brdrr", "box", "shading",
                                                "cbpat", "cfpat", "rtlpar", "ltrpar", "pnlvlblt", "pnlvlbody"};
  for (auto w : kWords)
    if (word == w) return true;
  return false;
}

// Groups of the header: the tables and the "\*" destinations a reader may skip.
bool HeaderGroupWord(std::string_view word) {
  static constexpr std::string_view kWords[] = {"fonttbl", "colortbl", "stylesheet", "info", "listtable", "listoverridetable",
                                                "revtbl", "rsidtbl", "filetbl", "pgdsctbl", "generator", "header", "footer",
                                                "headerl", "headerr", "headerf", "footerl", "footerr", "footerf", "pict"};
  for (auto w : kWords)
    if (word == w) return true;
  return false;
}

struct TRtfToken {
  size_t End = 0;             // past the token and its delimiter
  std::string_view Word;      // a control word's letters ("" for a symbol)
  std::string_view Param;     // its number, as written
  bool Symbol = false;        // "\{", "\'hh", "\*"...
};

// The control word or symbol at rtf[i] == '\\'.
TRtfToken ControlAt(std::string_view rtf, size_t i) {
  const size_t n = rtf.size();
  TRtfToken t;
  size_t w = i + 1;
  while (w < n && IsLetter(rtf[w])) ++w;
  if (w == i + 1) {
    t.Symbol = true;
    t.Word = rtf.substr(std::min(n, i + 1), w < n ? 1 : 0);
    t.End = w < n && rtf[w] == '\'' ? std::min(n, w + 3) : std::min(n, w + 1);
    return t;
  }
  t.Word = rtf.substr(i + 1, w - i - 1);
  size_t d = w;
  if (d < n && rtf[d] == '-') ++d;
  uint64_t number = 0;
  while (d < n && IsDigit(rtf[d])) {
    if (number < (uint64_t{1} << 40)) number = number * 10 + static_cast<uint64_t>(rtf[d] - '0');
    ++d;
  }
  t.Param = rtf.substr(w, d - w);
  if (d < n && rtf[d] == ' ') ++d;
  if (t.Word == "bin") d = number > n - d ? n : d + static_cast<size_t>(number);
  t.End = d;
  return t;
}

// The first control word after position i, past blanks and line ends ("" when something
// else comes first).
std::string_view NextWord(std::string_view rtf, size_t i) {
  while (i < rtf.size() && (rtf[i] == ' ' || rtf[i] == '\r' || rtf[i] == '\n')) ++i;
  if (i >= rtf.size() || rtf[i] != '\\') return {};
  return ControlAt(rtf, i).Word;
}

}  // namespace

TRtfCutter::TRtfCutter(std::string_view rtf) : FRtf(rtf) {
  static_assert(std::tuple_size_v<decltype(FFormat)> == std::size(kFormatWords));
  if (rtf.compare(0, 5, "{\\rtf") != 0) FAt = rtf.size();  // not RTF: no cut
}

bool TRtfCutter::Next(size_t minBytes, TRtfCuts::TCut& cut) {
  constexpr size_t npos = std::string_view::npos;
  const std::string_view rtf = FRtf;
  const size_t n = rtf.size();
  auto bodyStarts = [&](size_t at) {
    if (FHeaderEnd == npos) FHeaderEnd = FFormatRun != npos ? FFormatRun : at;
  };
  auto maySplit = [&](size_t at, size_t resume = std::string_view::npos, std::string_view lead = {}) {
    if (FHeaderEnd == npos || at <= FHeaderEnd || at - FLast < std::max<size_t>(minBytes, 1) || FInRow) return false;
    cut.At = at;
    cut.Resume = resume == npos ? at : resume;
    cut.Format.clear();
    for (const auto& w : FFormat) cut.Format += w;
    if (!cut.Format.empty()) cut.Format.push_back(' ');
    cut.Format += lead;
    FLast = at;
    return true;
  };
  while (FAt < n && FEnd == npos) {
    const size_t i = FAt;
    bool found = false;
    const char c = rtf[i];
    if (c == '{') {
      if (FDepth == 1) {
        // A content group starts the body; the tables and destinations before it are header.
        size_t k = i + 1;
        while (k < n && (rtf[k] == '\r' || rtf[k] == '\n' || rtf[k] == ' ')) ++k;
        const TRtfToken first = k < n && rtf[k] == '\\' ? ControlAt(rtf, k) : TRtfToken{};
        const bool destination = (first.Symbol && first.Word == "*") || HeaderGroupWord(first.Word);
        if (destination && FHeaderEnd == npos) {
          FFormatRun = npos;
        } else if (!destination) {
          bodyStarts(i);
          if (!FParagraphSet && FAfterPar) found = maySplit(i);
        }
      }
      ++FDepth;
      ++FAt;
    } else if (c == '}') {
      if (--FDepth <= 0) FEnd = i;
      ++FAt;
    } else if (c == '\r' || c == '\n') {
      ++FAt;
    } else if (c != '\\') {
      if (FDepth == 1) bodyStarts(i);
      FAfterPar = false;
      ++FAt;
    } else {
      const TRtfToken t = ControlAt(rtf, i);
      if (t.Symbol ? t.Word != "*" : ShowsSomething(t.Word)) FAfterPar = t.Word == "par";
      const bool formatWord = !t.Symbol && (t.Word == "plain" || FormatSlot(t.Word) >= 0);
      if (FDepth == 1 && FHeaderEnd == npos) {
        if (!formatWord) FFormatRun = npos;
        else if (FFormatRun == npos) FFormatRun = i;
      }
      if (FDepth == 1) {
        if (t.Symbol) {
          if (t.Word != "*") bodyStarts(i);  // "\{", "\'hh", "\~"... are text
        } else if (ShowsSomething(t.Word)) {
          bodyStarts(i);
          if (t.Word == "par" && (!FParagraphSet || NextWord(rtf, t.End) == "pard")) found = maySplit(i);
          // A line break: the next piece starts a paragraph of its own in its place.
          if (t.Word == "line" && !FParagraphSet) found = maySplit(i, t.End, "\\par ");
        } else if (t.Word == "pard") {
          FParagraphSet = false;
        } else if (t.Word == "plain") {
          for (auto& f : FFormat) f.clear();
        } else if (const int slot = FormatSlot(t.Word); slot >= 0) {
          FFormat[static_cast<size_t>(slot)] = "\\" + std::string(t.Word) + std::string(t.Param);
        } else if (t.Word == "trowd" || t.Word == "intbl") {
          FInRow = true;
        } else if (t.Word == "row") {
          FInRow = false;
        } else if (FHeaderEnd != npos && ParagraphWord(t.Word)) {
          FParagraphSet = true;
        }
      } else if (!t.Symbol && (t.Word == "trowd" || t.Word == "intbl")) {
        FInRow = true;  // a row whose properties sit in a group
      } else if (!t.Symbol && t.Word == "row") {
        FInRow = false;
      }
      FAt = t.End;
    }
    if (found) return true;
  }
  return false;
}

TRtfCuts FindRtfCuts(std::string_view rtf, size_t chunkBytes) {
  TRtfCuts result;
  if (chunkBytes == 0 || rtf.size() <= chunkBytes) return result;
  TRtfCutter cutter(rtf);
  TRtfCuts::TCut cut;
  while (cutter.Next(chunkBytes, cut)) result.Cuts.push_back(cut);
  result.HeaderEnd = result.Cuts.empty() ? 0 : cutter.HeaderEnd();
  return result;
}

std::string RtfPiece(std::string_view rtf, const TRtfCuts& cuts, size_t from, size_t to) {
  const size_t count = cuts.Cuts.size();
  to = std::min(to, count + 1);
  if (from >= to) return {};
  const size_t begin = from == 0 ? 0 : cuts.Cuts[from - 1].Resume;
  const size_t end = to <= count ? cuts.Cuts[to - 1].At : rtf.size();
  std::string piece;
  if (from > 0) {
    piece.reserve(cuts.HeaderEnd + cuts.Cuts[from - 1].Format.size() + end - begin + 1);
    piece += rtf.substr(0, cuts.HeaderEnd);
    piece += cuts.Cuts[from - 1].Format;
  }
  piece += rtf.substr(begin, end - begin);
  if (to <= count) piece.push_back('}');  // the outer group, closed where the next piece starts
  return piece;
}

std::vector<std::string> SplitRtfDocument(std::string_view rtf, size_t chunkBytes) {
  const TRtfCuts cuts = FindRtfCuts(rtf, chunkBytes);
  std::vector<std::string> pieces;
  pieces.reserve(cuts.Cuts.size() + 1);
  for (size_t k = 0; k <= cuts.Cuts.size(); ++k) pieces.push_back(RtfPiece(rtf, cuts, k, k + 1));
  return pieces;
}

}  // namespace bq
