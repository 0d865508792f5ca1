#include "archive/zoxFFTarSimple.h"

#include "archive/bqXz.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "archive/bqBZip2.h"
#include "archive/bqGZip.h"
#include "archive/bqSourceStream.h"
#include "archive/bqXz.h"
#include "archive/quDate.h"
#include "platform/bqText.h"

namespace bq {

namespace {
constexpr size_t kBlock = 512;
constexpr size_t kMaxLongName = 64 * 1024;  // GNU long names and links keep this much
constexpr uint64_t kMaxPax = 1 << 20;       // a larger pax header ends the listing

// Header fields: offset and length.
struct TField {
  size_t At, Length;
};
constexpr TField kName{0, 100}, kSize{124, 12}, kMTime{136, 12}, kChecksum{148, 8}, kLinkName{157, 100},
    kMagic{257, 6}, kVersion{263, 2}, kPrefix{345, 155}, kSparseExtended{482, 1}, kRealSize{483, 12};
constexpr size_t kType = 156, kExtensionExtended = 504;

template <class T>
std::unique_ptr<TDecodedStream> OpenStream(TArchiveSource& source) {
  return std::make_unique<T>(source);
}

bool HasXzSignature(const uint8_t* data, size_t size) {
  return size >= 6 && std::memcmp(data, "\xFD" "7zXZ\0", 6) == 0;
}

const TTarContainer kContainers[] = {
    {"gzip", TGZipStream::HasSignature, OpenStream<TGZipStream>},
    {"bzip2", TBZip2Stream::HasSignature, OpenStream<TBZip2Stream>},
    {"xz", HasXzSignature, OpenXzStream},
};

bool IsZeroBlock(const uint8_t* block) {
  for (size_t i = 0; i < kBlock; ++i)
    if (block[i]) return false;
  return true;
}

// An octal number, optionally after blanks, ended by anything that is not a digit; or GNU's
// base-256 form (first byte 0x80 or 0xFF: big-endian two's complement in the other bits).
// False when it overflows or (with needDigits) holds no digit.
bool ParseNumber(const uint8_t* block, TField f, int64_t& value, bool needDigits = false) {
  const uint8_t* p = block + f.At;
  if (p[0] & 0x80) {
    uint64_t r = (p[0] & 0x40) ? ~uint64_t{0} : 0;
    r = (r << 6) | (p[0] & 0x3F);
    for (size_t i = 1; i < f.Length; ++i) {
      const uint64_t top = r >> 55;
      if (top != 0 && top != 0x1FF) return false;
      r = (r << 8) | p[i];
    }
    value = static_cast<int64_t>(r);
    return true;
  }
  size_t i = 0;
  while (i < f.Length && p[i] == ' ') ++i;
  uint64_t r = 0;
  const size_t first = i;
  for (; i < f.Length && p[i] >= '0' && p[i] <= '7'; ++i) {
    if (r > (static_cast<uint64_t>(INT64_MAX) >> 3)) return false;
    r = r << 3 | static_cast<uint64_t>(p[i] - '0');
  }
  if (needDigits && i == first) return false;
  value = static_cast<int64_t>(r);
  return true;
}

std::string_view FieldText(const uint8_t* block, TField f) {
  const auto* p = reinterpret_cast<const char*>(block + f.At);
  const void* zero = std::memchr(p, 0, f.Length);
  return {p, zero ? static_cast<size_t>(static_cast<const char*>(zero) - p) : f.Length};
}

// Names are bytes: UTF-8 as it is, anything else as ANSI text.
std::string NameText(std::string_view bytes) {
  return IsAscii(bytes) || IsValidUtf8(bytes) ? std::string(bytes) : AnsiToUtf8(bytes);
}

// What pax extended headers say: per entry ('x') or for all that follow ('g').
struct TPax {
  std::optional<std::string> Path;
  std::optional<uint64_t> Size, RealSize;
  std::optional<int64_t> MTime;
  void Clear() { *this = TPax(); }
};

std::optional<uint64_t> ParseDecimal(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  return v;
}

// Seconds with an optional sign and fraction; the whole second at or before it.
std::optional<int64_t> ParseSeconds(std::string_view text) {
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  const size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const auto v = ParseDecimal(whole);
  if (!v || *v > static_cast<uint64_t>(INT64_MAX) - 1) return std::nullopt;
  bool fraction = false;
  if (dot != std::string_view::npos)
    for (char c : text.substr(dot + 1)) {
      if (c < '0' || c > '9') return std::nullopt;
      fraction |= c != '0';
    }
  const auto s = static_cast<int64_t>(*v);
  return negative ? -s - (fraction ? 1 : 0) : s;
}

// Records "LENGTH key=value\n"; a malformed record ends the parse, keeping what came before.
void ParsePax(std::string_view data, TPax& pax) {
  while (!data.empty()) {
    const size_t space = data.find(' ');
    if (space == std::string_view::npos || space > 20) return;
    const auto length = ParseDecimal(data.substr(0, space));
    if (!length || *length <= space + 1 || *length > data.size() || data[*length - 1] != '\n') return;
    const std::string_view record = data.substr(space + 1, *length - space - 2);
    data.remove_prefix(*length);
    const size_t eq = record.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = record.substr(0, eq), value = record.substr(eq + 1);
    if (key == "path") pax.Path = std::string(value);
    else if (key == "GNU.sparse.name") pax.Path = std::string(value);  // the real name of a sparse file
    else if (key == "size") pax.Size = ParseDecimal(value);
    else if (key == "GNU.sparse.realsize" || key == "GNU.sparse.size") pax.RealSize = ParseDecimal(value);
    else if (key == "mtime") pax.MTime = ParseSeconds(value);
  }
}

// 512-byte blocks of a decoded stream through a buffer; member data is passed over.
class TBlocks {
public:
  explicit TBlocks(TDecodedStream& stream) : FStream(stream), FBuffer(64 * 1024) {}

