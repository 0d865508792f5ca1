#include "hashes/quMultiDigest.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <system_error>

#include "hashes/quCRC32.h"
#include "hashes/quMD4.h"
#include "hashes/quMD5.h"
#include "hashes/quRipeMD.h"
#include "hashes/quBLAKE3.h"
#include "hashes/quSHA1.h"
#include "hashes/quSHA2.h"
#include "hashes/quSHA3.h"

namespace bq {

namespace {

constexpr size_t kMaxCopy = 4 * 1024 * 1024;
// The split is measured again once this much has gone through both threads.
constexpr uint64_t kRebalanceAfter = 8 * 1024 * 1024;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct TKindInfo {
  const char* Name;
  size_t Size;
};
constexpr TKindInfo kKinds[DigestKindCount] = {
    {"CRC32", 4},        {"MD4", 16},         {"MD5", 16},         {"SHA1", 20},
    {"RIPEMD-128", 16}, {"RIPEMD-160", 20}, {"RIPEMD-256", 32}, {"RIPEMD-320", 40},
    {"SHA-256", 32},     {"SHA-512", 64},     {"SHA3-256", 32},    {"BLAKE3", 32},
};

// Relative costs per byte (ns on a 3.5 GHz Zen 5); only the ratios matter.
// The calling thread also reads the file and copies the worker's block.
constexpr double kCostCRC32Fast = 0.09, kCostCRC32 = 0.35;
constexpr double kCostMD4 = 0.85, kCostMD5 = 1.4;
constexpr double kCostSHA1Fast = 0.56, kCostSHA1 = 1.4;
constexpr double kCostRipeMD[4] = {1.25, 1.8, 1.25, 1.8};  // 128, 160, 256, 320
constexpr double kCostRipeMDPair128 = 2.0, kCostRipeMDPair160 = 3.4, kCostRipeMDQuad = 3.3;
constexpr double kCostSHA256Fast = 0.65, kCostSHA256 = 4.0, kCostSHA512 = 3.0;
constexpr double kCostSHA3 = 3.7, kCostBLAKE3 = 0.9;
constexpr double kCostCallerOverhead = 0.25;

}  // namespace

struct TMultiDigest::TUnit {
  double Cost = 0;     // per byte, from the table
  double Seconds = 0;  // spent on split blocks, by whichever thread ran it
  virtual ~TUnit() = default;
  virtual void Update(const uint8_t* p, size_t n) = 0;
  virtual void Final(std::array<std::vector<uint8_t>, DigestKindCount>& out) = 0;
  virtual void Init() = 0;
};

namespace {

template <class T, TDigestKind Kind>
struct TSingleUnit final : TMultiDigest::TUnit {
  T D;
  explicit TSingleUnit(double cost) { Cost = cost; }
  void Update(const uint8_t* p, size_t n) override { D.Update(p, n); }
  void Final(std::array<std::vector<uint8_t>, DigestKindCount>& out) override {
    out[Kind].resize(T::DigestSize);
    D.Final(out[Kind].data());
  }
  void Init() override { D.Init(); }
};

struct TRipeMDUnit final : TMultiDigest::TUnit {
  TRipeMDSet D;
  TRipeMDUnit(unsigned variants, double cost) : D(variants) { Cost = cost; }
  void Update(const uint8_t* p, size_t n) override { D.Update(p, n); }
  void Final(std::array<std::vector<uint8_t>, DigestKindCount>& out) override {
    const unsigned v = D.Variants();
    auto slot = [&](unsigned bit, TDigestKind kind) -> uint8_t* {
      if (!(v & bit)) return nullptr;
      out[kind].resize(kKinds[kind].Size);
      return out[kind].data();
    };
    uint8_t* p128 = slot(TRipeMDSet::R128, dkRipeMD128);
    uint8_t* p160 = slot(TRipeMDSet::R160, dkRipeMD160);
    uint8_t* p256 = slot(TRipeMDSet::R256, dkRipeMD256);
    uint8_t* p320 = slot(TRipeMDSet::R320, dkRipeMD320);
    D.Final(p128, p160, p256, p320);
  }
  void Init() override { D.Init(); }
};

// Which units go to the worker (bit i: unit i) so that the busier side has
// the least work; the caller also bears `overhead`. 0 when one thread is best.
unsigned BestSplit(const std::vector<double>& costs, double overhead) {
  const size_t n = costs.size();
  double total = 0;
  for (double c : costs) total += c;
  double best = total + overhead;
  unsigned bestMask = 0;
  for (unsigned mask = 1; n > 1 && mask < (1u << n); ++mask) {
    double worker = 0;
    for (size_t i = 0; i < n; ++i)
      if (mask & (1u << i)) worker += costs[i];
    const double busier = std::max(worker, total - worker + overhead);
    if (busier < best) best = busier, bestMask = mask;
  }
  // A thread is worth it only if it takes a fair share of the work.
  return bestMask && best <= 0.85 * total ? bestMask : 0;
}

void TimedUpdate(TMultiDigest::TUnit* u, const uint8_t* p, size_t n) {
  const double t0 = Now();
  u->Update(p, n);
  u->Seconds += Now() - t0;
}

}  // namespace

const char* DigestName(TDigestKind kind) { return kKinds[kind].Name; }
size_t DigestSize(TDigestKind kind) { return kKinds[kind].Size; }

TMultiDigest::TMultiDigest(std::span<const TDigestKind> kinds, bool allowThread) {
  for (TDigestKind k : kinds)
    if (k >= 0 && k < DigestKindCount) FSelected[k] = true;
  Plan(allowThread);
}

TMultiDigest::~TMultiDigest() {
  if (FThread.joinable()) {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FStop = true;
    }
    FWake.notify_one();
    FThread.join();
  }
}

