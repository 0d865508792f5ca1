#include "archive/zoxFF7zSimple.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "archive/bqLzma2.h"
#include "archive/quDate.h"
#include "archive/zoxCompression.h"
#include "hashes/quCRC32.h"
#include "platform/bqText.h"

namespace bq {

namespace {
constexpr std::string_view kSignature{"7z\xBC\xAF\x27\x1C", 6};
constexpr uint64_t kSignatureHeaderSize = 32;
constexpr uint64_t kHeaderLimit = uint64_t{64} << 20;  // the most a packed header may unpack to
constexpr int kHeaderNesting = 4;                      // packed headers inside packed headers
constexpr uint64_t kCoderLimit = 64;                   // coders in a folder, streams of a coder
// Files, folders, packed streams and substreams: each takes a few bytes of header, but far more
// memory once listed, so their number is bounded too.
constexpr uint64_t kItemLimit = 2000000;

enum : uint8_t {
  kEnd, kHeader, kArchiveProperties, kAdditionalStreamsInfo, kMainStreamsInfo, kFilesInfo, kPackInfo, kUnpackInfo,
  kSubStreamsInfo, kSize, kCRC, kFolder, kCodersUnpackSize, kNumUnpackStream, kEmptyStream, kEmptyFile, kAnti, kName,
  kCTime, kATime, kMTime, kWinAttributes, kComment, kEncodedHeader
};

const std::string kCopyId{"\x00", 1}, kLzmaId{"\x03\x01\x01", 3}, kLzma2Id{"\x21", 1}, kAesId{"\x06\xF1\x07\x01", 4};

class E7zError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
[[noreturn]] void Bad(const std::string& what) { throw E7zError("7z: " + what); }

struct TCoder {
  std::string Id;
  uint64_t InStreams = 1, OutStreams = 1;
  TByteView Properties;
};

struct TFolder {
  std::vector<TCoder> Coders;
  std::vector<std::pair<uint64_t, uint64_t>> Bonds;  // in stream, out stream
  uint64_t PackedStreams = 1;
  std::vector<uint64_t> UnpackSizes;  // one per out stream of every coder
  std::optional<uint32_t> Crc;
  uint64_t Substreams = 1;
  uint64_t FirstPack = 0;  // index of its first packed stream

  // The size of the out stream no bond consumes: the folder's output.
  uint64_t UnpackSize() const {
    for (size_t i = 0; i < UnpackSizes.size(); ++i) {
      bool bound = false;
      for (const auto& b : Bonds) bound = bound || b.second == i;
      if (!bound) return UnpackSizes[i];
    }
    return 0;
  }
};

struct TStreams {
  uint64_t PackPos = 0;
  std::vector<uint64_t> PackSizes;
  std::vector<TFolder> Folders;
  std::vector<uint64_t> Sizes;                 // of every substream, in order
  std::vector<std::optional<uint32_t>> Crcs;  // the same
};

// The header's fields, read through a cursor whose every count is checked against the bytes
// left: nothing is sized from a count the header could not hold.
class THeaderReader {
public:
  explicit THeaderReader(TByteView bytes) : C(bytes) {}

