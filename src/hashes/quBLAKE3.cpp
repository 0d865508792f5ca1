#include "hashes/quBLAKE3.h"

#if BQ_X86_ACCEL && defined(__SSE2__)  // 32-bit x86 targets leave SSE2 out: the scalar code serves them
#include <emmintrin.h>
#endif

namespace bq {

namespace {

constexpr uint32_t kIV[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
constexpr uint32_t fChunkStart = 1, fChunkEnd = 2, fParent = 4, fRoot = 8;

// Message word order for each round: the permutation applied r times.
constexpr uint8_t kSchedule[7][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {2, 6, 3, 10, 7, 0, 4, 13, 1, 11, 12, 5, 9, 14, 15, 8},
    {3, 4, 10, 12, 13, 2, 7, 14, 6, 5, 9, 0, 11, 15, 8, 1}, {10, 7, 12, 9, 14, 3, 13, 15, 4, 0, 11, 2, 5, 8, 1, 6},
    {12, 13, 9, 11, 15, 10, 14, 8, 7, 2, 5, 3, 0, 1, 6, 4}, {9, 14, 11, 5, 8, 12, 15, 1, 13, 3, 0, 10, 2, 6, 4, 7},
    {11, 15, 5, 0, 1, 9, 8, 6, 14, 10, 2, 12, 3, 4, 7, 13}};

inline uint32_t Rotr32(uint32_t x, unsigned s) { return (x >> s) | (x << (32 - s)); }

inline void G(uint32_t* v, int a, int b, int c, int d, uint32_t mx, uint32_t my) {
  v[a] += v[b] + mx; v[d] = Rotr32(v[d] ^ v[a], 16);
  v[c] += v[d];      v[b] = Rotr32(v[b] ^ v[c], 12);
  v[a] += v[b] + my; v[d] = Rotr32(v[d] ^ v[a], 8);
  v[c] += v[d];      v[b] = Rotr32(v[b] ^ v[c], 7);
}

// The sixteen state words after the seven rounds, before the feed-forward.
void Rounds(uint32_t (&v)[16], const uint32_t (&cv)[8], const uint32_t (&block)[16], uint64_t counter,
            uint32_t length, uint32_t flags) {
  for (int i = 0; i < 8; ++i) v[i] = cv[i];
  v[8] = kIV[0]; v[9] = kIV[1]; v[10] = kIV[2]; v[11] = kIV[3];
  v[12] = uint32_t(counter); v[13] = uint32_t(counter >> 32); v[14] = length; v[15] = flags;
  for (const auto& s : kSchedule) {
    G(v, 0, 4, 8, 12, block[s[0]], block[s[1]]);
    G(v, 1, 5, 9, 13, block[s[2]], block[s[3]]);
    G(v, 2, 6, 10, 14, block[s[4]], block[s[5]]);
    G(v, 3, 7, 11, 15, block[s[6]], block[s[7]]);
    G(v, 0, 5, 10, 15, block[s[8]], block[s[9]]);
    G(v, 1, 6, 11, 12, block[s[10]], block[s[11]]);
    G(v, 2, 7, 8, 13, block[s[12]], block[s[13]]);
    G(v, 3, 4, 9, 14, block[s[14]], block[s[15]]);
  }
}

// Compresses in place: cv becomes the next chaining value.
void CompressCV(uint32_t (&cv)[8], const uint32_t (&block)[16], uint64_t counter, uint32_t length, uint32_t flags) {
  uint32_t v[16];
  Rounds(v, cv, block, counter, length, flags);
  for (int i = 0; i < 8; ++i) cv[i] = v[i] ^ v[i + 8];
}

void CompressBytes(uint32_t (&cv)[8], const uint8_t* p, uint64_t counter, uint32_t length, uint32_t flags) {
  uint32_t block[16];
  LoadBlockLE(block, p);
  CompressCV(cv, block, counter, length, flags);
}

void ParentCV(uint32_t (&out)[8], const uint32_t (&left)[8], const uint32_t (&right)[8], uint32_t flags) {
  uint32_t block[16];
  for (int i = 0; i < 8; ++i) block[i] = left[i], block[i + 8] = right[i];
  std::memcpy(out, kIV, sizeof out);
  CompressCV(out, block, 0, 64, fParent | flags);
}

#if BQ_X86_ACCEL && defined(__SSE2__)

// Four whole chunks at once, one per 32-bit lane; their chaining values go to out[0..3].
BQ_TARGET("sse2")
void HashFourChunks(const uint8_t* p, uint64_t counter, uint32_t (&out)[4][8]) {
  auto rotr = [](__m128i x, int s) { return _mm_or_si128(_mm_srli_epi32(x, s), _mm_slli_epi32(x, 32 - s)); };
  auto g = [&](__m128i* v, int a, int b, int c, int d, __m128i mx, __m128i my) {
    v[a] = _mm_add_epi32(_mm_add_epi32(v[a], v[b]), mx); v[d] = rotr(_mm_xor_si128(v[d], v[a]), 16);
    v[c] = _mm_add_epi32(v[c], v[d]);                    v[b] = rotr(_mm_xor_si128(v[b], v[c]), 12);
    v[a] = _mm_add_epi32(_mm_add_epi32(v[a], v[b]), my); v[d] = rotr(_mm_xor_si128(v[d], v[a]), 8);
    v[c] = _mm_add_epi32(v[c], v[d]);                    v[b] = rotr(_mm_xor_si128(v[b], v[c]), 7);
  };
  __m128i h[8];
  for (int i = 0; i < 8; ++i) h[i] = _mm_set1_epi32(int(kIV[i]));
  const __m128i counterLow = _mm_set_epi32(int(uint32_t(counter + 3)), int(uint32_t(counter + 2)),
                                           int(uint32_t(counter + 1)), int(uint32_t(counter)));
  const __m128i counterHigh = _mm_set_epi32(int(uint32_t((counter + 3) >> 32)), int(uint32_t((counter + 2) >> 32)),
                                            int(uint32_t((counter + 1) >> 32)), int(uint32_t(counter >> 32)));
  for (int block = 0; block < 16; ++block) {
    __m128i m[16];
    const uint8_t* q = p + 64 * block;
    for (int w = 0; w < 16; ++w)
      m[w] = _mm_set_epi32(int(LoadLE32(q + 3 * 1024 + 4 * w)), int(LoadLE32(q + 2 * 1024 + 4 * w)),
                           int(LoadLE32(q + 1024 + 4 * w)), int(LoadLE32(q + 4 * w)));
    const uint32_t flags = (block == 0 ? fChunkStart : 0) | (block == 15 ? fChunkEnd : 0);
    __m128i v[16] = {h[0], h[1], h[2], h[3], h[4], h[5], h[6], h[7],
                     _mm_set1_epi32(int(kIV[0])), _mm_set1_epi32(int(kIV[1])), _mm_set1_epi32(int(kIV[2])),
                     _mm_set1_epi32(int(kIV[3])), counterLow, counterHigh, _mm_set1_epi32(64),
                     _mm_set1_epi32(int(flags))};
    for (const auto& s : kSchedule) {
      g(v, 0, 4, 8, 12, m[s[0]], m[s[1]]);
      g(v, 1, 5, 9, 13, m[s[2]], m[s[3]]);
      g(v, 2, 6, 10, 14, m[s[4]], m[s[5]]);
      g(v, 3, 7, 11, 15, m[s[6]], m[s[7]]);
      g(v, 0, 5, 10, 15, m[s[8]], m[s[9]]);
      g(v, 1, 6, 11, 12, m[s[10]], m[s[11]]);
      g(v, 2, 7, 8, 13, m[s[12]], m[s[13]]);
      g(v, 3, 4, 9, 14, m[s[14]], m[s[15]]);
    }
    for (int i = 0; i < 8; ++i) h[i] = _mm_xor_si128(v[i], v[i + 8]);
  }
  for (int i = 0; i < 8; ++i) {
    alignas(16) uint32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), h[i]);
    for (int j = 0; j < 4; ++j) out[j][i] = lanes[j];
  }
}

#endif

}  // namespace

