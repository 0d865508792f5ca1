#include "archive/zoxFFChmWindows.h"

#include <vector>

namespace bq {

namespace {
constexpr uint64_t kItspSize = 0x54, kPmglHeaderSize = 20;
constexpr uint32_t kNoChunk = 0xFFFFFFFF;
constexpr uint32_t kMaxChunkSize = 1u << 20;

// A variable-length number: 7 bits a byte, most significant first, the high bit meaning "more".
uint64_t EncInt(TByteCursor& c) {
  uint64_t value = 0;
  for (int i = 0; i < 10; ++i) {
    const uint8_t b = c.U8();
    value = value << 7 | (b & 0x7F);
    if (!(b & 0x80)) return value;
  }
  c.Fail();  // longer than a 64-bit number
  return 0;
}
}  // namespace

bool TWindowsChm::Recognise(TArchiveSource& source) {
  std::vector<uint8_t> head;
  source.ReadRange(0, 4, head);
  return TByteView(head).Equals(0, "ITSF");
}

bool TWindowsChm::LoadFromStream(TArchiveSource& source) {
  Files.Clear();
  Error.clear();
  std::vector<uint8_t> bytes;
  source.ReadRange(0, 0x60, bytes);
  const TByteView itsf(bytes);
  uint64_t dirOffset, dirLength;
  if (!itsf.Equals(0, "ITSF")) return Fail("CHM: no ITSF signature");
  if (!itsf.U64LE(72, dirOffset) || !itsf.U64LE(80, dirLength)) return Fail("CHM: truncated header");

  // The directory in one read: the ITSP header and its chunks.
  const bool whole = source.ReadRange(dirOffset, dirLength, bytes);
  const TByteView dir(bytes);
  uint32_t itspLength, chunkSize, firstChunk, chunkCount;
  if (!dir.Equals(0, "ITSP") || !dir.U32LE(8, itspLength) || !dir.U32LE(16, chunkSize) ||
      !dir.U32LE(32, firstChunk) || !dir.U32LE(44, chunkCount))
    return Fail("CHM: no directory header");
  if (itspLength < kItspSize || chunkSize < kPmglHeaderSize || chunkSize > kMaxChunkSize)
    return Fail("CHM: bad directory header");
  const TByteView chunks = dir.Tail(itspLength);

  std::vector<bool> seen(std::min<uint64_t>(chunkCount, chunks.Size() / chunkSize + 1), false);
  for (uint32_t index = firstChunk; index != kNoChunk;) {
    TByteView chunk;
    if (index >= chunkCount || index >= seen.size() ||
        !chunks.Sub(static_cast<uint64_t>(index) * chunkSize, chunkSize, chunk))
      return Fail(whole ? "CHM: chunk outside the directory" : "CHM: truncated directory");
    if (seen[index]) return Fail("CHM: chunk chain loops");
    seen[index] = true;
    uint32_t freeSpace, next;
    if (!chunk.Equals(0, "PMGL") || !chunk.U32LE(4, freeSpace) || !chunk.U32LE(16, next))
      return Fail("CHM: bad listing chunk");
    if (freeSpace > chunkSize - kPmglHeaderSize) return Fail("CHM: bad listing chunk");
    TByteCursor c(chunk.Clamp(0, chunkSize - freeSpace), kPmglHeaderSize);
    while (!c.AtEnd()) {
      const uint64_t nameLength = EncInt(c);
      const std::string_view name = c.Bytes(nameLength).Chars();
      EncInt(c);  // content section
      EncInt(c);  // offset
      const uint64_t length = EncInt(c);
      if (!c.Ok()) return Fail("CHM: bad directory entry");
      if (name.empty() || name.front() != '/' || name.back() == '/') continue;
      TArchivedFile& entry = Files.Add();
      entry.Filename = name;
      for (char& ch : entry.Filename)
        if (ch == '/') ch = '\\';
      entry.SizeUnpacked = static_cast<int64_t>(length);
    }
    index = next;
  }
  return true;
}

}  // namespace bq