  // The next block; nullptr when the stream ends first (Leftover() tells whether a part of a
  // block was there).
  const uint8_t* Next() {
    if (FEnd - FPos < kBlock && !Fill(kBlock)) return nullptr;
    const uint8_t* b = FBuffer.data() + FPos;
    FPos += kBlock;
    FOffset += kBlock;
    return b;
  }
  bool Leftover() const { return FEnd > FPos; }
  // Offset in the decoded stream of the next block.
  uint64_t Offset() const { return FOffset; }

  // count bytes and the padding to the next block, of which the first cap are kept in out;
  // the rest is passed over.
  bool Read(uint64_t count, std::string& out, size_t cap) {
    out.clear();
    const uint64_t padded = Padded(count);
    if (count > cap) {
      const uint64_t kept = Padded(cap);
      return Read(cap, out, cap) && Skip(padded - kept);
    }
    uint64_t left = padded;
    while (left > 0) {
      if (FPos == FEnd && !Fill(1)) return false;
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, FEnd - FPos));
      const uint64_t done = padded - left;
      if (done < count) {
        const size_t keep = static_cast<size_t>(std::min<uint64_t>(n, count - done));
        out.append(reinterpret_cast<const char*>(FBuffer.data() + FPos), keep);
      }
      FPos += n;
      FOffset += n;
      left -= n;
    }
    return true;
  }
  // Passes over count bytes and the padding to the next block.
  bool Skip(uint64_t count) {
    uint64_t left = Padded(count);
    const size_t here = static_cast<size_t>(std::min<uint64_t>(left, FEnd - FPos));
    FPos += here;
    FOffset += here;
    left -= here;
    if (left == 0) return true;
    const uint64_t moved = SkipDecoded(FStream, left);
    FOffset += moved;
    return moved == left;
  }
  static uint64_t Padded(uint64_t count) {
    return count > UINT64_MAX - (kBlock - 1) ? UINT64_MAX : (count + kBlock - 1) & ~uint64_t{kBlock - 1};
  }

private:
  // At least want bytes unread in the buffer, if the stream has them.
  bool Fill(size_t want) {
    if (FPos > 0) {
      std::memmove(FBuffer.data(), FBuffer.data() + FPos, FEnd - FPos);
      FEnd -= FPos;
      FPos = 0;
    }
    while (FEnd < want) {
      const size_t n = FStream.Read(FBuffer.data() + FEnd, FBuffer.size() - FEnd);
      if (n == 0) break;
      FEnd += n;
    }
    return FEnd >= want;
  }
  TDecodedStream& FStream;
  std::vector<uint8_t> FBuffer;
  size_t FPos = 0, FEnd = 0;
  uint64_t FOffset = 0;
};

