#include "hashes/quDigestBase.h"

#include "platform/bqText.h"

#include <atomic>
#include <cstdlib>

#if BQ_X86_ACCEL
#include <cpuid.h>
#endif

namespace bq {

namespace {

TCpuFeatures DetectCpu() {
  TCpuFeatures f;
#if BQ_X86_ACCEL
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
  const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19), pclmul = c & (1u << 1);
  const bool osxsave = c & (1u << 27);
  f.SSE2 = d & (1u << 26);
  f.PCLMUL = pclmul && sse41;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return f;
  f.SHA = (b & (1u << 29)) && ssse3 && sse41;
  const bool avx512 = (b & (1u << 16)) && (b & (1u << 31));
  if (avx512 && osxsave) {
    // XCR0 must enable SSE, AVX, opmask and both upper ZMM register states.
    unsigned lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    f.AVX512VL = (lo & 0xE6) == 0xE6;
  }
#endif
  return f;
}

bool AccelerationFromEnvironment() {
  const char* v = std::getenv("BQ_DIGEST_PORTABLE");
  return !(v && *v && !(v[0] == '0' && v[1] == 0));
}

std::atomic<int>& AccelerationFlag() {
  // -1: not yet decided; 0/1 afterwards.
  static std::atomic<int> flag{-1};
  return flag;
}

}  // namespace

const TCpuFeatures& CpuFeatures() {
  static const TCpuFeatures features = DetectCpu();
  return features;
}

void SetDigestAcceleration(bool enabled) { AccelerationFlag().store(enabled ? 1 : 0); }

bool DigestAccelerationEnabled() {
  int v = AccelerationFlag().load(std::memory_order_relaxed);
  if (v < 0) {
    int expected = -1;
    AccelerationFlag().compare_exchange_strong(expected, AccelerationFromEnvironment() ? 1 : 0);
    v = AccelerationFlag().load();
  }
  return v != 0;
}

std::string HexUpper(const void* data, size_t n) { return HexBytes(data, n, true); }
std::string HexLower(const void* data, size_t n) { return HexBytes(data, n, false); }

}  // namespace bq