  uint8_t Byte() {
    const uint8_t b = C.U8();
    if (!C.Ok()) Bad("truncated header");
    return b;
  }
  // A NUMBER: the leading one bits of the first byte say how many bytes follow (low first); the
  // first byte's remaining bits are the highest part.
  uint64_t Number() {
    const uint8_t first = Byte();
    uint64_t value = 0;
    uint8_t mask = 0x80;
    for (int i = 0; i < 8; ++i) {
      if (!(first & mask)) return value | uint64_t{first & (mask - 1u)} << (8 * i);
      value |= uint64_t{Byte()} << (8 * i);
      mask >>= 1;
    }
    return value;
  }
  // A count of things that each take at least per bytes of what follows.
  uint64_t Count(const char* what, uint64_t per = 1) {
    const uint64_t n = Number();
    if (n > C.Remaining() / per) Bad(std::string("the header claims ") + std::to_string(n) + " " + what + ", more than it holds");
    if (n > kItemLimit) Bad(std::string("the header claims ") + std::to_string(n) + " " + what + ", more than this reader lists");
    return n;
  }
  void Expect(uint8_t id, const char* what) {
    if (Byte() != id) Bad(std::string("expected ") + what);
  }
  std::vector<bool> Bits(uint64_t n) {
    if ((n + 7) / 8 > C.Remaining()) Bad("truncated bit field");
    std::vector<bool> bits(static_cast<size_t>(n));
    uint8_t b = 0;
    for (uint64_t i = 0; i < n; ++i) {
      if (i % 8 == 0) b = Byte();
      bits[static_cast<size_t>(i)] = (b & (0x80 >> (i % 8))) != 0;
    }
    return bits;
  }
  std::vector<bool> AllOrBits(uint64_t n) {
    if (Byte() != 0) return std::vector<bool>(static_cast<size_t>(n), true);
    return Bits(n);
  }
  std::vector<std::optional<uint32_t>> Digests(uint64_t n) {
    const std::vector<bool> defined = AllOrBits(n);
    std::vector<std::optional<uint32_t>> d(static_cast<size_t>(n));
    for (size_t i = 0; i < d.size(); ++i)
      if (defined[i]) {
        d[i] = C.U32LE();
        if (!C.Ok()) Bad("truncated digests");
      }
    return d;
  }
  TByteView Bytes(uint64_t n) {
    const TByteView v = C.Bytes(n);
    if (!C.Ok()) Bad("truncated header");
    return v;
  }

  void PackInfo(TStreams& s) {
    s.PackPos = Number();
    const uint64_t n = Count("packed streams");
    s.PackSizes.assign(static_cast<size_t>(n), 0);
    for (uint8_t type = Byte(); type != kEnd; type = Byte()) {
      if (type == kSize) {
        for (auto& size : s.PackSizes) size = Number();
      } else if (type == kCRC) {
        Digests(n);
      } else {
        Bad("unknown packed stream property");
      }
    }
  }

  void ReadFolder(TFolder& f) {
    const uint64_t coders = Count("coders");
    if (coders == 0 || coders > kCoderLimit) Bad("bad number of coders");
    uint64_t ins = 0, outs = 0;
    for (uint64_t i = 0; i < coders; ++i) {
      TCoder coder;
      const uint8_t flags = Byte();
      if (flags & 0xC0) Bad("unsupported coder flags");
      coder.Id = std::string(Bytes(flags & 0x0F).Chars());
      if (flags & 0x10) {
        coder.InStreams = Number();
        coder.OutStreams = Number();
        if (coder.InStreams > kCoderLimit || coder.OutStreams > kCoderLimit) Bad("bad number of coder streams");
      }
      if (flags & 0x20) coder.Properties = Bytes(Number());
      ins += coder.InStreams;
      outs += coder.OutStreams;
      f.Coders.push_back(coder);
    }
    if (outs == 0 || ins < outs - 1) Bad("bad coder streams");
    for (uint64_t i = 0; i + 1 < outs; ++i) {
      const uint64_t in = Number(), out = Number();
      if (in >= ins || out >= outs) Bad("bad bond");
      f.Bonds.emplace_back(in, out);
    }
    f.PackedStreams = ins - (outs - 1);
    if (f.PackedStreams > 1)
      for (uint64_t i = 0; i < f.PackedStreams; ++i)
        if (Number() >= ins) Bad("bad packed stream index");
    f.UnpackSizes.assign(static_cast<size_t>(outs), 0);
  }

  void UnpackInfo(TStreams& s) {
    Expect(kFolder, "folders");
    const uint64_t n = Count("folders", 3);  // a coder count, a coder and an unpack size at least
    if (Byte() != 0) Bad("external folders are not supported");
    s.Folders.resize(static_cast<size_t>(n));
    uint64_t pack = 0;
    for (auto& f : s.Folders) {
      ReadFolder(f);
      f.FirstPack = pack;
      if (!CheckedAdd(pack, f.PackedStreams, pack)) Bad("bad packed streams");
    }
    Expect(kCodersUnpackSize, "unpack sizes");
    for (auto& f : s.Folders)
      for (auto& size : f.UnpackSizes) size = Number();
    uint8_t type = Byte();
    if (type == kCRC) {
      const auto crcs = Digests(n);
      for (size_t i = 0; i < s.Folders.size(); ++i) s.Folders[i].Crc = crcs[i];
      type = Byte();
    }
    if (type != kEnd) Bad("unknown folder property");
  }