bool HeaderChecksumOk(const uint8_t* block) {
  int64_t stored;
  if (!ParseNumber(block, kChecksum, stored, true)) return false;
  // The sum counts the checksum field as spaces. Plain loops over the block, so that they vectorise.
  uint32_t sum = 0;
  int32_t signedSum = 0;
  for (size_t i = 0; i < kBlock; ++i) sum += block[i];
  for (size_t i = 0; i < kBlock; ++i) signedSum += static_cast<int8_t>(block[i]);
  for (size_t i = kChecksum.At; i < kChecksum.At + kChecksum.Length; ++i) {
    sum += ' ' - block[i];
    signedSum += ' ' - static_cast<int8_t>(block[i]);
  }
  return stored == sum || stored == signedSum;  // some old tars summed signed bytes
}

// The name a compressed file unpacks to, from the file's own name.
std::string UnpackedName(const std::string& fileName) {
  const std::string name = FileNameOnly(fileName);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name;
  const std::string ext = LowerAscii(name.substr(dot));
  const std::string stem = name.substr(0, dot);
  if (ext == ".tgz" || ext == ".tbz" || ext == ".tbz2" || ext == ".txz") return stem + ".tar";
  return stem;
}

bool NameSaysTar(const std::string& fileName) {
  const std::string name = LowerAscii(FileNameOnly(fileName));
  const size_t dot = name.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  return name.find(".tar.") != std::string::npos || ext == ".tar" || ext == ".tgz" || ext == ".tbz" || ext == ".tbz2" ||
         ext == ".txz";
}
}  // namespace

bool IsTarHeader(const uint8_t* block) {
  if (!HeaderChecksumOk(block)) return false;
  if (std::memcmp(block + kMagic.At, "ustar", 5) == 0) return true;
  // V7: a name, and a type flag of that time.
  const uint8_t type = block[kType];
  return block[0] != 0 && (type == 0 || (type >= '0' && type <= '7'));
}

const TTarContainer* FindTarContainer(const uint8_t* head, size_t size) {
  for (const auto& c : kContainers)
    if (c.HasSignature(head, size)) return &c;
  return nullptr;
}

