// SHA-1 (FIPS 180-1). Uses the x86 SHA extensions when the CPU has them.
#pragma once

#include "hashes/quDigestBase.h"

namespace bq {

class TSHA1 {
public:
  static constexpr size_t DigestSize = 20;

  TSHA1() { Init(); }
  void Init();
  void Update(const void* data, size_t n);
  void Final(uint8_t out[DigestSize]);  // also re-initialises

private:
  uint32_t FState[5];
  TBlockBuffer FBuf;
};

}  // namespace bq
