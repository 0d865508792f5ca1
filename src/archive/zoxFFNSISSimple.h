// NSIS installer listing: the "File" instructions of the installer header.
#pragma once
#include <string>
#include <vector>

#include "archive/quArchiveSimple.h"
#include "archive/zoxCompression.h"

namespace bq {

class TSimpleNSIS : public TSimpleArchive {
public:
  bool LoadFromStream(TArchiveSource& source) override;
  // The first header at a multiple of 512 bytes within the first MiB.
  static bool Recognise(TArchiveSource& source);

  // What the last load found.
  uint64_t FirstHeaderPosition = 0;
  uint32_t HeaderLength = 0;
  bool Solid = true;
  uint64_t DataPosition = 0;  // not solid: where the data blocks start, which file offsets count from
  TCompressionMethod Method = TCompressionMethod::cmUnknown;
  bool UnicodeStrings = false;

  static constexpr uint32_t kMaxHeaderLength = 64u << 20;

private:
  bool ReadHeader(TArchiveSource& source, uint64_t h, std::vector<uint8_t>& header);
  bool WalkEntries(const std::vector<uint8_t>& header, uint64_t base);
  void ReadBlockSizes(TArchiveSource& source);
};

}  // namespace bq
