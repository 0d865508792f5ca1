// bzip2 decoding as a forward-only stream: the "BZh" stream format (several streams in a row
// are one output, as .bz2 files allow) and the bare block format NSIS installers use.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "archive/bqDecodedStream.h"
#include "archive/bqSourceStream.h"

namespace bq {

enum class TBZip2Mode {
  bzStandard,  // "BZh1".."BZh9", blocks with 48-bit magics and CRCs, an end marker with the stream CRC
  bzNSIS       // no stream header; 900k blocks that start with the byte 0x31, an end byte 0x17, no CRCs
};

class TBZip2Stream : public TDecodedStream {
public:
  TBZip2Stream(TArchiveSource& source, uint64_t offset = 0, TBZip2Mode mode = TBZip2Mode::bzStandard);
  ~TBZip2Stream() override;
  size_t Read(uint8_t* buffer, size_t count) override;
  // Where the compressed input ended (after the end marker), once Read returned 0 cleanly.
  uint64_t InputPosition() const;

  // "BZh1".."BZh9" followed by a block or end-of-stream magic.
  static bool HasSignature(const uint8_t* data, size_t size);

private:
  struct TState;
  std::unique_ptr<TState> S;
  bool Fail(const char* message);
  bool StartStream();
  bool NextBlock();
  bool ReadBlock();
};

}  // namespace bq
