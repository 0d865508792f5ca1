#include "hashes/quSHA2.h"

#if BQ_X86_ACCEL
#include <immintrin.h>
#endif

namespace bq {

namespace {

constexpr uint32_t K256[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline uint32_t Rotr32(uint32_t x, unsigned s) { return (x >> s) | (x << (32 - s)); }

void Compress256Portable(uint32_t* state, const uint8_t* p, size_t blocks) {
  while (blocks--) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i) w[i] = LoadBE32(p + 4 * i);
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = Rotr32(w[i - 15], 7) ^ Rotr32(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = Rotr32(w[i - 2], 17) ^ Rotr32(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    p += 64;
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
      const uint32_t t1 = h + (Rotr32(e, 6) ^ Rotr32(e, 11) ^ Rotr32(e, 25)) + ((e & f) ^ (~e & g)) + K256[i] + w[i];
      const uint32_t t2 = (Rotr32(a, 2) ^ Rotr32(a, 13) ^ Rotr32(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g; g = f; f = e; e = d + t1;
      d = c; c = b; b = a; a = t1 + t2;
    }
    state[0] += a; state[1] += b; state[2] += c; state[3] += d;
    state[4] += e; state[5] += f; state[6] += g; state[7] += h;
  }
}

#if BQ_X86_ACCEL

// SHA256RNDS2 runs two rounds on the state split as ABEF and CDGH, taking the
// two message-plus-constant words from the low half of its third operand;
// SHA256MSG1/SHA256MSG2 extend the schedule four words at a time.
BQ_TARGET("sha,ssse3,sse4.1")
void Compress256SHANI(uint32_t* state, const uint8_t* p, size_t blocks) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bll, 0x0405060700010203ll);
  __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));       // DCBA
  __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));    // HGFE
  tmp = _mm_shuffle_epi32(tmp, 0xB1);                                           // CDAB
  s1 = _mm_shuffle_epi32(s1, 0x1B);                                             // EFGH
  __m128i s0 = _mm_alignr_epi8(tmp, s1, 8);                                     // ABEF
  s1 = _mm_blend_epi16(s1, tmp, 0xF0);                                          // CDGH

  while (blocks--) {
    const __m128i save0 = s0, save1 = s1;
    __m128i m[4];
    for (int i = 0; i < 4; ++i)
      m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)), byteSwap);
    p += 64;
    for (int i = 0; i < 16; ++i) {
      __m128i& cur = m[i & 3];
      if (i >= 4) {
        // W[4i..4i+3] from the four vectors before it.
        cur = _mm_sha256msg1_epu32(cur, m[(i + 1) & 3]);
        cur = _mm_add_epi32(cur, _mm_alignr_epi8(m[(i + 3) & 3], m[(i + 2) & 3], 4));
        cur = _mm_sha256msg2_epu32(cur, m[(i + 3) & 3]);
      }
      __m128i wk = _mm_add_epi32(cur, _mm_loadu_si128(reinterpret_cast<const __m128i*>(K256 + 4 * i)));
      s1 = _mm_sha256rnds2_epu32(s1, s0, wk);
      s0 = _mm_sha256rnds2_epu32(s0, s1, _mm_shuffle_epi32(wk, 0x0E));
    }
    s0 = _mm_add_epi32(s0, save0);
    s1 = _mm_add_epi32(s1, save1);
  }
  tmp = _mm_shuffle_epi32(s0, 0x1B);                                 // FEBA
  s1 = _mm_shuffle_epi32(s1, 0xB1);                                  // DCHG
  s0 = _mm_blend_epi16(tmp, s1, 0xF0);                               // DCBA
  s1 = _mm_alignr_epi8(s1, tmp, 8);                                  // HGFE
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), s0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), s1);
}

#endif

void Compress256(uint32_t* state, const uint8_t* p, size_t blocks) {
#if BQ_X86_ACCEL
  if (UseSHANI()) return Compress256SHANI(state, p, blocks);
#endif
  Compress256Portable(state, p, blocks);
}

