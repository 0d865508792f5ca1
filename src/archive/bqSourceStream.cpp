#include "archive/bqSourceStream.h"

#include <algorithm>
#include <cstring>

namespace bq {

bool TSourceInput::Fill() {
  const uint64_t size = FSource.Size();
  FUsed = 0;
  FChunk.clear();
  if (FOffset >= size) return false;
  const uint64_t count = std::min<uint64_t>(kChunkSize, size - FOffset);
  FSource.ReadRange(FOffset, count, FChunk);
  FOffset += FChunk.size();
  return !FChunk.empty();
}

bool TSourceInput::Skip(uint64_t count) {
  const size_t here = FChunk.size() - FUsed;
  if (count <= here) {
    FUsed += static_cast<size_t>(count);
    return true;
  }
  count -= here;
  FUsed = FChunk.size();
  const uint64_t size = FSource.Size();
  if (FOffset > size || count > size - FOffset) {
    FOffset = std::max(FOffset, size);
    return false;
  }
  FOffset += count;
  return true;
}

size_t TCopyStream::Read(uint8_t* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    const size_t n = std::min(count - done, FInput.Available());
    if (n == 0) break;
    std::memcpy(buffer + done, FInput.Data(), n);
    FInput.Consume(n);
    done += n;
  }
  FPosition += done;
  return done;
}

uint64_t TCopyStream::Skip(uint64_t count) {
  const uint64_t before = FInput.Offset();
  FInput.Skip(count);
  const uint64_t moved = FInput.Offset() - before;
  FPosition += moved;
  return moved;
}

uint64_t SkipDecoded(TDecodedStream& stream, uint64_t count) {
  if (auto* copy = dynamic_cast<TCopyStream*>(&stream)) return copy->Skip(count);
  uint8_t scratch[64 * 1024];
  uint64_t done = 0;
  while (done < count) {
    const size_t n = stream.Read(scratch, static_cast<size_t>(std::min<uint64_t>(sizeof scratch, count - done)));
    if (n == 0) break;
    done += n;
  }
  return done;
}

}  // namespace bq
