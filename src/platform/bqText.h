// Text encodings and comparisons. Text inside the core is UTF-8.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace bq {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
bool IsAscii(std::string_view text);
// True when the text decodes without a replacement: no stray, overlong or surrogate sequence.
bool IsValidUtf8(std::string_view text);

// UTF-16 without a byte order mark: in the first 4 KiB (whole code units, at least two) the
// high bytes of the units are mostly zero and the low bytes mostly not, and the units pair
// their surrogates. 1 for little-endian, 2 for big-endian, 0 when the bytes are not such text.
int GuessBomlessUtf16(std::string_view bytes);

// Decodes 8-bit text: ASCII as it is; the Windows build asks the system for the code page
// (CP_ACP, CP_OEMCP, ...), elsewhere each byte above 127 maps through high, its 128 code points.
std::string EightBitToUtf8(std::string_view bytes, unsigned windowsCodePage, const char16_t* high);
constexpr unsigned kWindowsAnsiCodePage = 0, kWindowsOemCodePage = 1;  // CP_ACP, CP_OEMCP

// Decodes 8-bit text in the system ANSI code page: the Windows build asks the system;
// elsewhere it is Windows-1252, so both front ends show the same text on a Western system.
std::string AnsiToUtf8(std::string_view bytes);
// The same as a view: the bytes themselves when they are ASCII, else the text converted into
// storage. Spares a copy per name where most names are ASCII.
std::string_view AnsiToUtf8(std::string_view bytes, std::string& storage);

// The Windows-1252 byte of a code point above 127, or -1 when that code page lacks it (the C1
// controls U+0080..U+009F count as lacking).
int UnicodeToCp1252(uint32_t codePoint);

// ASCII case folding; other bytes are left alone.
std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);
bool SameTextI(std::string_view a, std::string_view b);
int CompareTextI(std::string_view a, std::string_view b);

// Upper-case hexadecimal digits of a 32-bit value, exactly 8, leading zeros kept.
std::string Hex8(uint32_t value);
// The same in a caller's buffer, for texts made by the thousand.
std::string_view Hex8(uint32_t value, char (&digits)[8]);
// Hexadecimal digits of a byte string, in order.
std::string HexBytes(const void* data, size_t size, bool upper);

// The part of a path after its last folder separator ("\", "/" or ":").
std::string FileNameOnly(std::string_view path);
// The folder part of a path, without the trailing separator ("" when there is none).
std::string FolderOf(std::string_view path);
std::string JoinPath(std::string_view folder, std::string_view name);

// Removes leading and trailing characters whose code is below 33.
std::string TrimControls(std::string_view text);

}  // namespace bq
