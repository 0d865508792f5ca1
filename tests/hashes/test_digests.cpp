// Digest implementations against published test vectors and against
// OpenSSL, Crypto++, zlib and liblzma, on both the accelerated and the portable paths.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <lzma.h>
#include <zlib.h>

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md4.h>
#include <cryptopp/md5.h>
#include <cryptopp/ripemd.h>
#include <cryptopp/sha.h>
#include <cryptopp/sha3.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "hashes/quCRC32.h"
#include "hashes/quCRC64.h"
#include "hashes/quDigestBase.h"
#include "hashes/quMD4.h"
#include "hashes/quMD5.h"
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

// Feeds data in pieces whose sizes come from rng (0 = everything at once).
template <class T>
Bytes Digest(const uint8_t* p, size_t n, std::mt19937* rng = nullptr) {
  T d;
  while (n) {
    size_t k = rng ? std::min<size_t>(n, (*rng)() % 200) : n;
    d.Update(p, k);
    p += k;
    n -= k;
  }
  Bytes out(T::DigestSize);
  d.Final(out.data());
  return out;
}

struct TAlgo {
  const char* Name;
  std::function<Bytes(const uint8_t*, size_t, std::mt19937*)> Ours;
  std::function<Bytes(const uint8_t*, size_t)> OpenSSL;  // may be empty
  std::function<Bytes(const uint8_t*, size_t)> CryptoPP;
};

Bytes EvpDigest(const char* name, const uint8_t* p, size_t n) {
  // MD4 and RIPEMD-160 live in the legacy provider of OpenSSL 3.
  static const struct TProviders {
    OSSL_PROVIDER* Legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER* Default = OSSL_PROVIDER_load(nullptr, "default");
    ~TProviders() {
      if (Legacy) OSSL_PROVIDER_unload(Legacy);
      if (Default) OSSL_PROVIDER_unload(Default);
    }
  } providers;
  EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
  if (!md) return {};
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned len = 0;
  EVP_Digest(p, n, out.data(), &len, md, nullptr);
  EVP_MD_free(md);
  out.resize(len);
  return out;
}

template <class H>
Bytes CppDigest(const uint8_t* p, size_t n) {
  H h;
  Bytes out(h.DigestSize());
  h.CalculateDigest(out.data(), p, n);
  return out;
}

Bytes Crc32Bytes(uint32_t c) { return {uint8_t(c >> 24), uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)}; }

const std::vector<TAlgo>& Algos() {
  static const std::vector<TAlgo> algos = {
      {"CRC32", Digest<TCRC32>, nullptr,
       [](const uint8_t* p, size_t n) { return Crc32Bytes(uint32_t(crc32(0, p, uInt(n)))); }},
      {"MD4", Digest<TMD4>, [](const uint8_t* p, size_t n) { return EvpDigest("MD4", p, n); },
       CppDigest<CryptoPP::Weak::MD4>},
      {"MD5", Digest<TMD5>, [](const uint8_t* p, size_t n) { return EvpDigest("MD5", p, n); },
       CppDigest<CryptoPP::Weak::MD5>},
      {"SHA1", Digest<TSHA1>, [](const uint8_t* p, size_t n) { return EvpDigest("SHA1", p, n); },
       CppDigest<CryptoPP::SHA1>},
      {"RIPEMD128", Digest<TRipeMD128>, nullptr, CppDigest<CryptoPP::RIPEMD128>},
      {"RIPEMD160", Digest<TRipeMD160>, [](const uint8_t* p, size_t n) { return EvpDigest("RIPEMD160", p, n); },
       CppDigest<CryptoPP::RIPEMD160>},
      {"RIPEMD256", Digest<TRipeMD256>, nullptr, CppDigest<CryptoPP::RIPEMD256>},
      {"RIPEMD320", Digest<TRipeMD320>, nullptr, CppDigest<CryptoPP::RIPEMD320>},
      {"SHA256", Digest<TSHA256>, [](const uint8_t* p, size_t n) { return EvpDigest("SHA256", p, n); },
       CppDigest<CryptoPP::SHA256>},
      {"SHA512", Digest<TSHA512>, [](const uint8_t* p, size_t n) { return EvpDigest("SHA512", p, n); },
       CppDigest<CryptoPP::SHA512>},
      {"SHA384", Digest<TSHA384>, [](const uint8_t* p, size_t n) { return EvpDigest("SHA384", p, n); },
       CppDigest<CryptoPP::SHA384>},
      {"SHA3-256", Digest<TSHA3_256>, [](const uint8_t* p, size_t n) { return EvpDigest("SHA3-256", p, n); },
       CppDigest<CryptoPP::SHA3_256>},
  };
  return algos;
}

