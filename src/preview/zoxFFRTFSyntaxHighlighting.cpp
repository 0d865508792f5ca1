#include "preview/zoxFFRTFSyntaxHighlighting.h"

#include <vector>

#include "platform/bqBytes.h"
#include "platform/bqFile.h"
#include "platform/bqText.h"
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

std::string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  TByteView view(bytes);
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < view.Size(); i += 2) {
    uint16_t u = 0;
    if (bigEndian) view.U16BE(i, u);
    else view.U16LE(i, u);
    units.push_back(static_cast<char16_t>(u));
  }
  return Utf16ToUtf8(units);
}

// Where a cut head ends: after the last line end in it, else at the last whole character.
size_t CutPoint(std::string_view head, TTextEncoding encoding) {
  if (encoding == TTextEncoding::teUtf16LE || encoding == TTextEncoding::teUtf16BE) {
    const size_t even = head.size() & ~static_cast<size_t>(1);
    for (size_t i = even; i >= 2; i -= 2) {
      const char hi = head[i - (encoding == TTextEncoding::teUtf16LE ? 1 : 2)];
      const char lo = head[i - (encoding == TTextEncoding::teUtf16LE ? 2 : 1)];
      if (hi == 0 && (lo == '\n' || lo == '\r')) return i;
    }
    return even;
  }
  const size_t at = head.find_last_of("\r\n");
  if (at != std::string_view::npos) return at + 1;
  // Never split a UTF-8 sequence: a character the head cuts off is left out whole.
  const size_t cut = head.size();
  size_t lead = cut;
  while (lead > 0 && cut - lead < 4 && (static_cast<unsigned char>(head[lead - 1]) & 0xC0) == 0x80) --lead;
  if (lead > 0) {
    const auto c = static_cast<unsigned char>(head[lead - 1]);
    const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (c >= 0xC0 && lead - 1 + len > cut) return lead - 1;
  }
  return cut;
}

TTextEncoding BomOf(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return TTextEncoding::teUtf8Bom;
  if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) return TTextEncoding::teUtf16LE;
  if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFE\xFF") == 0) return TTextEncoding::teUtf16BE;
  return TTextEncoding::teAscii;
}

// The BOM's encoding, else UTF-16 recognised without one, else ASCII (8-bit text decides later).
TTextEncoding EncodingOf(std::string_view bytes, bool& bom) {
  const TTextEncoding e = BomOf(bytes);
  bom = e != TTextEncoding::teAscii;
  if (bom) return e;
  switch (GuessBomlessUtf16(bytes)) {
    case 1: return TTextEncoding::teUtf16LE;
    case 2: return TTextEncoding::teUtf16BE;
    default: return TTextEncoding::teAscii;
  }
}

std::string CutNotice(uint64_t shown, uint64_t fileSize) {
  return "[Preview cut: " + std::to_string(shown) + " of " + std::to_string(fileSize) + " bytes shown]";
}

}  // namespace

std::string DecodeText(std::string_view bytes, TTextEncoding* encoding) {
  bool bom = false;
  TTextEncoding e = EncodingOf(bytes, bom);
  std::string out;
  switch (e) {
    case TTextEncoding::teUtf8Bom: {
      const std::string_view rest = bytes.substr(3);
      out = IsValidUtf8(rest) ? std::string(rest) : Utf16ToUtf8(Utf8ToUtf16(rest));
      break;
    }
    case TTextEncoding::teUtf16LE: out = DecodeUtf16(bytes.substr(bom ? 2 : 0), false); break;
    case TTextEncoding::teUtf16BE: out = DecodeUtf16(bytes.substr(bom ? 2 : 0), true); break;
    default: {
      const bool ascii = IsAscii(bytes);
      if (ascii || IsValidUtf8(bytes)) {
        e = ascii ? TTextEncoding::teAscii : TTextEncoding::teUtf8;
        out.assign(bytes);
      } else {
        e = TTextEncoding::teAnsi;
        out = AnsiToUtf8(bytes);
      }
    }
  }
  if (encoding) *encoding = e;
  return out;
}

std::string JoinLines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 2);
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const size_t start = i;
    while (i < n && text[i] != '\r' && text[i] != '\n' && text[i] != '\0') ++i;
    out.append(text.data() + start, i - start);
    if (i < n && text[i] == '\0') return out;
    if (i < n && text[i] == '\r') {
      ++i;
      if (i < n && text[i] == '\n') ++i;
    } else if (i < n) {
      ++i;
    }
    out += "\r\n";
  }
  return out;
}

TPreviewText PreviewTextOf(std::string_view head, uint64_t fileSize, size_t limit) {
  TPreviewText p;
  p.FileSize = fileSize;
  if (head.size() > limit) head = head.substr(0, limit);
  std::string_view shown = head;
  if (fileSize > head.size()) {
    p.Cut = true;
    bool bom = false;
    shown = head.substr(0, CutPoint(head, EncodingOf(head, bom)));
  }
  p.Shown = shown.size();
  p.Text = JoinLines(DecodeText(shown));
  if (p.Cut) p.Text += CutNotice(p.Shown, fileSize) + "\r\n";
  if (head.compare(0, 5, "{\\rtf") == 0) p.Rtf = RtfDocumentOf(head, fileSize, limit);
  return p;
}

