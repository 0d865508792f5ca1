// File type identification: signatures at or near the start of a file, a plain-text test,
// and per-type extension lists read from an INI file.
#pragma once
#include <array>
#include <memory>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace bq {

enum TFileIdentifyType : uint8_t {
  fitCabinet, fitELF, fitMZ, fitXML, fitHTML, fitPHP, fitEML, fitZIP, fitPascalUnit,
  fitPascalProgram, fitDelphiForm, fitSQL, fitVBS, fitJS, fitBasic, fitC, fitIni, fitLink,
  fitdBase, fitCSV, fitTab, fitRTF, fitText, fitPicture, fitJPEG, fitAudio, fitVideo, fitWave,
  fitRIFF, fitUPX, fitMP3, fitPECompact, fitChm, fitNSIS, fitFLAC, fitOGG, fitRAR,
  // Source languages known only by their extensions.
  fitCSharp, fitJava, fitPython, fitJSON, fitCSS, fitPowerShell, fitBatch, fitShell, fitMarkdown,
  fitYAML,
  // Archives and audio containers added later, kept after the others so stored sets keep their meaning.
  fitSevenZip, fitTar, fitGZip, fitBZip2, fitXZ, fitISO, fitMP4, fitAIFF,
};
constexpr int FileIdentifyTypeCount = 55;

// A set of types: member n is bit (n mod 8) of byte (n div 8).
class TFileIdentifyTypes {
public:
  constexpr TFileIdentifyTypes() = default;
  constexpr TFileIdentifyTypes(std::initializer_list<TFileIdentifyType> members) {
    for (auto t : members) Include(t);
  }
  constexpr void Include(TFileIdentifyType t) { Bits[t / 8] |= static_cast<uint8_t>(1u << (t % 8)); }
  constexpr bool Contains(TFileIdentifyType t) const { return (Bits[t / 8] >> (t % 8)) & 1u; }
  constexpr bool Empty() const {
    for (auto b : Bits)
      if (b) return false;
    return true;
  }
  constexpr bool Intersects(const TFileIdentifyTypes& o) const {
    for (size_t i = 0; i < Bits.size(); ++i)
      if (Bits[i] & o.Bits[i]) return true;
    return false;
  }
  constexpr bool operator==(const TFileIdentifyTypes&) const = default;
  std::vector<TFileIdentifyType> Members() const;

  // Removes the members of o.
  constexpr void Exclude(const TFileIdentifyTypes& o) {
    for (size_t i = 0; i < Bits.size(); ++i) Bits[i] &= static_cast<uint8_t>(~o.Bits[i]);
  }

  std::array<uint8_t, (FileIdentifyTypeCount + 7) / 8> Bits{};
};

// stAtOffset: the signature starts exactly at the row's Limit.
enum class TSignatureTest { stNone, stAtStart, stNearStart, stAtOffset };

struct TFileTypeRow {
  TFileIdentifyType Type;
  std::string_view Name;       // the member's name, e.g. "fitMZ"
  std::string_view Signature;  // may hold NUL bytes
  TSignatureTest Test;
  int64_t Limit;
  std::string_view IniKey;
  std::string_view Description;
};

const std::array<TFileTypeRow, FileIdentifyTypeCount>& FileTypeTable();
std::string_view FileTypeName(TFileIdentifyType t);

inline constexpr TFileIdentifyTypes TextFileTypes{
    fitXML, fitHTML, fitPHP, fitEML, fitPascalUnit, fitPascalProgram, fitSQL, fitVBS, fitJS,
    fitBasic, fitC, fitIni, fitLink, fitdBase, fitCSV, fitTab, fitRTF, fitText, fitCSharp,
    fitJava, fitPython, fitJSON, fitCSS, fitPowerShell, fitBatch, fitShell, fitMarkdown, fitYAML};
inline constexpr TFileIdentifyTypes AudioFileTypes{fitAudio, fitWave, fitMP3, fitFLAC, fitOGG, fitMP4, fitAIFF};
inline constexpr TFileIdentifyTypes ArchiveFileTypes{fitCabinet, fitZIP, fitChm,   fitNSIS,  fitRAR, fitSevenZip,
                                                       fitTar,     fitGZip, fitBZip2, fitXZ,    fitISO};

// Content tests read at most this many bytes from the start of a file.
constexpr size_t IdentifyHeadSize = 524288;

// One extension list per type (upper-case, without dots).
struct TExtensionLists {
  std::array<std::vector<std::string>, FileIdentifyTypeCount> Lists;
};

// Splits an INI value as comma-delimited text with double quotes (see the .cpp for the rules).
std::vector<std::string> SplitDelimited(std::string_view value);

// Reads the "Extensions" section of an INI text / file. A missing file gives empty lists.
TExtensionLists ParseExtensionLists(std::string_view iniText);
TExtensionLists LoadExtensionLists(const std::string& iniFileName);

// Adds the content types of a file's first bytes (at most IdentifyHeadSize of them).
void IdentifyHead(std::string_view head, TFileIdentifyTypes& types);
// A file's whole content as identification read it, shared by whoever reads the file next.
struct TFileContent {
  std::shared_ptr<const char[]> Data;
  size_t Size = 0;
  bool Held() const { return Data != nullptr; }
  std::string_view View() const { return {Data.get(), Size}; }
};

// Whether a head is binary content: several zero bytes in its first 4 KiB, and no UTF-16
// text (with or without a byte order mark).
bool IsBinaryHead(std::string_view head);

// Reads the head of a file once and adds its content types. False when it cannot be read.
// When whole is given and the head was all of the file, the bytes are handed over in it; when
// binary is given, it tells whether the head is binary content (IsBinaryHead).
bool IdentifyByContent(const std::string& fileName, TFileIdentifyTypes& types, std::string* error = nullptr,
                       TFileContent* whole = nullptr, bool* binary = nullptr);
// Adds the types whose extension list names the file's extension.
void IdentifyByExtension(const std::string& fileName, const TExtensionLists& lists, TFileIdentifyTypes& types);
// The extension from the last "." after the last "\", "/" or ":", with the dot; "" when none.
std::string FileExtension(std::string_view fileName);

}  // namespace bq