TTarStart ListTarFrom(TDecodedStream& stream, TSimpleArchive& archive) {
  auto fail = [&](std::string message) {
    if (archive.Error.empty()) archive.Error = std::move(message);
  };
  auto streamFail = [&](const std::string& otherwise) { fail(stream.Error().empty() ? otherwise : stream.Error()); };
  TBlocks blocks(stream);
  const uint8_t* h = blocks.Next();
  if (!h) return TTarStart::tsNotTar;
  if (IsZeroBlock(h)) return TTarStart::tsEmpty;
  if (!IsTarHeader(h)) return TTarStart::tsNotTar;
  archive.HasSizes = true;

  std::string longName, longLink, paxData;
  bool haveLongName = false;
  TPax pax, global;
  std::optional<int64_t> lastTime;
  std::optional<double> lastStamp;
  for (; h; h = blocks.Next()) {
    const uint64_t at = blocks.Offset() - kBlock;
    if (IsZeroBlock(h)) return TTarStart::tsTar;  // the end-of-archive blocks
    if (!HeaderChecksumOk(h)) {
      fail("tar: bad header checksum at offset " + std::to_string(at));
      return TTarStart::tsTar;
    }
    const uint8_t type = h[kType];
    int64_t size = 0;
    if (!ParseNumber(h, kSize, size) || size < 0) {
      fail("tar: bad size at offset " + std::to_string(at));
      return TTarStart::tsTar;
    }
    const auto headerSize = static_cast<uint64_t>(size);
    if (type == 'L' || type == 'K' || type == 'x' || type == 'g') {
      const bool isPax = type == 'x' || type == 'g';
      if (isPax && headerSize > kMaxPax) {
        fail("tar: pax header of " + std::to_string(headerSize) + " bytes at offset " + std::to_string(at));
        return TTarStart::tsTar;
      }
      std::string& into = isPax ? paxData : type == 'L' ? longName : longLink;
      if (!blocks.Read(headerSize, into, isPax ? kMaxPax : kMaxLongName)) {
        streamFail("tar: truncated at offset " + std::to_string(at));
        return TTarStart::tsTar;
      }
      if (isPax) {
        ParsePax(paxData, type == 'x' ? pax : global);
      } else {
        into.resize(std::min(into.size(), into.find('\0')));
        if (type == 'L') haveLongName = true;
      }
      continue;
    }

    // An entry. Its data: the pax size when given, else the header's; none for links,
    // devices, FIFOs and folders.
    uint64_t dataSize = pax.Size.value_or(headerSize);
    std::optional<uint64_t> shown = dataSize;
    const bool posix = std::memcmp(h + kMagic.At, "ustar\0", 6) == 0;
    if (type == 'S') {  // old GNU sparse file: its full size, and more map blocks after the header
      int64_t real = 0;
      if (ParseNumber(h, kRealSize, real) && real >= 0) shown = static_cast<uint64_t>(real);
      for (bool more = h[kSparseExtended.At] != 0; more;) {
        const uint8_t* e = blocks.Next();
        if (!e) {
          streamFail("tar: truncated at offset " + std::to_string(at));
          return TTarStart::tsTar;
        }
        more = e[kExtensionExtended] != 0;
      }
    }
    if (pax.RealSize) shown = pax.RealSize;
    if (type >= '1' && type <= '6') {
      shown = 0;
      dataSize = 0;
    }
    if (type == 'D') shown = 0;  // a GNU folder with its listing as data

    std::string name;
    if (pax.Path) {
      name = NameText(*pax.Path);
    } else if (haveLongName) {
      name = NameText(longName);
    } else {
      std::string raw(FieldText(h, kName));
      // POSIX ustar: a prefix before the name; star's variant keeps 131 bytes of it.
      if (posix) {
        std::string_view prefix = FieldText(h, kPrefix);
        if (std::memcmp(h + 508, "tar\0", 4) == 0) prefix = prefix.substr(0, std::min<size_t>(prefix.size(), 131));
        if (!prefix.empty()) raw = std::string(prefix) + "/" + raw;
      }
      name = NameText(raw);
    }
    if (type == 'V' || type == 'N') {  // a volume label, an old GNU rename list: no file
      // nothing listed
    } else if (archive.Files.Count() >= TSimpleTar::kMaxEntries) {
      fail("tar: more than " + std::to_string(TSimpleTar::kMaxEntries) + " entries");
      return TTarStart::tsTar;
    } else {
      TArchivedFile& entry = archive.Files.Add();
      entry.Filename = name;
      if (*shown <= static_cast<uint64_t>(INT64_MAX)) entry.SizeUnpacked = static_cast<int64_t>(*shown);
      int64_t mtime = 0;
      std::optional<int64_t> when = pax.MTime ? pax.MTime : global.MTime;
      if (!when && ParseNumber(h, kMTime, mtime)) when = mtime;
      if (when) {
        if (when != lastTime) {
          lastStamp = UnixTimeToTimestamp(*when);
          lastTime = when;
        }
        entry.Timestamp = lastStamp;
      }
      int64_t mode = 0;
      if (ParseNumber(h, TField{100, 8}, mode)) entry.Attribs = static_cast<uint32_t>(mode);
    }
    pax.Clear();
    haveLongName = false;
    longName.clear();
    longLink.clear();
    if (!blocks.Skip(dataSize)) {
      streamFail("tar: truncated in the data of " + name);
      return TTarStart::tsTar;
    }
  }
  if (!stream.Error().empty()) fail(stream.Error());
  else if (blocks.Leftover()) fail("tar: truncated header at offset " + std::to_string(blocks.Offset()));
  // A tar that ends without its end-of-archive blocks lists all the same.
  return TTarStart::tsTar;
}