void TMultiDigest::Plan(bool allowThread) {
  if (FSelected[dkCRC32])
    FUnits.push_back(std::make_unique<TSingleUnit<TCRC32, dkCRC32>>(UsePCLMUL() ? kCostCRC32Fast : kCostCRC32));
  if (FSelected[dkMD4]) FUnits.push_back(std::make_unique<TSingleUnit<TMD4, dkMD4>>(kCostMD4));
  if (FSelected[dkMD5]) FUnits.push_back(std::make_unique<TSingleUnit<TMD5, dkMD5>>(kCostMD5));
  if (FSelected[dkSHA1])
    FUnits.push_back(std::make_unique<TSingleUnit<TSHA1, dkSHA1>>(UseSHANI() ? kCostSHA1Fast : kCostSHA1));

  if (FSelected[dkSHA256])
    FUnits.push_back(
        std::make_unique<TSingleUnit<TSHA256, dkSHA256>>(UseSHANI() ? kCostSHA256Fast : kCostSHA256));
  if (FSelected[dkSHA512]) FUnits.push_back(std::make_unique<TSingleUnit<TSHA512, dkSHA512>>(kCostSHA512));
  if (FSelected[dkSHA3_256])
    FUnits.push_back(std::make_unique<TSingleUnit<TSHA3_256, dkSHA3_256>>(kCostSHA3));
  if (FSelected[dkBLAKE3]) FUnits.push_back(std::make_unique<TSingleUnit<TBLAKE3, dkBLAKE3>>(kCostBLAKE3));

  // RIPEMD: one unit where the variants share vector lanes, otherwise one
  // unit per variant so that they can be spread over both threads.
  unsigned rmd = 0;
  for (int i = 0; i < 4; ++i)
    if (FSelected[dkRipeMD128 + i]) rmd |= 1u << i;
  using S = TRipeMDSet;
  const bool lanes = ripemd_detail::BestLaneImpl() != ripemd_detail::TLaneImpl::Scalar;
  auto costOf = [](unsigned set) {
    double c = 0;
    for (int i = 0; i < 4; ++i)
      if (set & (1u << i)) c += kCostRipeMD[i];
    return c;
  };
  if (lanes && (rmd & (S::R160 | S::R320)) == (S::R160 | S::R320)) {
    const bool quad = rmd & (S::R128 | S::R256);
    FUnits.push_back(std::make_unique<TRipeMDUnit>(rmd, quad ? kCostRipeMDQuad : kCostRipeMDPair160));
    rmd = 0;
  } else if (lanes && (rmd & (S::R128 | S::R256)) == (S::R128 | S::R256)) {
    FUnits.push_back(std::make_unique<TRipeMDUnit>(S::R128 | S::R256, kCostRipeMDPair128));
    rmd &= ~unsigned(S::R128 | S::R256);
  }
  for (unsigned bit = 1; bit <= S::R320; bit <<= 1)
    if (rmd & bit) FUnits.push_back(std::make_unique<TRipeMDUnit>(bit, costOf(bit)));

  const size_t n = FUnits.size();
  std::vector<double> costs;
  for (auto& u : FUnits) costs.push_back(u->Cost);
  const unsigned bestMask = allowThread ? BestSplit(costs, kCostCallerOverhead) : 0;
  for (size_t i = 0; i < n; ++i) (bestMask & (1u << i) ? FWorkerUnits : FMainUnits).push_back(FUnits[i].get());
  if (!FWorkerUnits.empty()) {
    try {
      FThread = std::thread([this] { WorkerLoop(); });
    } catch (const std::system_error&) {
      // No thread: everything runs on the caller's thread.
    }
    if (!FThread.joinable()) {
      FMainUnits.insert(FMainUnits.end(), FWorkerUnits.begin(), FWorkerUnits.end());
      FWorkerUnits.clear();
    }
  }
}

