#include "archive/bqXz.h"

#include <algorithm>
#include <cstring>

#include "hashes/quCRC32.h"
#include "hashes/quCRC64.h"
#include "hashes/quSHA2.h"
#include "platform/bqText.h"

namespace bq {

namespace {
constexpr std::string_view kHeaderMagic{"\xFD" "7zXZ\0", 6};
constexpr std::string_view kFooterMagic{"YZ", 2};
constexpr size_t kChunk = 1 << 20;                // source bytes read at a time
constexpr uint64_t kIndexLimit = uint64_t{64} << 20;  // the largest index read whole
constexpr uint8_t kLzma2Filter = 0x21;

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) { return TCRC32::Compute(data, size, crc); }

// The size of a check's field by its type: 0, then 4, 8, 16, 32, 64 bytes for each three types.
size_t CheckSize(unsigned type) { return type == 0 ? 0 : size_t{4} << ((type - 1) / 3); }

// A variable-length integer: 7 bits a byte, low first, at most 9 bytes, no trailing zero byte.
bool ReadVli(TByteCursor& c, uint64_t& value) {
  value = 0;
  for (unsigned i = 0; i < 9; ++i) {
    const uint8_t b = c.U8();
    if (!c.Ok()) return false;
    value |= uint64_t{b & 0x7Fu} << (7 * i);
    if (!(b & 0x80)) return b != 0 || i == 0;
  }
  return false;
}

const char* FilterName(uint64_t id) {
  switch (id) {
    case 0x03: return "Delta";
    case 0x04: return "x86 BCJ";
    case 0x05: return "PowerPC BCJ";
    case 0x06: return "IA-64 BCJ";
    case 0x07: return "ARM BCJ";
    case 0x08: return "ARM-Thumb BCJ";
    case 0x09: return "SPARC BCJ";
    case 0x0A: return "ARM64 BCJ";
    case 0x0B: return "RISC-V BCJ";
    default: return nullptr;
  }
}

// A stream header or footer's flags: the first byte zero, a check type in the low nibble.
bool GoodFlags(const uint8_t* f) { return f[0] == 0 && (f[1] & 0xF0) == 0; }

// An index's records as sums; n records checked against the bytes that hold them.
struct TIndexSums {
  uint64_t Count = 0, Blocks = 0, Unpacked = 0;
};
bool ParseIndex(TByteView index, TIndexSums& sums, std::vector<std::pair<uint64_t, uint64_t>>* records, std::string& error) {
  TByteCursor c(index);
  uint64_t count;
  if (c.U8() != 0 || !ReadVli(c, count)) return error = "xz: bad index", false;
  if (count > index.Size() / 2) return error = "xz: the index claims more records than it holds", false;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t unpadded, unpacked;
    if (!ReadVli(c, unpadded) || !ReadVli(c, unpacked) || unpadded == 0) return error = "xz: bad index record", false;
    const uint64_t padded = (unpadded + 3) & ~uint64_t{3};
    if (padded < unpadded || !CheckedAdd(sums.Blocks, padded, sums.Blocks) || !CheckedAdd(sums.Unpacked, unpacked, sums.Unpacked))
      return error = "xz: index sizes overflow", false;
    if (records) records->emplace_back(unpadded, unpacked);
  }
  sums.Count = count;
  while (c.Position() % 4 != 0)
    if (c.U8() != 0) return error = "xz: bad index padding", false;
  const uint64_t body = c.Position();
  const uint32_t stored = c.U32LE();
  if (!c.Ok() || !c.AtEnd()) return error = "xz: bad index size", false;
  if (Crc32(index.Data(), static_cast<size_t>(body)) != stored) return error = "xz: index CRC mismatch", false;
  return true;
}
}  // namespace

struct TXzStream::TCheck {
  unsigned Type = 0;
  uint32_t Crc32Value = 0;
  uint64_t Crc64Value = 0;
  TSHA256 Sha;
  void Reset(unsigned type) {
    Type = type;
    Crc32Value = 0;
    Crc64Value = 0;
    Sha.Init();
  }
  void Update(const uint8_t* p, size_t n) {
    if (Type == 1) Crc32Value = Crc32(p, n, Crc32Value);
    else if (Type == 4) Crc64Value = Crc64(p, n, Crc64Value);
    else if (Type == 10) Sha.Update(p, n);
  }
  // The stored field against what was computed; other types are not verified.
  bool Matches(const uint8_t* stored) {
    if (Type == 1) return LoadLE32(stored) == Crc32Value;
    if (Type == 4) {
      uint64_t v = 0;
      for (int i = 7; i >= 0; --i) v = v << 8 | stored[i];
      return v == Crc64Value;
    }
    if (Type == 10) {
      uint8_t digest[TSHA256::DigestSize];
      Sha.Final(digest);
      return std::memcmp(digest, stored, sizeof digest) == 0;
    }
    return true;
  }
};

