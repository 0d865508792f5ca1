// The checksum generator: CRC-32, MD5 and SHA-1 of a file (and, for the digest list, any
// further digests) from one read of it.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "hashes/quMultiDigest.h"

namespace bq {

class TChecksumGenerator {
public:
  bool DoMD5 = false;
  bool DoCRC32 = false;
  bool DoSHA1 = false;
  std::string FileName;  // UTF-8
  // Further digests computed in the same pass.
  std::vector<TDigestKind> MoreDigests;

  uint8_t MD5[16] = {};
  uint32_t CRC32 = 0;
  uint8_t SHA1[20] = {};

  // Called after each block with the bytes read so far and the file size; returning false
  // stops the work (Generate then returns false).
  std::function<bool(uint64_t done, uint64_t size)> OnProgress;

  // Reads the file once, shared with other readers and writers, in whole clusters. False
  // when it cannot be opened or read, or when stopped; Error() tells why.
  bool Generate();
  const std::string& Error() const { return FError; }

  std::string CRC32Text() const;  // 8 upper-case digits
  std::string MD5Text() const;    // 32 lower-case digits
  std::string SHA1Text() const;   // 40 lower-case digits
  // A digest of MoreDigests (or of the three) as its bytes; empty when not computed.
  std::vector<uint8_t> Digest(TDigestKind kind) const;

  // The read buffer: the largest multiple of the cluster size not above 1 MiB (8192 bytes a
  // cluster when the volume does not tell).
  static size_t BufferSize(uint32_t clusterSize);

private:
  std::map<TDigestKind, std::vector<uint8_t>> FDigests;
  std::string FError;
};

}  // namespace bq