void TBLAKE3::Init() {
  std::memcpy(FChunkCV, kIV, sizeof FChunkCV);
  FBlockFill = 0;
  FBlocksDone = 0;
  FChunks = 0;
  FDepth = 0;
}

void TBLAKE3::AddChunkValue(const uint32_t (&chunkCV)[8]) {
  // Merge while the completed-chunk count ends in a zero bit: each merge closes a subtree.
  uint32_t cv[8];
  std::memcpy(cv, chunkCV, sizeof cv);
  uint64_t total = ++FChunks;
  while ((total & 1) == 0 && FDepth > 0) {
    ParentCV(cv, FStack[--FDepth], cv, 0);
    total >>= 1;
  }
  std::memcpy(FStack[FDepth++], cv, sizeof cv);
}

void TBLAKE3::Update(const void* data, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (n) {
    // A full buffered block is compressed only once more input shows it is
    // not the chunk's (or the message's) last.
    if (FBlockFill == 64) {
      if (FBlocksDone == 15) {
        CompressBytes(FChunkCV, FBlock, FChunks, 64, fChunkEnd);
        AddChunkValue(FChunkCV);
        std::memcpy(FChunkCV, kIV, sizeof FChunkCV);
        FBlocksDone = 0;
      } else {
        CompressBytes(FChunkCV, FBlock, FChunks, 64, FBlocksDone == 0 ? fChunkStart : 0);
        ++FBlocksDone;
      }
      FBlockFill = 0;
    }
#if BQ_X86_ACCEL && defined(__SSE2__)
    // Four whole chunks at a time from a chunk boundary while more bytes follow them.
    if (FBlockFill == 0 && FBlocksDone == 0 && n > 4 * ChunkSize && UseSSE2()) {
      uint32_t cvs[4][8];
      do {
        HashFourChunks(p, FChunks, cvs);
        for (const auto& cv : cvs) AddChunkValue(cv);
        p += 4 * ChunkSize;
        n -= 4 * ChunkSize;
      } while (n > 4 * ChunkSize);
    }
#endif
    // Whole blocks straight from the input while more bytes follow them.
    while (FBlockFill == 0 && n > 64) {
      if (FBlocksDone == 15) {
        CompressBytes(FChunkCV, p, FChunks, 64, fChunkEnd);
        AddChunkValue(FChunkCV);
        std::memcpy(FChunkCV, kIV, sizeof FChunkCV);
        FBlocksDone = 0;
      } else {
        CompressBytes(FChunkCV, p, FChunks, 64, FBlocksDone == 0 ? fChunkStart : 0);
        ++FBlocksDone;
      }
      p += 64;
      n -= 64;
    }
    const size_t take = 64 - FBlockFill < n ? 64 - FBlockFill : n;
    std::memcpy(FBlock + FBlockFill, p, take);
    FBlockFill += take;
    p += take;
    n -= take;
  }
}

void TBLAKE3::Final(uint8_t out[DigestSize]) {
  // The last block of the current chunk is the root when no chunk came
  // before; otherwise it ends the chunk and the stack is folded from the right.
  std::memset(FBlock + FBlockFill, 0, 64 - FBlockFill);
  uint32_t block[16];
  LoadBlockLE(block, FBlock);
  const uint32_t flags = fChunkEnd | (FBlocksDone == 0 ? fChunkStart : 0);
  uint32_t cv[8];
  if (FDepth == 0) {
    std::memcpy(cv, FChunkCV, sizeof cv);
    CompressCV(cv, block, FChunks, uint32_t(FBlockFill), flags | fRoot);
  } else {
    std::memcpy(cv, FChunkCV, sizeof cv);
    CompressCV(cv, block, FChunks, uint32_t(FBlockFill), flags);
    while (FDepth > 1) ParentCV(cv, FStack[--FDepth], cv, 0);
    ParentCV(cv, FStack[0], cv, fRoot);
  }
  for (int i = 0; i < 8; ++i) StoreLE32(out + 4 * i, cv[i]);
  Init();
}

}  // namespace bq
