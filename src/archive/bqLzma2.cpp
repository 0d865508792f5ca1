#include "archive/bqLzma2.h"

#include <algorithm>
#include <cstring>

#include "archive/bqLzma.h"

namespace bq {

namespace {
constexpr size_t kFirstWindow = 64 * 1024;
constexpr uint64_t kLeastWindow = 4096;  // the reference decoder's least dictionary
}  // namespace

bool Lzma2DictionarySize(uint8_t property, uint64_t& size) {
  if (property > 40) return false;
  size = property == 40 ? 0xFFFFFFFFull : (uint64_t{2} | (property & 1)) << (property / 2 + 11);
  return true;
}

TLzma2Decoder::~TLzma2Decoder() { BqLzmaFree(FLzma); }

bool TLzma2Decoder::Fail(std::string message) {
  if (FError.empty()) FError = std::move(message);
  return false;
}

bool TLzma2Decoder::Init(uint8_t property, uint64_t outputBound) {
  uint64_t dictionary;
  if (!Lzma2DictionarySize(property, dictionary)) return Fail("LZMA2: bad dictionary size byte " + std::to_string(property));
  uint64_t cap = dictionary;
  if (outputBound != 0 && outputBound < cap) cap = outputBound;
  cap = std::max(cap, kLeastWindow);
  if (cap > kLzma2WindowLimit)
    return Fail("LZMA2: a dictionary of " + std::to_string(dictionary >> 20) + " MiB is larger than the 64 MiB allowed");
  if (BqLzmaCreateChunked(&FLzma) != 0) return Fail("LZMA2: out of memory");
  FWindowCap = cap;
  return true;
}

// The chunk's header is complete: its sizes, its properties and what it resets.
void TLzma2Decoder::StartChunk() {
  const uint8_t c = FControl;
  if (c < 0x80) {  // 1: stored with a dictionary reset, 2: stored
    FUnpackLeft = (uint32_t{FHead[0]} << 8 | FHead[1]) + 1;
    if (c == 1) {
      BqLzmaStartChunk(FLzma, 1, 0);
      FNeedDictionaryReset = false;
    } else if (FNeedDictionaryReset) {
      Fail("LZMA2: the first chunk does not reset the dictionary");
      return;
    }
    FState = sCopy;
    return;
  }
  const int reset = (c >> 5) & 3;  // 0 none, 1 state, 2 state and properties, 3 all and the dictionary
  FUnpackLeft = ((uint32_t{c} & 0x1F) << 16 | uint32_t{FHead[0]} << 8 | FHead[1]) + 1;
  FPackLeft = (uint32_t{FHead[2]} << 8 | FHead[3]) + 1;
  if (reset == 3) FNeedDictionaryReset = false;
  else if (FNeedDictionaryReset) {
    Fail("LZMA2: the first chunk does not reset the dictionary");
    return;
  }
  if (reset >= 2) {
    if (BqLzmaSetProperties(FLzma, FHead[4], static_cast<unsigned>(FWindowCap)) != 0) {
      Fail("LZMA2: bad properties byte");
      return;
    }
    FHaveProperties = true;
  } else if (!FHaveProperties) {
    Fail("LZMA2: a chunk without properties before any were given");
    return;
  }
  BqLzmaStartChunk(FLzma, reset == 3, reset >= 1);
  FState = sLzma;
}

size_t TLzma2Decoder::Decode(const uint8_t* in, size_t inSize, size_t& inUsed, uint8_t* out, size_t outSize) {
  inUsed = 0;
  size_t made = 0;
  if (!FLzma) {
    Fail("LZMA2: not initialised");
    return 0;
  }
  while (made < outSize && FError.empty()) {
    if (FRead < FPos) {  // decoded bytes not handed out yet
      const size_t n = std::min(FPos - FRead, outSize - made);
      std::memcpy(out + made, FWindow.data() + FRead, n);
      made += n;
      FRead += n;
      continue;
    }
    if (FState == sFinished) break;
    if (FPos == FWindow.size()) {  // the window is full: grow it up to its cap, then wrap
      if (FWindow.size() < FWindowCap) {
        FWindow.resize(static_cast<size_t>(std::min<uint64_t>(FWindowCap, std::max(kFirstWindow, FWindow.size() * 2))));
      } else {
        FPos = FRead = 0;
      }
    }
    const size_t avail = inSize - inUsed;
    switch (FState) {
      case sControl: {
        if (avail == 0) return made;
        FControl = in[inUsed++];
        FHeadHave = 0;
        if (FControl == 0) {
          FState = sFinished;
        } else if (FControl == 1 || FControl == 2) {
          FHeadNeed = 2;
          FState = sHeader;
        } else if (FControl >= 0x80) {
          FHeadNeed = FControl >= 0xC0 ? 5 : 4;
          FState = sHeader;
        } else {
          Fail("LZMA2: bad control byte");
        }
        break;
      }
      case sHeader: {
        if (avail == 0) return made;
        const size_t n = std::min(avail, FHeadNeed - FHeadHave);
        std::memcpy(FHead + FHeadHave, in + inUsed, n);
        FHeadHave += n;
        inUsed += n;
        if (FHeadHave == FHeadNeed) StartChunk();
        break;
      }
      case sCopy: {
        const size_t n = std::min({static_cast<size_t>(FUnpackLeft), avail, FWindow.size() - FPos});
        if (n == 0) return made;
        BqLzmaAppendUncompressed(FLzma, FWindow.data(), FWindow.size(), &FPos, in + inUsed, n);
        inUsed += n;
        FUnpackLeft -= static_cast<uint32_t>(n);
        if (FUnpackLeft == 0) FState = sControl;
        break;
      }
      case sLzma: {
        const size_t give = std::min<size_t>(avail, FPackLeft);
        const size_t room = std::min<size_t>(FWindow.size() - FPos, FUnpackLeft);
        const bool atEnd = room == FUnpackLeft;
        const size_t before = FPos;
        size_t used = 0;
        if (BqLzmaDecodeWindow(FLzma, FWindow.data(), FWindow.size(), &FPos, FPos + room, in + inUsed, give, &used, atEnd) != 0) {
          Fail("LZMA2: corrupt data");
          break;
        }
        inUsed += used;
        FPackLeft -= static_cast<uint32_t>(used);
        FUnpackLeft -= static_cast<uint32_t>(FPos - before);
        if (FUnpackLeft == 0) {
          if (FPackLeft != 0) Fail("LZMA2: a chunk's packed and unpacked sizes disagree");
          else FState = sControl;
        } else if (used == 0 && FPos == before) {
          if (FPackLeft == 0 || give > 0) Fail("LZMA2: a chunk's data ends early");
          return made;  // more input needed
        }
        break;
      }
      case sFinished: break;
    }
  }
  return made;
}

bool Lzma2DecodeAll(TByteView input, uint8_t property, size_t outLimit, std::vector<uint8_t>& out, std::string& error) {
  out.clear();
  TLzma2Decoder decoder;
  if (!decoder.Init(property, outLimit)) {
    error = decoder.Error();
    return false;
  }
  size_t inPos = 0;
  while (decoder.Error().empty() && !decoder.Finished()) {
    const size_t have = out.size();
    if (have >= outLimit) {
      // Only the end chunk may follow.
      uint8_t probe;
      size_t used = 0;
      decoder.Decode(input.Data() + inPos, input.Size() - inPos, used, &probe, 1);
      inPos += used;
      if (decoder.Finished()) break;
      error = decoder.Error().empty() ? "LZMA2: more output than expected" : decoder.Error();
      return false;
    }
    out.resize(std::min(outLimit, std::max<size_t>(have * 2, 64 * 1024)));
    size_t used = 0;
    const size_t made = decoder.Decode(input.Data() + inPos, input.Size() - inPos, used, out.data() + have, out.size() - have);
    inPos += used;
    out.resize(have + made);
    if (made == 0 && used == 0 && decoder.Error().empty() && !decoder.Finished()) {
      error = "LZMA2: the stream ends early";
      return false;
    }
  }
  if (!decoder.Error().empty()) {
    error = decoder.Error();
    return false;
  }
  return true;
}

}  // namespace bq
