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

}  // namespace

std::string DecodeText(std::string_view bytes, TTextEncoding* encoding) {
  TTextEncoding e = BomOf(bytes);
  std::string out;
  switch (e) {
    case TTextEncoding::teUtf8Bom: {
      const std::string_view rest = bytes.substr(3);
      out = IsValidUtf8(rest) ? std::string(rest) : Utf16ToUtf8(Utf8ToUtf16(rest));
      break;
    }
    case TTextEncoding::teUtf16LE: out = DecodeUtf16(bytes.substr(2), false); break;
    case TTextEncoding::teUtf16BE: out = DecodeUtf16(bytes.substr(2), true); break;
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
    shown = head.substr(0, CutPoint(head, BomOf(head)));
  }
  p.Shown = shown.size();
  p.Text = JoinLines(DecodeText(shown));
  if (p.Cut) p.Text += "[Preview cut: " + std::to_string(p.Shown) + " of " + std::to_string(fileSize) + " bytes shown]\r\n";
  return p;
}

bool LoadPreviewText(const std::string& fileName, TPreviewText& out, size_t limit) {
  out = {};
  TFileReader file;
  if (!file.Open(fileName)) return false;
  const auto size = static_cast<uint64_t>(file.Size());
  std::vector<uint8_t> head;
  ReadFileRange(file, 0, std::min<uint64_t>(size, limit), head);
  if (file.Failed()) return false;
  out = PreviewTextOf(std::string_view(reinterpret_cast<const char*>(head.data()), head.size()), size, limit);
  return true;
}

std::unique_ptr<ThlxRTFSyntax> CreateHighlighter(const TFileIdentifyTypes& types) {
  std::unique_ptr<ThlxRTFSyntax> (*create)() = nullptr;
  for (auto t : types.Members()) {
    switch (t) {
      case fitXML: create = CreateXMLRTF; break;
      case fitHTML: create = CreateHTMLRTF; break;
      case fitPHP: create = CreatePHPRTF; break;
      case fitPascalUnit:
      case fitPascalProgram: create = CreatePasRTF; break;
      case fitDelphiForm: create = CreateDFMRTF; break;
      case fitSQL: create = CreateSQLRTF; break;
      case fitVBS: create = CreateVBScriptRTF; break;
      case fitJS: create = CreateJScriptRTF; break;
      case fitBasic: create = CreateVBRTF; break;
      default: break;
    }
  }
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