  uint8_t SubStreamsInfo(TStreams& s) {
    uint8_t type = Byte();
    if (type == kNumUnpackStream) {
      uint64_t total = 0;
      for (auto& f : s.Folders) {
        f.Substreams = Number();
        // Every substream but a folder's last needs a size: their count is bounded by the bytes.
        if (!CheckedAdd(total, f.Substreams, total) || total > C.Remaining() + s.Folders.size() || total > kItemLimit)
          Bad("the header claims more streams than it holds");
      }
      type = Byte();
    }
    s.Sizes.clear();
    for (const auto& f : s.Folders) {
      if (f.Substreams == 0) continue;
      if (f.Substreams > 1 && type != kSize) Bad("substream sizes missing");
      uint64_t sum = 0;
      for (uint64_t j = 1; j < f.Substreams; ++j) {
        const uint64_t size = Number();
        if (!CheckedAdd(sum, size, sum)) Bad("bad substream sizes");
        s.Sizes.push_back(size);
      }
      const uint64_t whole = f.UnpackSize();
      if (sum > whole) Bad("substreams larger than their folder");
      s.Sizes.push_back(whole - sum);
    }
    if (type == kSize) type = Byte();
    uint64_t unknown = 0;
    for (const auto& f : s.Folders)
      if (f.Substreams != 1 || !f.Crc) unknown += f.Substreams;
    std::vector<std::optional<uint32_t>> digests;
    bool haveDigests = false;
    for (; type != kEnd; type = Byte()) {
      if (type != kCRC) Bad("unknown substream property");
      digests = Digests(unknown);
      haveDigests = true;
    }
    s.Crcs.clear();
    size_t next = 0;
    for (const auto& f : s.Folders) {
      if (f.Substreams == 1 && f.Crc) {
        s.Crcs.push_back(f.Crc);
        continue;
      }
      for (uint64_t j = 0; j < f.Substreams; ++j) s.Crcs.push_back(haveDigests ? digests[next++] : std::nullopt);
    }
    return type;
  }

  void StreamsInfo(TStreams& s) {
    uint8_t type = Byte();
    if (type == kPackInfo) {
      PackInfo(s);
      type = Byte();
    }
    if (type == kUnpackInfo) {
      UnpackInfo(s);
      type = Byte();
    }
    // Without substream information, each folder is one stream.
    s.Sizes.clear();
    s.Crcs.clear();
    for (const auto& f : s.Folders) {
      s.Sizes.push_back(f.UnpackSize());
      s.Crcs.push_back(f.Crc);
    }
    if (type == kSubStreamsInfo) {
      SubStreamsInfo(s);
      type = Byte();
    }
    if (type != kEnd) Bad("unknown streams property");
    uint64_t packs = 0;
    for (const auto& f : s.Folders) packs += f.PackedStreams;
    if (packs > s.PackSizes.size()) Bad("folders use more packed streams than there are");
  }