TXzStream::TXzStream(TArchiveSource& source) : FSource(source), FCheck(std::make_unique<TCheck>()) {}
TXzStream::~TXzStream() = default;

bool TXzStream::Fail(std::string message) {
  if (FError.empty()) FError = std::move(message);
  FState = sFailed;
  return false;
}

bool TXzStream::Need(size_t n) {
  if (FIn.size() - FInAt >= n) return true;
  FIn.erase(FIn.begin(), FIn.begin() + static_cast<std::ptrdiff_t>(FInAt));
  FInAt = 0;
  const uint64_t left = FSource.Size() > FSourcePos ? FSource.Size() - FSourcePos : 0;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(std::max(n - FIn.size(), kChunk), left));
  if (want > 0) {
    std::vector<uint8_t> more;
    FSource.ReadRange(FSourcePos, want, more);
    FSourcePos += more.size();
    FIn.insert(FIn.end(), more.begin(), more.end());
  }
  return FIn.size() >= n;
}

bool TXzStream::ReadStreamHeader() {
  if (!Need(12)) return Fail(FConsumed == 0 ? "xz: not an xz file" : "xz: truncated stream header");
  const uint8_t* h = FIn.data() + FInAt;
  if (std::memcmp(h, kHeaderMagic.data(), 6) != 0) return Fail("xz: no stream header");
  if (!GoodFlags(h + 6)) return Fail("xz: unsupported stream flags");
  if (Crc32(h + 6, 2) != LoadLE32(h + 8)) return Fail("xz: stream header CRC mismatch");
  std::memcpy(FStreamFlags, h + 6, 2);
  FCheckType = h[7] & 0x0F;
  FStreamStart = FConsumed;
  FRecords.clear();
  FInAt += 12;
  FConsumed += 12;
  FState = sBlockOrIndex;
  return true;
}

bool TXzStream::ReadBlockHeader() {
  const size_t size = (size_t{FIn[FInAt]} + 1) * 4;
  if (!Need(size)) return Fail("xz: truncated block header");
  const TByteView header(FIn.data() + FInAt, size);
  if (Crc32(header.Data(), size - 4) != LoadLE32(header.Data() + size - 4)) return Fail("xz: block header CRC mismatch");
  TByteCursor c(header.Clamp(0, size - 4), 1);
  const uint8_t flags = c.U8();
  if (flags & 0x3C) return Fail("xz: unsupported block header flags");
  FDeclaredPacked = FDeclaredUnpacked = UINT64_MAX;
  if ((flags & 0x40) && (!ReadVli(c, FDeclaredPacked) || FDeclaredPacked == 0)) return Fail("xz: bad compressed size");
  if ((flags & 0x80) && !ReadVli(c, FDeclaredUnpacked)) return Fail("xz: bad uncompressed size");
  const unsigned filters = (flags & 3u) + 1;
  int dictionary = -1;
  for (unsigned i = 0; i < filters; ++i) {
    uint64_t id, propertiesSize;
    if (!ReadVli(c, id) || !ReadVli(c, propertiesSize)) return Fail("xz: bad filter flags");
    const TByteView properties = c.Bytes(propertiesSize);
    if (!c.Ok()) return Fail("xz: bad filter flags");
    if (id == kLzma2Filter) {
      if (i + 1 != filters || propertiesSize != 1) return Fail("xz: bad LZMA2 filter flags");
      dictionary = properties[0];
    } else if (const char* name = FilterName(id)) {
      return Fail(std::string("xz: unsupported filter (") + name + ")");
    } else {
      return Fail("xz: unsupported filter 0x" + HexBytes(&id, 1, true));
    }
  }
  if (dictionary < 0) return Fail("xz: the last filter is not LZMA2");
  while (!c.AtEnd())
    if (c.U8() != 0) return Fail("xz: bad block header padding");
  FDecoder = std::make_unique<TLzma2Decoder>();
  if (!FDecoder->Init(static_cast<uint8_t>(dictionary), FDeclaredUnpacked == UINT64_MAX ? 0 : FDeclaredUnpacked))
    return Fail("xz: " + FDecoder->Error());
  FBlockStart = FConsumed;
  FBlockHeaderSize = size;
  FBlockPacked = FBlockUnpacked = 0;
  FCheck->Reset(FCheckType);
  FInAt += size;
  FConsumed += size;
  FState = sBlockData;
  return true;
}

