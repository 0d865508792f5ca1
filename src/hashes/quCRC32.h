// CRC-32 as used by ZIP, zlib, PNG and SFV files: reflected polynomial
// 0xEDB88320, register preset to all ones, result inverted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bq {

class TCRC32 {
public:
  static constexpr size_t DigestSize = 4;

  TCRC32() { Init(); }
  void Init() { FReg = 0xFFFFFFFFu; }
  void Update(const void* data, size_t n);
  // Stores the CRC big-endian, so its hex form reads like the usual "%08X".
  void Final(uint8_t out[DigestSize]);
  // The CRC of everything fed so far (does not end the stream).
  uint32_t Value() const { return ~FReg; }

  // One-shot helper; crc is a previous Value() to continue from (0 to start).
  static uint32_t Compute(const void* data, size_t n, uint32_t crc = 0);

private:
  uint32_t FReg;
};

}  // namespace bq