const TAlgo& Algo(const std::string& name) {
  for (auto& a : Algos())
    if (name == a.Name) return a;
  throw std::runtime_error("no algorithm " + name);
}

// Runs body once on the portable paths and once on the accelerated ones.
class DigestPaths : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override { SetDigestAcceleration(GetParam()); }
  void TearDown() override { SetDigestAcceleration(true); }
};

// RFC 1320/1321 suites, FIPS 180-1, and the RIPEMD authors' table; the last
// row is one million 'a'.
const char* const kMessages[] = {
    "", "a", "abc", "message digest", "abcdefghijklmnopqrstuvwxyz",
    "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
    "12345678901234567890123456789012345678901234567890123456789012345678901234567890", nullptr};

struct TVectors {
  const char* Algo;
  const char* Hex[9];
};
const TVectors kVectors[] = {
    {"MD4",
     {"31d6cfe0d16ae931b73c59d7e0c089c0", "bde52cb31de33e46245e05fbdbd6fb24", "a448017aaf21d8525fc10ae87aa6729d",
      "d9130a8164549fe818874806e1c7014b", "d79e1c308aa5bbcdeea8ed63df412da9", "4691a9ec81b1a6bd1ab8557240b245c5",
      "043f8582f241db351ce627e153e7f0e4", "e33b4ddc9c38f2199c3e7b164fcc0536", "bbce80cc6bb65e5c6745e30d4eeca9a4"}},
    {"MD5",
     {"d41d8cd98f00b204e9800998ecf8427e", "0cc175b9c0f1b6a831c399e269772661", "900150983cd24fb0d6963f7d28e17f72",
      "f96b697d7cb7938d525a2f31aaf161d0", "c3fcd3d76192e4007dfb496cca67e13b", "8215ef0796a20bcaaae116d3876c664a",
      "d174ab98d277d9f5a5611c2c9f419d9f", "57edf4a22be3c955ac49da2e2107b67a", "7707d6ae4e027c70eea2a935c2296f21"}},
    {"SHA1",
     {"da39a3ee5e6b4b0d3255bfef95601890afd80709", "86f7e437faa5a7fce15d1ddcb9eaeaea377667b8",
      "a9993e364706816aba3e25717850c26c9cd0d89d", "c12252ceda8be8994d5fa0290a47231c1d16aae3",
      "32d10c7b8cf96570ca04ce37f2a19d84240d3a89", "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
      "761c457bf73b14d27e9e9265c46f4b4dda11f940", "50abf5706a150990a08b2c5ea40fa0e585554732",
      "34aa973cd4c4daa4f61eeb2bdbad27316534016f"}},
    {"RIPEMD128",
     {"cdf26213a150dc3ecb610f18f6b38b46", "86be7afa339d0fc7cfc785e72f578d33", "c14a12199c66e4ba84636b0f69144c77",
      "9e327b3d6e523062afc1132d7df9d1b8", "fd2aa607f71dc8f510714922b371834e", "a1aa0689d0fafa2ddc22e88b49133a06",
      "d1e959eb179c911faea4624c60c5c702", "3f45ef194732c2dbb2c4a2c769795fa3", "4a7f5723f954eba1216c9d8f6320431f"}},
    {"RIPEMD160",
     {"9c1185a5c5e9fc54612808977ee8f548b2258d31", "0bdc9d2d256b3ee9daae347be6f4dc835a467ffe",
      "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc", "5d0689ef49d2fae572b881b123a85ffa21595f36",
      "f71c27109c692c1b56bbdceb5b9d2865b3708dbc", "12a053384a9c0c88e405a06c27dcf49ada62eb2b",
      "b0e20b6e3116640286ed3a87a5713079b21f5189", "9b752e45573d4b39f4dbd3323cab82bf63326bfb",
      "52783243c1697bdbe16d37f97f68f08325dc1528"}},
    {"RIPEMD256",
     {"02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d",
      "f9333e45d857f5d90a91bab70a1eba0cfb1be4b0783c9acfcd883a9134692925",
      "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65",
      "87e971759a1ce47a514d5c914c392c9018c7c46bc14465554afcdf54a5070c0e",
      "649d3034751ea216776bf9a18acc81bc7896118a5197968782dd1fd97d8d5133",
      "3843045583aac6c8c8d9128573e7a9809afb2a0f34ccc36ea9e72f16f6368e3f",
      "5740a408ac16b720b84424ae931cbb1fe363d1d0bf4017f1a89f7ea6de77a0b8",
      "06fdcc7a409548aaf91368c06a6275b553e3f099bf0ea4edfd6778df89a890dd",
      "ac953744e10e31514c150d4d8d7b677342e33399788296e43ae4850ce4f97978"}},
    {"RIPEMD320",
     {"22d65d5661536cdc75c1fdf5c6de7b41b9f27325ebc61e8557177d705a0ec880151c3a32a00899b8",
      "ce78850638f92658a5a585097579926dda667a5716562cfcf6fbe77f63542f99b04705d6970dff5d",
      "de4c01b3054f8930a79d09ae738e92301e5a17085beffdc1b8d116713e74f82fa942d64cdbc4682d",
      "3a8e28502ed45d422f68844f9dd316e7b98533fa3f2a91d29f84d425c88d6b4eff727df66a7c0197",
      "cabdb1810b92470a2093aa6bce05952c28348cf43ff60841975166bb40ed234004b8824463e6b009",
      "d034a7950cf722021ba4b84df769a5de2060e259df4c9bb4a4268c0e935bbc7470a969c9d072a1ac",
      "ed544940c86d67f250d232c30b7b3e5770e0c60c8cb9a4cafe3b11388af9920e1b99230b843c86a4",
      "557888af5f6d8ed62ab66945c6d2a0a47ecd5341e915eb8fea1d0524955f825dc717e4a008ab2d42",
      "bdee37f4371e20646b8b0d862dda16292ae36f40965e8c8509e63d1dbddecc503e2b63eb9245bb66"}},
};