constexpr uint64_t K512[80] = {
    0x428a2f98d728ae22ull, 0x7137449123ef65cdull, 0xb5c0fbcfec4d3b2full, 0xe9b5dba58189dbbcull,
    0x3956c25bf348b538ull, 0x59f111f1b605d019ull, 0x923f82a4af194f9bull, 0xab1c5ed5da6d8118ull,
    0xd807aa98a3030242ull, 0x12835b0145706fbeull, 0x243185be4ee4b28cull, 0x550c7dc3d5ffb4e2ull,
    0x72be5d74f27b896full, 0x80deb1fe3b1696b1ull, 0x9bdc06a725c71235ull, 0xc19bf174cf692694ull,
    0xe49b69c19ef14ad2ull, 0xefbe4786384f25e3ull, 0x0fc19dc68b8cd5b5ull, 0x240ca1cc77ac9c65ull,
    0x2de92c6f592b0275ull, 0x4a7484aa6ea6e483ull, 0x5cb0a9dcbd41fbd4ull, 0x76f988da831153b5ull,
    0x983e5152ee66dfabull, 0xa831c66d2db43210ull, 0xb00327c898fb213full, 0xbf597fc7beef0ee4ull,
    0xc6e00bf33da88fc2ull, 0xd5a79147930aa725ull, 0x06ca6351e003826full, 0x142929670a0e6e70ull,
    0x27b70a8546d22ffcull, 0x2e1b21385c26c926ull, 0x4d2c6dfc5ac42aedull, 0x53380d139d95b3dfull,
    0x650a73548baf63deull, 0x766a0abb3c77b2a8ull, 0x81c2c92e47edaee6ull, 0x92722c851482353bull,
    0xa2bfe8a14cf10364ull, 0xa81a664bbc423001ull, 0xc24b8b70d0f89791ull, 0xc76c51a30654be30ull,
    0xd192e819d6ef5218ull, 0xd69906245565a910ull, 0xf40e35855771202aull, 0x106aa07032bbd1b8ull,
    0x19a4c116b8d2d0c8ull, 0x1e376c085141ab53ull, 0x2748774cdf8eeb99ull, 0x34b0bcb5e19b48a8ull,
    0x391c0cb3c5c95a63ull, 0x4ed8aa4ae3418acbull, 0x5b9cca4f7763e373ull, 0x682e6ff3d6b2b8a3ull,
    0x748f82ee5defb2fcull, 0x78a5636f43172f60ull, 0x84c87814a1f0ab72ull, 0x8cc702081a6439ecull,
    0x90befffa23631e28ull, 0xa4506cebde82bde9ull, 0xbef9a3f7b2c67915ull, 0xc67178f2e372532bull,
    0xca273eceea26619cull, 0xd186b8c721c0c207ull, 0xeada7dd6cde0eb1eull, 0xf57d4f7fee6ed178ull,
    0x06f067aa72176fbaull, 0x0a637dc5a2c898a6ull, 0x113f9804bef90daeull, 0x1b710b35131c471bull,
    0x28db77f523047d84ull, 0x32caab7b40c72493ull, 0x3c9ebe0a15c9bebcull, 0x431d67c49c100d4cull,
    0x4cc5d4becb3e42b6ull, 0x597f299cfc657e2aull, 0x5fcb6fab3ad6faecull, 0x6c44198c4a475817ull};

inline uint64_t Rotr64(uint64_t x, unsigned s) { return (x >> s) | (x << (64 - s)); }
inline uint64_t LoadBE64(const uint8_t* p) { return uint64_t(LoadBE32(p)) << 32 | LoadBE32(p + 4); }

void Compress512(uint64_t* state, const uint8_t* p, size_t blocks) {
  while (blocks--) {
    uint64_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = LoadBE64(p + 8 * i);
    p += 128;
    uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 80; ++i) {
      uint64_t wi;
      if (i < 16) {
        wi = w[i];
      } else {
        const uint64_t x = w[(i - 15) & 15], y = w[(i - 2) & 15];
        const uint64_t s0 = Rotr64(x, 1) ^ Rotr64(x, 8) ^ (x >> 7);
        const uint64_t s1 = Rotr64(y, 19) ^ Rotr64(y, 61) ^ (y >> 6);
        wi = w[i & 15] += s0 + w[(i - 7) & 15] + s1;
      }
      const uint64_t t1 = h + (Rotr64(e, 14) ^ Rotr64(e, 18) ^ Rotr64(e, 41)) + ((e & f) ^ (~e & g)) + K512[i] + wi;
      const uint64_t t2 = (Rotr64(a, 28) ^ Rotr64(a, 34) ^ Rotr64(a, 39)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g; g = f; f = e; e = d + t1;
      d = c; c = b; b = a; a = t1 + t2;
    }
    state[0] += a; state[1] += b; state[2] += c; state[3] += d;
    state[4] += e; state[5] += f; state[6] += g; state[7] += h;
  }
}

}  // namespace