  TByteCursor C;
};

uint32_t Crc32(TByteView bytes) { return TCRC32::Compute(bytes.Data(), bytes.Size()); }

struct TFileInfo {
  TByteView Name;  // UTF-16LE, without its terminator
  bool HasName = false, EmptyStream = false, EmptyFile = false;
  std::optional<uint64_t> MTime;
  std::optional<uint32_t> Attributes;
};
}  // namespace

bool TSimple7z::Recognise(TArchiveSource& source) {
  std::vector<uint8_t> head;
  source.ReadRange(0, kSignature.size(), head);
  return TByteView(head).Equals(0, kSignature);
}

bool TSimple7z::LoadFromStream(TArchiveSource& source) {
  Files.Clear();
  Error.clear();
  NamesEncrypted = false;
  if (!Recognise(source)) return Fail("7z: no signature");
  try {
    std::vector<uint8_t> bytes;
    source.ReadRange(0, kSignatureHeaderSize, bytes);
    const TByteView start(bytes);
    uint8_t major = 0;
    uint32_t startCrc = 0, nextCrc = 0;
    uint64_t nextOffset = 0, nextSize = 0;
    if (!start.U8(6, major) || !start.U32LE(8, startCrc) || !start.U64LE(12, nextOffset) || !start.U64LE(20, nextSize) ||
        !start.U32LE(28, nextCrc))
      Bad("truncated signature header");
    if (major != 0) Bad("unsupported version " + std::to_string(major));
    if (Crc32(start.Clamp(12, 20)) != startCrc) Bad("start header CRC mismatch");
    if (nextSize == 0) return true;  // an empty archive
    uint64_t at;
    if (!CheckedAdd(kSignatureHeaderSize, nextOffset, at) || !FitsIn(at, nextSize, source.Size())) Bad("truncated: the header lies beyond the end of the file");
    if (nextSize > kHeaderLimit) Bad("header too large");
    std::vector<uint8_t> header;
    source.ReadRange(at, nextSize, header);
    if (Crc32(TByteView(header)) != nextCrc) Bad("header CRC mismatch");

    // Packed headers: their streams say where the real header lies and how it was packed.
    for (int level = 0;; ++level) {
      THeaderReader r{TByteView(header)};
      const uint8_t id = r.Byte();
      if (id == kHeader) break;
      if (id != kEncodedHeader) Bad("unknown header type");
      if (level >= kHeaderNesting) Bad("packed headers nested too deep");
      TStreams s;
      r.StreamsInfo(s);
      if (s.Folders.empty()) Bad("packed header without folders");
      const TFolder& f = s.Folders[0];
      for (const auto& c : f.Coders)
        if (c.Id == kAesId) {
          NamesEncrypted = true;  // nothing more can be read without the password
          return true;
        }
      if (f.Coders.size() != 1 || f.PackedStreams != 1 || f.FirstPack >= s.PackSizes.size())
        Bad("the header is packed with an unsupported method");
      uint64_t packAt;
      if (!CheckedAdd(kSignatureHeaderSize, s.PackPos, packAt)) Bad("bad packed header position");
      for (uint64_t i = 0; i < f.FirstPack; ++i)
        if (!CheckedAdd(packAt, s.PackSizes[i], packAt)) Bad("bad packed header position");
      const uint64_t packSize = s.PackSizes[f.FirstPack];
      if (!FitsIn(packAt, packSize, source.Size())) Bad("truncated: the packed header lies beyond the end of the file");
      const uint64_t unpackSize = f.UnpackSize();
      if (unpackSize > kHeaderLimit) Bad("the header unpacks to more than 64 MiB");
      std::vector<uint8_t> packed;
      source.ReadRange(packAt, packSize, packed);
      const TByteView input(packed);
      std::vector<uint8_t> unpacked;
      const TCoder& c = f.Coders[0];
      if (c.Id == kLzmaId) {
        uint32_t dictionary;
        if (!c.Properties.U32LE(1, dictionary)) Bad("bad LZMA properties");
        TMultiDecoder d;
        d.Method = TCompressionMethod::cmLZMA;
        d.Input = &input;
        d.Output = &unpacked;
        d.Size = unpackSize;
        try {
          d.SetProperties(dictionary, c.Properties[0], c.Properties.Size(), c.Properties.Data());
          d.Decode();
        } catch (const EDecompressionError& e) {
          Bad(std::string("packed header: LZMA: ") + e.what());
        }
      } else if (c.Id == kLzma2Id) {
        std::string error;
        if (c.Properties.Size() != 1 || !Lzma2DecodeAll(input, c.Properties[0], static_cast<size_t>(unpackSize), unpacked, error))
          Bad("packed header: " + (error.empty() ? std::string("bad LZMA2 properties") : error));
      } else if (c.Id == kCopyId) {
        unpacked.assign(packed.begin(), packed.end());
      } else {
        Bad("the header is packed with an unsupported method");
      }
      if (unpacked.size() != unpackSize) Bad("the packed header is shorter than its size");
      if (f.Crc && Crc32(TByteView(unpacked)) != *f.Crc) Bad("packed header CRC mismatch");
      header.swap(unpacked);
    }

    THeaderReader r{TByteView(header)};
    r.Byte();  // kHeader
    uint8_t type = r.Byte();
    if (type == kArchiveProperties) {
      for (uint8_t p = r.Byte(); p != kEnd; p = r.Byte()) r.Bytes(r.Number());
      type = r.Byte();
    }
    if (type == kAdditionalStreamsInfo) {
      TStreams extra;
      r.StreamsInfo(extra);
      type = r.Byte();
    }
    TStreams s;
    if (type == kMainStreamsInfo) {
      r.StreamsInfo(s);
      type = r.Byte();
    }
    std::vector<TFileInfo> files;
    if (type == kFilesInfo) {
      const uint64_t n = r.Count("files", 2);  // a name takes two bytes at least
      files.resize(static_cast<size_t>(n));
      std::vector<bool> emptyStream, emptyFile;
      uint64_t empties = 0;
      for (uint64_t property = r.Number(); property != kEnd; property = r.Number()) {
        const uint64_t size = r.Number();
        THeaderReader p(r.Bytes(size));
        switch (property) {
          case kEmptyStream:
            emptyStream = p.Bits(n);
            empties = static_cast<uint64_t>(std::count(emptyStream.begin(), emptyStream.end(), true));
            for (size_t i = 0; i < files.size(); ++i) files[i].EmptyStream = emptyStream[i];
            break;
          case kEmptyFile: {
            emptyFile = p.Bits(empties);
            size_t k = 0;
            for (auto& f : files)
              if (f.EmptyStream) f.EmptyFile = emptyFile[k++];
            break;
          }
          case kName: {
            if (p.Byte() != 0) Bad("external names are not supported");
            for (auto& f : files) {
              const TByteView rest = p.C.View().Tail(p.C.Position());
              size_t units = 0;
              while (2 * units + 1 < rest.Size() && (rest[2 * units] | rest[2 * units + 1]) != 0) ++units;
              if (2 * units + 1 >= rest.Size()) Bad("truncated names");
              f.Name = rest.Clamp(0, 2 * units);
              f.HasName = true;
              p.Bytes(2 * units + 2);
            }
            break;
          }
          case kMTime: {
            const std::vector<bool> defined = p.AllOrBits(n);
            if (p.Byte() != 0) Bad("external times are not supported");
            for (size_t i = 0; i < files.size(); ++i)
              if (defined[i]) {
                files[i].MTime = p.C.U64LE();
                if (!p.C.Ok()) Bad("truncated times");
              }
            break;
          }
          case kWinAttributes: {
            const std::vector<bool> defined = p.AllOrBits(n);
            if (p.Byte() != 0) Bad("external attributes are not supported");
            for (size_t i = 0; i < files.size(); ++i)
              if (defined[i]) {
                files[i].Attributes = p.C.U32LE();
                if (!p.C.Ok()) Bad("truncated attributes");
              }
            break;
          }
          default: break;  // creation and access times, anti items, comments, padding
        }
      }
      type = kEnd;
    }
    if (type != kEnd) Bad("unknown header property");

    // Files with data take the substreams in order, folder by folder.
    Files.Reserve(files.size());
    size_t folder = 0, sub = 0;
    uint64_t inFolder = 0;
    std::u16string name;
    for (const auto& f : files) {
      TArchivedFile& entry = Files.Add();
      name.resize(f.Name.Size() / 2);
      for (size_t i = 0; i < name.size(); ++i) name[i] = static_cast<char16_t>(f.Name[2 * i] | f.Name[2 * i + 1] << 8);
      entry.Filename = Utf16ToUtf8(name);
      if (f.MTime) entry.Timestamp = FileTimeToTimestamp(*f.MTime);
      entry.Attribs = f.Attributes.value_or(f.EmptyStream && !f.EmptyFile ? 0x10 : 0);
      if (f.EmptyStream) {
        entry.SizeUnpacked = 0;
        entry.SizePacked = 0;
        continue;
      }
      while (folder < s.Folders.size() && s.Folders[folder].Substreams == 0) ++folder;
      if (folder >= s.Folders.size() || sub >= s.Sizes.size()) Bad("more files with data than streams");
      const TFolder& fo = s.Folders[folder];
      entry.SizeUnpacked = static_cast<int64_t>(std::min<uint64_t>(s.Sizes[sub], INT64_MAX));
      if (sub < s.Crcs.size()) entry.CRC32 = s.Crcs[sub];
      if (inFolder == 0) {
        uint64_t packed = 0;
        for (uint64_t i = fo.FirstPack; i < fo.FirstPack + fo.PackedStreams && i < s.PackSizes.size(); ++i)
          if (!CheckedAdd(packed, s.PackSizes[i], packed)) packed = UINT64_MAX;
        entry.SizePacked = static_cast<int64_t>(std::min<uint64_t>(packed, INT64_MAX));
      }
      ++sub;
      if (++inFolder >= fo.Substreams) {
        ++folder;
        inFolder = 0;
      }
    }
    return true;
  } catch (const E7zError& e) {
    return Fail(e.what());
  }
}

}  // namespace bq
