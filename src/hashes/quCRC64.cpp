#include "hashes/quCRC64.h"

#include <array>

#include "hashes/quDigestBase.h"

#if BQ_X86_ACCEL
#include <immintrin.h>
#endif

namespace bq {

namespace {

constexpr uint64_t kPoly = 0xC96C5795D7870F42ull;  // reflected 0x42F0E1EBA9EA3693

inline uint64_t LoadLE64(const uint8_t* p) { return uint64_t(LoadLE32(p)) | uint64_t(LoadLE32(p + 4)) << 32; }

// Slice-by-8 tables: T[k][b] is the register change of byte b followed by k zero bytes.
using TCrcTables = std::array<std::array<uint64_t, 256>, 8>;

constexpr TCrcTables MakeTables() {
  TCrcTables t{};
  for (uint64_t i = 0; i < 256; ++i) {
    uint64_t c = i;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (kPoly & (0ull - (c & 1)));
    t[0][i] = c;
  }
  for (size_t k = 1; k < 8; ++k)
    for (size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

constexpr TCrcTables kTables = MakeTables();

uint64_t CrcTable(uint64_t reg, const uint8_t* p, size_t n) {
  const auto& T = kTables;
  while (n >= 8) {
    const uint64_t a = LoadLE64(p) ^ reg;
    reg = T[7][a & 0xFF] ^ T[6][(a >> 8) & 0xFF] ^ T[5][(a >> 16) & 0xFF] ^ T[4][(a >> 24) & 0xFF] ^
          T[3][(a >> 32) & 0xFF] ^ T[2][(a >> 40) & 0xFF] ^ T[1][(a >> 48) & 0xFF] ^ T[0][a >> 56];
    p += 8;
    n -= 8;
  }
  while (n--) reg = T[0][(reg ^ *p++) & 0xFF] ^ (reg >> 8);
  return reg;
}

#if BQ_X86_ACCEL

// Carry-less multiplication folding, as for CRC-32: a 16-byte lane holds 128 message bits, the
// first byte's low bit being the highest power of x. Moving a lane D bits further along the
// message multiplies its low half by x^(D+64) and its high half by x^D; both are replaced by
// their remainders mod P, bit reversed. The reflected product of two 64-bit values comes out
// one power short, so the constants are the remainders of x^(D+63) and x^(D-1).
constexpr uint64_t FoldConstant(unsigned n) {
  uint64_t r = 1;  // x^n mod P, normal bit order (P without its x^64 term)
  for (unsigned i = 0; i < n; ++i) r = (r << 1) ^ ((r >> 63) ? 0x42F0E1EBA9EA3693ull : 0);
  uint64_t rev = 0;
  for (int i = 0; i < 64; ++i)
    if (r & (1ull << i)) rev |= 1ull << (63 - i);
  return rev;
}

constexpr uint64_t kFold512Lo = FoldConstant(512 + 63), kFold512Hi = FoldConstant(512 - 1);
constexpr uint64_t kFold128Lo = FoldConstant(128 + 63), kFold128Hi = FoldConstant(128 - 1);

BQ_TARGET("pclmul,sse4.1")
inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

BQ_TARGET("pclmul,sse4.1")
inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

// Needs n >= 64.
BQ_TARGET("pclmul,sse4.1")
uint64_t CrcClmul(uint64_t reg, const uint8_t* p, size_t n) {
  const __m128i k512 = _mm_set_epi64x(int64_t(kFold512Hi), int64_t(kFold512Lo));
  const __m128i k128 = _mm_set_epi64x(int64_t(kFold128Hi), int64_t(kFold128Lo));

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
  // The folded lane is congruent to everything so far; the table code from a zero register
  // reduces it to the 64-bit register.
  alignas(16) uint8_t rest[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(rest), x);
  reg = CrcTable(0, rest, 16);
  return CrcTable(reg, p, n);
}

#endif

}  // namespace

uint64_t Crc64(const void* data, size_t n, uint64_t crc) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
#if BQ_X86_ACCEL
  if (n >= 64 && UsePCLMUL()) return ~CrcClmul(~crc, p, n);
#endif
  return ~CrcTable(~crc, p, n);
}

}  // namespace bq
