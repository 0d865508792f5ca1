#include "hashes/zoxChkHashes.h"

#include <cstring>
#include <memory>

#include "platform/bqFile.h"
#include "platform/bqText.h"

namespace bq {

size_t TChecksumGenerator::BufferSize(uint32_t clusterSize) {
  const size_t cluster = clusterSize ? clusterSize : 8192;
  const size_t target = 1u << 20;
  return cluster >= target ? cluster : target / cluster * cluster;
}

bool TChecksumGenerator::Generate() {
  FDigests.clear();
  FError.clear();
  std::vector<TDigestKind> kinds;
  if (DoCRC32) kinds.push_back(TDigestKind::dkCRC32);
  if (DoMD5) kinds.push_back(TDigestKind::dkMD5);
  if (DoSHA1) kinds.push_back(TDigestKind::dkSHA1);
  for (TDigestKind k : MoreDigests)
    if (std::find(kinds.begin(), kinds.end(), k) == kinds.end()) kinds.push_back(k);

  TFileReader file;
  if (!file.Open(FileName)) {
    FError = file.Error();
    return false;
  }
  const size_t bufferSize = BufferSize(VolumeClusterSize(FileName));
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[bufferSize]);
  TMultiDigest digest(kinds);
  const uint64_t size = static_cast<uint64_t>(file.Size());
  uint64_t done = 0;
  for (;;) {
    const size_t got = file.Read(buffer.get(), bufferSize);
    if (file.Failed()) {
      FError = file.Error();
      return false;
    }
    if (got == 0) break;
    digest.Update(buffer.get(), got);
    done += got;
    if (OnProgress && !OnProgress(done, size)) {
      FError = "stopped";
      return false;
    }
  }
  digest.Final();
  for (TDigestKind k : kinds) FDigests[k] = digest.Digest(k);

  const auto crc = FDigests[TDigestKind::dkCRC32];
  CRC32 = crc.size() == 4 ? (uint32_t(crc[0]) << 24 | uint32_t(crc[1]) << 16 | uint32_t(crc[2]) << 8 | crc[3]) : 0;
  const auto md5 = FDigests[TDigestKind::dkMD5];
  if (md5.size() == sizeof MD5) std::memcpy(MD5, md5.data(), sizeof MD5);
  const auto sha1 = FDigests[TDigestKind::dkSHA1];
  if (sha1.size() == sizeof SHA1) std::memcpy(SHA1, sha1.data(), sizeof SHA1);
  return true;
}

std::string TChecksumGenerator::CRC32Text() const { return Hex8(CRC32); }
std::string TChecksumGenerator::MD5Text() const { return HexBytes(MD5, sizeof MD5, false); }
std::string TChecksumGenerator::SHA1Text() const { return HexBytes(SHA1, sizeof SHA1, false); }

std::vector<uint8_t> TChecksumGenerator::Digest(TDigestKind kind) const {
  const auto it = FDigests.find(kind);
  return it == FDigests.end() ? std::vector<uint8_t>{} : it->second;
}

}  // namespace bq
