#include "hashes/quRipeMD.h"

#include <utility>

#if BQ_X86_ACCEL
#include <immintrin.h>
#endif

namespace bq {

namespace {

// Message word order and rotations of the left and right lines, five rounds
// of sixteen steps; the 128/256-bit variants use the first four rounds.
constexpr uint8_t kRL[80] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
    7, 4, 13, 1, 10, 6, 15, 3, 12, 0, 9, 5, 2, 14, 11, 8,
    3, 10, 14, 4, 9, 15, 8, 1, 2, 7, 0, 6, 13, 11, 5, 12,
    1, 9, 11, 10, 0, 8, 12, 4, 13, 3, 7, 15, 14, 5, 6, 2,
    4, 0, 5, 9, 7, 12, 2, 10, 14, 1, 3, 8, 11, 6, 15, 13};
constexpr uint8_t kRR[80] = {
    5, 14, 7, 0, 9, 2, 11, 4, 13, 6, 15, 8, 1, 10, 3, 12,
    6, 11, 3, 7, 0, 13, 5, 10, 14, 15, 8, 12, 4, 9, 1, 2,
    15, 5, 1, 3, 7, 14, 6, 9, 11, 8, 12, 2, 10, 0, 4, 13,
    8, 6, 4, 1, 3, 11, 15, 0, 5, 12, 2, 13, 9, 7, 10, 14,
    12, 15, 10, 4, 1, 5, 8, 7, 6, 2, 13, 14, 0, 3, 9, 11};
constexpr uint8_t kSL[80] = {
    11, 14, 15, 12, 5, 8, 7, 9, 11, 13, 14, 15, 6, 7, 9, 8,
    7, 6, 8, 13, 11, 9, 7, 15, 7, 12, 15, 9, 11, 7, 13, 12,
    11, 13, 6, 7, 14, 9, 13, 15, 14, 8, 13, 6, 5, 12, 7, 5,
    11, 12, 14, 15, 14, 15, 9, 8, 9, 14, 5, 6, 8, 6, 5, 12,
    9, 15, 5, 11, 6, 8, 13, 12, 5, 12, 13, 14, 11, 8, 5, 6};
constexpr uint8_t kSR[80] = {
    8, 9, 9, 11, 13, 15, 15, 5, 7, 7, 8, 11, 14, 14, 12, 6,
    9, 13, 15, 7, 12, 8, 9, 11, 7, 7, 12, 7, 6, 15, 13, 11,
    9, 7, 15, 11, 8, 6, 6, 14, 12, 13, 5, 14, 13, 13, 7, 5,
    15, 5, 8, 11, 14, 14, 6, 14, 6, 9, 12, 9, 12, 5, 15, 8,
    8, 5, 12, 9, 12, 5, 14, 6, 8, 13, 6, 5, 15, 13, 11, 11};

// Initial values: the first four or five words start the narrow variants and
// the left line of the wide ones, the last four or five the right line.
constexpr uint32_t kIV[10] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0,
                              0x76543210, 0xfedcba98, 0x89abcdef, 0x01234567, 0x3c2d1e0f};

constexpr uint32_t kKL[5] = {0x00000000, 0x5a827999, 0x6ed9eba1, 0x8f1bbcdc, 0xa953fd4e};
constexpr uint32_t kKR160[5] = {0x50a28be6, 0x5c4dd124, 0x6d703ef3, 0x7a6d76e9, 0x00000000};
constexpr uint32_t kKR128[4] = {0x50a28be6, 0x5c4dd124, 0x6d703ef3, 0x00000000};

#define BQ_INLINE __attribute__((always_inline)) inline

// The five boolean functions; x is always the newest word, so each is shaped
// to put as few operations after x as possible.
template <int F>
BQ_INLINE constexpr uint32_t Fn(uint32_t x, uint32_t y, uint32_t z) {
  if constexpr (F == 1) return x ^ (y ^ z);
  else if constexpr (F == 2) return z ^ (x & (y ^ z));
  else if constexpr (F == 3) return (x | ~y) ^ z;
  else if constexpr (F == 4) return (x & z) | (y & ~z);
  else return x ^ (y | ~z);
}

// Function number and constant of step J in the left or right line.
constexpr int StepFn(int j, bool five, bool right) { return right ? (five ? 5 : 4) - j / 16 : j / 16 + 1; }
constexpr uint32_t StepK(int j, bool five, bool right) {
  return right ? (five ? kKR160[j / 16] : kKR128[j / 16]) : kKL[j / 16];
}

