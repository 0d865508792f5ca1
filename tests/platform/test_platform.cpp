#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "common/bqTestFiles.h"
#include "platform/bqBytes.h"
#include "platform/bqFile.h"
#include "platform/bqRegistry.h"
#include "platform/bqText.h"

using namespace bq;

namespace {

TEST(Text, Utf8Utf16RoundTripsAndRepairs) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, (std::u16string{u'a', 0xE9, 0x20AC, 0xD83D, 0xDE00, u'z'}));
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  // Broken input becomes U+FFFD instead of being dropped or read past.
  EXPECT_EQ(Utf8ToUtf16("\xC3"), std::u16string(1, 0xFFFD));
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), (std::u16string{0xFFFD, 0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), (std::u16string{0xFFFD, 0xFFFD}));  // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), (std::u16string{0xFFFD, 0xFFFD, 0xFFFD}));  // surrogate
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, 0xD800)), "\xEF\xBF\xBD");
}

// The validity check must agree with the converter: text it calls valid comes back unchanged
// from a round trip, and text it rejects does not.
TEST(Text, Utf8ValidityAgreesWithTheConverter) {
  auto agrees = [](const std::string& s) {
    const bool same = Utf16ToUtf8(Utf8ToUtf16(s)) == s;
    if (IsValidUtf8(s) != same) ADD_FAILURE() << "disagree on " << testing::PrintToString(s);
  };
  for (int a = 0; a < 256; ++a) {
    agrees(std::string(1, static_cast<char>(a)));
    for (int b = 0; b < 256; ++b) agrees({static_cast<char>(a), static_cast<char>(b)});
  }
  for (int a = 0xE0; a <= 0xEF; ++a)
    for (int b = 0x70; b < 0xC8; ++b)
      for (int c = 0x78; c < 0xC4; c += 3) agrees({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)});
  for (int a = 0xF0; a <= 0xF7; ++a)
    for (int b = 0x80; b < 0xC0; b += 5) agrees({static_cast<char>(a), static_cast<char>(b), '\x80', '\xBF'});
  EXPECT_TRUE(IsAscii("plain text\x7F"));
  EXPECT_FALSE(IsAscii("caf\xC3\xA9"));
}

// Short texts are tested a word at a time with overlapping ends: one high byte anywhere in a
// text of any length must be seen, and bytes beside the text must not count.
TEST(Text, AsciiTestSeesEveryByteAtEveryLength) {
  std::string buffer(200, '\xFF');
  for (size_t n = 0; n <= 130; ++n) {
    std::fill(buffer.begin() + 8, buffer.begin() + 8 + static_cast<std::ptrdiff_t>(n), 'a');
    const std::string_view text(buffer.data() + 8, n);
    EXPECT_TRUE(IsAscii(text)) << n;
    for (size_t at = 0; at < n; ++at) {
      buffer[8 + at] = static_cast<char>(0x80);
      EXPECT_FALSE(IsAscii(text)) << n << " " << at;
      buffer[8 + at] = 'a';
    }
    std::fill(buffer.begin() + 8, buffer.begin() + 8 + static_cast<std::ptrdiff_t>(n), '\xFF');
  }
}

TEST(Bytes, ShortCopiesCopyExactlyTheirBytes) {
  for (size_t n = 0; n <= 40; ++n) {
    std::string from(n, '\0'), to(n + 16, '#');
    for (size_t i = 0; i < n; ++i) from[i] = static_cast<char>('A' + i);
    CopyShort(to.data() + 8, from.data(), n);
    EXPECT_EQ(to.substr(0, 8), "########") << n;
    EXPECT_EQ(to.substr(8, n), from) << n;
    EXPECT_EQ(to.substr(8 + n), "########") << n;
  }
}

