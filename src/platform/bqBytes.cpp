#include "platform/bqBytes.h"

#include <cstring>

#include "platform/bqFile.h"

namespace bq {

bool CheckedAdd(uint64_t a, uint64_t b, uint64_t& result) {
  if (a > UINT64_MAX - b) return false;
  result = a + b;
  return true;
}

bool CheckedMul(uint64_t a, uint64_t b, uint64_t& result) {
  if (a != 0 && b > UINT64_MAX / a) return false;
  result = a * b;
  return true;
}

bool CheckedSize(uint64_t count, uint64_t itemSize, uint64_t available, size_t& result) {
  uint64_t bytes = 0;
  if (!CheckedMul(count, itemSize, bytes) || bytes > available || bytes > SIZE_MAX) return false;
  result = static_cast<size_t>(bytes);
  return true;
}

bool TByteView::Sub(uint64_t offset, uint64_t count, TByteView& out) const {
  if (!Has(offset, count)) return false;
  out = TByteView(FData + offset, static_cast<size_t>(count));
  return true;
}


bool TByteView::Bytes(uint64_t offset, uint64_t count, std::string& out) const {
  if (!Has(offset, count)) return false;
  out.assign(reinterpret_cast<const char*>(FData) + offset, static_cast<size_t>(count));
  return true;
}

bool TByteView::Equals(uint64_t offset, std::string_view bytes) const {
  return Has(offset, bytes.size()) && (bytes.empty() || std::memcmp(FData + offset, bytes.data(), bytes.size()) == 0);
}

std::u16string TByteView::CString16LE(uint64_t offset, size_t maxUnits, bool* found) const {
  if (found) *found = false;
  std::u16string out;
  for (uint64_t p = offset; out.size() < maxUnits; p += 2) {
    uint16_t unit = 0;
    if (!U16LE(p, unit)) break;
    if (unit == 0) {
      if (found) *found = true;
      break;
    }
    out.push_back(static_cast<char16_t>(unit));
  }
  return out;
}

size_t TByteView::Find(uint8_t byte, uint64_t from) const {
  if (from >= FSize) return npos;
  const void* hit = std::memchr(FData + from, byte, FSize - static_cast<size_t>(from));
  return hit ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - FData) : npos;
}

size_t TByteView::Find(std::string_view needle, uint64_t from) const {
  if (from > FSize) return npos;
  const size_t hit = Chars().find(needle, static_cast<size_t>(from));
  return hit == std::string_view::npos ? npos : hit;
}

bool TByteCursor::Seek(uint64_t position) {
  if (!FOk || position > FView.Size()) {
    FOk = false;
    return false;
  }
  FPos = position;
  return true;
}

bool TByteCursor::Skip(uint64_t count) {
  if (!FOk || !FView.Has(FPos, count)) {
    FOk = false;
    return false;
  }
  FPos += count;
  return true;
}

#define BQ_CURSOR_READ(Name, Type, Width)      \
  Type TByteCursor::Name() {                   \
    Type v = 0;                                \
    if (!FOk || !FView.Name(FPos, v)) {        \
      FOk = false;                             \
      return 0;                                \
    }                                          \
    FPos += Width;                             \
    return v;                                  \
  }
BQ_CURSOR_READ(U8, uint8_t, 1)
BQ_CURSOR_READ(U16LE, uint16_t, 2)
BQ_CURSOR_READ(U32LE, uint32_t, 4)
BQ_CURSOR_READ(U64LE, uint64_t, 8)
BQ_CURSOR_READ(U16BE, uint16_t, 2)
BQ_CURSOR_READ(U24BE, uint32_t, 3)
BQ_CURSOR_READ(U32BE, uint32_t, 4)
BQ_CURSOR_READ(U64BE, uint64_t, 8)
#undef BQ_CURSOR_READ

TByteView TByteCursor::Bytes(uint64_t count) {
  TByteView out;
  if (!FOk || !FView.Sub(FPos, count, out)) {
    FOk = false;
    return {};
  }
  FPos += count;
  return out;
}

std::string TByteCursor::String(uint64_t count) {
  const TByteView v = Bytes(count);
  return std::string(v.Chars());
}

bool ReadFileRange(TFileReader& file, uint64_t offset, uint64_t count, std::vector<uint8_t>& buffer) {
  buffer.clear();
  const uint64_t size = file.Size() < 0 ? 0 : static_cast<uint64_t>(file.Size());
  if (offset > size) return count == 0;
  const uint64_t avail = size - offset;
  const uint64_t want = count < avail ? count : avail;
  if (want > SIZE_MAX) return false;
  if (!file.Seek(static_cast<int64_t>(offset))) return false;
  buffer.resize(static_cast<size_t>(want));
  size_t got = 0;
  while (got < buffer.size()) {
    const size_t n = file.Read(buffer.data() + got, buffer.size() - got);
    if (n == 0) break;
    got += n;
  }
  buffer.resize(got);
  return got == count;
}

}  // namespace bq
