// One entry of an archive listing and the ordered list a reader fills.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bq {

// A value the format does not record (CHM has no times, CAB no packed sizes or CRCs) stays
// empty and shows as an empty cell; a recorded 0 is a value like any other.
struct TArchivedFile {
  std::string Filename;                 // UTF-8, path separators as the archive stores them
  std::optional<int64_t> SizeUnpacked;
  std::optional<int64_t> SizePacked;
  std::optional<double> Timestamp;      // OLE Automation date, local time
  uint32_t Attribs = 0;                 // as the format stores them
  std::optional<uint32_t> CRC32;
  int64_t Offset = 0;                   // NSIS only: position of the data in the installer's data

  // The values as the page shows them; "" when not recorded.
  std::string SizeUnpackedAsString() const { return SizeUnpacked ? std::to_string(*SizeUnpacked) : std::string(); }
  std::string SizePackedAsString() const { return SizePacked ? std::to_string(*SizePacked) : std::string(); }
  std::string CRC32AsString() const;
  std::string TimestampAsString() const;
  // The name, or the class's name for an entry without one.
  std::string DisplayName() const { return Filename.empty() ? "TArchivedFile" : Filename; }
};

// Entries in the order the reader added them, which is the order in the archive.
class TArchivedFilesList {
public:
  TArchivedFile& Add() { return FItems.emplace_back(); }
  const TArchivedFile& operator[](size_t index) const { return FItems[index]; }
  TArchivedFile& operator[](size_t index) { return FItems[index]; }
  size_t Count() const { return FItems.size(); }
  void Clear() { FItems.clear(); }
  void Reserve(size_t n) { FItems.reserve(n); }
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

private:
  std::vector<TArchivedFile> FItems;
};

}  // namespace bq