bool TXzStream::EndBlock() {
  if (FDeclaredPacked != UINT64_MAX && FDeclaredPacked != FBlockPacked) return Fail("xz: the block's compressed size differs from its header");
  if (FDeclaredUnpacked != UINT64_MAX && FDeclaredUnpacked != FBlockUnpacked)
    return Fail("xz: the block's uncompressed size differs from its header");
  const size_t padding = static_cast<size_t>((4 - (FBlockHeaderSize + FBlockPacked) % 4) % 4);
  const size_t checkSize = CheckSize(FCheckType);
  if (!Need(padding + checkSize)) return Fail("xz: truncated block");
  const uint8_t* p = FIn.data() + FInAt;
  for (size_t i = 0; i < padding; ++i)
    if (p[i] != 0) return Fail("xz: bad block padding");
  if (!FCheck->Matches(p + padding)) return Fail("xz: block check mismatch");
  FRecords.emplace_back(FBlockHeaderSize + FBlockPacked + checkSize, FBlockUnpacked);
  FInAt += padding + checkSize;
  FConsumed += padding + checkSize;
  FState = sBlockOrIndex;
  return true;
}

bool TXzStream::ReadIndex() {
  // The index is a few bytes per block: it is read whole, up to a bound, once its records show
  // where it ends.
  FIndexStart = FConsumed;
  size_t want = 64;
  for (;;) {
    const bool all = Need(want);
    const TByteView view(FIn.data() + FInAt, FIn.size() - FInAt);
    TByteCursor c(view);
    c.U8();
    uint64_t count = 0;
    bool ok = ReadVli(c, count);
    if (ok && count > FRecords.size()) return Fail("xz: the index has more records than the stream has blocks");
    for (uint64_t i = 0; ok && i < count; ++i) {
      uint64_t a, b;
      ok = ReadVli(c, a) && ReadVli(c, b);
    }
    const size_t size = static_cast<size_t>(((c.Position() + 3) & ~uint64_t{3}) + 4);
    if (ok && size <= view.Size()) {
      std::vector<std::pair<uint64_t, uint64_t>> listed;
      TIndexSums sums;
      std::string error;
      if (!ParseIndex(view.Clamp(0, size), sums, &listed, error)) return Fail(error);
      if (listed != FRecords) return Fail("xz: the index does not match the blocks");
      FInAt += size;
      FConsumed += size;
      FState = sFooter;
      return true;
    }
    if (!all) return Fail("xz: truncated index");
    if (want >= kIndexLimit) return Fail("xz: index too large");
    want = ok ? size : want * 2;
  }
}

bool TXzStream::ReadFooter() {
  if (!Need(12)) return Fail("xz: truncated stream footer");
  const uint8_t* f = FIn.data() + FInAt;
  if (std::memcmp(f + 10, kFooterMagic.data(), 2) != 0) return Fail("xz: no stream footer");
  if (Crc32(f + 4, 6) != LoadLE32(f)) return Fail("xz: stream footer CRC mismatch");
  if (std::memcmp(f + 8, FStreamFlags, 2) != 0) return Fail("xz: stream footer flags differ from the header's");
  if ((uint64_t{LoadLE32(f + 4)} + 1) * 4 != FConsumed - FIndexStart) return Fail("xz: stream footer gives a wrong index size");
  FInAt += 12;
  FConsumed += 12;
  FState = sPadding;
  return true;
}

bool TXzStream::SkipPadding() {
  for (;;) {
    if (!Need(1)) {
      FState = sEnd;
      return true;
    }
    if (FIn[FInAt] != 0) break;
    if (!Need(4) || LoadLE32(FIn.data() + FInAt) != 0) return Fail("xz: bad stream padding");
    FInAt += 4;
    FConsumed += 4;
  }
  FState = sStreamHeader;  // another stream follows
  return true;
}

