// SHA3-256 (FIPS 202): Keccak-f[1600] with a 136-byte rate.
#pragma once

#include "hashes/quDigestBase.h"

namespace bq {

class TSHA3_256 {
public:
  static constexpr size_t DigestSize = 32;
  static constexpr size_t Rate = 136;

  TSHA3_256() { Init(); }
  void Init();
  void Update(const void* data, size_t n);
  void Final(uint8_t out[DigestSize]);  // also re-initialises

private:
  uint64_t FState[25];
  uint8_t FBuf[Rate];
  size_t FFill = 0;
};

}  // namespace bq
