// gzip decoding as a forward-only stream (zlib's inflate with the gzip wrapper; members in a
// row are one output, as gzip writes and reads them) and the fields of the first member header.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "archive/bqDecodedStream.h"
#include "archive/bqSourceStream.h"

namespace bq {

class TGZipStream : public TDecodedStream {
public:
  TGZipStream(TArchiveSource& source, uint64_t offset = 0);
  ~TGZipStream() override;
  size_t Read(uint8_t* buffer, size_t count) override;

  static bool HasSignature(const uint8_t* data, size_t size) {
    return size >= 10 && data[0] == 0x1F && data[1] == 0x8B && data[2] == 8;
  }

private:
  struct TState;
  std::unique_ptr<TState> S;
};

// What a gzip member header records (RFC 1952).
struct TGZipHeader {
  std::string Name;   // FNAME as stored (8-bit), empty when absent
  uint32_t MTime = 0;  // Unix time, 0 when not recorded
  uint64_t HeaderSize = 0;
};
// The header at the start of the source; false when it is not a gzip header or is cut.
bool ReadGZipHeader(TArchiveSource& source, TGZipHeader& header);

}  // namespace bq
