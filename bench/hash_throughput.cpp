// Per-algorithm throughput on 1 MiB blocks, accelerated and portable:
//   bq_hash_throughput --benchmark_filter=MD5
#include <benchmark/benchmark.h>

#include <vector>

#include "hashes/quCRC32.h"
#include "hashes/quMD4.h"
#include "hashes/quMD5.h"
#include "hashes/quMultiDigest.h"
#include "hashes/quRipeMD.h"
#include "hashes/quBLAKE3.h"
#include "hashes/quSHA1.h"
#include "hashes/quSHA2.h"
#include "hashes/quSHA3.h"

namespace {

const std::vector<unsigned char>& Block() {
  static const std::vector<unsigned char> block = [] {
    std::vector<unsigned char> b(1 << 20);
    unsigned x = 12345;
    for (auto& c : b) c = static_cast<unsigned char>((x = x * 1103515245 + 12345) >> 16);
    return b;
  }();
  return block;
}

// state.range(0): 1 = accelerated paths where the CPU has them, 0 = portable.
template <class T>
void BM_Digest(benchmark::State& state) {
  bq::SetDigestAcceleration(state.range(0) != 0);
  T d;
  for (auto _ : state) d.Update(Block().data(), Block().size());
  unsigned char out[64];
  d.Final(out);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Block().size()));
  bq::SetDigestAcceleration(true);
}

void BM_RipeMDAllFour(benchmark::State& state) {
  bq::SetDigestAcceleration(state.range(0) != 0);
  bq::TRipeMDSet d;
  for (auto _ : state) d.Update(Block().data(), Block().size());
  unsigned char a[16], b[20], c[32], e[40];
  d.Final(a, b, c, e);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Block().size()));
  bq::SetDigestAcceleration(true);
}

void BM_MultiDigest(benchmark::State& state) {
  std::vector<bq::TDigestKind> kinds = {bq::dkCRC32, bq::dkMD5, bq::dkSHA1};
  if (state.range(0) >= 8) kinds = {bq::dkCRC32,     bq::dkMD4,       bq::dkMD5,       bq::dkSHA1,
                                    bq::dkRipeMD128, bq::dkRipeMD160, bq::dkRipeMD256, bq::dkRipeMD320};
  if (state.range(0) == 12) kinds.insert(kinds.end(), {bq::dkSHA256, bq::dkSHA512, bq::dkSHA3_256, bq::dkBLAKE3});
  bq::TMultiDigest md(kinds);
  for (auto _ : state) md.Update(Block().data(), Block().size());
  md.Final();
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Block().size()));
}

BENCHMARK_TEMPLATE(BM_Digest, bq::TCRC32)->Arg(1)->Arg(0);
BENCHMARK_TEMPLATE(BM_Digest, bq::TMD4)->Arg(1);
BENCHMARK_TEMPLATE(BM_Digest, bq::TMD5)->Arg(1);
BENCHMARK_TEMPLATE(BM_Digest, bq::TSHA1)->Arg(1)->Arg(0);
BENCHMARK_TEMPLATE(BM_Digest, bq::TRipeMD128)->Arg(1);
BENCHMARK_TEMPLATE(BM_Digest, bq::TRipeMD160)->Arg(1);
BENCHMARK_TEMPLATE(BM_Digest, bq::TRipeMD256)->Arg(1);
BENCHMARK_TEMPLATE(BM_Digest, bq::TRipeMD320)->Arg(1);
BENCHMARK_TEMPLATE(BM_Digest, bq::TSHA256)->Arg(1)->Arg(0);
BENCHMARK_TEMPLATE(BM_Digest, bq::TSHA512)->Arg(1);
BENCHMARK_TEMPLATE(BM_Digest, bq::TSHA3_256)->Arg(1);
BENCHMARK_TEMPLATE(BM_Digest, bq::TBLAKE3)->Arg(1);
BENCHMARK(BM_RipeMDAllFour)->Arg(1)->Arg(0);
BENCHMARK(BM_MultiDigest)->Arg(3)->Arg(8)->Arg(12)->UseRealTime();

}  // namespace
