// Forward reading of an archive source in bounded chunks, and the plain copy stream over it.
#pragma once
#include <cstdint>
#include <vector>

#include "archive/bqDecodedStream.h"
#include "archive/quArchiveSimple.h"

namespace bq {

// The bytes of a source from an offset on, read in chunks of at most ChunkSize; the whole
// source is never held.
class TSourceInput {
public:
  static constexpr size_t kChunkSize = 256 * 1024;
  TSourceInput(TArchiveSource& source, uint64_t offset) : FSource(source), FOffset(offset) {}

  // The unread bytes of the current chunk, reading the next one when none are left; empty at
  // the end of the source.
  const uint8_t* Data() const { return FChunk.data() + FUsed; }
  size_t Available() {
    if (FUsed == FChunk.size()) Fill();
    return FChunk.size() - FUsed;
  }
  void Consume(size_t count) { FUsed += count; }
  // The next byte; false at the end of the source.
  bool Next(uint8_t& byte) {
    if (FUsed == FChunk.size() && !Fill()) return false;
    byte = FChunk[FUsed++];
    return true;
  }
  // Position in the source of the next unread byte.
  uint64_t Offset() const { return FOffset - (FChunk.size() - FUsed); }
  // Moves count bytes forward without reading them; false when the source ends before.
  bool Skip(uint64_t count);
  uint64_t SourceSize() const { return FSource.Size(); }

private:
  bool Fill();
  TArchiveSource& FSource;
  uint64_t FOffset;  // where the next chunk starts
  std::vector<uint8_t> FChunk;
  size_t FUsed = 0;
};

// The source's bytes unchanged: a plain tar read by the same walk as a compressed one. It can
// move forward without reading, which the walk uses to pass over member data.
class TCopyStream : public TDecodedStream {
public:
  TCopyStream(TArchiveSource& source, uint64_t offset = 0) : FInput(source, offset) {}
  size_t Read(uint8_t* buffer, size_t count) override;
  // Moves count bytes forward; returns how many there were.
  uint64_t Skip(uint64_t count);

private:
  TSourceInput FInput;
};

// Passes over count decoded bytes (without reading them where the stream can skip); returns
// how many there were.
uint64_t SkipDecoded(TDecodedStream& stream, uint64_t count);

}  // namespace bq
