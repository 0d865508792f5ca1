// SHA-256, SHA-512 and SHA-384 (FIPS 180-4). SHA-256 uses the x86 SHA extensions when
// the CPU has them.
#pragma once

#include "hashes/quDigestBase.h"

namespace bq {

class TSHA256 {
public:
  static constexpr size_t DigestSize = 32;

  TSHA256() { Init(); }
  void Init();
  void Update(const void* data, size_t n);
  void Final(uint8_t out[DigestSize]);  // also re-initialises

private:
  uint32_t FState[8];
  TBlockBuffer FBuf;
};

class TSHA512 {
public:
  static constexpr size_t DigestSize = 64;

  TSHA512() { Init(); }
  void Init();
  void Update(const void* data, size_t n);
  void Final(uint8_t out[DigestSize]);  // also re-initialises

private:
  friend class TSHA384;
  void InitState(const uint64_t (&iv)[8]);
  uint64_t FState[8];
  uint8_t FBuf[128];
  size_t FFill = 0;
  uint64_t FTotal = 0;  // bytes; a message is far below 2^64 bytes
};

// SHA-512 from its own initial values, cut to 48 bytes.
class TSHA384 {
public:
  static constexpr size_t DigestSize = 48;

  TSHA384() { Init(); }
  void Init();
  void Update(const void* data, size_t n) { FCore.Update(data, n); }
  void Final(uint8_t out[DigestSize]);  // also re-initialises

private:
  TSHA512 FCore;
};

}  // namespace bq
