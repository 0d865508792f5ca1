#include "archive/zoxFFNSISSimple.h"

#include <optional>

#include "archive/quDate.h"
#include "platform/bqText.h"

namespace bq {

namespace {
constexpr uint64_t kSearchLimit = 0x100000, kSearchStep = 512, kFirstHeaderSize = 28;
constexpr std::string_view kSignature{"\xEF\xBE\xAD\xDE" "NullsoftInst", 16};
constexpr uint64_t kEntrySize = 28;
constexpr uint32_t kOpCreateDir = 11, kOpExtractFile = 20;
constexpr size_t kMaxStringUnits = 4096;

const char* const kVariableNames[10] = {"CMDLINE", "INSTDIR", "OUTDIR", "EXEDIR", "LANGUAGE",
                                        "TEMP", "PLUGINSDIR", "HWNDPARENT", "_CLICK", "_OUTDIR"};

const char* ShellFolderName(unsigned n) {
  switch (n) {
    case 2: return "SMPROGRAMS"; case 4: return "PRINTERS"; case 5: return "DOCUMENTS";
    case 6: return "FAVORITES"; case 7: return "SMSTARTUP"; case 8: return "RECENT";
    case 9: return "SENDTO"; case 11: return "STARTMENU"; case 13: return "MUSIC";
    case 14: return "VIDEO"; case 16: return "DESKTOP"; case 19: return "NETHOOD";
    case 20: return "FONTS"; case 21: return "TEMPLATES"; case 22: return "COMMONSTARTMENU";
    case 23: return "COMMONFILES"; case 24: return "COMMON_STARTUP"; case 25: return "COMMON_DESKTOPDIRECTORY";
    case 26: return "QUICKLAUNCH"; case 27: return "PRINTHOOD"; case 28: return "LOCALAPPDATA";
    case 29: return "ALTSTARTUP"; case 30: return "ALTSTARTUP"; case 31: return "FAVORITES";
    case 32: return "INTERNET_CACHE"; case 33: return "COOKIES"; case 34: return "HISTORY";
    case 35: return "APPDATA"; case 36: return "WINDIR"; case 37: return "SYSDIR";
    case 38: return "PROGRAMFILES"; case 39: return "PICTURES"; case 40: return "PROFILE";
    case 43: return "COMMONFILES"; case 45: return "TEMPLATES"; case 46: return "DOCUMENTS";
    case 47: return "ADMINTOOLS"; case 48: return "ADMINTOOLS"; case 53: return "MUSIC";
    case 54: return "PICTURES"; case 55: return "VIDEO"; case 56: return "RESOURCES";
    case 57: return "RESOURCES_LOCALIZED";
    default: return "";
  }
}

std::string VariableName(unsigned n) {
  if (n < 10) return "$" + std::to_string(n);
  if (n < 20) return "$R" + std::to_string(n - 10);
  if (n < 30) return std::string("$") + kVariableNames[n - 20];
  return "$[" + std::to_string(n) + "]";
}

std::string ShellName(unsigned n) {
  if (n < 59) return std::string("$") + ShellFolderName(n);
  return "$[" + std::to_string(n) + "]";
}

// The installer's codes: version 2 (8-bit) uses 252 skip, 253 variable, 254 shell, 255
// language; version 3 uses 1 language, 2 shell, 3 variable, 4 skip. A code other than skip is
// followed by two bytes (one unit in a UTF-16 table).
struct TCodes {
  unsigned Lang, Shell, Var, Skip;
};
constexpr TCodes kCodes2{255, 254, 253, 252}, kCodes3{1, 2, 3, 4};

// Appends the text of one code with its two bytes b1, b2.
void AppendCode(std::u16string& out, const TCodes& codes, unsigned code, unsigned b1, unsigned b2, bool version3) {
  std::string text;
  if (code == codes.Var)
    text = VariableName(version3 ? ((b1 & 0x7F) | (b2 & 0x7F) << 7) : (b1 & 0x7F));
  else if (code == codes.Shell)
    text = ShellName(version3 ? (b1 & 0x7F) : b2);
  else
    text = "NS_LANG_CODE";
  out += Utf8ToUtf16(text);
}

// A name the installer does not put under the output folder.
bool IsAbsoluteName(std::string_view name) {
  return (!name.empty() && name[0] == '$') || (name.size() >= 2 && name[1] == ':') || name.substr(0, 2) == "\\\\";
}
}  // namespace

bool TSimpleNSIS::Recognise(TArchiveSource& source) {
  std::vector<uint8_t> head;
  source.ReadRange(0, kSearchLimit + kFirstHeaderSize, head);
  const TByteView view(head);
  for (uint64_t at = 0; at < kSearchLimit && view.Has(at, kFirstHeaderSize); at += kSearchStep)
    if (view.Equals(at + 4, kSignature)) return true;
  return false;
}

bool TSimpleNSIS::LoadFromStream(TArchiveSource& source) {
  Files.Clear();
  Error.clear();
  HasSizes = false;
  std::vector<uint8_t> head;
  source.ReadRange(0, kSearchLimit + kFirstHeaderSize, head);
  const TByteView view(head);
  bool found = false;
  uint64_t at = 0;
  for (; at < kSearchLimit && view.Has(at, kFirstHeaderSize); at += kSearchStep)
    if (view.Equals(at + 4, kSignature)) {
      found = true;
      break;
    }
  if (!found) return Fail("NSIS: no installer header");
  FirstHeaderPosition = at;
  view.U32LE(at + 20, HeaderLength);
  std::vector<uint8_t> header;
  try {
    if (!ReadHeader(source, at + kFirstHeaderSize, header)) {
      Files.Clear();
      return false;
    }
    // Entries read before damage in the entries or strings stay.
    const bool walked = WalkEntries(header, Solid ? 4 : 0);
    if (!Solid) ReadBlockSizes(source);
    if (!walked) return false;
  } catch (const std::exception& e) {
    return Fail(std::string("NSIS: ") + e.what());
  }
  return true;
}

bool TSimpleNSIS::ReadHeader(TArchiveSource& source, uint64_t h, std::vector<uint8_t>& header) {
  if (HeaderLength > kMaxHeaderLength) return Fail("NSIS: header length too large");
  std::vector<uint8_t> bytes;
  // Ten bytes as the layout tests need, and one more for the test at byte 5.
  source.ReadRange(h, 11, bytes);
  const TByteView first(bytes);
  if (first.Size() < 10) return Fail("NSIS: truncated");
  uint32_t d;
  first.U32LE(0, d);
  auto lzmaAt = [&](uint64_t k) {
    uint8_t p = 0, a = 1, b = 1, c = 1;
    return first.U8(k, p) && first.U8(k + 1, a) && first.U8(k + 2, b) && first.U8(k + 5, c) && p == 0x5D && a == 0 &&
           b == 0 && c == 0;
  };

  Solid = true;
  DataPosition = h + 4 + (d & 0x7FFFFFFF);  // past the header's own block, when not solid
  uint64_t propsAt = 0;  // LZMA: the property byte and dictionary size, relative to h
  uint64_t dataAt = 0;
  if (d == HeaderLength) {
    Solid = false;
    Method = TCompressionMethod::cmCopy;
    dataAt = 4;
  } else if (lzmaAt(0) || lzmaAt(1)) {
    Method = TCompressionMethod::cmLZMA;
    propsAt = lzmaAt(0) ? 0 : 1;  // a filter byte may precede the properties
    dataAt = propsAt + 5;
  } else if (lzmaAt(4) || lzmaAt(5)) {
    Solid = false;
    Method = TCompressionMethod::cmLZMA;
    propsAt = lzmaAt(4) ? 4 : 5;
    dataAt = propsAt + 5;
  } else if (first[3] == 0x80 && first[4] == 0x31 && first[5] < 14) {
    // bzip2's bare blocks: the block byte 0x31, then the origin pointer (below 900k).
    Solid = false;
    Method = TCompressionMethod::cmBZip2;
    dataAt = 4;
  } else if (first[0] == 0x31 && first[1] < 14) {
    Method = TCompressionMethod::cmBZip2;
  } else if (first[3] == 0x80) {
    Solid = false;
    Method = TCompressionMethod::cmDeflate;
    dataAt = 4;
  } else {
    Method = TCompressionMethod::cmDeflate;
  }

  // The compressed input: what remains of the file, at most what a header of this length can
  // take (a block's own size when it is not solid).
  const uint64_t outputSize = static_cast<uint64_t>(HeaderLength) + (Solid ? 4 : 0);
  uint64_t inputSize = outputSize + outputSize / 8 + 4096;
  if (!Solid && Method != TCompressionMethod::cmCopy) inputSize = (d & 0x7FFFFFFF) >= dataAt - 4 ? (d & 0x7FFFFFFF) - (dataAt - 4) : 0;
  if (Method == TCompressionMethod::cmCopy) inputSize = HeaderLength;
  std::vector<uint8_t> input;
  source.ReadRange(h + dataAt, inputSize, input);
  const TByteView inputView(input);

  TMultiDecoder decoder;
  decoder.Method = Method;
  decoder.Input = &inputView;
  decoder.Output = &header;
  decoder.Size = outputSize;
  if (Method == TCompressionMethod::cmLZMA) {
    uint32_t dictionary;
    first.U32LE(propsAt + 1, dictionary);
    decoder.SetProperties(dictionary, first[propsAt], 5, first.Data() + propsAt);
  }
  decoder.Decode();
  if (header.size() < outputSize) return Fail("NSIS: header shorter than its length");
  return true;
}

bool TSimpleNSIS::WalkEntries(const std::vector<uint8_t>& header, uint64_t base) {
  const TByteView all(header);
  const TByteView body = all.Tail(base);
  uint32_t entriesOffset, entriesCount, stringsOffset;
  if (!body.U32LE(4 + 2 * 8, entriesOffset) || !body.U32LE(4 + 2 * 8 + 4, entriesCount) ||
      !body.U32LE(4 + 3 * 8, stringsOffset))
    return Fail("NSIS: header too short");
  if (entriesCount == 0xFFFFFFFF) return Fail("NSIS: no entries");
  TByteView entries;
  size_t entriesBytes;
  if (!CheckedSize(entriesCount, kEntrySize, body.Size(), entriesBytes) || !body.Sub(entriesOffset, entriesBytes, entries))
    return Fail("NSIS: entries outside of the header");
  const TByteView strings = body.Tail(stringsOffset);
  UnicodeStrings = strings.Equals(0, std::string_view("\0\0", 2));
  // An 8-bit table with the codes 1 to 4 comes from version 3.
  bool version3 = UnicodeStrings;
  for (size_t i = 0; !version3 && i < strings.Size(); ++i) version3 = strings[i] >= 1 && strings[i] <= 4;
  const TCodes& codes = version3 ? kCodes3 : kCodes2;

  // The text of the string at offset (in units of the table); nothing when it lies outside.
  auto readString = [&](uint32_t offset) -> std::optional<std::string> {
    if (offset & 0x80000000u) return "[" + Hex8(offset & 0x7FFFFFFF) + "]";
    const uint64_t position = UnicodeStrings ? uint64_t{offset} * 2 : offset;
    if (stringsOffset > body.Size() || position >= strings.Size()) return std::nullopt;
    std::u16string out;
    if (UnicodeStrings) {
      const std::u16string raw = strings.CString16LE(position, kMaxStringUnits);
      for (size_t i = 0; i < raw.size(); ++i) {
        const unsigned c = raw[i];
        if (c == codes.Skip) {
          if (i + 1 < raw.size()) out.push_back(raw[++i]);
        } else if ((c == codes.Lang || c == codes.Shell || c == codes.Var) && i + 1 < raw.size()) {
          const unsigned u = raw[++i];
          AppendCode(out, codes, c, u & 0xFF, u >> 8, true);
        } else {
          out.push_back(static_cast<char16_t>(c));
        }
      }
      return Utf16ToUtf8(out);
    }
    const std::string_view raw = strings.CString(position, kMaxStringUnits);
    std::string literal;
    auto flush = [&] {
      out += Utf8ToUtf16(AnsiToUtf8(literal));
      literal.clear();
    };
    for (size_t i = 0; i < raw.size(); ++i) {
      const unsigned c = static_cast<uint8_t>(raw[i]);
      if (c == codes.Skip) {
        if (i + 1 < raw.size()) literal.push_back(raw[++i]);
      } else if ((c == codes.Lang || c == codes.Shell || c == codes.Var) && i + 2 < raw.size()) {
        flush();
        AppendCode(out, codes, c, static_cast<uint8_t>(raw[i + 1]), static_cast<uint8_t>(raw[i + 2]), version3);
        i += 2;
      } else {
        literal.push_back(raw[i]);
      }
    }
    flush();
    return Utf16ToUtf8(out);
  };

  // A file's name is relative to the output folder the last SetOutPath set (EW_CREATEDIR with
  // its second parameter set), unless it starts with a variable, a drive or "\\".
  std::string outputFolder;
  TByteCursor c(entries);
  for (uint32_t i = 0; i < entriesCount; ++i) {
    uint32_t p[7];
    for (auto& v : p) v = c.U32LE();
    if (!c.Ok()) return Fail("NSIS: truncated entries");
    if (p[0] == kOpCreateDir && p[2] != 0) {
      const auto folder = readString(p[1]);
      if (!folder) return Fail("NSIS: entry " + std::to_string(i) + ": folder name outside of the strings");
      outputFolder = *folder;
      while (!outputFolder.empty() && outputFolder.back() == '\\') outputFolder.pop_back();
      continue;
    }
    if (p[0] != kOpExtractFile) continue;
    const auto name = readString(p[2]);
    if (!name) return Fail("NSIS: entry " + std::to_string(i) + ": file name outside of the strings");
    TArchivedFile& entry = Files.Add();
    entry.Filename = IsAbsoluteName(*name) || outputFolder.empty() ? *name : outputFolder + "\\" + *name;
    entry.Offset = static_cast<int32_t>(p[3]);
    entry.Timestamp = FileTimeToTimestamp(static_cast<uint64_t>(p[5]) << 32 | p[4]);
  }
  return true;
}

// Not solid: each file's data is a block of its own, a 32-bit length first, whose high bit says
// it is compressed. A stored block tells both sizes, a compressed one only the packed size; the
// unpacked size of a compressed block and every size in a solid installer stay unknown.
void TSimpleNSIS::ReadBlockSizes(TArchiveSource& source) {
  HasSizes = true;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < Files.Count(); ++i) {
    TArchivedFile& entry = Files[i];
    uint64_t at;
    uint32_t length;
    if (entry.Offset < 0 || !CheckedAdd(DataPosition, static_cast<uint64_t>(entry.Offset), at)) continue;
    source.ReadRange(at, 4, bytes);
    uint64_t end;
    if (!TByteView(bytes).U32LE(0, length) || !CheckedAdd(at, 4 + uint64_t{length & 0x7FFFFFFF}, end) ||
        end > source.Size())
      continue;
    entry.SizePacked = length & 0x7FFFFFFF;
    if (!(length & 0x80000000u)) entry.SizeUnpacked = length;
  }
}

}  // namespace bq
