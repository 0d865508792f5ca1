#include "platform/bqText.h"

#include <algorithm>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace bq {

namespace {
// The code point at s[i] and its length in bytes; U+FFFD and 1 for a byte that starts no valid
// sequence (overlong forms, surrogates and values past U+10FFFF included).
uint32_t DecodeUtf8(std::string_view s, size_t i, size_t& len) {
  const auto c = static_cast<unsigned char>(s[i]);
  len = 1;
  if (c < 0x80) return c;
  if (!((c & 0xE0) == 0xC0 || (c & 0xF0) == 0xE0 || (c & 0xF8) == 0xF0)) return 0xFFFD;
  const size_t want = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
  if (i + want > s.size()) return 0xFFFD;
  uint32_t v = c & (want == 2 ? 0x1F : want == 3 ? 0x0F : 0x07);
  for (size_t k = 1; k < want; ++k) {
    const auto cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) return 0xFFFD;
    v = (v << 6) | (cc & 0x3F);
  }
  static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (v < kMin[want] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0xFFFD;
  len = want;
  return v;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}
}  // namespace

bool IsAscii(std::string_view s) {
  const char* p = s.data();
  const size_t n = s.size();
  if (n >= 64) {
    unsigned char any = 0;  // OR of every byte: no early exit, so the loop vectorises
    for (char c : s) any |= static_cast<unsigned char>(c);
    return any < 0x80;
  }
  // Short texts (names, cells) eight bytes at a time, the last eight overlapping.
  auto load = [p](size_t at, auto word) {
    std::memcpy(&word, p + at, sizeof word);
    return static_cast<uint64_t>(word);
  };
  uint64_t any = 0;
  if (n >= 8) {
    for (size_t i = 0; i + 8 < n; i += 8) any |= load(i, uint64_t{});
    any |= load(n - 8, uint64_t{});
  } else if (n >= 4) {
    any = load(0, uint32_t{}) | load(n - 4, uint32_t{});
  } else if (n > 0) {
    any = static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[n / 2]) | static_cast<unsigned char>(p[n - 1]);
  }
  return (any & 0x8080808080808080ull) == 0;
}

bool IsValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    size_t len = 0;
    if (DecodeUtf8(s, i, len) == 0xFFFD && len == 1) return false;
    i += len;
  }
  return true;
}

int GuessBomlessUtf16(std::string_view bytes) {
  const size_t n = std::min<size_t>(bytes.size(), 4096) & ~static_cast<size_t>(1);
  if (n < 4) return 0;
  size_t zeros[2] = {0, 0};
  for (size_t i = 0; i < n; ++i)
    if (bytes[i] == 0) ++zeros[i & 1];
  const size_t units = n / 2;
  // Mostly: at least 3 in 4 high bytes zero, at most 1 in 8 low bytes zero.
  auto mostly = [units](size_t high, size_t low) { return high * 4 >= units * 3 && low * 8 <= units; };
  const int order = mostly(zeros[1], zeros[0]) ? 1 : mostly(zeros[0], zeros[1]) ? 2 : 0;
  if (!order) return 0;
  bool pendingHigh = false;
  for (size_t i = 0; i < n; i += 2) {
    const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    const unsigned u = order == 1 ? (a | b << 8) : (b | a << 8);
    const bool high = u >= 0xD800 && u <= 0xDBFF, low = u >= 0xDC00 && u <= 0xDFFF;
    if (low != pendingHigh) return 0;
    pendingHigh = high;
  }
  // A pair the window cuts in two is not an error.
  return order;
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    size_t len = 0;
    uint32_t cp = DecodeUtf8(s, i, len);
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  // The ASCII run at the start (often the whole text) is narrowed unit by unit.
  size_t ascii = 0;
  while (ascii < s.size() && s[ascii] < 0x80) ++ascii;
  std::string out(ascii, '\0');
  for (size_t i = 0; i < ascii; ++i) out[i] = static_cast<char>(s[i]);
  if (ascii == s.size()) return out;
  out.reserve(s.size() + (s.size() - ascii) * 2);
  for (size_t i = ascii; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // lone surrogate
    }
    AppendUtf8(out, cp);
  }
  return out;
}

