// One entry of an archive listing and the ordered list a reader fills.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace bq {

struct TArchivedFile {
  std::string Filename;        // UTF-8, path separators as the archive stores them
  int64_t SizeUnpacked = 0;
  int64_t SizePacked = 0;
  double Timestamp = 0;        // OLE Automation date, local time; 0 for none
  uint32_t Attribs = 0;        // as the format stores them
  uint32_t CRC32 = 0;
  int64_t Offset = 0;          // NSIS only: position of the data in the installer's data

  std::string SizeUnpackedAsString() const { return std::to_string(SizeUnpacked); }
  std::string SizePackedAsString() const { return std::to_string(SizePacked); }
  std::string CRC32AsString() const;
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
