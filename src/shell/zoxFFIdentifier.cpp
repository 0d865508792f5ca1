#include "shell/zoxFFIdentifier.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/bqFile.h"
#include "platform/bqText.h"
#include "shell/quStringCompare.h"

namespace bq {

using namespace std::string_view_literals;

namespace {
constexpr auto A = TSignatureTest::stAtStart;
constexpr auto N = TSignatureTest::stNearStart;
constexpr auto X = TSignatureTest::stNone;
constexpr auto O = TSignatureTest::stAtOffset;

constexpr std::array<TFileTypeRow, FileIdentifyTypeCount> kTable = {{
    {fitCabinet, "fitCabinet", "MSCF\0\0\0\0"sv, A, 1024, "Cabinet", "Cabinet"},
    {fitELF, "fitELF", "\x7F" "ELF\x01\x01\x01\0\0\0\0\0\0\0\0\0"sv, A, 1024, "ELF", "ELF Linux Binary"},
    {fitMZ, "fitMZ", "MZ"sv, A, 1024, "PE", "EXEcutable"},
    {fitXML, "fitXML", "<?xml"sv, N, 1024, "XML", "eXtended Markup Language"},
    {fitHTML, "fitHTML", "<html>"sv, N, 1024, "HTML", "Hypertext Markup Language"},
    {fitPHP, "fitPHP", "<?php"sv, N, 1024, "PHP", "PHP script"},
    {fitEML, "fitEML", "From"sv, A, 1024, "EML", "EMail"},
    {fitZIP, "fitZIP", "PK"sv, A, 1024, "Zip", "ZIP archive"},
    {fitPascalUnit, "fitPascalUnit", "unit "sv, N, 1024, "Pascal", "Pascal unit"},
    {fitPascalProgram, "fitPascalProgram", "program "sv, A, 1024, "Pascal", "Pascal program"},
    {fitDelphiForm, "fitDelphiForm", "object "sv, A, 1024, "DelphiForm", "Delphi form"},
    {fitSQL, "fitSQL", "CREATE TABLE"sv, N, 1024, "SQL", "SQL commands"},
    {fitVBS, "fitVBS", ""sv, X, 1024, "VisualBasicScript", "Visual Basic Script"},
    {fitJS, "fitJS", ""sv, X, 1024, "JavaScript", "JavaScript"},
    {fitBasic, "fitBasic", ""sv, X, 1024, "Basic", "Basic program"},
    {fitC, "fitC", ""sv, X, 1024, "C", "C program"},
    {fitIni, "fitIni", ""sv, X, 1024, "Ini", "Initialization file"},
    {fitLink, "fitLink", "\x4C\0\0\0\x01\x14\x02\0\0\0\0\0\xC0\0\0\0"sv, A, 1024, "Link", "Link"},
    {fitdBase, "fitdBase", ""sv, X, 1024, "dBase", "dBase database"},
    {fitCSV, "fitCSV", ""sv, X, 1024, "CSV", "Comma separated table"},
    {fitTab, "fitTab", ""sv, X, 1024, "Tab", "Tab separated table"},
    {fitRTF, "fitRTF", "{\\rtf"sv, A, 1024, "RTF", "Rich Text Format"},
    {fitText, "fitText", ""sv, X, 1024, "Text", "Text"},
    {fitPicture, "fitPicture", "\xFF\xD8\xFF"sv, A, 1024, "Picture", "Picture"},
    {fitJPEG, "fitJPEG", "\xFF\xD8\xFF"sv, A, 1024, "JPEG", "Joint Photographic Experts Group file"},
    {fitAudio, "fitAudio", ""sv, X, 1024, "Audio", "Audio"},
    {fitVideo, "fitVideo", ""sv, X, 1024, "Video", "Video"},
    {fitWave, "fitWave", "WAVEfmt"sv, N, 1024, "Wave", "Wave audio file"},
    {fitRIFF, "fitRIFF", "RIFF"sv, A, 1024, "RIFF", "RIFF file"},
    {fitUPX, "fitUPX", "UPX0"sv, N, 1024, "UPX", "UPX compressed"},
    {fitMP3, "fitMP3", "ID3"sv, A, 1024, "MP3", "MP3 Audio"},
    {fitPECompact, "fitPECompact", "PEC0"sv, N, 1024, "PEC", "PECompact compressed"},
    {fitChm, "fitChm", "ITSF"sv, A, 1024, "CHM", "CHM compressed HTML help"},
    {fitNSIS, "fitNSIS", "\xEF\xBE\xAD\xDE" "NullsoftInst"sv, N, 524288, "NSIS", "NullSoft Installer Setup"},
    {fitFLAC, "fitFLAC", "fLaC"sv, A, 1024, "FLAC", "FLAC Audio"},
    {fitOGG, "fitOGG", "OggS"sv, A, 1024, "OGG", "OGG Audio"},
    {fitRAR, "fitRAR", "Rar!"sv, A, 1024, "RAR", "RAR archive"},
    {fitCSharp, "fitCSharp", ""sv, X, 1024, "CSharp", "C# program"},
    {fitJava, "fitJava", ""sv, X, 1024, "Java", "Java program"},
    {fitPython, "fitPython", ""sv, X, 1024, "Python", "Python script"},
    {fitJSON, "fitJSON", ""sv, X, 1024, "JSON", "JSON data"},
    {fitCSS, "fitCSS", ""sv, X, 1024, "CSS", "Cascading style sheet"},
    {fitPowerShell, "fitPowerShell", ""sv, X, 1024, "PowerShell", "PowerShell script"},
    {fitBatch, "fitBatch", ""sv, X, 1024, "Batch", "Batch file"},
    {fitShell, "fitShell", ""sv, X, 1024, "Shell", "Shell script"},
    {fitMarkdown, "fitMarkdown", ""sv, X, 1024, "Markdown", "Markdown document"},
    {fitYAML, "fitYAML", ""sv, X, 1024, "YAML", "YAML document"},
    {fitSevenZip, "fitSevenZip", "7z\xBC\xAF\x27\x1C"sv, A, 1024, "SevenZip", "7-Zip archive"},
    {fitTar, "fitTar", "ustar"sv, O, 257, "Tar", "Tape archive"},
    {fitGZip, "fitGZip", "\x1F\x8B\x08"sv, A, 1024, "GZip", "gzip compressed"},
    {fitBZip2, "fitBZip2", "BZh"sv, A, 1024, "BZip2", "bzip2 compressed"},
    {fitXZ, "fitXZ", "\xFD" "7zXZ\0"sv, A, 1024, "XZ", "xz compressed"},
    {fitISO, "fitISO", "CD001"sv, O, 0x8001, "ISO", "ISO 9660 disc image"},
    {fitMP4, "fitMP4", "ftyp"sv, O, 4, "MP4", "MPEG-4 media"},
    {fitAIFF, "fitAIFF", "FORM"sv, A, 1024, "AIFF", "AIFF audio"},
}};

bool IsBlank(char c) { return c >= 1 && c <= 32; }
}  // namespace

const std::array<TFileTypeRow, FileIdentifyTypeCount>& FileTypeTable() { return kTable; }

std::string_view FileTypeName(TFileIdentifyType t) {
  return t < FileIdentifyTypeCount ? kTable[t].Name : std::string_view("?");
}

std::vector<TFileIdentifyType> TFileIdentifyTypes::Members() const {
  std::vector<TFileIdentifyType> out;
  for (int i = 0; i < FileIdentifyTypeCount; ++i)
    if (Contains(static_cast<TFileIdentifyType>(i))) out.push_back(static_cast<TFileIdentifyType>(i));
  return out;
}

// Comma-delimited text with double quotes: leading blanks (1..32) are skipped; an item ends at a
// comma or a blank; a quoted item runs to its closing quote ("" inside stands for one quote);
// a comma that ends the value adds an empty item; NUL ends the value.
std::vector<std::string> SplitDelimited(std::string_view value) {
  std::vector<std::string> items;
  const size_t nul = value.find('\0');
  if (nul != std::string_view::npos) value = value.substr(0, nul);
  size_t p = 0;
  const size_t n = value.size();
  while (p < n && IsBlank(value[p])) ++p;
  while (p < n) {
    std::string item;
    if (value[p] == '"') {
      ++p;
      while (p < n) {
        if (value[p] == '"') {
          if (p + 1 < n && value[p + 1] == '"') {
            item.push_back('"');
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item.push_back(value[p++]);
      }
    } else {
      const size_t start = p;
      while (p < n && !IsBlank(value[p]) && value[p] != ',') ++p;
      item.assign(value.substr(start, p - start));
    }
    items.push_back(std::move(item));
    while (p < n && IsBlank(value[p])) ++p;
    if (p < n && value[p] == ',') {
      if (p + 1 == n) items.emplace_back();
      do ++p;
      while (p < n && IsBlank(value[p]));
    }
  }
  return items;
}

TExtensionLists ParseExtensionLists(std::string_view ini) {
  // Collect the keys of every [Extensions] section; the first occurrence of a key wins.
  std::vector<std::pair<std::string, std::string>> keys;
  bool inSection = false;
  size_t pos = 0;
  while (pos < ini.size()) {
    size_t eol = ini.find_first_of("\r\n", pos);
    if (eol == std::string_view::npos) eol = ini.size();
    std::string_view line = ini.substr(pos, eol - pos);
    pos = eol + 1;
    const std::string trimmed = TrimControls(line);
    if (trimmed.empty() || trimmed[0] == ';') continue;
    if (trimmed.front() == '[') {
      const size_t close = trimmed.find(']');
      const std::string name = TrimControls(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      inSection = SameTextI(name, "Extensions");
      continue;
    }
    if (!inSection) continue;
    const size_t eq = trimmed.find('=');
    if (eq == std::string::npos) continue;
    keys.emplace_back(TrimControls(trimmed.substr(0, eq)), TrimControls(trimmed.substr(eq + 1)));
  }

  TExtensionLists lists;
  for (const auto& row : kTable) {
    for (const auto& [key, value] : keys) {
      if (SameTextI(key, row.IniKey)) {
        lists.Lists[row.Type] = SplitDelimited(value);
        break;
      }
    }
  }
  return lists;
}

TExtensionLists LoadExtensionLists(const std::string& iniFileName) {
  std::string text;
  // An INI file of extension lists is small; a larger file is not one.
  if (!ReadFileHead(iniFileName, 1 << 20, text)) return {};
  if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  return ParseExtensionLists(text);
}

namespace {
bool IsTextByte(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  return c == 9 || c == 10 || c == 13 || (c >= 32 && c <= 126);
}

// The content types of a head (at most IdentifyHeadSize bytes) whose two tests over the whole
// head are decided already: whether every byte is plain text, and whether the NSIS signature
// occurs in it. Any occurrence there starts below the NSIS limit, which is the head's size, so
// the near-start test is that finding.
static_assert(kTable[fitNSIS].Test == TSignatureTest::stNearStart && kTable[fitNSIS].Limit == IdentifyHeadSize);
void AddHeadTypes(std::string_view head, TFileIdentifyTypes& types, bool text, bool nsis) {
  TMemorySource source(head);
  for (const auto& row : kTable) {
    bool match = false;
    if (row.Type == fitNSIS) {
      match = nsis;
    } else {
      switch (row.Test) {
        case TSignatureTest::stAtStart:
          // The first occurrence lies at offset 0 exactly when the head begins with it.
          match = head.substr(0, row.Signature.size()) == row.Signature;
          break;
        case TSignatureTest::stNearStart: {
          // No occurrence can start below the limit in a head that does not hold the signature
          // there: the block search would find nothing that counts.
          const size_t reach = std::min<size_t>(head.size(), static_cast<size_t>(row.Limit) + row.Signature.size() - 1);
          if (head.substr(0, reach).find(row.Signature) == std::string_view::npos) break;
          TJsTextSearch search;
          search.Pattern = std::string(row.Signature);
          search.Source = &source;
          search.StopAtFirst = true;
          search.Limit = row.Limit;
          const int64_t at = search.Search();
          match = at >= 0 && at < row.Limit;
          break;
        }
        case TSignatureTest::stAtOffset:
          match = head.size() >= static_cast<size_t>(row.Limit) &&
                  head.substr(static_cast<size_t>(row.Limit), row.Signature.size()) == row.Signature;
          break;
        case TSignatureTest::stNone:
          break;
      }
    }
    // An IFF file is AIFF only with that form type; bzip2 streams name a block size 1-9.
    if (match && row.Type == fitAIFF) match = head.size() >= 12 && (head.substr(8, 4) == "AIFF" || head.substr(8, 4) == "AIFC");
    if (match && row.Type == fitBZip2) match = head.size() >= 4 && head[3] >= '1' && head[3] <= '9';
    if (match) types.Include(row.Type);
  }
  if (text) types.Include(fitText);
}
}  // namespace

void IdentifyHead(std::string_view head, TFileIdentifyTypes& types) {
  if (head.size() > IdentifyHeadSize) head = head.substr(0, IdentifyHeadSize);
  AddHeadTypes(head, types, std::all_of(head.begin(), head.end(), IsTextByte),
               head.find(kTable[fitNSIS].Signature) != std::string_view::npos);
}

// The head is read in blocks of 64 KiB and only as far as the content tests need it; a file no
// larger than the head goes in one read. The first block decides every signature at or near the
// start but the NSIS one, which all lie in the first 1040 bytes; past it only the plain-text test
// (up to its first other byte) and the NSIS search (up to its first occurrence) read on. Once
// both are decided, the bytes after cannot change the result.
bool IsBinaryHead(std::string_view head) {
  head = head.substr(0, 4096);
  if (std::count(head.begin(), head.end(), '\0') < 4) return false;
  if (head.size() >= 2 && (head.compare(0, 2, "\xFF\xFE") == 0 || head.compare(0, 2, "\xFE\xFF") == 0)) return false;
  return GuessBomlessUtf16(head) == 0;
}

bool IdentifyByContent(const std::string& fileName, TFileIdentifyTypes& types, std::string* error,
                       TFileContent* whole, bool* binary) {
  constexpr size_t kBlock = 65536;
  const std::string_view nsis = kTable[fitNSIS].Signature;
  TFileReader file;
  if (!file.Open(fileName)) {
    if (error) *error = file.Error();
    return false;
  }
  const uint64_t size = file.Size() < 0 ? 0 : static_cast<uint64_t>(file.Size());
  const size_t want = size < IdentifyHeadSize ? static_cast<size_t>(size) : IdentifyHeadSize;
  // One buffer for the whole head, not zero-filled and never regrown: the blocks land in place.
  const std::shared_ptr<char[]> buffer = std::make_shared_for_overwrite<char[]>(want ? want : 1);
  size_t have = 0, textChecked = 0;
  bool text = true, nsisFound = false;
  while (have < want) {
    const size_t at = have;
    // A file no larger than the head is needed whole unless it is an installer whose
    // signature comes early.
    const size_t got = file.Read(buffer.get() + at, want == size ? want - at : std::min(kBlock, want - at));
    if (file.Failed()) {
      if (error) *error = file.Error();
      return false;
    }
    if (got == 0) break;
    have += got;
    const std::string_view head(buffer.get(), have);
    while (text && textChecked < have) text = IsTextByte(head[textChecked++]);
    if (!nsisFound) nsisFound = head.find(nsis, at < nsis.size() ? 0 : at - nsis.size() + 1) != std::string_view::npos;
    if (!text && nsisFound) break;
  }
  AddHeadTypes(std::string_view(buffer.get(), have), types, text, nsisFound);
  if (whole && have == size) *whole = {buffer, have};
  if (binary) *binary = IsBinaryHead(std::string_view(buffer.get(), have));
  return true;
}

std::string FileExtension(std::string_view fileName) {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return {};
  const size_t sep = fileName.find_last_of("\\/:");
  if (sep != std::string_view::npos && sep > dot) return {};
  return std::string(fileName.substr(dot));
}

void IdentifyByExtension(const std::string& fileName, const TExtensionLists& lists, TFileIdentifyTypes& types) {
  const std::string ext = UpperAscii(FileExtension(fileName));
  for (const auto& row : kTable) {
    for (const auto& e : lists.Lists[row.Type]) {
      if (ext.size() == e.size() + 1 && ext[0] == '.' && ext.compare(1, std::string::npos, e) == 0) {
        types.Include(row.Type);
        break;
      }
    }
  }
}

}  // namespace bq