size_t TXzStream::Read(uint8_t* buffer, size_t count) {
  size_t made = 0;
  while (made < count) {
    switch (FState) {
      case sStreamHeader: ReadStreamHeader(); break;
      case sBlockOrIndex:
        if (!Need(1)) Fail("xz: truncated stream");
        else if (FIn[FInAt] == 0) FState = sIndex;
        else ReadBlockHeader();
        break;
      case sBlockData: {
        Need(1);
        size_t avail = FIn.size() - FInAt;
        if (FDeclaredPacked != UINT64_MAX) avail = static_cast<size_t>(std::min<uint64_t>(avail, FDeclaredPacked - FBlockPacked));
        size_t used = 0;
        const size_t n = FDecoder->Decode(FIn.data() + FInAt, avail, used, buffer + made, count - made);
        FCheck->Update(buffer + made, n);
        made += n;
        FBlockPacked += used;
        FBlockUnpacked += n;
        FInAt += used;
        FConsumed += used;
        if (!FDecoder->Error().empty()) Fail("xz: " + FDecoder->Error());
        else if (FDeclaredUnpacked != UINT64_MAX && FBlockUnpacked > FDeclaredUnpacked) Fail("xz: the block decodes to more than its header says");
        else if (FDecoder->Finished()) FState = sBlockEnd;
        else if (n == 0 && used == 0) {
          if (FDeclaredPacked != UINT64_MAX && FBlockPacked == FDeclaredPacked) Fail("xz: the block's data is longer than its header says");
          else if (!Need(FIn.size() - FInAt + 1)) Fail("xz: truncated block");
        }
        break;
      }
      case sBlockEnd: EndBlock(); break;
      case sIndex: ReadIndex(); break;
      case sFooter: ReadFooter(); break;
      case sPadding: SkipPadding(); break;
      case sEnd:
      case sFailed:
        FPosition += made;
        return made;
    }
  }
  FPosition += made;
  return made;
}

std::unique_ptr<TDecodedStream> OpenXzStream(TArchiveSource& source) { return std::make_unique<TXzStream>(source); }


bool XzUnpackedSize(TArchiveSource& source, uint64_t& size, std::string& error) {
  size = 0;
  uint64_t end = source.Size();
  std::vector<uint8_t> bytes;
  // A stream takes 32 bytes at least; a file of a great many of them is not walked to the end.
  constexpr int kStreamLimit = 100000;
  for (int streams = 0; end > 0; ++streams) {
    if (streams == kStreamLimit) return error = "xz: more than 100,000 streams", false;
    // Stream padding: zero bytes, four at a time, read backwards in pieces.
    for (;;) {
      const uint64_t piece = std::min<uint64_t>(end, 64 * 1024) & ~uint64_t{3};
      if (piece == 0) break;
      source.ReadRange(end - piece, piece, bytes);
      if (bytes.size() != piece) return error = "xz: read error", false;
      size_t zeros = 0;
      while (zeros + 4 <= piece && LoadLE32(bytes.data() + piece - zeros - 4) == 0) zeros += 4;
      end -= zeros;
      if (zeros < piece) break;
    }
    if (end < 32) return error = "xz: no stream footer", false;
    source.ReadRange(end - 12, 12, bytes);
    const uint8_t* f = bytes.data();
    if (bytes.size() != 12 || std::memcmp(f + 10, kFooterMagic.data(), 2) != 0) return error = "xz: no stream footer", false;
    if (Crc32(f + 4, 6) != LoadLE32(f) || !GoodFlags(f + 8)) return error = "xz: bad stream footer", false;
    uint8_t flags[2] = {f[8], f[9]};
    const uint64_t indexSize = (uint64_t{LoadLE32(f + 4)} + 1) * 4;
    if (indexSize > end - 12 - 12 || indexSize > kIndexLimit) return error = "xz: the footer gives an index larger than the file", false;
    const uint64_t indexStart = end - 12 - indexSize;
    source.ReadRange(indexStart, indexSize, bytes);
    TIndexSums sums;
    if (!ParseIndex(TByteView(bytes), sums, nullptr, error)) return false;
    if (sums.Blocks > indexStart - 12) return error = "xz: the index gives blocks larger than the file", false;
    const uint64_t start = indexStart - sums.Blocks - 12;
    source.ReadRange(start, 12, bytes);
    const uint8_t* h = bytes.data();
    if (bytes.size() != 12 || std::memcmp(h, kHeaderMagic.data(), 6) != 0 || std::memcmp(h + 6, flags, 2) != 0 ||
        Crc32(h + 6, 2) != LoadLE32(h + 8))
      return error = "xz: no stream header where the index says", false;
    if (!CheckedAdd(size, sums.Unpacked, size)) return error = "xz: sizes overflow", false;
    end = start;
  }
  return true;
}

}  // namespace bq
