// Bounded reading of bytes from untrusted input. Every reader reads file bytes through these
// types: a read that would pass the end fails instead, and counts or offsets taken from a file
// become sizes only through the checked helpers below.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace bq {

// a + b, refused on overflow.
bool CheckedAdd(uint64_t a, uint64_t b, uint64_t& result);
// a * b, refused on overflow.
bool CheckedMul(uint64_t a, uint64_t b, uint64_t& result);
// count items of itemSize bytes as a byte size, refused on overflow or when it is more than
// available (what the file or buffer really holds).
bool CheckedSize(uint64_t count, uint64_t itemSize, uint64_t available, size_t& result);
// offset + size lies within total.
inline bool FitsIn(uint64_t offset, uint64_t size, uint64_t total) {
  return offset <= total && size <= total - offset;
}

// Copies n bytes (the ranges do not overlap): short ones, as most texts in tables are, in a
// few overlapping fixed-size moves instead of a library call.
inline void CopyShort(void* to, const void* from, size_t n) {
  auto* d = static_cast<char*>(to);
  const auto* s = static_cast<const char*>(from);
  if (n >= 8) {
    if (n > 16) {
      std::memcpy(d, s, n);
    } else {
      std::memcpy(d, s, 8);
      std::memcpy(d + n - 8, s + n - 8, 8);
    }
  } else if (n >= 4) {
    std::memcpy(d, s, 4);
    std::memcpy(d + n - 4, s + n - 4, 4);
  } else if (n > 0) {
    d[0] = s[0];
    d[n / 2] = s[n / 2];
    d[n - 1] = s[n - 1];
  }
}

namespace detail {
// The integer of width bytes at offset, when they are all there. Inline: readers call it per
// table entry.
template <typename T, bool BigEndian>
inline bool ReadInt(const uint8_t* data, size_t size, uint64_t offset, T& v, unsigned width = sizeof(T)) {
  if (!FitsIn(offset, width, size)) return false;
  const uint8_t* p = data + offset;
  T r = 0;
  for (unsigned i = 0; i < width; ++i) {
    const unsigned shift = BigEndian ? 8 * (width - 1 - i) : 8 * i;
    r |= static_cast<T>(static_cast<T>(p[i]) << shift);
  }
  v = r;
  return true;
}
}  // namespace detail

// A read-only view of a byte range; it never owns the bytes. Reads return false (leaving the
// value alone) when the bytes are not all there.
class TByteView {
public:
  TByteView() = default;
  TByteView(const void* data, size_t size) : FData(static_cast<const uint8_t*>(data)), FSize(size) {}
  explicit TByteView(std::string_view bytes) : TByteView(bytes.data(), bytes.size()) {}
  explicit TByteView(const std::vector<uint8_t>& bytes) : TByteView(bytes.data(), bytes.size()) {}

  const uint8_t* Data() const { return FData; }
  size_t Size() const { return FSize; }
  bool Empty() const { return FSize == 0; }
  bool Has(uint64_t offset, uint64_t count) const { return FitsIn(offset, count, FSize); }
  // The byte at offset; the caller has checked it with Has().
  uint8_t operator[](size_t offset) const { return FData[offset]; }

  // The sub-range [offset, offset + count); false when it is not all inside.
  bool Sub(uint64_t offset, uint64_t count, TByteView& out) const;
  // The sub-range from offset to the end, clamped: empty when offset is past the end.
  TByteView Tail(uint64_t offset) const {
    if (offset >= FSize) return {};
    return {FData + offset, FSize - static_cast<size_t>(offset)};
  }
  // At most count bytes from offset, clamped to what is there.
  TByteView Clamp(uint64_t offset, uint64_t count) const {
    TByteView tail = Tail(offset);
    if (count < tail.FSize) tail.FSize = static_cast<size_t>(count);
    return tail;
  }

