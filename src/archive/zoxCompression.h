// Decompression of one byte range into a growing buffer by one of a fixed set of methods.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/bqBytes.h"

namespace bq {

enum class TCompressionMethod { cmUnknown, cmCopy, cmDeflate, cmLZMA, cmBZip2 };
const char* CompressionMethodName(TCompressionMethod method);

// Every failure of decoding; the Deflate path's carry zlib's result code and its message.
class EDecompressionError : public std::runtime_error {
public:
  explicit EDecompressionError(const std::string& message, int code = 0) : std::runtime_error(message), Code(code) {}
  int Code;
};

class TMultiDecoder {
public:
  TCompressionMethod Method = TCompressionMethod::cmUnknown;
  const TByteView* Input = nullptr;  // not owned; read from InputPosition on
  uint64_t InputPosition = 0;        // after Decode: just after the last input byte used
  std::vector<uint8_t>* Output = nullptr;  // not owned; decoded bytes are appended
  // Copy: the bytes to copy. Deflate, LZMA and BZip2 (NSIS's bare blocks): the most bytes to
  // produce; decoding stops there.
  uint64_t Size = 0;
  uint32_t DictionarySize = 0;
  uint8_t PropertiesByte = 0;
  uint8_t Properties[5] = {};

  // Raises "Properties too small!" when length is below 4.
  void SetProperties(uint32_t dictionarySize, uint8_t propertiesByte, size_t length, const uint8_t* properties);
  // Raises EDecompressionError on any failure; what was decoded before it stays in Output.
  void Decode();

private:
  void DecodeCopy();
  void DecodeDeflate();
  void DecodeLZMA();
  void DecodeBZip2();
};

}  // namespace bq
