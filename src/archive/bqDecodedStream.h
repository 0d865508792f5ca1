// A forward-only stream of decoded bytes (gzip, bzip2, xz, LZMA2 ...) that a reader walks front
// to back without holding the whole output.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace bq {

class TDecodedStream {
public:
  virtual ~TDecodedStream() = default;
  // Up to count decoded bytes into buffer; fewer only at the end of the stream or on damage.
  // 0 means nothing more: Error() is empty at a clean end and says what went wrong otherwise.
  virtual size_t Read(uint8_t* buffer, size_t count) = 0;
  const std::string& Error() const { return FError; }
  // Decoded bytes handed out so far.
  uint64_t Position() const { return FPosition; }

protected:
  std::string FError;
  uint64_t FPosition = 0;
};

}  // namespace bq
