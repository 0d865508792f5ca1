#include "hashes/quSHA3.h"

namespace bq {

namespace {

constexpr uint64_t kRoundConstants[24] = {
    0x0000000000000001ull, 0x0000000000008082ull, 0x800000000000808aull, 0x8000000080008000ull,
    0x000000000000808bull, 0x0000000080000001ull, 0x8000000080008081ull, 0x8000000000008009ull,
    0x000000000000008aull, 0x0000000000000088ull, 0x0000000080008009ull, 0x000000008000000aull,
    0x000000008000808bull, 0x800000000000008bull, 0x8000000000008089ull, 0x8000000000008003ull,
    0x8000000000008002ull, 0x8000000000000080ull, 0x000000000000800aull, 0x800000008000000aull,
    0x8000000080008081ull, 0x8000000000008080ull, 0x0000000080000001ull, 0x8000000080008008ull};

inline uint64_t Rotl64(uint64_t x, unsigned s) { return s ? (x << s) | (x >> (64 - s)) : x; }

// Lane (x, y) is a[x + 5y]. The loops have constant bounds and indices so that the compiler
// unrolls them and keeps the lanes in registers.
void KeccakF1600(uint64_t (&a)[25]) {
  // Rotation offset of lane i, and where the pi step moves it: (x, y) -> (y, 2x + 3y).
  static constexpr unsigned kRho[25] = {0,  1,  62, 28, 27, 36, 44, 6,  55, 20, 3,  10, 43,
                                        25, 39, 41, 45, 15, 21, 8,  18, 2,  61, 56, 14};
  static constexpr unsigned kPi[25] = {0,  10, 20, 5,  15, 16, 1,  11, 21, 6,  7,  17, 2,
                                       12, 22, 23, 8,  18, 3,  13, 14, 24, 9,  19, 4};
  for (int round = 0; round < 24; ++round) {
    uint64_t c[5], d[5], b[25];
#pragma GCC unroll 5
    for (int x = 0; x < 5; ++x) c[x] = a[x] ^ a[x + 5] ^ a[x + 10] ^ a[x + 15] ^ a[x + 20];
#pragma GCC unroll 5
    for (int x = 0; x < 5; ++x) d[x] = c[(x + 4) % 5] ^ Rotl64(c[(x + 1) % 5], 1);
#pragma GCC unroll 25
    for (int i = 0; i < 25; ++i) b[kPi[i]] = Rotl64(a[i] ^ d[i % 5], kRho[i]);
#pragma GCC unroll 25
    for (int i = 0; i < 25; ++i) a[i] = b[i] ^ (~b[i - i % 5 + (i + 1) % 5] & b[i - i % 5 + (i + 2) % 5]);
    a[0] ^= kRoundConstants[round];
  }
}

inline uint64_t LoadLE64(const uint8_t* p) { return uint64_t(LoadLE32(p)) | uint64_t(LoadLE32(p + 4)) << 32; }

void Absorb(uint64_t (&state)[25], const uint8_t* p) {
  for (size_t i = 0; i < TSHA3_256::Rate / 8; ++i) state[i] ^= LoadLE64(p + 8 * i);
  KeccakF1600(state);
}

}  // namespace

void TSHA3_256::Init() {
  std::memset(FState, 0, sizeof FState);
  FFill = 0;
}

void TSHA3_256::Update(const void* data, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  if (FFill) {
    const size_t take = Rate - FFill < n ? Rate - FFill : n;
    std::memcpy(FBuf + FFill, p, take);
    FFill += take; p += take; n -= take;
    if (FFill < Rate) return;
    Absorb(FState, FBuf);
    FFill = 0;
  }
  for (; n >= Rate; p += Rate, n -= Rate) Absorb(FState, p);
  if (n) { std::memcpy(FBuf, p, n); FFill = n; }
}

void TSHA3_256::Final(uint8_t out[DigestSize]) {
  // The SHA-3 domain bits 01 and the first bit of pad10*1, then its last bit.
  std::memset(FBuf + FFill, 0, Rate - FFill);
  FBuf[FFill] ^= 0x06;
  FBuf[Rate - 1] ^= 0x80;
  Absorb(FState, FBuf);
  for (size_t i = 0; i < DigestSize / 8; ++i) {
    StoreLE32(out + 8 * i, uint32_t(FState[i]));
    StoreLE32(out + 8 * i + 4, uint32_t(FState[i] >> 32));
  }
  Init();
}

}  // namespace bq
