#include "hashes/quCRC64.h"

#include <array>

#include "hashes/quDigestBase.h"

#include "hashes/quCrcFold.h"

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

// The constants are remainders of x^n mod P, bit reversed. A half moved D bits along is
// multiplied by x^(D+64) (the low half) or x^D (the high one); the reflected product of two
// 64-bit values comes out one power short, so the powers used are D+63 and D-1.
constexpr uint64_t FoldConstant(unsigned n) {
  uint64_t r = 1;  // x^n mod P, normal bit order (P without its x^64 term)
  for (unsigned i = 0; i < n; ++i) r = (r << 1) ^ ((r >> 63) ? 0x42F0E1EBA9EA3693ull : 0);
  uint64_t rev = 0;
  for (int i = 0; i < 64; ++i)
    if (r & (1ull << i)) rev |= 1ull << (63 - i);
  return rev;
}

constexpr crcfold::TFoldConstants kFold = {FoldConstant(512 + 63), FoldConstant(512 - 1), FoldConstant(128 + 63),
                                           FoldConstant(128 - 1)};

// Needs n >= 64. The folded lane, run through the table code from a zero register, reduces to
// the 64-bit register.
uint64_t CrcClmul(uint64_t reg, const uint8_t* p, size_t n) {
  uint8_t lane[16];
  p = crcfold::FoldAll(reg, p, n, kFold, lane);
  return CrcTable(CrcTable(0, lane, 16), p, n);
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
