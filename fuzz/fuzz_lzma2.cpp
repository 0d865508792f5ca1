// Any bytes as an LZMA2 stream: the first byte is the dictionary byte, the second picks the
// output bound. Decoded whole and in small pieces, the two must agree byte for byte.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/bqLzma2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const bq::TByteView input(data + 2, size - 2);
  const size_t limit = size_t{1} << (data[1] % 19);  // up to 256 KiB
  std::vector<uint8_t> whole;
  std::string error;
  const bool ok = bq::Lzma2DecodeAll(input, data[0] % 48, limit, whole, error);
  if (whole.size() > limit) __builtin_trap();

  bq::TLzma2Decoder d;
  std::vector<uint8_t> pieces;
  if (d.Init(data[0] % 48, limit)) {
    size_t at = 0;
    uint8_t buffer[1009];
    while (!d.Finished() && d.Error().empty() && pieces.size() <= limit) {
      size_t used = 0;
      const size_t give = std::min<size_t>(1 + (at * 7 + 3) % 200, input.Size() - at);  // pieces of 1 to 200 bytes
      const size_t n = d.Decode(input.Data() + at, give, used, buffer, sizeof buffer);
      pieces.insert(pieces.end(), buffer, buffer + n);
      at += used;
      if (n == 0 && used == 0) break;
    }
    // Both see the same bytes up to where either stopped.
    const size_t common = std::min(whole.size(), pieces.size());
    for (size_t i = 0; i < common; ++i)
      if (whole[i] != pieces[i]) __builtin_trap();
    if (ok && (!d.Finished() || pieces != whole)) __builtin_trap();
  }
  return 0;
}