// FIPS 180-4 / FIPS 202 examples ("abc", the 448- and 896-bit messages, one
// million 'a') and the BLAKE3 authors' vectors (bytes i % 251).
TEST_P(DigestPaths, PublishedVectorsOfTheNewerDigests) {
  const std::string million(1000000, 'a');
  const std::string m448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const std::string m896 =
      "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";
  auto hex = [](const char* name, const std::string& m) {
    return HexLower(Algo(name).Ours(reinterpret_cast<const uint8_t*>(m.data()), m.size(), nullptr));
  };
  EXPECT_EQ(hex("SHA256", "abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(hex("SHA256", m448), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(hex("SHA256", million), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(hex("SHA512", "abc"),
            "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
            "454d4423643ce80e2a9ac94fa54ca49f");
  EXPECT_EQ(hex("SHA512", m896),
            "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433a"
            "c7d329eeb6dd26545e96e55b874be909");
  EXPECT_EQ(hex("SHA384", "abc"),
            "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7");
  EXPECT_EQ(hex("SHA3-256", ""), "a7ffc6f8bf1ed76651c14756a061d662f580ff4de43b49fa82d80a4b80f8434a");
  EXPECT_EQ(hex("SHA3-256", "abc"), "3a985da74fe225b2045c172d6bd390bd855f086e3e9d525b46bfe24511431532");
  EXPECT_EQ(hex("SHA3-256", million), "5c8875ae474a3634ba4fd55ec85bffd661f32aca75c6d699d0cdcb6c115891c1");

  auto blake = [](size_t n) {
    Bytes m(n);
    for (size_t i = 0; i < n; ++i) m[i] = uint8_t(i % 251);
    return HexLower(Digest<TBLAKE3>(m.data(), n));
  };
  EXPECT_EQ(blake(0), "af1349b9f5f9a1a6a0404dea36dcc9499bcb25c9adc112b7cc9a93cae41f3262");
  EXPECT_EQ(blake(1), "2d3adedff11b61f14c886e35afa036736dcd87a74d27b5c1510225d0f592e213");
  EXPECT_EQ(blake(1023), "10108970eeda3eb932baac1428c7a2163b0e924c9a9e25b35bba72b28f70bd11");
  EXPECT_EQ(blake(1024), "42214739f095a406f3fc83deb889744ac00df831c10daa55189b5d121c855af7");
  EXPECT_EQ(blake(1025), "d00278ae47eb27b34faecf67b4fe263f82d5412916c1ffd97c8cb7fb814b8444");
  EXPECT_EQ(blake(2048), "e776b6028c7cd22a4d0ba182a8bf62205d2ef576467e838ed6f2529b85fba24a");
  EXPECT_EQ(blake(2049), "5f4d72f40d7a5f82b15ca2b2e44b1de3c2ef86c426c95c1af0b6879522563030");
  EXPECT_EQ(blake(3072), "b98cb0ff3623be03326b373de6b9095218513e64f1ee2edd2525c7ad1e5cffd2");
  EXPECT_EQ(blake(31744), "62b6960e1a44bcc1eb1a611a8d6235b6b4b78f32e7abc4fb4c6cdcce94895c47");
  EXPECT_EQ(blake(102400), "bc3e3d41a1146b069abffad3c0d44860cf664390afce4d9661f7902e7943e085");
}

TEST_P(DigestPaths, PublishedVectors) {
  const std::string million(1000000, 'a');
  std::mt19937 rng(7);
  for (const auto& v : kVectors) {
    const TAlgo& algo = Algo(v.Algo);
    for (int i = 0; i < 9; ++i) {
      const std::string msg = kMessages[i] ? kMessages[i] : million;
      const auto* p = reinterpret_cast<const uint8_t*>(msg.data());
      SCOPED_TRACE(std::string(v.Algo) + " message " + std::to_string(i));
      EXPECT_EQ(HexLower(algo.Ours(p, msg.size(), nullptr)), v.Hex[i]);
      EXPECT_EQ(HexLower(algo.Ours(p, msg.size(), &rng)), v.Hex[i]);
    }
  }
  // The CRC-32 check value, and continuing a CRC across calls.
  EXPECT_EQ(HexUpper(Algo("CRC32").Ours(reinterpret_cast<const uint8_t*>("123456789"), 9, nullptr)), "CBF43926");
  const Bytes data = RandomBytes(5000, 1);
  EXPECT_EQ(TCRC32::Compute(data.data() + 1234, 3766, TCRC32::Compute(data.data(), 1234)),
            TCRC32::Compute(data.data(), 5000));
}

// Every length up to 3000 (covering each padding case and the SIMD
// thresholds), whole and in random pieces.
TEST_P(DigestPaths, AgreesWithOtherLibraries) {
  const Bytes data = RandomBytes(3000, 2);
  for (const TAlgo& algo : Algos()) {
    std::mt19937 rng(3);
    for (size_t n = 0; n <= data.size(); ++n) {
      const Bytes expected = algo.CryptoPP(data.data(), n);
      const Bytes whole = algo.Ours(data.data(), n, nullptr);
      ASSERT_EQ(whole, expected) << algo.Name << " length " << n;
      ASSERT_EQ(algo.Ours(data.data(), n, &rng), expected) << algo.Name << " split, length " << n;
      if (algo.OpenSSL && n % 61 == 0) {
        ASSERT_EQ(algo.OpenSSL(data.data(), n), expected) << algo.Name;
      }
    }
  }
}

// Large unaligned buffers: the folding and SHA-NI loops run for many blocks.
TEST_P(DigestPaths, LargeUnalignedBuffers) {
  const Bytes data = RandomBytes((1 << 20) + 100, 4);
  for (const TAlgo& algo : Algos())
    for (size_t offset : {0, 1, 3}) {
      const size_t n = data.size() - 100 + offset * 7;
      EXPECT_EQ(algo.Ours(data.data() + offset, n, nullptr), algo.CryptoPP(data.data() + offset, n)) << algo.Name;
    }
}

// xz's CRC-64 against liblzma: the check value, every length up to 3000 from an odd address
// (the folding needs 64 bytes), a large buffer, and continuing across calls at every split
// around the folding thresholds.
TEST_P(DigestPaths, Crc64AgreesWithLiblzma) {
  EXPECT_EQ(Crc64("123456789", 9), 0x995DC9BBDF1939FAull);
  const Bytes data = RandomBytes((1 << 20) + 3001, 5);
  const uint8_t* p = data.data() + 1;
  for (size_t n = 0; n <= 3000; ++n) ASSERT_EQ(Crc64(p, n), lzma_crc64(p, n, 0)) << "length " << n;
  EXPECT_EQ(Crc64(p, 1 << 20), lzma_crc64(p, 1 << 20, 0));
  const uint64_t whole = lzma_crc64(p, 700, 0);
  for (size_t cut = 0; cut <= 700; cut += 7) ASSERT_EQ(Crc64(p + cut, 700 - cut, Crc64(p, cut)), whole) << "cut " << cut;
}

TEST_P(DigestPaths, FinalStartsAFreshMessage) {
  TMD5 md5;
  uint8_t first[16], second[16];
  md5.Update("garbage", 7);
  md5.Final(first);
  md5.Update("abc", 3);
  md5.Final(second);
  EXPECT_EQ(HexLower(second, 16), "900150983cd24fb0d6963f7d28e17f72");
  TCRC32 crc;
  crc.Update("garbage", 7);
  crc.Final(first);
  crc.Update("123456789", 9);
  EXPECT_EQ(crc.Value(), 0xCBF43926u);
}

INSTANTIATE_TEST_SUITE_P(Paths, DigestPaths, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Accelerated" : "Portable"; });

TEST(DigestAcceleration, CpuFeaturesAreConsistent) {
  // Whatever the CPU, the switch must turn every accelerated path off.
  SetDigestAcceleration(false);
  EXPECT_FALSE(UsePCLMUL() || UseSHANI() || UseAVX512VL());
  EXPECT_EQ(ripemd_detail::BestLaneImpl(), ripemd_detail::TLaneImpl::Scalar);
  SetDigestAcceleration(true);
  EXPECT_EQ(UseSHANI(), CpuFeatures().SHA);
  EXPECT_EQ(UsePCLMUL(), CpuFeatures().PCLMUL);
}

// The vector kernels run several variants at once; they must match the
// scalar code on every multi-block input.
TEST(RipeMDLanes, KernelsMatchScalar) {
  using namespace ripemd_detail;
  if (!LaneImplAvailable(TLaneImpl::AVX512)) GTEST_SKIP() << "no AVX-512VL";
  const Bytes data = RandomBytes(64 * 257, 5);
  std::mt19937 rng(6);
  for (int round = 0; round < 20; ++round) {
    uint32_t start[27];
    for (auto& w : start) w = rng();
    const size_t blocks = 1 + rng() % 256;
    uint32_t s128[4], s160[5], s256[8], s320[10];
    auto load = [&] {
      std::copy(start, start + 4, s128), std::copy(start + 4, start + 9, s160);
      std::copy(start + 9, start + 17, s256), std::copy(start + 17, start + 27, s320);
    };
    auto state = [&] {
      std::vector<uint32_t> v(s128, s128 + 4);
      v.insert(v.end(), s160, s160 + 5), v.insert(v.end(), s256, s256 + 8), v.insert(v.end(), s320, s320 + 10);
      return v;
    };
    load();
    Compress<128>(s128, data.data(), blocks), Compress<160>(s160, data.data(), blocks);
    Compress<256>(s256, data.data(), blocks), Compress<320>(s320, data.data(), blocks);
    const std::vector<uint32_t> expected = state();
    load();
    CompressQuad(TLaneImpl::AVX512, s128, s160, s256, s320, data.data(), blocks);
    EXPECT_EQ(state(), expected) << "quad, " << blocks << " blocks";
    load();
    CompressPair<128>(TLaneImpl::AVX512, s128, s256, data.data(), blocks);
    CompressPair<160>(TLaneImpl::AVX512, s160, s320, data.data(), blocks);
    EXPECT_EQ(state(), expected) << "pairs, " << blocks << " blocks";
  }
}

TEST(RipeMDSet, EverySubsetMatchesSingleDigests) {
  const Bytes data = RandomBytes(3000, 8);
  for (bool accel : {false, true}) {
    SetDigestAcceleration(accel);
    for (unsigned mask = 1; mask < 16; ++mask) {
      std::mt19937 rng(mask);
      for (size_t n : {0, 55, 56, 64, 119, 128, 1000, 3000}) {
        TRipeMDSet set(mask);
        const size_t cut = n ? rng() % n : 0;
        set.Update(data.data(), cut);
        set.Update(data.data() + cut, n - cut);
        uint8_t d128[16] = {}, d160[20] = {}, d256[32] = {}, d320[40] = {};
        set.Final(d128, d160, d256, d320);
        const uint8_t* p = data.data();
        if (mask & TRipeMDSet::R128) {
          EXPECT_EQ(Bytes(d128, d128 + 16), Digest<TRipeMD128>(p, n));
        }
        if (mask & TRipeMDSet::R160) {
          EXPECT_EQ(Bytes(d160, d160 + 20), Digest<TRipeMD160>(p, n));
        }
        if (mask & TRipeMDSet::R256) {
          EXPECT_EQ(Bytes(d256, d256 + 32), Digest<TRipeMD256>(p, n));
        }
        if (mask & TRipeMDSet::R320) {
          EXPECT_EQ(Bytes(d320, d320 + 40), Digest<TRipeMD320>(p, n));
        }
      }
    }
  }
  SetDigestAcceleration(true);
}

TEST(Hex, BothCases) {
  const uint8_t b[] = {0x00, 0x9f, 0xa0, 0xff};
  EXPECT_EQ(HexUpper(b, 4), "009FA0FF");
  EXPECT_EQ(HexLower(Bytes(b, b + 4)), "009fa0ff");
  EXPECT_EQ(HexLower(b, 0), "");
}

}  // namespace
