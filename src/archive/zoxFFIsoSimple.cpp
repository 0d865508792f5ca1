#include "archive/zoxFFIsoSimple.h"

#include <unordered_set>

#include "archive/quDate.h"
#include "platform/bqText.h"

namespace bq {

namespace {
constexpr uint64_t kDescriptorStart = 16 * 2048, kDescriptorSize = 2048;
constexpr size_t kMaxDescriptors = 64;
constexpr uint64_t kRecordMin = 33;
constexpr uint8_t kFlagDirectory = 0x02, kFlagMultiExtent = 0x80;
constexpr uint8_t kTypePrimary = 1, kTypeSupplementary = 2, kTypeTerminator = 255;
// Directory bytes read in all. The directories of a real image are disjoint extents inside it,
// so together they are no larger than the image: a crafted one whose directories overlap
// cannot make the walk read more than that (nor more than this bound).
constexpr uint64_t kMaxDirectoryBytes = 256ull << 20;
constexpr size_t kMaxNameBytes = 1024;   // a Rock Ridge name gathered from NM entries
constexpr int kMaxContinuations = 8;     // CE areas followed for one record
// The paths of all entries together: deep trees of long names repeat their folders' names in
// every path below them.
constexpr uint64_t kMaxPathBytes = 64ull << 20;
constexpr size_t kMaxPath = 4096;

// What the System Use area of a record says, by SUSP entries (Rock Ridge).
struct TSystemUse {
  bool SharingProtocol = false;  // "SP": SUSP is in use
  uint8_t Skip = 0;              // bytes to skip at the start of every System Use area
  bool HasName = false;
  std::string Name;              // "NM", the parts put together
  bool Relocated = false;        // "RE": a directory moved here from deeper down
  std::optional<uint32_t> ChildLink;  // "CL": this record stands for a directory moved away
};

void ReadSystemUse(TByteView area, TArchiveSource& source, uint32_t blockSize, TSystemUse& su) {
  std::vector<uint8_t> continuation;
  for (int round = 0;; ++round) {
    std::optional<std::pair<uint64_t, uint32_t>> next;  // a "CE": where and how long
    for (uint64_t pos = 0; area.Has(pos, 4);) {
      const uint8_t length = area[pos + 2];
      if (length < 4 || !area.Has(pos, length)) break;
      const TByteView entry = area.Clamp(pos, length);
      pos += length;
      if (entry.Equals(0, "ST")) break;
      if (entry.Equals(0, "SP") && length >= 7 && entry[4] == 0xBE && entry[5] == 0xEF) {
        su.SharingProtocol = true;
        su.Skip = entry[6];
      } else if (entry.Equals(0, "CE") && length >= 28) {
        uint32_t block = 0, offset = 0, size = 0;
        entry.U32LE(4, block);
        entry.U32LE(12, offset);
        entry.U32LE(20, size);
        uint64_t at;
        if (CheckedMul(block, blockSize, at) && CheckedAdd(at, offset, at)) next = {{at, std::min(size, blockSize)}};
      } else if (entry.Equals(0, "NM") && length >= 5) {
        if (entry[4] & 0x06) continue;  // "." or ".."
        su.HasName = true;
        const std::string_view part = entry.Tail(5).Chars();
        su.Name.append(part.substr(0, kMaxNameBytes - std::min(kMaxNameBytes, su.Name.size())));
      } else if (entry.Equals(0, "RE")) {
        su.Relocated = true;
      } else if (entry.Equals(0, "CL") && length >= 12) {
        uint32_t location = 0;
        entry.U32LE(4, location);
        su.ChildLink = location;
      }
    }
    if (!next || round >= kMaxContinuations) return;
    source.ReadRange(next->first, next->second, continuation);
    area = TByteView(continuation);
  }
}

// The name of a plain ISO 9660 record: the version (";1") and a trailing dot go.
std::string PlainName(std::string_view name) {
  const size_t semicolon = name.find(';');
  if (semicolon != std::string_view::npos) name = name.substr(0, semicolon);
  if (!name.empty() && name.back() == '.') name.remove_suffix(1);
  return std::string(name);
}

std::string JolietName(TByteView name) {
  std::u16string units;
  for (uint64_t i = 0; i + 1 < name.Size(); i += 2) units.push_back(static_cast<char16_t>(name[i] << 8 | name[i + 1]));
  const size_t semicolon = units.find(u';');
  if (semicolon != std::u16string::npos) units.resize(semicolon);
  return Utf16ToUtf8(units);
}

// The 7-byte recording date: years since 1900, month, day, hour, minute, second, and the offset
// from UTC in 15-minute steps. Nothing when it is not a valid date.
std::optional<double> RecordDate(TByteView date) {
  if (date.Size() < 7) return std::nullopt;
  const TDateTimeParts when{1900 + date[0], date[1], date[2], date[3], date[4], date[5]};
  const int8_t steps = static_cast<int8_t>(date[6]);
  const int64_t offset = steps >= -48 && steps <= 52 ? steps * 900 : 0;
  const auto fileTime = UtcPartsToFileTime(when, offset);
  return fileTime ? FileTimeToLocalTimestamp(*fileTime) : std::nullopt;
}

// A directory being walked: its extent, the path of its entries, and the block last read.
struct TFrame {
  uint64_t Start = 0, Length = 0, Position = 0;
  std::string Path;  // with its trailing "/", "" for the root
  std::vector<uint8_t> Block;
  uint64_t BlockIndex = UINT64_MAX;
};

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }
}  // namespace

