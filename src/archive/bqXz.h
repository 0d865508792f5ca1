// The xz container: streams of blocks (LZMA2 only) with their checks, index and footer.
// TXzStream decodes one file front to back for a reader of the contents (tar, which also lists
// a lone .xz as one entry, sized from the index at the end of the file: XzUnpackedSize).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/bqDecodedStream.h"
#include "archive/bqLzma2.h"
#include "archive/quArchiveSimple.h"

namespace bq {

// The decoded bytes of every stream in the source, one after the other. The source is read in
// bounded pieces; each block's check (CRC-32, CRC-64, SHA-256) is verified, and its sizes against
// its header and the index.
class TXzStream : public TDecodedStream {
public:
  explicit TXzStream(TArchiveSource& source);
  ~TXzStream() override;
  size_t Read(uint8_t* buffer, size_t count) override;

private:
  enum TState { sStreamHeader, sBlockOrIndex, sBlockData, sBlockEnd, sIndex, sFooter, sPadding, sEnd, sFailed };
  struct TCheck;
  bool Fail(std::string message);
  // At least n bytes in FIn from FInAt on; false at the end of the source.
  bool Need(size_t n);
  bool ReadStreamHeader();
  bool ReadBlockHeader();
  bool EndBlock();
  bool ReadIndex();
  bool ReadFooter();
  bool SkipPadding();

  TArchiveSource& FSource;
  uint64_t FSourcePos = 0;  // of the byte after those in FIn
  std::vector<uint8_t> FIn;
  size_t FInAt = 0;
  uint64_t FConsumed = 0;   // source bytes taken so far
  TState FState = sStreamHeader;
  uint8_t FStreamFlags[2] = {};
  unsigned FCheckType = 0;
  std::unique_ptr<TLzma2Decoder> FDecoder;
  std::unique_ptr<TCheck> FCheck;
  // The block being decoded.
  uint64_t FBlockStart = 0, FBlockHeaderSize = 0, FBlockPacked = 0, FBlockUnpacked = 0;
  uint64_t FDeclaredPacked = UINT64_MAX, FDeclaredUnpacked = UINT64_MAX;
  // Records of the stream so far, to compare with its index.
  std::vector<std::pair<uint64_t, uint64_t>> FRecords;  // unpadded size, unpacked size
  uint64_t FStreamStart = 0, FIndexStart = 0;
};

// A decoded stream of an xz file, for the readers of what it holds (tar).
std::unique_ptr<TDecodedStream> OpenXzStream(TArchiveSource& source);

// The total unpacked size of every stream in an xz file, read from their indexes backwards
// from the end of the file. False with error when a footer or an index is damaged.
bool XzUnpackedSize(TArchiveSource& source, uint64_t& size, std::string& error);

}  // namespace bq
