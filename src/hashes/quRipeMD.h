// RIPEMD-128/-160/-256/-320 (Dobbertin, Bosselaers, Preneel).
// The 256- and 320-bit variants run the two lines of the 128- and 160-bit
// ones as separate chains, swapping one word between them after each round;
// they are no stronger, only longer.
#pragma once

#include "hashes/quDigestBase.h"

namespace bq {

namespace ripemd_detail {
// Bits is 128, 160, 256 or 320.
template <int Bits>
void Compress(uint32_t* state, const uint8_t* p, size_t blocks);

// Vector kernels for running several variants over the same message.
enum class TLaneImpl { Scalar, AVX512 };
bool LaneImplAvailable(TLaneImpl impl);  // CPU support only
TLaneImpl BestLaneImpl();                // honours SetDigestAcceleration
// RIPEMD-Bits (Bits = 128 or 160; Bits/32 state words in narrow) and
// RIPEMD-2*Bits (twice as many words in wide) side by side.
template <int Bits>
void CompressPair(TLaneImpl impl, uint32_t* narrow, uint32_t* wide, const uint8_t* p, size_t blocks);
// All four variants at once.
void CompressQuad(TLaneImpl impl, uint32_t* h128, uint32_t* h160, uint32_t* h256, uint32_t* h320,
                  const uint8_t* p, size_t blocks);
}  // namespace ripemd_detail

template <int Bits>
class TRipeMD {
public:
  static constexpr size_t DigestSize = Bits / 8;

  TRipeMD() { Init(); }
  void Init();
  void Update(const void* data, size_t n) {
    FBuf.Feed(data, n, [this](const uint8_t* p, size_t k) { ripemd_detail::Compress<Bits>(FState, p, k); });
  }
  void Final(uint8_t out[DigestSize]) {  // also re-initialises
    FBuf.Pad(false, [this](const uint8_t* p, size_t k) { ripemd_detail::Compress<Bits>(FState, p, k); });
    for (size_t i = 0; i < Bits / 32; ++i) StoreLE32(out + 4 * i, FState[i]);
    Init();
  }

private:
  uint32_t FState[Bits / 32];
  TBlockBuffer FBuf;
};

using TRipeMD128 = TRipeMD<128>;
using TRipeMD160 = TRipeMD<160>;
using TRipeMD256 = TRipeMD<256>;
using TRipeMD320 = TRipeMD<320>;

extern template class TRipeMD<128>;
extern template class TRipeMD<160>;
extern template class TRipeMD<256>;
extern template class TRipeMD<320>;

// Any subset of the four variants over one message in a single pass. Where
// the CPU has AVX-512VL, 160 with 320 and 128 with 256 share vector lanes
// (their steps are identical) and the scalar units run alongside, so all four
// cost less than twice one RIPEMD-160.
class TRipeMDSet {
public:
  enum : unsigned { R128 = 1, R160 = 2, R256 = 4, R320 = 8, All = 15 };

  explicit TRipeMDSet(unsigned variants = All) { Init(variants); }
  void Init(unsigned variants);
  void Init() { Init(FVariants); }
  unsigned Variants() const { return FVariants; }
  void Update(const void* data, size_t n);
  // Writes the digests of the selected variants; the other pointers are
  // ignored and may be null. Re-initialises with the same variants.
  void Final(uint8_t* out128, uint8_t* out160, uint8_t* out256, uint8_t* out320);

private:
  void Compress(const uint8_t* p, size_t blocks);

  unsigned FVariants = All;
  uint32_t FState128[4], FState160[5], FState256[8], FState320[10];
  TBlockBuffer FBuf;
};

}  // namespace bq
