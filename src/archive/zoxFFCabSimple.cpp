#include "archive/zoxFFCabSimple.h"

#include "archive/quDate.h"
#include "platform/bqText.h"

namespace bq {

namespace {
constexpr uint64_t kHeaderSize = 36, kFileFixedSize = 16;
constexpr uint64_t kMaxFileEntry = kFileFixedSize + 256 + 7;  // 279: the fixed part, a name, slack
constexpr size_t kMaxName = 255;
constexpr uint16_t kNameIsUtf8 = 0x80;
}  // namespace

bool TSimpleCab::Recognise(TArchiveSource& source) {
  std::vector<uint8_t> head;
  source.ReadRange(0, 4, head);
  return TByteView(head).Equals(0, "MSCF");
}

bool TSimpleCab::LoadFromStream(TArchiveSource& source) {
  Files.Clear();
  Error.clear();
  StreamSize = source.Size();
  std::vector<uint8_t> bytes;
  source.ReadRange(0, kHeaderSize, bytes);
  TByteCursor h{TByteView(bytes)};
  if (h.Bytes(4).Chars() != "MSCF") return Fail("CAB: no MSCF signature");
  h.Skip(4);
  CabinetSize = h.U32LE();
  h.Skip(4);
  const uint32_t filesOffset = h.U32LE();
  h.Skip(6);  // reserved3, versions
  FolderCount = h.U16LE();
  FileCount = h.U16LE();
  if (!h.Ok()) {
    Fail("CAB: truncated header");
    return true;  // the signature was there
  }
  if (!ListFiles) return true;

  // The CFFILE area in one read, parsed from memory; it never asks for more than the file holds.
  source.ReadRange(filesOffset, FileCount * kMaxFileEntry, bytes);
  TByteCursor c{TByteView(bytes)};
  for (uint32_t i = 0; i < FileCount; ++i) {
    if (c.Remaining() < kFileFixedSize) {
      Fail("CAB: file entries end early");
      return true;
    }
    const uint32_t size = c.U32LE();
    c.Skip(6);  // uoffFolderStart, iFolder
    const uint16_t date = c.U16LE(), time = c.U16LE(), attributes = c.U16LE();
    // The name up to its zero byte; a longer one shows its first 255 bytes.
    const size_t zero = c.View().Find(uint8_t{0}, c.Position());
    if (zero == TByteView::npos) {
      Fail("CAB: file name runs past the file entries");
      return true;
    }
    const size_t length = zero - c.Position();
    const std::string_view name = c.Bytes(length).Chars().substr(0, kMaxName);
    c.Skip(1);

    TArchivedFile& entry = Files.Add();
    entry.Filename = (attributes & kNameIsUtf8) ? std::string(name) : AnsiToUtf8(name);
    entry.SizeUnpacked = size;
    entry.Attribs = attributes;
    entry.Timestamp = PackedDosDateTimeToTimestamp(static_cast<uint32_t>(date) << 16 | time);
  }
  return true;
}

}  // namespace bq