// Step J of one line. The working words live in v[] and their roles rotate
// from step to step, so step J writes v[(N - J % N) % N]; with every index a
// constant the array stays in registers. After the last step of a round the
// roles line up with the indices again (A in v[0], B in v[1], ...).
template <int J, bool Five, bool Right>
BQ_INLINE void Step(uint32_t* v, const uint32_t* x) {
  constexpr int N = Five ? 5 : 4;
  constexpr int a = (N - J % N) % N, b = (a + 1) % N, c = (a + 2) % N, d = (a + 3) % N;
  constexpr int W = Right ? kRR[J] : kRL[J], S = Right ? kSR[J] : kSL[J];
  constexpr int F = StepFn(J, Five, Right);
  constexpr uint32_t K = StepK(J, Five, Right);
  const uint32_t t = v[a] + x[W] + K;
  if constexpr (Five) {
    constexpr int e = (a + 4) % N;
    v[a] = Rotl32(t + Fn<F>(v[b], v[c], v[d]), S) + v[e];
    v[c] = Rotl32(v[c], 10);
  } else {
    v[a] = Rotl32(t + Fn<F>(v[b], v[c], v[d]), S);
  }
}

// Step J of both lines; the wide variants (256/320) then swap word J / 16
// between the lines at the end of each round.
template <int J, bool Five, bool Wide>
BQ_INLINE void StepPair(uint32_t* l, uint32_t* r, const uint32_t* x) {
  Step<J, Five, false>(l, x);
  Step<J, Five, true>(r, x);
  if constexpr (Wide && J % 16 == 15) std::swap(l[J / 16], r[J / 16]);
}

template <bool Five, bool Wide, size_t... J>
BQ_INLINE void AllSteps(uint32_t* l, uint32_t* r, const uint32_t* x, std::index_sequence<J...>) {
  (StepPair<int(J), Five, Wide>(l, r, x), ...);
}

// RIPEMD-128/160: both lines fold into the chaining value with a one-word
// rotation.
template <int N>
inline void CombineLines(uint32_t* h, const uint32_t* l, const uint32_t* r) {
  uint32_t t = h[1] + l[2] + r[3];
  for (int i = 1; i < N - 1; ++i) h[i] = h[i + 1] + l[(i + 2) % N] + r[(i + 3) % N];
  h[N - 1] = h[0] + l[1] + r[2];
  h[0] = t;
}

template <int Bits>
inline void CompressBlocks(uint32_t* state, const uint8_t* p, size_t blocks) {
  constexpr bool Five = Bits == 160 || Bits == 320;
  constexpr bool Wide = Bits == 256 || Bits == 320;
  constexpr int N = Five ? 5 : 4;
  uint32_t h[2 * N];
  for (int i = 0; i < (Wide ? 2 * N : N); ++i) h[i] = state[i];
  while (blocks--) {
    uint32_t x[16];
    LoadBlockLE(x, p);
    p += 64;
    uint32_t l[N], r[N];
    for (int i = 0; i < N; ++i) l[i] = h[i], r[i] = Wide ? h[N + i] : h[i];
    AllSteps<Five, Wide>(l, r, x, std::make_index_sequence<Five ? 80 : 64>());
    if constexpr (Wide) {
      for (int i = 0; i < N; ++i) h[i] += l[i], h[N + i] += r[i];
    } else {
      CombineLines<N>(h, l, r);
    }
  }
  for (int i = 0; i < (Wide ? 2 * N : N); ++i) state[i] = h[i];
}

#if BQ_X86_ACCEL

// The vector kernels need AVX-512VL for vprold and vpternlogd: with plain
// SSE2 a rotation takes three instructions and they lose to scalar code.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512vl"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512vl")
#endif
namespace lanes_avx512 {
using V = __m128i;
template <int S>
BQ_INLINE V Rotl(V x) { return _mm_rol_epi32(x, S); }
BQ_INLINE V Add(V a, V b) { return _mm_add_epi32(a, b); }
template <int F>
BQ_INLINE V Fn(V x, V y, V z) {
  // vpternlogd evaluates any three-input function; its immediate is the
  // function's truth table over the bit patterns 0xF0, 0xCC, 0xAA.
  return _mm_ternarylogic_epi32(x, y, z, uint8_t(bq::Fn<F>(0xF0, 0xCC, 0xAA)));
}
#include "hashes/quRipeMDLanes.inc"
}  // namespace lanes_avx512
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif

}  // namespace

