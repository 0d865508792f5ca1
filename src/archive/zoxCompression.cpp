#include "archive/zoxCompression.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "archive/bqBZip2.h"
#include "archive/bqLzma.h"

namespace bq {

namespace {
constexpr const char* kMethodNames[5] = {"Unknown", "Copy", "Deflate", "LZMA", "BZip2"};
constexpr size_t kFirstGrowth = 64 * 1024;

// Grows out so that at least one more byte fits, doubling up to limit; false at the limit.
bool Grow(std::vector<uint8_t>& out, size_t used, size_t limit) {
  if (used >= limit) return false;
  if (out.size() > used) return true;
  const size_t want = std::min(limit, std::max(kFirstGrowth, used * 2));
  out.resize(want);
  return true;
}

std::string ZlibMessage(int code) {
  switch (code) {
    case Z_STREAM_END: return "stream end";
    case Z_NEED_DICT: return "need dictionary";
    case Z_ERRNO: return "file error";
    case Z_STREAM_ERROR: return "stream error";
    case Z_DATA_ERROR: return "data error";
    case Z_MEM_ERROR: return "insufficient memory";
    case Z_BUF_ERROR: return "buffer error";
    case Z_VERSION_ERROR: return "incompatible version";
    default: return "zlib error " + std::to_string(code);
  }
}

size_t SizeBound(uint64_t size) { return size > SIZE_MAX ? SIZE_MAX : static_cast<size_t>(size); }
}  // namespace

const char* CompressionMethodName(TCompressionMethod method) {
  const auto i = static_cast<size_t>(method);
  return i < 5 ? kMethodNames[i] : kMethodNames[0];
}

void TMultiDecoder::SetProperties(uint32_t dictionarySize, uint8_t propertiesByte, size_t length,
                                  const uint8_t* properties) {
  if (length < 4) throw EDecompressionError("Properties too small!");
  DictionarySize = dictionarySize;
  std::memcpy(Properties, properties, std::min<size_t>(length, 5));
  PropertiesByte = propertiesByte;
}

void TMultiDecoder::Decode() {
  if (!Input) throw EDecompressionError("Input stream not assigned!");
  if (!Output) throw EDecompressionError("Output stream not assigned!");
  switch (Method) {
    case TCompressionMethod::cmCopy: DecodeCopy(); break;
    case TCompressionMethod::cmDeflate: DecodeDeflate(); break;
    case TCompressionMethod::cmLZMA: DecodeLZMA(); break;
    case TCompressionMethod::cmBZip2: DecodeBZip2(); break;
    default: break;  // Unknown leaves the output as it was
  }
}

void TMultiDecoder::DecodeCopy() {
  TByteView part;
  if (!Input->Sub(InputPosition, Size, part)) throw EDecompressionError("Stream read error");
  Output->insert(Output->end(), part.Data(), part.Data() + part.Size());
  InputPosition += Size;
}

void TMultiDecoder::DecodeDeflate() {
  const TByteView input = Input->Tail(InputPosition);
  std::vector<uint8_t>& out = *Output;
  const size_t start = out.size();
  const size_t limit = start + std::min<size_t>(SizeBound(Size), SIZE_MAX - start);
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw EDecompressionError("insufficient memory", Z_MEM_ERROR);
  size_t used = start;
  int rc = Z_OK;
  uInt fed = 0;
  size_t inPos = 0;
  while (used < limit) {
    Grow(out, used, limit);
    if (z.avail_in == 0 && inPos < input.Size()) {
      fed = static_cast<uInt>(std::min<size_t>(input.Size() - inPos, 1u << 30));
      z.next_in = const_cast<Bytef*>(input.Data() + inPos);
      z.avail_in = fed;
      inPos += fed;
    }
    const size_t room = std::min<size_t>(out.size() - used, 1u << 30);
    z.next_out = out.data() + used;
    z.avail_out = static_cast<uInt>(room);
    rc = inflate(&z, Z_NO_FLUSH);
    used += room - z.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR && z.avail_in == 0 && inPos >= input.Size()) break;  // input ran out
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;
  }
  const size_t consumed = inPos - z.avail_in;
  inflateEnd(&z);
  out.resize(used);
  InputPosition += consumed;
  if (rc == Z_STREAM_END || used >= limit) return;
  if (rc == Z_OK || rc == Z_BUF_ERROR) throw EDecompressionError(ZlibMessage(Z_BUF_ERROR), Z_BUF_ERROR);
  throw EDecompressionError(ZlibMessage(rc), rc);
}

void TMultiDecoder::DecodeLZMA() {
  if (DictionarySize >= 0x80000000u) throw EDecompressionError("Incorrect dictionary size!");
  if (PropertiesByte >= 9 * 5 * 5) throw EDecompressionError("Flag incorrect!");
  const uint8_t props[5] = {PropertiesByte, static_cast<uint8_t>(DictionarySize), static_cast<uint8_t>(DictionarySize >> 8),
                            static_cast<uint8_t>(DictionarySize >> 16), static_cast<uint8_t>(DictionarySize >> 24)};
  TBqLzma* decoder = nullptr;
  const int created = BqLzmaCreate(props, &decoder);
  if (created == 1) throw EDecompressionError("Flag incorrect!");
  if (created != 0) throw EDecompressionError("insufficient memory");

  // Decoded bytes go straight into Output, which serves as the dictionary and grows as the
  // output comes, never beyond Size.
  const TByteView input = Input->Tail(InputPosition);
  std::vector<uint8_t> decoded;
  const size_t limit = SizeBound(std::min<uint64_t>(Size, 0xFFFFFFFFu));
  size_t used = 0, inPos = 0;
  int finished = 0, rc = 0;
  while (!finished && Grow(decoded, used, limit)) {
    const size_t before = used, inBefore = inPos;
    rc = BqLzmaDecode(decoder, decoded.data(), decoded.size(), &used, input.Data(), input.Size(), &inPos, &finished);
    if (rc != 0 || (used == before && inPos == inBefore)) break;  // corrupt, or the input ran out
  }
  BqLzmaFree(decoder);
  decoded.resize(used);
  if (Output->empty()) Output->swap(decoded);
  else Output->insert(Output->end(), decoded.begin(), decoded.end());
  InputPosition += inPos;
  if (rc != 0) throw EDecompressionError("Error in data stream");
}

void TMultiDecoder::DecodeBZip2() {
  TArchiveMemorySource source(Input->Tail(InputPosition));
  TBZip2Stream stream(source, 0, TBZip2Mode::bzNSIS);
  std::vector<uint8_t>& out = *Output;
  const size_t start = out.size();
  const size_t limit = start + std::min<size_t>(SizeBound(Size), SIZE_MAX - start);
  size_t used = start;
  while (Grow(out, used, limit)) {
    const size_t n = stream.Read(out.data() + used, out.size() - used);
    if (n == 0) break;
    used += n;
  }
  out.resize(used);
  InputPosition += stream.InputPosition();
  if (!stream.Error().empty()) throw EDecompressionError(stream.Error());
}

}  // namespace bq