// The table's costs are one machine's: once enough has gone through both
// threads, split again by what each unit took here. The caller's share of the
// work outside the digests is its copying plus about as much for reading.
void TMultiDigest::Rebalance() {
  FRebalanced = true;
  std::vector<double> costs;
  double total = 0;
  for (auto& u : FUnits) {
    costs.push_back(u->Seconds);
    total += u->Seconds;
  }
  if (total <= 0) return;
  const unsigned mask = BestSplit(costs, 2 * FCopySeconds);
  if (mask == 0) return;  // keep the worker busy with what it has
  FMainUnits.clear();
  FWorkerUnits.clear();
  for (size_t i = 0; i < FUnits.size(); ++i) (mask & (1u << i) ? FWorkerUnits : FMainUnits).push_back(FUnits[i].get());
}

void TMultiDigest::WorkerLoop() {
  std::unique_lock<std::mutex> lock(FMutex);
  for (;;) {
    FWake.wait(lock, [this] { return FJobPending || FStop; });
    if (FJobPending) {
      const uint8_t* p = FJobData;
      const size_t n = FJobSize;
      lock.unlock();
      for (TUnit* u : FWorkerUnits) TimedUpdate(u, p, n);
      lock.lock();
      FJobPending = false;
      FDone.notify_one();
    } else {
      return;
    }
  }
}

void TMultiDigest::WaitWorker() {
  if (!FThread.joinable()) return;
  std::unique_lock<std::mutex> lock(FMutex);
  FDone.wait(lock, [this] { return !FJobPending; });
}

void TMultiDigest::Update(const void* data, size_t n) {
  if (n == 0) return;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  if (!FThread.joinable() || n < MinParallelBlock) {
    WaitWorker();
    for (auto& u : FUnits) u->Update(p, n);
    return;
  }
  // The worker gets a private copy when one can be had, so that this call can
  // return while it is still busy. Of the two copy buffers the worker holds at
  // most the one posted last, so the other is filled while it works.
  const uint8_t* job = p;
  if (n <= kMaxCopy) {
    std::vector<uint8_t>& copy = FCopy[FNextCopy];
    if (copy.size() < n) {
      try {
        copy.resize(n);
      } catch (const std::bad_alloc&) {
        copy.clear();
      }
    }
    if (copy.size() >= n) {
      const double t0 = Now();
      std::memcpy(copy.data(), p, n);
      FCopySeconds += Now() - t0;
      job = copy.data();
    }
  }
  WaitWorker();
  // The worker is idle here, so units can change sides.
  if (!FRebalanced && FParallelBytes >= kRebalanceAfter) Rebalance();
  FParallelBytes += n;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FJobData = job;
    FJobSize = n;
    FJobPending = true;
  }
  FWake.notify_one();
  if (job != p) FNextCopy ^= 1;
  for (TUnit* u : FMainUnits) TimedUpdate(u, p, n);
  if (job == p) WaitWorker();
}

void TMultiDigest::Final() {
  WaitWorker();
  for (auto& r : FResults) r.clear();
  for (auto& u : FUnits) u->Final(FResults);
}

void TMultiDigest::Reset() {
  WaitWorker();
  for (auto& r : FResults) r.clear();
  for (auto& u : FUnits) u->Init();
}

bool TMultiDigest::Has(TDigestKind kind) const { return kind >= 0 && kind < DigestKindCount && FSelected[kind]; }

const std::vector<uint8_t>& TMultiDigest::Digest(TDigestKind kind) const {
  static const std::vector<uint8_t> empty;
  return Has(kind) ? FResults[kind] : empty;
}

std::string TMultiDigest::Hex(TDigestKind kind, bool upperCase) const {
  const auto& d = Digest(kind);
  return upperCase ? HexUpper(d) : HexLower(d);
}

}  // namespace bq
