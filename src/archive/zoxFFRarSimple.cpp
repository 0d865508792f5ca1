#include "archive/zoxFFRarSimple.h"

#include "archive/quDate.h"
#include "platform/bqLocale.h"
#include "platform/bqText.h"

namespace bq {

namespace {
constexpr std::string_view kMarker{"Rar!\x1A\x07\x00", 7};
constexpr uint8_t kArchiveHeader = 0x73, kFileHeader = 0x74, kSubBlock = 0x7A, kEndOfArchive = 0x7B;
// The types from the marker to the end block; comment, AV, old sub-block, recovery and
// authenticity blocks between them are walked over by their sizes.
constexpr uint8_t kFirstKnownType = 0x72, kLastKnownType = 0x7B;
constexpr uint16_t kLongBlock = 0x8000, kLargeFile = 0x0100, kUnicodeName = 0x0200;
constexpr uint16_t kEncryptedHeaders = 0x0080;  // in the archive header
constexpr uint64_t kBaseSize = 7;
}  // namespace

bool TSimpleRar::Recognise(TArchiveSource& source) {
  std::vector<uint8_t> head;
  source.ReadRange(0, kMarker.size(), head);
  return TByteView(head).Equals(0, kMarker);
}

std::string DecodeRarName(TByteView stored) {
  const size_t zero = stored.Find(uint8_t{0});
  if (zero == TByteView::npos) return std::string(stored.Chars());  // UTF-8
  const TByteView ansi = stored.Clamp(0, zero);
  TByteCursor c(stored.Tail(zero + 1));
  std::u16string name;
  const uint8_t high = c.U8();
  uint8_t flags = 0;
  int flagBits = 0;
  // Every unit consumes at least one byte or copies from the 8-bit form, so both bound it.
  const size_t limit = stored.Size() + 256;
  while (c.Ok() && !c.AtEnd() && name.size() < limit) {
    if (flagBits == 0) {
      flags = c.U8();
      flagBits = 8;
    }
    switch (flags >> 6) {
      case 0: name.push_back(c.U8()); break;
      case 1: name.push_back(static_cast<char16_t>(c.U8() | high << 8)); break;
      case 2: name.push_back(c.U16LE()); break;
      default: {
        uint8_t length = c.U8();
        if (length & 0x80) {
          const uint8_t correction = c.U8();
          for (int n = (length & 0x7F) + 2; n > 0 && name.size() < ansi.Size(); --n)
            name.push_back(static_cast<char16_t>(((ansi[name.size()] + correction) & 0xFF) | high << 8));
        } else {
          for (int n = length + 2; n > 0 && name.size() < ansi.Size(); --n) name.push_back(ansi[name.size()]);
        }
        break;
      }
    }
    if (!c.Ok()) {
      if (!name.empty()) name.pop_back();  // a unit cut short
      break;
    }
    flags = static_cast<uint8_t>(flags << 2);
    flagBits -= 2;
  }
  return Utf16ToUtf8(name);
}

bool TSimpleRar::LoadFromStream(TArchiveSource& source) {
  Files.Clear();
  Error.clear();
  NamesEncrypted = false;
  if (!Recognise(source)) return Fail("RAR: no marker block");
  const uint64_t size = source.Size();
  std::vector<uint8_t> bytes;
  uint64_t at = kMarker.size();
  bool first = true;
  while (at < size) {
    source.ReadRange(at, kBaseSize, bytes);
    uint8_t type;
    uint16_t flags, headSize;
    {
      const TByteView base(bytes);
      if (!base.U8(2, type) || !base.U16LE(3, flags) || !base.U16LE(5, headSize))
        return Fail("RAR: truncated block header");
    }
    // The whole header: ADD_SIZE when present, and for a file the fixed fields and the name.
    source.ReadRange(at, headSize, bytes);
    const TByteView block(bytes);
    if (first && type != kArchiveHeader) return Fail("RAR: no archive header");
    const uint64_t consumed = (flags & kLongBlock) ? 11 : kBaseSize;
    if (headSize < consumed) return Fail("RAR: block shorter than its header");
    if (first && (flags & kEncryptedHeaders)) {
      // Every later header is encrypted: nothing more can be read without the password.
      NamesEncrypted = true;
      return true;
    }
    first = false;
    if (type == kEndOfArchive) return true;
    // A block of a type not known here can be walked over only when it gives its data size.
    if ((type < kFirstKnownType || type > kLastKnownType) && !(flags & kLongBlock))
      return Fail(std::string("RAR: block of unknown type 0x") + HexBytes(&type, 1, true) + " at " + std::to_string(at));
    uint64_t dataSize = 0;
    if (flags & kLongBlock) {
      uint32_t add;
      if (!block.U32LE(7, add)) return Fail("RAR: truncated block header");
      dataSize = add;
    }
    if (type == kFileHeader || type == kSubBlock) {
      TByteCursor h(block.Clamp(0, headSize), kBaseSize);
      const uint32_t packed = h.U32LE(), unpacked = h.U32LE();
      h.U8();  // HOST_OS
      const uint32_t crc = h.U32LE(), time = h.U32LE();
      h.Skip(2);  // UNP_VER, METHOD
      const uint16_t nameSize = h.U16LE();
      const uint32_t attributes = h.U32LE();
      uint64_t packed64 = packed, unpacked64 = unpacked;
      if (flags & kLargeFile) {
        packed64 |= static_cast<uint64_t>(h.U32LE()) << 32;
        unpacked64 |= static_cast<uint64_t>(h.U32LE()) << 32;
      }
      const TByteView name = h.Bytes(nameSize);
      if (!h.Ok()) return Fail("RAR: file header shorter than its fields");
      dataSize = packed64;
      if (type == kFileHeader) {
        TArchivedFile& entry = Files.Add();
        entry.Filename = (flags & kUnicodeName) ? DecodeRarName(name) : OemToUtf8(name.Chars());
        entry.SizePacked = static_cast<int64_t>(packed64);
        entry.SizeUnpacked = static_cast<int64_t>(unpacked64);
        entry.Timestamp = PackedDosDateTimeToTimestamp(time);
        entry.Attribs = attributes;
        entry.CRC32 = crc;
      }
    }
    uint64_t next;
    if (!CheckedAdd(at, headSize, next) || !CheckedAdd(next, dataSize, next)) return Fail("RAR: block size too large");
    at = next;
  }
  return at == size ? true : Fail("RAR: truncated");
}

}  // namespace bq
