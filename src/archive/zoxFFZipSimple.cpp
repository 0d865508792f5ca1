#include "archive/zoxFFZipSimple.h"

#include "archive/quDate.h"
#include "platform/bqLocale.h"

namespace bq {

namespace {
constexpr uint32_t kEndSignature = 0x06054B50;      // "PK\5\6"
constexpr uint32_t kEnd64Signature = 0x06064B50;    // "PK\6\6"
constexpr uint32_t kLocatorSignature = 0x07064B50;  // "PK\6\7"
constexpr uint32_t kCentralSignature = 0x02014B50;  // "PK\1\2"
constexpr uint64_t kEndSize = 22, kLocatorSize = 20, kEnd64Size = 56, kCentralSize = 46;
constexpr uint64_t kEndSearch = kEndSize + 0xFFFF;  // the record and the longest comment

struct TEndRecord {
  uint64_t Position = 0;     // of the record in the source
  uint64_t Entries = 0;
  uint64_t DirectorySize = 0;
  uint64_t DirectoryOffset = 0;
  bool Zip64 = false;
};

// The end record nearest the end of the file whose comment fits in the file; one whose comment
// ends exactly at the end of the file is preferred.
bool FindEndRecord(TArchiveSource& source, TEndRecord& end) {
  const uint64_t size = source.Size();
  if (size < kEndSize) return false;
  const uint64_t start = size > kEndSearch ? size - kEndSearch : 0;
  std::vector<uint8_t> tail;
  source.ReadRange(start, size - start, tail);
  const TByteView view(tail);
  bool found = false;
  uint64_t best = 0;
  for (uint64_t p = view.Size() >= kEndSize ? view.Size() - kEndSize + 1 : 0; p-- > 0;) {
    if (view[p] != 'P') continue;  // most bytes: no need to read a whole signature
    uint32_t sig;
    uint16_t commentLength;
    if (!view.U32LE(p, sig) || sig != kEndSignature || !view.U16LE(p + 20, commentLength)) continue;
    if (p + kEndSize + commentLength > view.Size()) continue;
    if (!found) { best = p; found = true; }
    if (p + kEndSize + commentLength == view.Size()) { best = p; break; }
  }
  if (!found) return false;
  uint16_t entries = 0;
  uint32_t dirSize = 0, dirOffset = 0;
  view.U16LE(best + 10, entries);
  view.U32LE(best + 12, dirSize);
  view.U32LE(best + 16, dirOffset);
  end.Position = start + best;
  end.Entries = entries;
  end.DirectorySize = dirSize;
  end.DirectoryOffset = dirOffset;

  // ZIP64: the locator just before the end record points at the ZIP64 end record.
  if (end.Position >= kLocatorSize) {
    std::vector<uint8_t> bytes;
    source.ReadRange(end.Position - kLocatorSize, kLocatorSize, bytes);
    const TByteView locator(bytes);
    uint32_t sig;
    uint64_t at;
    if (locator.U32LE(0, sig) && sig == kLocatorSignature && locator.U64LE(8, at)) {
      source.ReadRange(at, kEnd64Size, bytes);
      const TByteView record(bytes);
      uint64_t entries64, size64, offset64;
      if (record.U32LE(0, sig) && sig == kEnd64Signature && record.U64LE(32, entries64) &&
          record.U64LE(40, size64) && record.U64LE(48, offset64)) {
        end.Entries = entries64;
        end.DirectorySize = size64;
        end.DirectoryOffset = offset64;
        end.Zip64 = true;
      }
    }
  }
  return true;
}

// The ZIP64 extended information extra field (0x0001): the 64-bit values of the fields stored
// as all ones, in the order uncompressed size, compressed size.
void ApplyZip64Extra(TByteView extra, uint32_t unpacked32, uint32_t packed32, TArchivedFile& entry) {
  TByteCursor c(extra);
  while (c.Remaining() >= 4) {
    const uint16_t id = c.U16LE(), length = c.U16LE();
    TByteCursor field(c.Bytes(length));
    if (!c.Ok()) return;
    if (id != 0x0001) continue;
    if (unpacked32 == 0xFFFFFFFF) {
      const uint64_t v = field.U64LE();
      if (field.Ok()) entry.SizeUnpacked = static_cast<int64_t>(v);
    }
    if (packed32 == 0xFFFFFFFF) {
      const uint64_t v = field.U64LE();
      if (field.Ok()) entry.SizePacked = static_cast<int64_t>(v);
    }
    return;
  }
}
}  // namespace

bool TSimpleZip::Recognise(TArchiveSource& source) {
  TEndRecord end;
  return FindEndRecord(source, end);
}

bool TSimpleZip::LoadFromStream(TArchiveSource& source) {
  Files.Clear();
  Error.clear();
  TEndRecord end;
  if (!FindEndRecord(source, end)) return Fail("ZIP: no end of central directory record");

  // An archive with data before it (a self-extractor) keeps offsets relative to its own start:
  // when the directory is not where the record says, take it as ending at the end record.
  uint64_t offset = end.DirectoryOffset;
  std::vector<uint8_t> bytes;
  auto startsDirectory = [&](uint64_t at) {
    source.ReadRange(at, 4, bytes);
    uint32_t sig;
    return TByteView(bytes).U32LE(0, sig) && sig == kCentralSignature;
  };
  if (end.Entries > 0 && !startsDirectory(offset) && !end.Zip64 && end.DirectorySize <= end.Position &&
      startsDirectory(end.Position - end.DirectorySize))
    offset = end.Position - end.DirectorySize;

  // The whole central directory in one read, no more than the file holds.
  const bool whole = source.ReadRange(offset, end.DirectorySize, bytes);
  TByteCursor c{TByteView(bytes)};
  // Every entry takes at least 46 bytes, so the count cannot outgrow the bytes read.
  Files.Reserve(static_cast<size_t>(std::min<uint64_t>(end.Entries, bytes.size() / kCentralSize)));
  for (uint64_t i = 0; i < end.Entries; ++i) {
    if (c.Remaining() < kCentralSize) return whole ? Fail("ZIP: central directory ends early") : Fail("ZIP: truncated");
    const TByteView header = c.Bytes(kCentralSize);
    TByteCursor h(header);
    if (h.U32LE() != kCentralSignature) return Fail("ZIP: bad central directory entry");
    h.Skip(4);  // versions
    const uint16_t flags = h.U16LE();
    h.Skip(2);  // method
    const uint16_t time = h.U16LE(), date = h.U16LE();
    const uint32_t crc = h.U32LE(), packed = h.U32LE(), unpacked = h.U32LE();
    const uint16_t nameLength = h.U16LE(), extraLength = h.U16LE(), commentLength = h.U16LE();
    h.Skip(8);  // disk, internal attributes
    const uint32_t attributes = h.U32LE();
    const TByteView name = c.Bytes(nameLength);
    const TByteView extra = c.Bytes(extraLength);
    c.Skip(commentLength);
    if (!c.Ok()) return Fail("ZIP: truncated");

    TArchivedFile& entry = Files.Add();
    entry.Filename = (flags & 0x0800) ? std::string(name.Chars()) : OemToUtf8(name.Chars());
    entry.SizePacked = packed;
    entry.SizeUnpacked = unpacked;
    if (packed == 0xFFFFFFFF || unpacked == 0xFFFFFFFF) ApplyZip64Extra(extra, unpacked, packed, entry);
    entry.Timestamp = DosDateTimeToTimestamp(date, time).value_or(0.0);
    entry.Attribs = attributes;
    entry.CRC32 = crc;
  }
  return true;
}

}  // namespace bq
