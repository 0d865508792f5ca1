#include "tags/quTagSource.h"

#include "platform/bqFile.h"

namespace bq {

TTagSource::TTagSource() = default;
TTagSource::~TTagSource() = default;

bool TTagSource::Open(const std::string& name) {
  FOpen = false;
  FMemory = {};
  FHead.clear();
  FTail.clear();
  FFile = std::make_unique<TFileReader>();
  if (!FFile->Open(name)) return false;
  FSize = FFile->Size() < 0 ? 0 : static_cast<uint64_t>(FFile->Size());
  FOpen = true;
  if (!ReadFileRange(*FFile, 0, HeadSize, FHead)) {
    if (FFile->Failed()) return FOpen = false;
  }
  if (FSize > FHead.size()) {
    FTailOffset = FSize > TailSize ? FSize - TailSize : 0;
    if (FTailOffset < FHead.size()) FTailOffset = FHead.size();
    ReadFileRange(*FFile, FTailOffset, FSize - FTailOffset, FTail);
  }
  return true;
}

// The memory buffer goes through the same head, tail and on-demand paths as a file.
void TTagSource::OpenMemory(TByteView bytes) {
  FFile.reset();
  FMemory = bytes;
  FSize = bytes.Size();
  FOpen = true;
  const TByteView head = bytes.Clamp(0, HeadSize);
  FHead.assign(head.Data(), head.Data() + head.Size());
  FTail.clear();
  if (FSize > FHead.size()) {
    FTailOffset = FSize > TailSize ? FSize - TailSize : 0;
    if (FTailOffset < FHead.size()) FTailOffset = FHead.size();
    const TByteView tail = bytes.Tail(FTailOffset);
    FTail.assign(tail.Data(), tail.Data() + tail.Size());
  }
}

bool TTagSource::Fetch(uint64_t offset, uint64_t count, std::vector<uint8_t>& storage, TByteView& out) {
  out = {};
  if (!FOpen || offset > FSize) return count == 0;
  const uint64_t want = count < FSize - offset ? count : FSize - offset;
  if (FitsIn(offset, want, FHead.size())) {
    out = TByteView(FHead).Clamp(offset, want);
    return want == count;
  }
  if (offset >= FTailOffset && FitsIn(offset - FTailOffset, want, FTail.size())) {
    out = TByteView(FTail).Clamp(offset - FTailOffset, want);
    return want == count;
  }
  bool whole;
  if (FFile) {
    whole = ReadFileRange(*FFile, offset, want, storage);
  } else {
    const TByteView part = FMemory.Clamp(offset, want);
    storage.assign(part.Data(), part.Data() + part.Size());
    whole = part.Size() == want;
  }
  out = TByteView(storage);
  return whole && want == count;
}

}  // namespace bq
