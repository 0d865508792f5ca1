// BLAKE3 (unkeyed hash mode, 256-bit output): 1 KiB chunks hashed with a
// seven-round compression function and joined in a binary tree.
#pragma once

#include "hashes/quDigestBase.h"

namespace bq {

class TBLAKE3 {
public:
  static constexpr size_t DigestSize = 32;
  static constexpr size_t ChunkSize = 1024;

  TBLAKE3() { Init(); }
  void Init();
  void Update(const void* data, size_t n);
  void Final(uint8_t out[DigestSize]);  // also re-initialises

private:
  void AddChunkValue(const uint32_t (&cv)[8]);

  // The chunk being filled.
  uint32_t FChunkCV[8];
  uint8_t FBlock[64];
  size_t FBlockFill = 0;
  unsigned FBlocksDone = 0;  // compressed blocks of the current chunk
  uint64_t FChunks = 0;      // chunks completed so far
  // Chaining values of complete subtrees, one per set bit of FChunks.
  uint32_t FStack[54][8];
  unsigned FDepth = 0;
};

}  // namespace bq
