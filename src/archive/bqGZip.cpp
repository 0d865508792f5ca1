#include "archive/bqGZip.h"

#include <zlib.h>

#include <algorithm>

namespace bq {

struct TGZipStream::TState {
  TState(TArchiveSource& source, uint64_t offset) : In(source, offset) {}
  TSourceInput In;
  z_stream Z{};
  bool Started = false, Ended = false;
  Bytef Carry = 0;
};

TGZipStream::TGZipStream(TArchiveSource& source, uint64_t offset) : S(std::make_unique<TState>(source, offset)) {}

TGZipStream::~TGZipStream() {
  if (S->Started) inflateEnd(&S->Z);
}

size_t TGZipStream::Read(uint8_t* buffer, size_t count) {
  TState& s = *S;
  if (s.Ended || count == 0) return 0;
  if (!s.Started) {
    if (inflateInit2(&s.Z, 16 + MAX_WBITS) != Z_OK) {
      FError = "gzip: out of memory";
      s.Ended = true;
      return 0;
    }
    s.Started = true;
  }
  size_t done = 0;
  while (done < count) {
    if (s.Z.avail_in == 0) {
      const size_t n = s.In.Available();
      if (n == 0) {
        FError = "gzip: truncated";
        s.Ended = true;
        break;
      }
      s.Z.next_in = const_cast<Bytef*>(s.In.Data());
      s.Z.avail_in = static_cast<uInt>(n);
      s.In.Consume(n);  // the chunk stays in place until the next Available()
    }
    const size_t room = std::min<size_t>(count - done, 1u << 30);
    s.Z.next_out = buffer + done;
    s.Z.avail_out = static_cast<uInt>(room);
    const int rc = inflate(&s.Z, Z_NO_FLUSH);
    done += room - s.Z.avail_out;
    if (rc == Z_STREAM_END) {
      // Another member may follow; anything else after the end (zero padding) is ignored.
      if (s.Z.avail_in == 0 && s.In.Available() > 0) {
        s.Z.next_in = const_cast<Bytef*>(s.In.Data());
        s.Z.avail_in = static_cast<uInt>(s.In.Available());
        s.In.Consume(s.Z.avail_in);
      }
      if (s.Z.avail_in >= 2 && s.Z.next_in[0] == 0x1F && s.Z.next_in[1] == 0x8B) {
        inflateReset(&s.Z);
        continue;
      }
      if (s.Z.avail_in == 1 && s.Z.next_in[0] == 0x1F && s.In.Available() > 0 && s.In.Data()[0] == 0x8B) {
        // The next member's magic spans two chunks: its first byte is fed on its own.
        s.Carry = 0x1F;
        s.Z.next_in = &s.Carry;
        inflateReset(&s.Z);
        continue;
      }
      s.Ended = true;
      break;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      FError = std::string("gzip: ") + (s.Z.msg ? s.Z.msg : "data error");
      s.Ended = true;
      break;
    }
  }
  FPosition += done;
  return done;
}

bool ReadGZipHeader(TArchiveSource& source, TGZipHeader& header) {
  constexpr size_t kMaxName = 4096, kMaxComment = 65536;
  std::vector<uint8_t> bytes;
  source.ReadRange(0, 10 + 2 + 65535 + kMaxName + 1 + kMaxComment + 1 + 2, bytes);
  const TByteView v(bytes);
  uint8_t flags = 0;
  if (!v.Equals(0, "\x1F\x8B\x08") || !v.U8(3, flags) || !v.U32LE(4, header.MTime)) return false;
  uint64_t at = 10;
  if (flags & 4) {  // FEXTRA
    uint16_t length;
    if (!v.U16LE(at, length)) return false;
    at += 2 + length;
  }
  bool found = false;
  if (flags & 8) {  // FNAME
    header.Name = std::string(v.CString(at, kMaxName, &found));
    if (!found) return false;
    at += header.Name.size() + 1;
  }
  if (flags & 16) {  // FCOMMENT
    const size_t length = v.CString(at, kMaxComment, &found).size();
    if (!found) return false;
    at += length + 1;
  }
  if (flags & 2) at += 2;  // FHCRC
  if (!v.Has(0, at)) return false;
  header.HeaderSize = at;
  return true;
}

}  // namespace bq
