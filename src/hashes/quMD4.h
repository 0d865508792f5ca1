// MD4 (RFC 1320). Broken as a cryptographic hash; kept for eDonkey/ED2K style
// checksums and old tools.
#pragma once

#include "hashes/quDigestBase.h"

namespace bq {

class TMD4 {
public:
  static constexpr size_t DigestSize = 16;

  TMD4() { Init(); }
  void Init();
  void Update(const void* data, size_t n);
  void Final(uint8_t out[DigestSize]);  // also re-initialises

private:
  uint32_t FState[4];
  TBlockBuffer FBuf;
};

}  // namespace bq