namespace {
// Windows-1252 code points for 0x80..0x9F; the five unassigned bytes map to the C1 controls.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace

std::string EightBitToUtf8(std::string_view bytes, unsigned windowsCodePage, const char16_t* high) {
  if (IsAscii(bytes)) return std::string(bytes);  // the same in every such code page
#ifdef _WIN32
  const int n = MultiByteToWideChar(windowsCodePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n > 0) {
    std::u16string w(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(windowsCodePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                        reinterpret_cast<wchar_t*>(w.data()), n);
    return Utf16ToUtf8(w);
  }
#else
  (void)windowsCodePage;
#endif
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    AppendUtf8(out, c < 0x80 ? c : high[c - 0x80]);
  }
  return out;
}

std::string AnsiToUtf8(std::string_view bytes) {
  static constexpr std::array<char16_t, 128> kCp1252 = [] {
    std::array<char16_t, 128> table{};
    for (size_t i = 0; i < 128; ++i) table[i] = i < 32 ? kCp1252High[i] : static_cast<char16_t>(0x80 + i);
    return table;
  }();
  return EightBitToUtf8(bytes, kWindowsAnsiCodePage, kCp1252.data());
}

std::string_view AnsiToUtf8(std::string_view bytes, std::string& storage) {
  if (IsAscii(bytes)) return bytes;
  storage = AnsiToUtf8(bytes);
  return storage;
}

int UnicodeToCp1252(uint32_t codePoint) {
  if (codePoint >= 0xA0 && codePoint <= 0xFF) return static_cast<int>(codePoint);
  if (codePoint < 0x100) return -1;
  for (size_t i = 0; i < kCp1252High.size(); ++i)
    if (kCp1252High[i] == codePoint) return static_cast<int>(0x80 + i);
  return -1;
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

int CompareTextI(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameTextI(std::string_view a, std::string_view b) {
  // Names compared this way are mostly spelt alike: the bytes first, the cases only then.
  return a.size() == b.size() && (a == b || CompareTextI(a, b) == 0);
}

std::string_view Hex8(uint32_t value, char (&digits)[8]) {
  // All eight digits at once: each nibble spread to a byte of its own (the lowest first), then
  // '0' added, and 7 more where the nibble is 10 or more ('A' follows '9' after 7 others).
  uint64_t x = value;
  x = (x | (x << 16)) & 0x0000FFFF0000FFFFull;
  x = (x | (x << 8)) & 0x00FF00FF00FF00FFull;
  x = (x | (x << 4)) & 0x0F0F0F0F0F0F0F0Full;
  const uint64_t letters = ((x + 0x0606060606060606ull) >> 4) & 0x0101010101010101ull;
  x += 0x3030303030303030ull + letters * 7;
  if constexpr (std::endian::native == std::endian::little) x = __builtin_bswap64(x);  // the highest digit first
  std::memcpy(digits, &x, 8);
  return {digits, 8};
}

std::string Hex8(uint32_t value) {
  char digits[8];
  return std::string(Hex8(value, digits));
}

std::string HexBytes(const void* data, size_t size, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  const auto* p = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    out.push_back(digits[p[i] >> 4]);
    out.push_back(digits[p[i] & 15]);
  }
  return out;
}

static size_t LastSeparator(std::string_view path) {
  return path.find_last_of("\\/:");
}

std::string FileNameOnly(std::string_view path) {
  const size_t p = LastSeparator(path);
  return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string FolderOf(std::string_view path) {
  const size_t p = path.find_last_of("\\/");
  return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string out(folder);
  const char last = out.back();
  if (last != '/' && last != '\\') {
#ifdef _WIN32
    out.push_back('\\');
#else
    out.push_back('/');
#endif
  }
  out.append(name);
  return out;
}

std::string TrimControls(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) < 33) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) < 33) --e;
  return std::string(text.substr(b, e - b));
}

}  // namespace bq
