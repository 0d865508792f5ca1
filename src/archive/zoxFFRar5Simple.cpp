#include "archive/zoxFFRar5Simple.h"

#include <zlib.h>

#include "archive/quDate.h"

namespace bq {

namespace {
constexpr std::string_view kSignature{"Rar!\x1A\x07\x01\x00", 8};
constexpr uint64_t kMaxHeaderSize = 2 * 1024 * 1024;  // the format's own limit
enum : uint64_t { htMain = 1, htFile = 2, htService = 3, htEncryption = 4, htEnd = 5 };
// Header flags.
constexpr uint64_t kHasExtra = 0x0001, kHasData = 0x0002;
// Main header flags.
constexpr uint64_t kVolume = 0x0001, kVolumeNumber = 0x0002, kSolid = 0x0004;
// File header flags.
constexpr uint64_t kUnixTime = 0x0002, kHasCRC = 0x0004, kUnknownSize = 0x0008;
// The file time extra record and its flags.
constexpr uint64_t kTimeRecord = 3;
constexpr uint64_t kTimeUnix = 0x0001, kTimeMtime = 0x0002, kTimeCtime = 0x0004, kTimeAtime = 0x0008, kTimeNanoseconds = 0x0010;

std::string At(uint64_t offset) { return " at " + std::to_string(offset); }

// The modification time of a file time record, as a FILETIME; nothing when it has none.
std::optional<uint64_t> RecordMtime(TByteCursor c) {
  const uint64_t flags = ReadRarVint(c);
  if (!c.Ok() || !(flags & kTimeMtime)) return std::nullopt;
  const bool unix = flags & kTimeUnix;
  uint64_t mtime = unix ? UnixTimeToFileTime(c.U32LE()) : c.U64LE();
  if (unix && (flags & kTimeNanoseconds)) {
    c.Skip(((flags & kTimeCtime) ? 4 : 0) + ((flags & kTimeAtime) ? 4 : 0));
    const uint32_t ns = c.U32LE();
    if (c.Ok() && ns < 1000000000u) mtime += ns / 100;
  }
  if (!c.Ok()) return std::nullopt;
  return mtime;
}
}  // namespace

uint64_t ReadRarVint(TByteCursor& c) {
  uint64_t value = 0;
  for (int shift = 0; shift < 70; shift += 7) {
    const uint8_t b = c.U8();
    if (!c.Ok()) return 0;
    if (shift == 63 && (b & 0x7E)) break;  // bits beyond 64
    value |= static_cast<uint64_t>(b & 0x7F) << shift;
    if (!(b & 0x80)) return value;
  }
  c.Fail();
  return 0;
}

bool TSimpleRar5::Recognise(TArchiveSource& source) {
  std::vector<uint8_t> head;
  source.ReadRange(0, kSignature.size(), head);
  return TByteView(head).Equals(0, kSignature);
}

bool TSimpleRar5::LoadFromStream(TArchiveSource& source) {
  Files.Clear();
  Error.clear();
  NamesEncrypted = HeadersEncrypted = false;
  Volume = Solid = false;
  VolumeNumber = 0;
  if (!Recognise(source)) return Fail("RAR 5: no signature");
  const uint64_t size = source.Size();
  std::vector<uint8_t> bytes;
  uint64_t at = kSignature.size();
  bool first = true;
  while (at < size) {
    // The CRC-32 and the header size, a vint no larger than the 2 MB limit.
    source.ReadRange(at, 14, bytes);
    TByteCursor lead{TByteView(bytes)};
    const uint32_t crc = lead.U32LE();
    const uint64_t headerSize = ReadRarVint(lead);
    if (!lead.Ok()) return Fail("RAR 5: truncated header" + At(at));
    if (headerSize == 0 || headerSize > kMaxHeaderSize) return Fail("RAR 5: bad header size" + At(at));
    const uint64_t sizeLength = lead.Position() - 4;
    // The header from its size field to the end of its extra area, which the CRC covers.
    if (!source.ReadRange(at + 4, sizeLength + headerSize, bytes)) return Fail("RAR 5: truncated header" + At(at));
    if (static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size()))) != crc)
      return Fail("RAR 5: bad header CRC" + At(at));
    const TByteView header = TByteView(bytes).Tail(sizeLength);
    TByteCursor h(header);
    const uint64_t type = ReadRarVint(h), flags = ReadRarVint(h);
    const uint64_t extraSize = (flags & kHasExtra) ? ReadRarVint(h) : 0;
    const uint64_t dataSize = (flags & kHasData) ? ReadRarVint(h) : 0;
    if (!h.Ok() || extraSize > h.Remaining()) return Fail("RAR 5: header shorter than its fields" + At(at));
    const TByteView extra = header.Tail(header.Size() - extraSize);
    // The type's own fields end where the extra area begins.
    TByteCursor f(header.Clamp(0, header.Size() - extraSize), h.Position());

    if (type == htEncryption) {
      // Every later header is encrypted: nothing more can be read without the password.
      HeadersEncrypted = true;
      return true;
    }
    if (first && type != htMain) return Fail("RAR 5: no main archive header");
    first = false;
    if (type == htMain) {
      const uint64_t archiveFlags = ReadRarVint(f);
      if (archiveFlags & kVolumeNumber) VolumeNumber = ReadRarVint(f);
      if (!f.Ok()) return Fail("RAR 5: main header shorter than its fields");
      Volume = archiveFlags & kVolume;
      Solid = archiveFlags & kSolid;
    } else if (type == htFile || type == htService) {
      const uint64_t fileFlags = ReadRarVint(f), unpacked = ReadRarVint(f), attributes = ReadRarVint(f);
      const uint32_t mtime = (fileFlags & kUnixTime) ? f.U32LE() : 0;
      const uint32_t dataCrc = (fileFlags & kHasCRC) ? f.U32LE() : 0;
      ReadRarVint(f);  // compression information
      ReadRarVint(f);  // host OS
      const uint64_t nameLength = ReadRarVint(f);
      const TByteView name = f.Bytes(nameLength);
      if (!f.Ok()) return Fail("RAR 5: file header shorter than its fields" + At(at));
      // Service headers (comment, quick open, ACL, streams, recovery record) belong to the
      // archive or to the file before them: they are not files.
      if (type == htFile) {
        // A directory (flag 0x0001) is listed by its name as stored, with its sizes (0).
        TArchivedFile& entry = Files.Add();
        entry.Filename.assign(name.Chars());
        entry.SizePacked = static_cast<int64_t>(dataSize & INT64_MAX);
        if (!(fileFlags & kUnknownSize)) entry.SizeUnpacked = static_cast<int64_t>(unpacked & INT64_MAX);
        entry.Attribs = static_cast<uint32_t>(attributes);
        if (fileFlags & kHasCRC) entry.CRC32 = dataCrc;
        std::optional<uint64_t> fileTime;
        if (fileFlags & kUnixTime) fileTime = UnixTimeToFileTime(mtime);
        TByteCursor e(extra);
        while (e.Ok() && !e.AtEnd()) {
          const uint64_t recordSize = ReadRarVint(e);
          TByteCursor record(e.Bytes(recordSize));
          if (!e.Ok()) break;  // a record running past the area: the rest is not read
          if (ReadRarVint(record) == kTimeRecord && record.Ok())
            if (auto t = RecordMtime(TByteCursor(record.View(), record.Position()))) fileTime = t;
        }
        if (fileTime) entry.Timestamp = FileTimeToLocalTimestamp(*fileTime);
      }
    } else if (type == htEnd) {
      return true;
    }
    // Any other type is walked over by its sizes.
    uint64_t next;
    if (!CheckedAdd(at, 4 + sizeLength + headerSize, next) || !CheckedAdd(next, dataSize, next))
      return Fail("RAR 5: data size too large" + At(at));
    at = next;
  }
  return at == size ? true : Fail("RAR 5: truncated");
}

}  // namespace bq