std::string RtfDocumentOf(std::string_view head, uint64_t fileSize, size_t limit) {
  if (head.size() > limit) head = head.substr(0, limit);
  if (fileSize <= head.size()) return std::string(head);
  // One walk over the groups: depth, the depth of the \pict group we are in (0: none), \bin
  // data skipped; the last "}" that closes a group inside the root outside a picture is the cut.
  size_t cut = 0;
  int depth = 0, pictDepth = 0, cutDepth = 0;
  const size_t n = head.size();
  for (size_t i = 0; i < n;) {
    const char c = head[i];
    if (c == '{') {
      ++depth;
      ++i;
    } else if (c == '}') {
      if (pictDepth == depth) pictDepth = 0;
      --depth;
      ++i;
      if (depth < 1) return std::string(head.substr(0, i));  // the document ends inside the bound
      if (!pictDepth) cut = i, cutDepth = depth;
    } else if (c == '\\') {
      size_t w = i + 1;
      while (w < n && IsLetter(head[w])) ++w;
      const std::string_view word = head.substr(i + 1, w - i - 1);
      size_t d = w;
      if (d < n && head[d] == '-') ++d;
      uint64_t number = 0;
      while (d < n && IsDigit(head[d]) && number < (uint64_t{1} << 40)) number = number * 10 + static_cast<uint64_t>(head[d++] - '0');
      while (d < n && IsDigit(head[d])) ++d;
      if (word.empty()) {
        i = std::min(n, w + 1);  // a control symbol: "\{", "\}", "\\", "\'"...
        continue;
      }
      if (d < n && head[d] == ' ') ++d;
      if (word == "pict" && !pictDepth) pictDepth = depth;
      if (word == "bin") d = number > n - d ? n : d + static_cast<size_t>(number);
      i = d;
    } else {
      ++i;
    }
  }
  std::string out(head.substr(0, cut));
  if (cut == 0) {
    out = "{\\rtf1\\ansi";
    cutDepth = 1;
  }
  out.append(static_cast<size_t>(cutDepth - 1), '}');
  out += "\\par\\pard\\plain " + CutNotice(cut, fileSize) + "\\par}";
  return out;
}

bool LoadPreviewText(const std::string& fileName, TPreviewText& out, size_t limit, std::string* error) {
  out = {};
  TFileReader file;
  if (!file.Open(fileName)) {
    if (error) *error = file.Error();
    return false;
  }
  const auto size = static_cast<uint64_t>(file.Size());
  std::vector<uint8_t> head;
  ReadFileRange(file, 0, std::min<uint64_t>(size, limit), head);
  if (file.Failed()) {
    if (error) *error = file.Error();
    return false;
  }
  out = PreviewTextOf(std::string_view(reinterpret_cast<const char*>(head.data()), head.size()), size, limit);
  return true;
}

namespace {
using TCreate = std::unique_ptr<ThlxRTFSyntax> (*)();

TCreate HighlighterOf(TFileIdentifyType t) {
  switch (t) {
    case fitXML: return CreateXMLRTF;
    case fitHTML: return CreateHTMLRTF;
    case fitPHP: return CreatePHPRTF;
    case fitPascalUnit:
    case fitPascalProgram: return CreatePasRTF;
    case fitDelphiForm: return CreateDFMRTF;
    case fitSQL: return CreateSQLRTF;
    case fitVBS: return CreateVBScriptRTF;
    case fitJS: return CreateJScriptRTF;
    case fitBasic: return CreateVBRTF;
    case fitC: return CreateCppRTF;
    case fitIni: return CreateIniRTF;
    case fitCSharp: return CreateCSharpRTF;
    case fitJava: return CreateJavaRTF;
    case fitPython: return CreatePythonRTF;
    case fitJSON: return CreateJSONRTF;
    case fitCSS: return CreateCSSRTF;
    case fitPowerShell: return CreatePowerShellRTF;
    case fitBatch: return CreateBatchRTF;
    case fitShell: return CreateShellRTF;
    case fitMarkdown: return CreateMarkdownRTF;
    case fitYAML: return CreateYAMLRTF;
    default: break;
  }
  return nullptr;
}

// The highlighter of the last member of the set, in enumeration order, that names one.
TCreate LastHighlighterOf(const TFileIdentifyTypes& types) {
  TCreate create = nullptr;
  for (auto t : types.Members())
    if (TCreate c = HighlighterOf(t)) create = c;
  return create;
}
}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateHighlighter(const TFileIdentifyTypes& types, const TFileIdentifyTypes& nameTypes) {
  // The plain-text test is no signature: it says nothing of the language.
  TFileIdentifyTypes strong = types;
  strong.Exclude(WeakSniffTypes);
  strong.Exclude({fitText});
  for (auto t : nameTypes.Members()) strong.Include(t);
  TCreate create = strong.Empty() ? LastHighlighterOf(types) : LastHighlighterOf(strong);
  return create ? create() : nullptr;
}

std::string HighlightToRtf(ThlxRTFSyntax& highlighter, std::string_view text) {
  highlighter.SetText(text);
  std::string out;
  out.reserve(text.size() * 3 + 512);
  highlighter.ConvertToRtf(out);
  return out;
}

}  // namespace bq