bool TSimpleTar::Recognise(TArchiveSource& source) {
  std::vector<uint8_t> head;
  source.ReadRange(0, kBlock, head);
  return (head.size() == kBlock && IsTarHeader(head.data())) || FindTarContainer(head.data(), head.size());
}

bool TSimpleTar::LoadFromStream(TArchiveSource& source) {
  Files.Clear();
  Error.clear();
  HasSizes = true;
  HasCRC = false;
  Container.clear();
  IsTar = false;
  std::vector<uint8_t> head;
  source.ReadRange(0, kBlock, head);
  const TTarContainer* container = FindTarContainer(head.data(), head.size());
  if (!container) {
    if (head.size() < kBlock || !IsTarHeader(head.data())) return Fail("tar: no tar header");
    TCopyStream copy(source);
    IsTar = ListTarFrom(copy, *this) == TTarStart::tsTar;
    return true;
  }
  Container = container->Name;
  const auto stream = container->Open(source);
  const TTarStart start = ListTarFrom(*stream, *this);
  if (start == TTarStart::tsTar || (start == TTarStart::tsEmpty && NameSaysTar(FileName))) {
    IsTar = true;
    return true;
  }
  Files.Clear();
  Error.clear();
  ListLoneFile(source, *container);
  if (!stream->Error().empty()) Fail(stream->Error());
  return true;
}

// One row: the name the container records (gzip's FNAME) or the file's own name without its
// suffix; gzip's time and (when it can be right) its size modulo 2^32; the file's size packed.
void TSimpleTar::ListLoneFile(TArchiveSource& source, const TTarContainer& container) {
  TArchivedFile& entry = Files.Add();
  entry.Filename = UnpackedName(FileName);
  entry.SizePacked = static_cast<int64_t>(std::min<uint64_t>(source.Size(), INT64_MAX));
  if (std::strcmp(container.Name, "xz") == 0) {
    // The indexes at the end record every block's unpacked size.
    uint64_t size = 0;
    std::string error;
    if (!XzUnpackedSize(source, size, error)) Fail(error);
    else entry.SizeUnpacked = static_cast<int64_t>(std::min<uint64_t>(size, INT64_MAX));
    return;
  }
  TGZipHeader gz;
  if (std::strcmp(container.Name, "gzip") != 0 || !ReadGZipHeader(source, gz)) return;
  if (!gz.Name.empty()) entry.Filename = NameText(gz.Name);
  if (gz.MTime) entry.Timestamp = UnixTimeToTimestamp(gz.MTime);
  // ISIZE, the last member's size modulo 2^32: shown when deflate could have made this many
  // bytes from it and it from this many (stored blocks cost 5 bytes in 64 KiB; 1032:1 at most).
  std::vector<uint8_t> tail;
  const uint64_t size = source.Size();
  if (size < gz.HeaderSize + 8 || !source.ReadRange(size - 4, 4, tail)) return;
  uint32_t isize = 0;
  TByteView(tail).U32LE(0, isize);
  const uint64_t packed = size - gz.HeaderSize - 8;
  if (packed <= uint64_t{isize} + 5 * (isize / 65535 + 1) + 8 && uint64_t{isize} <= packed * 1032 + 1032)
    entry.SizeUnpacked = isize;
}

}  // namespace bq