  bool U8(uint64_t offset, uint8_t& v) const { return detail::ReadInt<uint8_t, false>(FData, FSize, offset, v); }
  bool U16LE(uint64_t offset, uint16_t& v) const { return detail::ReadInt<uint16_t, false>(FData, FSize, offset, v); }
  bool U32LE(uint64_t offset, uint32_t& v) const { return detail::ReadInt<uint32_t, false>(FData, FSize, offset, v); }
  bool U64LE(uint64_t offset, uint64_t& v) const { return detail::ReadInt<uint64_t, false>(FData, FSize, offset, v); }
  bool U16BE(uint64_t offset, uint16_t& v) const { return detail::ReadInt<uint16_t, true>(FData, FSize, offset, v); }
  bool U24BE(uint64_t offset, uint32_t& v) const { return detail::ReadInt<uint32_t, true>(FData, FSize, offset, v, 3); }
  bool U32BE(uint64_t offset, uint32_t& v) const { return detail::ReadInt<uint32_t, true>(FData, FSize, offset, v); }
  bool U64BE(uint64_t offset, uint64_t& v) const { return detail::ReadInt<uint64_t, true>(FData, FSize, offset, v); }
  // count bytes copied out; false when they are not all there.
  bool Bytes(uint64_t offset, uint64_t count, std::string& out) const;
  bool Equals(uint64_t offset, std::string_view bytes) const;

  // The bytes from offset up to (not including) the first zero byte, at most maxLength of
  // them. found tells whether a zero ended the string inside the view and the limit.
  std::string_view CString(uint64_t offset, size_t maxLength, bool* found = nullptr) const {
    if (found) *found = false;
    const TByteView tail = Clamp(offset, maxLength);
    if (tail.Empty()) return {};
    const void* zero = std::memchr(tail.FData, 0, tail.FSize);
    const size_t n = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - tail.FData) : tail.FSize;
    if (found) *found = zero != nullptr;
    return {reinterpret_cast<const char*>(tail.FData), n};
  }
  // The same for 16-bit little-endian units ended by a zero unit; units are read on 2-byte
  // steps from offset. Returns the units without the terminator.
  std::u16string CString16LE(uint64_t offset, size_t maxUnits, bool* found = nullptr) const;
  // The first position >= from of byte, or npos.
  size_t Find(uint8_t byte, uint64_t from = 0) const;
  size_t Find(std::string_view needle, uint64_t from = 0) const;
  std::string_view Chars() const { return {reinterpret_cast<const char*>(FData), FSize}; }

  static constexpr size_t npos = static_cast<size_t>(-1);

private:
  const uint8_t* FData = nullptr;
  size_t FSize = 0;
};

// Sequential reads over a view. The first read past the end sets a sticky failure: that read
// and every later one yield 0 / empty, and Ok() turns false, so a parser may read a run of
// fields and check once.
class TByteCursor {
public:
  TByteCursor() = default;
  explicit TByteCursor(TByteView view, uint64_t position = 0) : FView(view), FPos(position) {
    if (position > view.Size()) Fail();
  }

  bool Ok() const { return FOk; }
  void Fail() { FOk = false; }
  uint64_t Position() const { return FPos; }
  uint64_t Remaining() const { return FOk && FPos <= FView.Size() ? FView.Size() - FPos : 0; }
  bool AtEnd() const { return Remaining() == 0; }
  const TByteView& View() const { return FView; }

  bool Seek(uint64_t position);
  bool Skip(uint64_t count);

  uint8_t U8();
  uint16_t U16LE();
  uint32_t U32LE();
  uint64_t U64LE();
  uint16_t U16BE();
  uint32_t U24BE();
  uint32_t U32BE();
  uint64_t U64BE();
  // count bytes as a sub-view (empty and failed when they are not all there).
  TByteView Bytes(uint64_t count);
  std::string String(uint64_t count);

private:
  TByteView FView;
  uint64_t FPos = 0;
  bool FOk = true;
};

class TFileReader;

// Reads the byte range [offset, offset + count) of an open file into buffer, clamped to the
// file's size: reads what is there and returns false when the range was cut or a read failed.
// The buffer never grows beyond the bytes the file holds.
bool ReadFileRange(TFileReader& file, uint64_t offset, uint64_t count, std::vector<uint8_t>& buffer);

}  // namespace bq
