#include "hashes/quSHA1.h"

#if BQ_X86_ACCEL
#include <immintrin.h>
#endif

namespace bq {

namespace {

void CompressPortable(uint32_t* state, const uint8_t* p, size_t blocks) {
  while (blocks--) {
    uint32_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = LoadBE32(p + 4 * i);
    p += 64;
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    auto next = [&w](int t) {
      uint32_t v = Rotl32(w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ w[t & 15], 1);
      w[t & 15] = v;
      return v;
    };
    // Each step: e += rotl(a,5) + f(b,c,d) + k + w; b = rotl(b,30); then the
    // names rotate, which the unrolled loops do by permuting arguments.
#define SHA1_STEP(f, k, a, b, c, d, e, wt) \
  e += Rotl32(a, 5) + (f) + (k) + (wt);    \
  b = Rotl32(b, 30);
#define SHA1_CH(b, c, d) ((((c) ^ (d)) & (b)) ^ (d))
#define SHA1_PAR(b, c, d) ((b) ^ (c) ^ (d))
#define SHA1_MAJ(b, c, d) (((b) & (c)) | (((b) | (c)) & (d)))
#define SHA1_FIVE(F, k, t, W)                          \
  SHA1_STEP(F(b, c, d), k, a, b, c, d, e, W(t))        \
  SHA1_STEP(F(a, b, c), k, e, a, b, c, d, W(t + 1))    \
  SHA1_STEP(F(e, a, b), k, d, e, a, b, c, W(t + 2))    \
  SHA1_STEP(F(d, e, a), k, c, d, e, a, b, W(t + 3))    \
  SHA1_STEP(F(c, d, e), k, b, c, d, e, a, W(t + 4))
#define SHA1_W0(t) w[t]
#define SHA1_WN(t) next(t)
    SHA1_FIVE(SHA1_CH, 0x5a827999, 0, SHA1_W0)
    SHA1_FIVE(SHA1_CH, 0x5a827999, 5, SHA1_W0)
    SHA1_FIVE(SHA1_CH, 0x5a827999, 10, SHA1_W0)
    SHA1_STEP(SHA1_CH(b, c, d), 0x5a827999, a, b, c, d, e, w[15])
    SHA1_STEP(SHA1_CH(a, b, c), 0x5a827999, e, a, b, c, d, next(16))
    SHA1_STEP(SHA1_CH(e, a, b), 0x5a827999, d, e, a, b, c, next(17))
    SHA1_STEP(SHA1_CH(d, e, a), 0x5a827999, c, d, e, a, b, next(18))
    SHA1_STEP(SHA1_CH(c, d, e), 0x5a827999, b, c, d, e, a, next(19))
    for (int t = 20; t < 40; t += 5) { SHA1_FIVE(SHA1_PAR, 0x6ed9eba1, t, SHA1_WN) }
    for (int t = 40; t < 60; t += 5) { SHA1_FIVE(SHA1_MAJ, 0x8f1bbcdc, t, SHA1_WN) }
    for (int t = 60; t < 80; t += 5) { SHA1_FIVE(SHA1_PAR, 0xca62c1d6, t, SHA1_WN) }
    state[0] += a; state[1] += b; state[2] += c; state[3] += d; state[4] += e;
  }
}

#if BQ_X86_ACCEL

// SHA1RNDS4 runs four rounds on ABCD (A in the top lane) with E plus four
// message words pre-added; SHA1NEXTE derives the next E from the A four rounds
// earlier. SHA1MSG1/SHA1MSG2 extend the message schedule four words at a time.
BQ_TARGET("sha,ssse3,sse4.1")
void CompressSHANI(uint32_t* state, const uint8_t* p, size_t blocks) {
  const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607ll, 0x08090a0b0c0d0e0fll);
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
  __m128i e0 = _mm_set_epi32(int(state[4]), 0, 0, 0);

  while (blocks--) {
    const __m128i abcdSave = abcd, eSave = e0;
    __m128i m[4];
    for (int i = 0; i < 4; ++i)
      m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)), byteSwap);
    p += 64;

    __m128i prev = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, _mm_add_epi32(e0, m[0]), 0);
    // Group i (rounds 4i..4i+3) uses schedule vector i, kept in m[i % 4].
#define SHA1NI_GROUP(i, func)                                                              \
  {                                                                                        \
    if ((i) >= 4)                                                                          \
      m[(i) & 3] = _mm_sha1msg2_epu32(                                                     \
          _mm_xor_si128(_mm_sha1msg1_epu32(m[(i) & 3], m[((i) + 1) & 3]), m[((i) + 2) & 3]), \
          m[((i) + 3) & 3]);                                                               \
    __m128i e = _mm_sha1nexte_epu32(prev, m[(i) & 3]);                                     \
    prev = abcd;                                                                           \
    abcd = _mm_sha1rnds4_epu32(abcd, e, func);                                             \
  }
    SHA1NI_GROUP(1, 0) SHA1NI_GROUP(2, 0) SHA1NI_GROUP(3, 0) SHA1NI_GROUP(4, 0)
    SHA1NI_GROUP(5, 1) SHA1NI_GROUP(6, 1) SHA1NI_GROUP(7, 1) SHA1NI_GROUP(8, 1) SHA1NI_GROUP(9, 1)
    SHA1NI_GROUP(10, 2) SHA1NI_GROUP(11, 2) SHA1NI_GROUP(12, 2) SHA1NI_GROUP(13, 2) SHA1NI_GROUP(14, 2)
    SHA1NI_GROUP(15, 3) SHA1NI_GROUP(16, 3) SHA1NI_GROUP(17, 3) SHA1NI_GROUP(18, 3) SHA1NI_GROUP(19, 3)
#undef SHA1NI_GROUP

    e0 = _mm_sha1nexte_epu32(prev, eSave);
    abcd = _mm_add_epi32(abcd, abcdSave);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
  state[4] = uint32_t(_mm_extract_epi32(e0, 3));
}

#endif

void Compress(uint32_t* state, const uint8_t* p, size_t blocks) {
#if BQ_X86_ACCEL
  if (UseSHANI()) return CompressSHANI(state, p, blocks);
#endif
  CompressPortable(state, p, blocks);
}

}  // namespace

void TSHA1::Init() {
  FState[0] = 0x67452301; FState[1] = 0xefcdab89; FState[2] = 0x98badcfe;
  FState[3] = 0x10325476; FState[4] = 0xc3d2e1f0;
  FBuf.Reset();
}

void TSHA1::Update(const void* data, size_t n) {
  FBuf.Feed(data, n, [this](const uint8_t* p, size_t k) { Compress(FState, p, k); });
}

void TSHA1::Final(uint8_t out[DigestSize]) {
  FBuf.Pad(true, [this](const uint8_t* p, size_t k) { Compress(FState, p, k); });
  for (int i = 0; i < 5; ++i) StoreBE32(out + 4 * i, FState[i]);
  Init();
}

}  // namespace bq
