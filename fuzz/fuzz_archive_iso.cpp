// Any bytes as the volume descriptors and what follows them in an ISO 9660 image: the input
// stands at 0x8000, after the system area (zeros), and the image reads as zeros up to 128 KiB, so
// that the extents of a small input's files lie inside it and its directories are walked whole.
#include <algorithm>
#include <cstring>

#include "archive/quDate.h"
#include "archive/zoxFFIsoSimple.h"

namespace {
constexpr uint64_t kSystemArea = 0x8000, kImageSize = 1 << 17;

class TImage : public bq::TArchiveSource {
public:
  TImage(const uint8_t* data, size_t size, uint64_t imageSize) : FData(data), FSize(size), FImageSize(imageSize) {}
  uint64_t Size() const override { return FImageSize; }
  bool ReadRange(uint64_t offset, uint64_t count, std::vector<uint8_t>& buffer) override {
    const uint64_t end = offset < FImageSize ? offset + std::min(count, FImageSize - offset) : offset;
    buffer.assign(end - offset, 0);
    // The part of [offset, end) that the input covers.
    const uint64_t from = std::max(offset, kSystemArea), to = std::min(end, kSystemArea + FSize);
    if (from < to) std::memcpy(buffer.data() + (from - offset), FData + (from - kSystemArea), to - from);
    return buffer.size() == count;
  }

private:
  const uint8_t* FData;
  size_t FSize;
  uint64_t FImageSize;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TImage image(data, size, std::max<uint64_t>(kImageSize, kSystemArea + size));
  bq::TSimpleIso reader;
  reader.LoadFromStream(image);
  size_t total = 0;
  for (const auto& e : reader.Files) total += e.Filename.size() + e.SizeUnpackedAsString().size() + e.TimestampAsString().size();
  // The dispatcher tries every reader's signature test; over the input alone.
  TImage exact(data, size, kSystemArea + size);
  bq::TAnyArchive any;
  any.Open("fuzz.iso", exact);
  if (total == static_cast<size_t>(-1)) __builtin_trap();
  return 0;
}
