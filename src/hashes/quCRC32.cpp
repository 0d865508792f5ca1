#include "hashes/quCRC32.h"

#include <array>

#include "hashes/quDigestBase.h"

#include "hashes/quCrcFold.h"

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

// The constants are remainders of x^n mod P, bit reversed and shifted left once to make up for
// the reflected product coming out one bit short; a 32-bit remainder multiplies a 64-bit half
// into a 96-bit product, so the powers are 32 off the distance.
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

constexpr crcfold::TFoldConstants kFold = {FoldConstant(512 + 32), FoldConstant(512 - 32), FoldConstant(128 + 32),
                                           FoldConstant(128 - 32)};

// Needs n >= 64. The folded lane, run through the table code from a zero register, reduces to
// the 32-bit register.
uint32_t CrcClmul(uint32_t reg, const uint8_t* p, size_t n) {
  uint8_t lane[16];
  p = crcfold::FoldAll(reg, p, n, kFold, lane);
  return CrcTable(CrcTable(0, lane, 16), p, n);
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