void TSHA256::Init() {
  static constexpr uint32_t iv[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::memcpy(FState, iv, sizeof FState);
  FBuf.Reset();
}

void TSHA256::Update(const void* data, size_t n) {
  FBuf.Feed(data, n, [this](const uint8_t* p, size_t k) { Compress256(FState, p, k); });
}

void TSHA256::Final(uint8_t out[DigestSize]) {
  FBuf.Pad(true, [this](const uint8_t* p, size_t k) { Compress256(FState, p, k); });
  for (int i = 0; i < 8; ++i) StoreBE32(out + 4 * i, FState[i]);
  Init();
}

void TSHA512::Init() {
  static constexpr uint64_t iv[8] = {0x6a09e667f3bcc908ull, 0xbb67ae8584caa73bull, 0x3c6ef372fe94f82bull,
                                     0xa54ff53a5f1d36f1ull, 0x510e527fade682d1ull, 0x9b05688c2b3e6c1full,
                                     0x1f83d9abfb41bd6bull, 0x5be0cd19137e2179ull};
  InitState(iv);
}

void TSHA512::InitState(const uint64_t (&iv)[8]) {
  std::memcpy(FState, iv, sizeof FState);
  FFill = 0;
  FTotal = 0;
}

void TSHA384::Init() {
  static constexpr uint64_t iv[8] = {0xcbbb9d5dc1059ed8ull, 0x629a292a367cd507ull, 0x9159015a3070dd17ull,
                                     0x152fecd8f70e5939ull, 0x67332667ffc00b31ull, 0x8eb44a8768581511ull,
                                     0xdb0c2e0d64f98fa7ull, 0x47b5481dbefa4fa4ull};
  FCore.InitState(iv);
}

void TSHA384::Final(uint8_t out[DigestSize]) {
  uint8_t full[TSHA512::DigestSize];
  FCore.Final(full);
  std::memcpy(out, full, DigestSize);
  Init();
}

void TSHA512::Update(const void* data, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  FTotal += n;
  if (FFill) {
    const size_t take = 128 - FFill < n ? 128 - FFill : n;
    std::memcpy(FBuf + FFill, p, take);
    FFill += take; p += take; n -= take;
    if (FFill < 128) return;
    Compress512(FState, FBuf, 1);
    FFill = 0;
  }
  if (n >= 128) {
    Compress512(FState, p, n / 128);
    p += n & ~size_t(127);
    n &= 127;
  }
  if (n) { std::memcpy(FBuf, p, n); FFill = n; }
}

void TSHA512::Final(uint8_t out[DigestSize]) {
  // 0x80, zeros, then the 128-bit big-endian bit count (the top 61 bits are zero here).
  const uint64_t bits = FTotal * 8, high = FTotal >> 61;
  FBuf[FFill++] = 0x80;
  if (FFill > 112) {
    std::memset(FBuf + FFill, 0, 128 - FFill);
    Compress512(FState, FBuf, 1);
    FFill = 0;
  }
  std::memset(FBuf + FFill, 0, 112 - FFill);
  StoreBE32(FBuf + 112, uint32_t(high >> 32)); StoreBE32(FBuf + 116, uint32_t(high));
  StoreBE32(FBuf + 120, uint32_t(bits >> 32)); StoreBE32(FBuf + 124, uint32_t(bits));
  Compress512(FState, FBuf, 1);
  for (int i = 0; i < 8; ++i) {
    StoreBE32(out + 8 * i, uint32_t(FState[i] >> 32));
    StoreBE32(out + 8 * i + 4, uint32_t(FState[i]));
  }
  Init();
}

}  // namespace bq
