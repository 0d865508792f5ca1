#include "hashes/quMD4.h"

namespace bq {

namespace {

#define MD4_F(b, c, d) ((((c) ^ (d)) & (b)) ^ (d))
#define MD4_G(b, c, d) (((b) & ((c) | (d))) | ((c) & (d)))
#define MD4_H(b, c, d) ((b) ^ ((c) ^ (d)))
#define MD4_STEP(f, a, b, c, d, x, s) a = Rotl32(a + (x) + f(b, c, d), s);

void Compress(uint32_t* state, const uint8_t* p, size_t blocks) {
  uint32_t a0 = state[0], b0 = state[1], c0 = state[2], d0 = state[3];
  while (blocks--) {
    uint32_t x[16];
    LoadBlockLE(x, p);
    p += 64;
    uint32_t a = a0, b = b0, c = c0, d = d0;

    for (int i = 0; i < 16; i += 4) {
      MD4_STEP(MD4_F, a, b, c, d, x[i], 3)
      MD4_STEP(MD4_F, d, a, b, c, x[i + 1], 7)
      MD4_STEP(MD4_F, c, d, a, b, x[i + 2], 11)
      MD4_STEP(MD4_F, b, c, d, a, x[i + 3], 19)
    }
    for (int i = 0; i < 4; ++i) {
      const uint32_t k = 0x5a827999;
      MD4_STEP(MD4_G, a, b, c, d, x[i] + k, 3)
      MD4_STEP(MD4_G, d, a, b, c, x[i + 4] + k, 5)
      MD4_STEP(MD4_G, c, d, a, b, x[i + 8] + k, 9)
      MD4_STEP(MD4_G, b, c, d, a, x[i + 12] + k, 13)
    }
    static constexpr int kOrder3[4] = {0, 2, 1, 3};
    for (int j = 0; j < 4; ++j) {
      const uint32_t k = 0x6ed9eba1;
      const int i = kOrder3[j];
      MD4_STEP(MD4_H, a, b, c, d, x[i] + k, 3)
      MD4_STEP(MD4_H, d, a, b, c, x[i + 8] + k, 9)
      MD4_STEP(MD4_H, c, d, a, b, x[i + 4] + k, 11)
      MD4_STEP(MD4_H, b, c, d, a, x[i + 12] + k, 15)
    }

    a0 += a; b0 += b; c0 += c; d0 += d;
  }
  state[0] = a0; state[1] = b0; state[2] = c0; state[3] = d0;
}

}  // namespace

void TMD4::Init() {
  FState[0] = 0x67452301; FState[1] = 0xefcdab89; FState[2] = 0x98badcfe; FState[3] = 0x10325476;
  FBuf.Reset();
}

void TMD4::Update(const void* data, size_t n) {
  FBuf.Feed(data, n, [this](const uint8_t* p, size_t k) { Compress(FState, p, k); });
}

void TMD4::Final(uint8_t out[DigestSize]) {
  FBuf.Pad(false, [this](const uint8_t* p, size_t k) { Compress(FState, p, k); });
  for (int i = 0; i < 4; ++i) StoreLE32(out + 4 * i, FState[i]);
  Init();
}

}  // namespace bq
