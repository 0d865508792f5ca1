// MD5 (RFC 1321).
#pragma once

#include "hashes/quDigestBase.h"

namespace bq {

class TMD5 {
public:
  static constexpr size_t DigestSize = 16;

  TMD5() { Init(); }
  void Init();
  void Update(const void* data, size_t n);
  void Final(uint8_t out[DigestSize]);  // also re-initialises

private:
  uint32_t FState[4];
  TBlockBuffer FBuf;
};

}  // namespace bq
