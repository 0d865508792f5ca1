// One pass over the data feeding several digests, spread over the calling
// thread and one persistent worker thread.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace bq {

// A fixed underlying type makes any int a valid value, so out-of-range kinds
// can be rejected rather than being undefined.
enum TDigestKind : int {
  dkCRC32,
  dkMD4,
  dkMD5,
  dkSHA1,
  dkRipeMD128,
  dkRipeMD160,
  dkRipeMD256,
  dkRipeMD320,
  dkSHA256,
  dkSHA512,
  dkSHA3_256,
  dkBLAKE3,
};
constexpr int DigestKindCount = 12;

const char* DigestName(TDigestKind kind);  // "CRC32", "MD4", ..., "RIPEMD-320", "SHA-256", ..., "BLAKE3"
size_t DigestSize(TDigestKind kind);       // in bytes

// Usage:
//   TMultiDigest md({dkCRC32, dkMD5, dkSHA1});
//   while (...) md.Update(block, size);
//   md.Final();
//   md.Hex(dkMD5);
//
// Digests are grouped by their cost into two sides of about equal work (first
// by a table of costs, then, once 8 MiB have gone through both threads, by the
// times each digest took here); Update runs one side on the calling thread
// while the worker runs the other, on a private copy of blocks up to 4 MiB so that the caller can
// refill its buffer while the worker is still busy (two copies are kept, so
// at most 8 MiB). Small blocks, a single
// digest or a worker that cannot be started fall back to running everything
// on the calling thread. The results never depend on how the work was split.
// An object must not be used from two threads at once.
class TMultiDigest {
public:
  explicit TMultiDigest(std::span<const TDigestKind> kinds, bool allowThread = true);
  TMultiDigest(std::initializer_list<TDigestKind> kinds, bool allowThread = true)
      : TMultiDigest(std::span<const TDigestKind>(kinds.begin(), kinds.size()), allowThread) {}
  ~TMultiDigest();
  TMultiDigest(const TMultiDigest&) = delete;
  TMultiDigest& operator=(const TMultiDigest&) = delete;

  void Update(const void* data, size_t n);
  // Completes every digest; the results stay until the next Final or Reset,
  // and Update may start a new message straight away.
  void Final();
  // Drops anything fed since the last Final and clears the results.
  void Reset();

  bool Has(TDigestKind kind) const;
  // Empty for kinds not selected or before Final. CRC-32 is big-endian.
  const std::vector<uint8_t>& Digest(TDigestKind kind) const;
  std::string Hex(TDigestKind kind, bool upperCase = false) const;
  // True when a worker thread is running.
  bool Threaded() const { return FThread.joinable(); }

  // Blocks at least this large are split between the threads.
  static constexpr size_t MinParallelBlock = 64 * 1024;

  struct TUnit;  // one digest, or several computed together

private:
  void Plan(bool allowThread);
  void Rebalance();
  void WaitWorker();
  void WorkerLoop();

  std::vector<std::unique_ptr<TUnit>> FUnits;
  std::vector<TUnit*> FMainUnits, FWorkerUnits;
  std::array<bool, DigestKindCount> FSelected{};
  std::array<std::vector<uint8_t>, DigestKindCount> FResults;

  std::vector<uint8_t> FCopy[2];
  int FNextCopy = 0;
  std::thread FThread;
  std::mutex FMutex;
  std::condition_variable FWake, FDone;
  const uint8_t* FJobData = nullptr;
  size_t FJobSize = 0;
  bool FJobPending = false;
  bool FStop = false;
  // Measured while blocks are split: bytes through both threads, and the
  // caller's time spent copying them for the worker.
  uint64_t FParallelBytes = 0;
  double FCopySeconds = 0;
  bool FRebalanced = false;
};

}  // namespace bq
