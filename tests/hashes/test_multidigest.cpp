// TMultiDigest: the same results as the single digests, however the work is
// split between the threads and whatever the block sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
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

using namespace bq;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes v(n);
  for (auto& b : v) b = uint8_t(rng());
  return v;
}

template <class T>
Bytes Single(const Bytes& data) {
  T d;
  d.Update(data.data(), data.size());
  Bytes out(T::DigestSize);
  d.Final(out.data());
  return out;
}

Bytes Expected(TDigestKind kind, const Bytes& data) {
  switch (kind) {
    case dkCRC32: return Single<TCRC32>(data);
    case dkMD4: return Single<TMD4>(data);
    case dkMD5: return Single<TMD5>(data);
    case dkSHA1: return Single<TSHA1>(data);
    case dkRipeMD128: return Single<TRipeMD128>(data);
    case dkRipeMD160: return Single<TRipeMD160>(data);
    case dkRipeMD256: return Single<TRipeMD256>(data);
    case dkRipeMD320: return Single<TRipeMD320>(data);
    case dkSHA256: return Single<TSHA256>(data);
    case dkSHA512: return Single<TSHA512>(data);
    case dkSHA3_256: return Single<TSHA3_256>(data);
    case dkBLAKE3: return Single<TBLAKE3>(data);
  }
  return {};
}

const std::vector<TDigestKind> kAll = {dkCRC32,     dkMD4,       dkMD5,       dkSHA1,   dkRipeMD128, dkRipeMD160,
                                       dkRipeMD256, dkRipeMD320, dkSHA256, dkSHA512, dkSHA3_256,  dkBLAKE3};

void Feed(TMultiDigest& md, const Bytes& data, const std::vector<size_t>& blocks) {
  size_t pos = 0;
  for (size_t i = 0; pos < data.size(); ++i) {
    const size_t n = std::min(blocks[i % blocks.size()], data.size() - pos);
    md.Update(data.data() + pos, n);
    pos += n;
  }
}

void ExpectSame(const TMultiDigest& md, const std::vector<TDigestKind>& kinds, const Bytes& data) {
  // The single digests are checked elsewhere; compute each data set's once.
  static Bytes cachedData;
  static std::vector<Bytes> cache;
  if (cache.empty() || cachedData != data) {
    cache.clear();
    for (TDigestKind k : kAll) cache.push_back(Expected(k, data));
    cachedData = data;
  }
  for (TDigestKind k : kAll) {
    if (std::find(kinds.begin(), kinds.end(), k) != kinds.end()) {
      EXPECT_EQ(md.Digest(k), cache[k]) << DigestName(k);
    } else {
      EXPECT_TRUE(md.Digest(k).empty()) << DigestName(k);
    }
  }
}

// The sets the product uses, a pair sharing vector lanes, odd subsets, and
// block sizes on both sides of the threading threshold (the 1 MiB blocks of a
// file read, small ones, and ones too large to copy for the worker).
TEST(MultiDigest, MatchesSingleDigests) {
  const Bytes data = RandomBytes(6 * 1024 * 1024 + 333, 1);
  const std::vector<std::vector<TDigestKind>> sets = {
      kAll, {dkCRC32, dkMD5, dkSHA1}, {dkRipeMD160, dkRipeMD320}, {dkMD4, dkRipeMD128, dkRipeMD256},
      {dkSHA1}, {dkCRC32, dkRipeMD320}, {dkSHA256, dkBLAKE3}};
  const std::vector<std::vector<size_t>> blockings = {
      {1 << 20}, {TMultiDigest::MinParallelBlock - 1, TMultiDigest::MinParallelBlock, 7}, {5 * 1024 * 1024}};
  for (bool accel : {true, false}) {
    SetDigestAcceleration(accel);
    for (const auto& kinds : sets)
      for (const auto& blocks : blockings)
        for (bool thread : {true, false}) {
          SCOPED_TRACE(::testing::Message() << kinds.size() << " kinds, first block " << blocks[0]
                                            << (thread ? ", thread" : "") << (accel ? ", accelerated" : ""));
          TMultiDigest md(kinds, thread);
          if (!thread) {
            EXPECT_FALSE(md.Threaded());
          }
          Feed(md, data, blocks);
          md.Final();
          ExpectSame(md, kinds, data);
        }
  }
  SetDigestAcceleration(true);
}

