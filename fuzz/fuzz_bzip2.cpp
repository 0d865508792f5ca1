// Any bytes through the bzip2 stream: the first byte picks the mode (its low bit: NSIS's bare
// blocks) and the size of the reads (64 bytes to 8 KiB), the rest is the compressed input.
// Output is read up to 4 MiB, a few blocks' worth.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/bqBZip2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const auto mode = (data[0] & 1) ? bq::TBZip2Mode::bzNSIS : bq::TBZip2Mode::bzStandard;
  bq::TArchiveMemorySource source(bq::TByteView(data + 1, size - 1));
  bq::TBZip2Stream stream(source, 0, mode);
  std::vector<uint8_t> buffer(size_t{64} << (data[0] >> 1 & 7));
  uint64_t total = 0;
  while (total < (uint64_t{4} << 20)) {
    const size_t n = stream.Read(buffer.data(), buffer.size());
    if (n == 0) break;
    if (n > buffer.size()) __builtin_trap();
    total += n;
  }
  if (stream.Position() != total || stream.InputPosition() > size - 1 + 8) __builtin_trap();
  return 0;
}
