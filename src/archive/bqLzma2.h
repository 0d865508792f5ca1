// LZMA2: a run of chunks, LZMA-compressed or stored, over one dictionary, as xz and 7z keep
// them. The chunk layer is ours; the LZMA chunks go through the reference decoder (bqLzma.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bqBytes.h"

struct TBqLzma;

namespace bq {

// The largest window (dictionary buffer) a decoder allocates: a stream whose dictionary is
// larger, and whose output is not known to be smaller, is refused.
constexpr uint64_t kLzma2WindowLimit = uint64_t{64} << 20;

// The dictionary size that an LZMA2 property byte (0 to 40) names; false for other bytes.
bool Lzma2DictionarySize(uint8_t property, uint64_t& size);

class TLzma2Decoder {
public:
  TLzma2Decoder() = default;
  TLzma2Decoder(const TLzma2Decoder&) = delete;
  TLzma2Decoder& operator=(const TLzma2Decoder&) = delete;
  ~TLzma2Decoder();

  // property: the dictionary byte. outputBound: the most bytes the stream may produce when it is
  // known (0: unknown); the window is the smaller of it and the dictionary. False, with
  // Error(), for a bad byte or a window beyond kLzma2WindowLimit.
  bool Init(uint8_t property, uint64_t outputBound = 0);
  // Decodes from in[0, inSize) into out[0, outSize); inUsed tells the input bytes taken. Returns
  // the bytes made: fewer than outSize when the input ran out, at the end chunk (Finished())
  // or on damage (Error() set; later calls make nothing).
  size_t Decode(const uint8_t* in, size_t inSize, size_t& inUsed, uint8_t* out, size_t outSize);
  bool Finished() const { return FState == sFinished; }
  const std::string& Error() const { return FError; }
  // The bytes the window holds now (it grows up to its cap as output comes).
  size_t WindowSize() const { return FWindow.size(); }

private:
  enum TState { sControl, sHeader, sCopy, sLzma, sFinished };
  bool Fail(std::string message);
  void StartChunk();

  TBqLzma* FLzma = nullptr;
  std::vector<uint8_t> FWindow;
  uint64_t FWindowCap = 0;
  size_t FPos = 0;   // where the next decoded byte goes
  size_t FRead = 0;  // the first decoded byte not handed out yet
  TState FState = sControl;
  uint8_t FControl = 0;
  uint8_t FHead[5] = {};
  size_t FHeadHave = 0, FHeadNeed = 0;
  uint32_t FUnpackLeft = 0, FPackLeft = 0;
  bool FNeedDictionaryReset = true, FHaveProperties = false;
  std::string FError;
};

// The whole input as one LZMA2 stream, at most outLimit bytes out (which also bounds the
// window). False with error on damage or when the output would pass outLimit; what was decoded
// stays in out.
bool Lzma2DecodeAll(TByteView input, uint8_t property, size_t outLimit, std::vector<uint8_t>& out, std::string& error);

}  // namespace bq