bool TSimpleIso::Recognise(TArchiveSource& source) {
  std::vector<uint8_t> head;
  source.ReadRange(kDescriptorStart + 1, 5, head);
  return TByteView(head).Equals(0, "CD001");
}

bool TSimpleIso::LoadFromStream(TArchiveSource& source) {
  Files.Clear();
  Error.clear();
  Names = TNames::inPlain;
  if (!Recognise(source)) return Fail("ISO: no volume descriptor");
  const uint64_t size = source.Size();

  // The volume descriptors up to the terminator: the primary one and a Joliet one.
  std::vector<uint8_t> primary, joliet, descriptor;
  for (size_t i = 0; i < kMaxDescriptors; ++i) {
    if (!source.ReadRange(kDescriptorStart + i * kDescriptorSize, kDescriptorSize, descriptor)) break;
    const TByteView d(descriptor);
    if (!d.Equals(1, "CD001")) break;
    if (d[0] == kTypeTerminator) break;
    if (d[0] == kTypePrimary && primary.empty()) primary = descriptor;
    if (d[0] == kTypeSupplementary && joliet.empty() && d.Equals(88, "%/") &&
        (d[90] == '@' || d[90] == 'C' || d[90] == 'E'))
      joliet = descriptor;
  }
  if (primary.empty()) return Fail("ISO: no primary volume descriptor");
  uint16_t blockSize16 = 0;
  TByteView(primary).U16LE(128, blockSize16);
  const uint32_t blockSize = blockSize16;
  if (blockSize != 512 && blockSize != 1024 && blockSize != 2048) return Fail("ISO: bad logical block size");

  // A directory record's extent and length, checked against the image.
  auto extentOf = [&](TByteView record, uint64_t& start, uint64_t& length) {
    uint32_t lba = 0, dataLength = 0;
    record.U32LE(2, lba);
    record.U32LE(10, dataLength);
    length = dataLength;
    return CheckedMul(lba, blockSize, start) && FitsIn(start, length, size);
  };

  // Rock Ridge: the "SP" entry in the System Use area of the root's first record (".").
  TSystemUse rootUse;
  {
    const TByteView root = TByteView(primary).Clamp(156, 34);
    uint64_t start, length;
    std::vector<uint8_t> first;
    if (root.Size() == 34 && extentOf(root, start, length) && length >= 34) {
      source.ReadRange(start, std::min<uint64_t>(length, blockSize), first);
      const TByteView dot(first);
      if (dot.Size() >= 34 && dot[0] >= 34 && dot.Has(0, dot[0])) ReadSystemUse(dot.Clamp(34, dot[0] - 34), source, blockSize, rootUse);
    }
  }
  const bool rockRidge = rootUse.SharingProtocol;
  const std::vector<uint8_t>& volume = !rockRidge && !joliet.empty() ? joliet : primary;
  Names = rockRidge ? TNames::inRockRidge : !joliet.empty() ? TNames::inJoliet : TNames::inPlain;

  std::vector<TFrame> stack;
  std::unordered_set<uint64_t> seen;  // directory extents met so far
  uint64_t directoryBytes = 0, pathBytes = 0;
  {
    const TByteView root = TByteView(volume).Clamp(156, 34);
    TFrame frame;
    if (root.Size() < 34 || !extentOf(root, frame.Start, frame.Length)) return Fail("ISO: the root directory lies past the end of the image");
    seen.insert(frame.Start);
    stack.push_back(std::move(frame));
  }

  // Depth first, each directory's entries in record order, a directory before what it holds.
  constexpr size_t kNone = SIZE_MAX;
  size_t multiExtent = kNone;  // the entry whose data goes on in the next record
  while (!stack.empty()) {
    TFrame& frame = stack.back();
    if (frame.Position >= frame.Length) {
      stack.pop_back();
      multiExtent = kNone;
      continue;
    }
    const uint64_t blockIndex = frame.Position / blockSize, inBlock = frame.Position % blockSize;
    if (blockIndex != frame.BlockIndex) {
      const uint64_t count = std::min<uint64_t>(blockSize, frame.Length - blockIndex * blockSize);
      directoryBytes += count;
      if (directoryBytes > std::min(kMaxDirectoryBytes, size)) return Fail("ISO: directories larger than the image");
      if (!source.ReadRange(frame.Start + blockIndex * blockSize, count, frame.Block))
        return Fail("ISO: directory " + Quoted(frame.Path) + " cut short");
      frame.BlockIndex = blockIndex;
    }
    const TByteView block(frame.Block);
    // Records never cross a block boundary: a zero length byte, or too little room for a
    // record, means the rest of the block is padding.
    if (inBlock + kRecordMin > block.Size() || block[inBlock] == 0) {
      frame.Position = (blockIndex + 1) * blockSize;
      continue;
    }
    const uint8_t recordLength = block[inBlock];
    TByteView record;
    if (recordLength < kRecordMin || !block.Sub(inBlock, recordLength, record))
      return Fail("ISO: bad directory record in " + Quoted(frame.Path));
    frame.Position += recordLength;
    const uint8_t flags = record[25], nameLength = record[32];
    TByteView rawName;
    if (!record.Sub(33, nameLength, rawName)) return Fail("ISO: bad directory record in " + Quoted(frame.Path));
    if (nameLength == 1 && (rawName[0] == 0 || rawName[0] == 1)) continue;  // "." and ".."

    bool directory = flags & kFlagDirectory;
    uint64_t start = 0, length = 0;
    bool inside = extentOf(record, start, length);
    TSystemUse use;
    std::string name;
    if (rockRidge) {
      const uint64_t systemUse = 33 + nameLength + (nameLength % 2 == 0 ? 1 : 0) + rootUse.Skip;
      ReadSystemUse(record.Tail(systemUse), source, blockSize, use);
      if (use.Relocated) continue;  // listed where its "CL" stands
      if (use.ChildLink) {
        // The record of a directory moved away: its "." record gives the extent's length.
        std::vector<uint8_t> dot;
        uint64_t at;
        directory = true;
        inside = CheckedMul(*use.ChildLink, blockSize, at) && source.ReadRange(at, 34, dot) &&
                 extentOf(TByteView(dot), start, length) && start == at;
      }
    }
    if (use.HasName) name = use.Name;
    else if (Names == TNames::inJoliet) name = JolietName(rawName);
    else name = PlainName(rawName.Chars());
    if (frame.Path.size() + name.size() > kMaxPath) return Fail("ISO: path longer than " + std::to_string(kMaxPath) + " bytes in " + Quoted(frame.Path));
    const std::string path = frame.Path + name;

    if (multiExtent != kNone && !directory && Files[multiExtent].Filename == path) {
      // The next part of a file stored in several extents.
      TArchivedFile& entry = Files[multiExtent];
      entry.SizeUnpacked = *entry.SizeUnpacked + static_cast<int64_t>(length);
      entry.SizePacked = entry.SizeUnpacked;
    } else if (directory && rockRidge && frame.Path.empty() && (name == "rr_moved" || name == ".rr_moved")) {
      // The folder that holds relocated directories: they are listed where they belong.
    } else {
      if (Files.Count() >= kMaxEntries) return Fail("ISO: more than " + std::to_string(kMaxEntries) + " entries");
      pathBytes += path.size() + 1;
      if (pathBytes > kMaxPathBytes) return Fail("ISO: paths too long in all at " + Quoted(path));
      TArchivedFile& entry = Files.Add();
      entry.Filename = directory ? path + "/" : path;
      entry.Timestamp = RecordDate(record.Clamp(18, 7));
      entry.Attribs = flags;
      if (!directory) entry.SizeUnpacked = entry.SizePacked = static_cast<int64_t>(length);
    }
    multiExtent = !directory && (flags & kFlagMultiExtent) ? Files.Count() - 1 : kNone;

    if (!inside && (directory || length > 0))
      return Fail("ISO: " + Quoted(path) + " lies past the end of the image");
    if (directory) {
      if (!seen.insert(start).second) return Fail("ISO: directory loop at " + Quoted(path));
      if (stack.size() >= kMaxDepth) return Fail("ISO: directories nested too deep at " + Quoted(path));
      TFrame child;
      child.Start = start;
      child.Length = length;
      child.Path = path + "/";
      stack.push_back(std::move(child));  // frame is not used past this point
    }
  }
  return true;
}

}  // namespace bq
