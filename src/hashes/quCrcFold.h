// Carry-less multiplication folding for reflected CRCs, shared by CRC-32 and CRC-64. A 16-byte
// lane holds 128 message bits, the first byte's low bit being the highest power of x. Moving a
// lane D bits further along the message multiplies each 64-bit half by a power of x; each half
// is instead multiplied by that power's remainder mod P (the fold constants, computed by the
// caller), giving a product that lands inside the target lane.
#pragma once

#include "hashes/quDigestBase.h"

#if BQ_X86_ACCEL
#include <immintrin.h>

namespace bq::crcfold {

struct TFoldConstants {
  uint64_t Lo512, Hi512, Lo128, Hi128;  // the low half of a lane holds the earlier bits
};

BQ_TARGET("pclmul,sse4.1")
inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

BQ_TARGET("pclmul,sse4.1")
inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

// Folds p[0, n) (n >= 64), the register xored into its first bytes, into one lane congruent to
// the whole; stores it in lane and returns the bytes left after it (fewer than 16).
BQ_TARGET("pclmul,sse4.1")
inline const uint8_t* FoldAll(uint64_t reg, const uint8_t* p, size_t& n, const TFoldConstants& c, uint8_t (&lane)[16]) {
  const __m128i k512 = _mm_set_epi64x(int64_t(c.Hi512), int64_t(c.Lo512));
  const __m128i k128 = _mm_set_epi64x(int64_t(c.Hi128), int64_t(c.Lo128));
  __m128i x0 = _mm_xor_si128(Load(p), _mm_set_epi64x(0, int64_t(reg)));
  __m128i x1 = Load(p + 16), x2 = Load(p + 32), x3 = Load(p + 48);
  p += 64;
  n -= 64;
  while (n >= 64) {
    x0 = Fold(x0, k512, Load(p));
    x1 = Fold(x1, k512, Load(p + 16));
    x2 = Fold(x2, k512, Load(p + 32));
    x3 = Fold(x3, k512, Load(p + 48));
    p += 64;
    n -= 64;
  }
  __m128i x = Fold(x0, k128, x1);
  x = Fold(x, k128, x2);
  x = Fold(x, k128, x3);
  while (n >= 16) {
    x = Fold(x, k128, Load(p));
    p += 16;
    n -= 16;
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lane), x);
  return p;
}

}  // namespace bq::crcfold
#endif
