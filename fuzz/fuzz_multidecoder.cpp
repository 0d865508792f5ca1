// Any bytes through TMultiDecoder: the first byte picks the method and the output bound, the
// next five are the LZMA properties, the rest is the compressed input.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/zoxCompression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  const bq::TByteView input(data + 6, size - 6);
  std::vector<uint8_t> out;
  bq::TMultiDecoder d;
  d.Method = static_cast<bq::TCompressionMethod>(data[0] % 5);
  d.Input = &input;
  d.Output = &out;
  d.Size = uint64_t{1} << (data[0] / 5 % 25);  // up to 16 MiB
  try {
    d.SetProperties(uint32_t{data[2]} | uint32_t{data[3]} << 8 | uint32_t{data[4]} << 16 | uint32_t{data[5]} << 24,
                    data[1], 5, data + 1);
    d.Decode();
  } catch (const bq::EDecompressionError&) {
  }
  if (out.size() > d.Size) __builtin_trap();  // the bound holds for every method
  return 0;
}