// After 8 MiB through both threads the digests may change sides in the middle
// of a message; the results, and those of the next message, stay the same.
TEST(MultiDigest, ChangingSidesMidMessageKeepsResults) {
  const Bytes data = RandomBytes(11 * 1024 * 1024 + 17, 2);
  TMultiDigest md(kAll);
  ASSERT_TRUE(md.Threaded());
  Feed(md, data, {1 << 20});
  md.Final();
  ExpectSame(md, kAll, data);
  Feed(md, data, {TMultiDigest::MinParallelBlock, 3 << 20, 100});
  md.Final();
  ExpectSame(md, kAll, data);
}

TEST(MultiDigest, SplitsTheWorkWhereItPays) {
  EXPECT_TRUE(TMultiDigest(kAll).Threaded());
  EXPECT_TRUE(TMultiDigest({dkCRC32, dkMD5, dkSHA1}).Threaded());
  EXPECT_FALSE(TMultiDigest({dkMD5}).Threaded());
  if (UsePCLMUL()) {
    EXPECT_FALSE(TMultiDigest({dkCRC32, dkMD5}).Threaded());  // folded CRC-32: not worth a thread
  }
  EXPECT_FALSE(TMultiDigest({}).Threaded());
}

TEST(MultiDigest, EmptyInputAndReuse) {
  TMultiDigest md(kAll);
  md.Final();
  ExpectSame(md, kAll, {});
  EXPECT_EQ(md.Hex(dkMD5), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md.Hex(dkCRC32, true), "00000000");

  // After Final the next Update starts a new message; Reset drops input.
  const Bytes a = RandomBytes(3 * 1024 * 1024, 2), b = RandomBytes(2 * 1024 * 1024 + 5, 3);
  Feed(md, a, {1 << 20});
  md.Final();
  ExpectSame(md, kAll, a);
  Feed(md, a, {1 << 20});
  md.Reset();
  EXPECT_TRUE(md.Digest(dkSHA1).empty());
  Feed(md, b, {1 << 20});
  md.Final();
  ExpectSame(md, kAll, b);
}

TEST(MultiDigest, DuplicateAndUnknownKindsAreIgnored) {
  const Bytes data = RandomBytes(200000, 4);
  const std::vector<TDigestKind> kinds = {dkMD5, dkMD5, TDigestKind(42), dkCRC32};
  TMultiDigest md(kinds);
  EXPECT_FALSE(md.Has(TDigestKind(42)));
  EXPECT_TRUE(md.Digest(TDigestKind(-1)).empty());
  md.Update(data.data(), data.size());
  md.Final();
  ExpectSame(md, {dkMD5, dkCRC32}, data);
}

// Destroying the object with a block still in the worker's hands must wait
// for it (ASan/TSan builds catch the use-after-free otherwise).
TEST(MultiDigest, DestroyWhileWorkerIsBusy) {
  const Bytes data = RandomBytes(4 * 1024 * 1024, 5);
  for (int i = 0; i < 20; ++i) {
    TMultiDigest md(kAll);
    md.Update(data.data(), data.size());
  }
}

TEST(MultiDigest, NamesAndSizes) {
  const size_t sizes[] = {4, 16, 16, 20, 16, 20, 32, 40, 32, 64, 32, 32};
  for (TDigestKind k : kAll) EXPECT_EQ(DigestSize(k), sizes[k]);
  EXPECT_STREQ(DigestName(dkRipeMD160), "RIPEMD-160");
  EXPECT_STREQ(DigestName(dkSHA1), "SHA1");
  EXPECT_STREQ(DigestName(dkSHA3_256), "SHA3-256");
}

}  // namespace
