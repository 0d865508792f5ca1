#include "hashes/quCRC32.h"

#include <array>

#include "hashes/quDigestBase.h"

#if BQ_X86_ACCEL
#include <immintrin.h>
#endif

namespace bq {

namespace {

constexpr uint32_t kPoly = 0xEDB88320u;  // reflected 0x04C11DB7

// Slice-by-16 tables: T[k][b] is the register change of byte b followed by k
// zero bytes.
using TCrcTables = std::array<std::array<uint32_t, 256>, 16>;

constexpr TCrcTables MakeTables() {
  TCrcTables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (kPoly & (0u - (c & 1)));
    t[0][i] = c;
  }
  for (size_t k = 1; k < 16; ++k)
    for (size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

constexpr TCrcTables kTables = MakeTables();

uint32_t CrcTable(uint32_t reg, const uint8_t* p, size_t n) {
  const auto& T = kTables;
  while (n >= 16) {
    uint32_t a = LoadLE32(p) ^ reg, b = LoadLE32(p + 4), c = LoadLE32(p + 8), d = LoadLE32(p + 12);
    reg = T[15][a & 0xFF] ^ T[14][(a >> 8) & 0xFF] ^ T[13][(a >> 16) & 0xFF] ^ T[12][a >> 24] ^
          T[11][b & 0xFF] ^ T[10][(b >> 8) & 0xFF] ^ T[9][(b >> 16) & 0xFF] ^ T[8][b >> 24] ^
          T[7][c & 0xFF] ^ T[6][(c >> 8) & 0xFF] ^ T[5][(c >> 16) & 0xFF] ^ T[4][c >> 24] ^
          T[3][d & 0xFF] ^ T[2][(d >> 8) & 0xFF] ^ T[1][(d >> 16) & 0xFF] ^ T[0][d >> 24];
    p += 16;
    n -= 16;
  }
  while (n--) reg = T[0][(reg ^ *p++) & 0xFF] ^ (reg >> 8);
  return reg;
}

#if BQ_X86_ACCEL

// Carry-less multiplication folding. A 16-byte lane holds 128 message bits,
// the first byte's low bit being the highest power of x. Shifting a lane D bits
// further along the message multiplies it by x^D; each 64-bit half is instead
// multiplied by a 32-bit remainder of x^n mod P, giving a 96-bit product that
// lands inside the target lane. The constants are those remainders, bit
// reversed and shifted left once to make up for the reflected product coming
// out one bit short.
constexpr uint64_t FoldConstant(unsigned n) {
  uint64_t r = 1;  // x^n mod P, normal bit order
  for (unsigned i = 0; i < n; ++i) {
    r <<= 1;
    if (r & 0x100000000ull) r ^= 0x104C11DB7ull;
  }
  uint64_t rev = 0;
  for (int i = 0; i < 32; ++i)
    if (r & (1ull << i)) rev |= 1ull << (31 - i);
  return rev << 1;
}

// The low half of a lane holds the earlier (higher order) bits.
constexpr uint64_t kFold512Lo = FoldConstant(512 + 32), kFold512Hi = FoldConstant(512 - 32);
constexpr uint64_t kFold128Lo = FoldConstant(128 + 32), kFold128Hi = FoldConstant(128 - 32);

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
uint32_t CrcClmul(uint32_t reg, const uint8_t* p, size_t n) {
  const __m128i k512 = _mm_set_epi64x(int64_t(kFold512Hi), int64_t(kFold512Lo));
  const __m128i k128 = _mm_set_epi64x(int64_t(kFold128Hi), int64_t(kFold128Lo));

  __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(int(reg)));
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
  // The folded lane is congruent to everything so far; running it through
  // the table code from a zero register reduces it to the 32-bit register.
  alignas(16) uint8_t rest[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(rest), x);
  reg = CrcTable(0, rest, 16);
  return CrcTable(reg, p, n);
}

#endif

uint32_t CrcUpdate(uint32_t reg, const uint8_t* p, size_t n) {
#if BQ_X86_ACCEL
  if (n >= 64 && UsePCLMUL()) return CrcClmul(reg, p, n);
#endif
  return CrcTable(reg, p, n);
}

}  // namespace

void TCRC32::Update(const void* data, size_t n) {
  FReg = CrcUpdate(FReg, static_cast<const uint8_t*>(data), n);
}

void TCRC32::Final(uint8_t out[DigestSize]) {
  StoreBE32(out, ~FReg);
  Init();
}

uint32_t TCRC32::Compute(const void* data, size_t n, uint32_t crc) {
  return ~CrcUpdate(~crc, static_cast<const uint8_t*>(data), n);
}

}  // namespace bq