namespace ripemd_detail {
template <int Bits>
void Compress(uint32_t* state, const uint8_t* p, size_t blocks) {
  CompressBlocks<Bits>(state, p, blocks);
}
template void Compress<128>(uint32_t*, const uint8_t*, size_t);
template void Compress<160>(uint32_t*, const uint8_t*, size_t);
template void Compress<256>(uint32_t*, const uint8_t*, size_t);
template void Compress<320>(uint32_t*, const uint8_t*, size_t);

bool LaneImplAvailable(TLaneImpl impl) {
  return impl == TLaneImpl::Scalar || (impl == TLaneImpl::AVX512 && CpuFeatures().AVX512VL);
}

TLaneImpl BestLaneImpl() { return UseAVX512VL() ? TLaneImpl::AVX512 : TLaneImpl::Scalar; }

template <int Bits>
void CompressPair(TLaneImpl impl, uint32_t* narrow, uint32_t* wide, const uint8_t* p, size_t blocks) {
  static_assert(Bits == 128 || Bits == 160);
#if BQ_X86_ACCEL
  if (impl == TLaneImpl::AVX512) return lanes_avx512::CompressLanes<Bits == 160>(narrow, wide, p, blocks);
#endif
  CompressBlocks<Bits>(narrow, p, blocks);
  CompressBlocks<Bits * 2>(wide, p, blocks);
}
template void CompressPair<128>(TLaneImpl, uint32_t*, uint32_t*, const uint8_t*, size_t);
template void CompressPair<160>(TLaneImpl, uint32_t*, uint32_t*, const uint8_t*, size_t);

void CompressQuad(TLaneImpl impl, uint32_t* h128, uint32_t* h160, uint32_t* h256, uint32_t* h320,
                  const uint8_t* p, size_t blocks) {
#if BQ_X86_ACCEL
  if (impl == TLaneImpl::AVX512) return lanes_avx512::CompressQuad(h128, h160, h256, h320, p, blocks);
#endif
  CompressBlocks<128>(h128, p, blocks);
  CompressBlocks<160>(h160, p, blocks);
  CompressBlocks<256>(h256, p, blocks);
  CompressBlocks<320>(h320, p, blocks);
}

}  // namespace ripemd_detail

template <int Bits>
void TRipeMD<Bits>::Init() {
  constexpr int N = (Bits == 160 || Bits == 320) ? 5 : 4;
  for (int i = 0; i < N; ++i) FState[i] = kIV[i];
  if constexpr (Bits == 256 || Bits == 320)
    for (int i = 0; i < N; ++i) FState[N + i] = kIV[5 + i];
  FBuf.Reset();
}

void TRipeMDSet::Init(unsigned variants) {
  FVariants = variants & All;
  for (int i = 0; i < 4; ++i) FState128[i] = FState256[i] = kIV[i], FState256[4 + i] = kIV[5 + i];
  for (int i = 0; i < 5; ++i) FState160[i] = FState320[i] = kIV[i], FState320[5 + i] = kIV[5 + i];
  FBuf.Reset();
}

void TRipeMDSet::Compress(const uint8_t* p, size_t blocks) {
  using namespace ripemd_detail;
  const TLaneImpl impl = BestLaneImpl();
  unsigned left = FVariants;
  if (impl != TLaneImpl::Scalar) {
    // Lanes only pay off when both members of a pair are wanted; the fused
    // kernel costs little more than the 160/320 pair alone.
    if ((left & (R160 | R320)) == (R160 | R320) && (left & (R128 | R256))) {
      CompressQuad(impl, FState128, FState160, FState256, FState320, p, blocks);
      return;
    }
    if ((left & (R160 | R320)) == (R160 | R320)) {
      CompressPair<160>(impl, FState160, FState320, p, blocks);
      left &= ~(R160 | R320);
    }
    if ((left & (R128 | R256)) == (R128 | R256)) {
      CompressPair<128>(impl, FState128, FState256, p, blocks);
      left &= ~(R128 | R256);
    }
  }
  if (left & R128) CompressBlocks<128>(FState128, p, blocks);
  if (left & R160) CompressBlocks<160>(FState160, p, blocks);
  if (left & R256) CompressBlocks<256>(FState256, p, blocks);
  if (left & R320) CompressBlocks<320>(FState320, p, blocks);
}

void TRipeMDSet::Update(const void* data, size_t n) {
  FBuf.Feed(data, n, [this](const uint8_t* p, size_t k) { Compress(p, k); });
}

void TRipeMDSet::Final(uint8_t* out128, uint8_t* out160, uint8_t* out256, uint8_t* out320) {
  FBuf.Pad(false, [this](const uint8_t* p, size_t k) { Compress(p, k); });
  auto store = [](uint8_t* out, const uint32_t* h, int words) {
    if (out)
      for (int i = 0; i < words; ++i) StoreLE32(out + 4 * i, h[i]);
  };
  store(FVariants & R128 ? out128 : nullptr, FState128, 4);
  store(FVariants & R160 ? out160 : nullptr, FState160, 5);
  store(FVariants & R256 ? out256 : nullptr, FState256, 8);
  store(FVariants & R320 ? out320 : nullptr, FState320, 10);
  Init(FVariants);
}

template class TRipeMD<128>;
template class TRipeMD<160>;
template class TRipeMD<256>;
template class TRipeMD<320>;

}  // namespace bq