TEST(Text, AnsiIsWindows1252) {
  EXPECT_EQ(AnsiToUtf8("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(AnsiToUtf8("\x80\x99\x9F"), "\xE2\x82\xAC\xE2\x84\xA2\xC5\xB8");  // € ™ Ÿ
  EXPECT_EQ(AnsiToUtf8("\x81"), "\xC2\x81");
  // The view form hands ASCII back as it is and converts the rest into its storage.
  std::string storage;
  const std::string_view ascii = "Exported_Function_1";
  EXPECT_EQ(AnsiToUtf8(ascii, storage).data(), ascii.data());
  EXPECT_EQ(AnsiToUtf8("caf\xE9", storage), "caf\xC3\xA9");
}

TEST(Text, NamesCaseAndHex) {
  EXPECT_EQ(FileNameOnly("C:\\dir\\file.txt"), "file.txt");
  EXPECT_EQ(FileNameOnly("/tmp/x/y.bin"), "y.bin");
  EXPECT_EQ(FileNameOnly("plain"), "plain");
  EXPECT_EQ(FolderOf("/tmp/x/y.bin"), "/tmp/x");
  EXPECT_TRUE(SameTextI("Extensions", "EXTENSIONS"));
  EXPECT_FALSE(SameTextI("Ext", "Extensions"));
  EXPECT_LT(CompareTextI("abc", "ABD"), 0);
  EXPECT_EQ(Hex8(0x1A2B), "00001A2B");
  EXPECT_EQ(Hex8(0xFFFFFFFF), "FFFFFFFF");
  // Every digit value in every position, against the C library's formatting.
  for (uint32_t digit = 0; digit < 16; ++digit)
    for (int shift = 0; shift < 32; shift += 4) {
      const uint32_t v = (digit << shift) | (0x9u << ((shift + 4) % 32)) | 0x0Au;
      char expected[9];
      std::snprintf(expected, sizeof expected, "%08X", v);
      EXPECT_EQ(Hex8(v), expected);
    }
  EXPECT_EQ(TrimControls("\t\r\n x y \x01"), "x y");
}

TEST(File, ReadsSeeksAndReportsErrors) {
  const std::string name = bqtest::WriteFile("f.bin", "0123456789");
  TFileReader f;
  ASSERT_TRUE(f.Open(name));
  EXPECT_EQ(f.Size(), 10);
  char buf[16] = {};
  EXPECT_EQ(f.Read(buf, 4), 4u);
  EXPECT_TRUE(f.Seek(8));
  EXPECT_EQ(f.Read(buf, 16), 2u);
  EXPECT_EQ(std::string(buf, 2), "89");
  EXPECT_EQ(f.Read(buf, 16), 0u);
  EXPECT_FALSE(f.Failed());

  // Another writer keeps writing while we read.
  std::ofstream(name, std::ios::app) << "more";
  TFileReader missing;
  EXPECT_FALSE(missing.Open(name + ".none"));
  EXPECT_FALSE(missing.Error().empty());
  TFileReader dir;
  EXPECT_FALSE(dir.Open(bqtest::ScratchDir().string()));

  std::string head;
  ASSERT_TRUE(ReadFileHead(name, 3, head));
  EXPECT_EQ(head, "012");
  EXPECT_GT(VolumeClusterSize(name), 0u);
}

TEST(Registry, ValuesDecodeByType) {
  EXPECT_EQ(TRegValue::Dword(0x01020304).AsDword(), 0x01020304u);
  EXPECT_EQ(TRegValue::String("x").AsDword(), std::nullopt);
  EXPECT_EQ(TRegValue::String("caf\xC3\xA9").AsString(), "caf\xC3\xA9");
  EXPECT_EQ(TRegValue::MultiString({"a", "b c"}).AsStringList(), (std::vector<std::string>{"a", "b c"}));
  TRegValue odd;  // a string value with an odd byte count and no terminator
  odd.Type = kRegSz;
  odd.Data = {'h', 0, 'i', 0, 'x'};
  EXPECT_EQ(odd.AsString(), "hi");
}

}  // namespace
