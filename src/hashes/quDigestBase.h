// Shared pieces of the digest implementations: byte order helpers, the
// Merkle-Damgard block buffer, CPU feature detection, the switch that forces
// the portable code paths, and hex formatting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define BQ_X86_ACCEL 1
// 32-bit Windows only guarantees a 4-byte aligned stack; SSE code entered from
// arbitrary callers realigns it.
#if defined(__i386__)
#define BQ_TARGET(isa) __attribute__((target(isa), force_align_arg_pointer))
#else
#define BQ_TARGET(isa) __attribute__((target(isa)))
#endif
#else
#define BQ_X86_ACCEL 0
#endif

namespace bq {

inline uint32_t Rotl32(uint32_t x, unsigned s) { return (x << s) | (x >> ((32 - s) & 31)); }

inline uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint32_t LoadBE32(const uint8_t* p) {
  return uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}
inline void StoreBE32(uint8_t* p, uint32_t v) {
  p[3] = uint8_t(v); p[2] = uint8_t(v >> 8); p[1] = uint8_t(v >> 16); p[0] = uint8_t(v >> 24);
}
// Loads a 64-byte block as sixteen little-endian words.
inline void LoadBlockLE(uint32_t (&x)[16], const uint8_t* p) {
  for (int i = 0; i < 16; ++i) x[i] = LoadLE32(p + 4 * i);
}

// Buffers partial 64-byte blocks for the MD4/MD5/SHA-1/RIPEMD family.
// Compress(const uint8_t* blocks, size_t count) is called with whole blocks.
class TBlockBuffer {
public:
  void Reset() { FFill = 0; FTotal = 0; }

  template <class Compress>
  void Feed(const void* data, size_t n, Compress&& compress) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    FTotal += n;
    if (FFill) {
      size_t take = 64 - FFill < n ? 64 - FFill : n;
      std::memcpy(FBuf + FFill, p, take);
      FFill += take; p += take; n -= take;
      if (FFill < 64) return;
      compress(FBuf, 1);
      FFill = 0;
    }
    if (n >= 64) {
      compress(p, n / 64);
      p += n & ~size_t(63);
      n &= 63;
    }
    if (n) { std::memcpy(FBuf, p, n); FFill = n; }
  }

  // Appends 0x80, zeros and the 64-bit bit count (little- or big-endian).
  template <class Compress>
  void Pad(bool bigEndianLength, Compress&& compress) {
    uint64_t bits = FTotal * 8;
    FBuf[FFill++] = 0x80;
    if (FFill > 56) {
      std::memset(FBuf + FFill, 0, 64 - FFill);
      compress(FBuf, 1);
      FFill = 0;
    }
    std::memset(FBuf + FFill, 0, 56 - FFill);
    for (int i = 0; i < 8; ++i)
      FBuf[56 + i] = uint8_t(bits >> (bigEndianLength ? 56 - 8 * i : 8 * i));
    compress(FBuf, 1);
    FFill = 0;
  }

private:
  uint8_t FBuf[64];
  size_t FFill = 0;
  uint64_t FTotal = 0;
};

// CPU features the accelerated paths need (always false off x86).
struct TCpuFeatures {
  bool SSE2 = false;
  bool PCLMUL = false;    // PCLMULQDQ + SSE4.1
  bool SHA = false;       // SHA extensions + SSSE3 + SSE4.1
  bool AVX512VL = false;  // AVX-512 F + VL, with the OS saving the registers
};
const TCpuFeatures& CpuFeatures();

// Accelerated code paths are used when the CPU has them and acceleration is
// enabled. It is enabled unless the environment variable BQ_DIGEST_PORTABLE is
// set to a non-empty value other than "0" (read once), or it is switched off
// here. Digests pick their path per Update call, so switching is safe at any
// time.
void SetDigestAcceleration(bool enabled);
bool DigestAccelerationEnabled();
inline bool UsePCLMUL() { return DigestAccelerationEnabled() && CpuFeatures().PCLMUL; }
inline bool UseSHANI() { return DigestAccelerationEnabled() && CpuFeatures().SHA; }
inline bool UseSSE2() { return DigestAccelerationEnabled() && CpuFeatures().SSE2; }
inline bool UseAVX512VL() { return DigestAccelerationEnabled() && CpuFeatures().AVX512VL; }

std::string HexUpper(const void* data, size_t n);
std::string HexLower(const void* data, size_t n);
inline std::string HexUpper(const std::vector<uint8_t>& v) { return HexUpper(v.data(), v.size()); }
inline std::string HexLower(const std::vector<uint8_t>& v) { return HexLower(v.data(), v.size()); }

}  // namespace bq
