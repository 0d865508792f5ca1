// Any bytes as the volume descriptors and what follows them in an ISO 9660 image: the input
// stands at 0x8000, after the system area (zeros), and the image reads as zeros up to 1 MiB, so
// that the extents of a small input's files lie inside it and its directories are walked whole.
#include <algorithm>
#include <cstring>

#include "archive/quDate.h"
#include "archive/zoxFFIsoSimple.h"

namespace {
constexpr uint64_t kSystemArea = 0x8000, kImageSize = 1 << 20;

class TImage : public bq::TArchiveSource {
public:
  TImage(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  uint64_t Size() const override { return std::max<uint64_t>(kImageSize, kSystemArea + FSize); }
  bool ReadRange(uint64_t offset, uint64_t count, std::vector<uint8_t>& buffer) override {
    const uint64_t end = std::min(Size(), offset + std::min(count, Size()));
    buffer.assign(offset < end ? end - offset : 0, 0);
    for (uint64_t i = offset; i < end; ++i)
      if (i >= kSystemArea && i - kSystemArea < FSize) buffer[i - offset] = FData[i - kSystemArea];
    return buffer.size() == count;
  }

private:
  const uint8_t* FData;
  size_t FSize;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TImage image(data, size);
  bq::TSimpleIso reader;
  reader.LoadFromStream(image);
  size_t total = 0;
  for (const auto& e : reader.Files) total += e.Filename.size() + e.SizeUnpackedAsString().size() + e.TimestampAsString().size();
  bq::TAnyArchive any;
  any.Open("fuzz.iso", image);
  if (total == static_cast<size_t>(-1)) __builtin_trap();
  return 0;
}
