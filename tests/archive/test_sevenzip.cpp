// The 7z reader, the xz container and the LZMA2 chunk layer against 7z, lsar and xz on
// fixtures that make_7z_fixtures.py makes with those tools, plus hand-built hostile headers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "archive/bqLzma2.h"
#include "archive/bqViewArchive.h"
#include "archive/bqXz.h"
#include "archive/quArchiveSimple.h"
#include "archive/quDate.h"
#include "archive/zoxFF7zSimple.h"
#include "common/bqTestFiles.h"
#include "bqArchiveTests.h"
#include "platform/bqFile.h"
#include "shell/bqPageView.h"
#include "shell/zoxFFIdentifier.h"

using namespace bq;
using namespace bqarchive;
namespace fs = std::filesystem;

namespace {

const std::string& FixtureDir() {
  static const std::string dir = MakeFixtures("make_7z_fixtures.py", "fixtures7z");
  return dir;
}

std::string Fixture(const std::string& name) { return FixtureDir() + "/" + name; }

uint32_t Crc32(const std::string& s) {
  uint32_t c = 0xFFFFFFFF;
  for (unsigned char b : s) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (c & 1 ? 0xEDB88320u : 0);
  }
  return ~c;
}

std::string Le(uint64_t v, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>(v >> (8 * i));
  return s;
}

// A 7z file: the signature header, nothing between, then the given next header.
std::string SevenZip(const std::string& header, const std::string& packed = "") {
  const std::string start = Le(packed.size(), 8) + Le(header.size(), 8) + Le(Crc32(header), 4);
  return std::string("7z\xBC\xAF\x27\x1C\x00\x04", 8) + Le(Crc32(start), 4) + start + packed + header;
}

// All the decoded bytes of an xz file, in reads of odd sizes.
std::string DecodeXz(const std::string& bytes, std::string& error) {
  TArchiveMemorySource source(TByteView(bytes.data(), bytes.size()));
  TXzStream xz(source);
  std::string out;
  uint8_t buffer[7919];
  for (size_t n; (n = xz.Read(buffer, sizeof buffer)) > 0;) out.append(reinterpret_cast<char*>(buffer), n);
  EXPECT_EQ(xz.Position(), out.size());
  error = xz.Error();
  return out;
}

}  // namespace

TEST(SevenZipReader, AgreesWith7zAndLsar) {
  for (const char* name : {"lzma2", "lzma", "ppmd", "bzip2", "copy", "lzma2-nonsolid", "lzma-solid", "plainheader",
                           "plainheader-nonsolid", "encrypted-data", "bcj"}) {
    ExpectAgrees("7z-7z", Fixture(std::string(name) + ".7z"));
    ExpectAgrees("7z-lsar", Fixture(std::string(name) + ".7z"));
  }
  TAnyArchive any;
  ASSERT_TRUE(any.Open(Fixture("lzma2-nonsolid.7z")));
  for (const auto& e : any.Archive->Files) {
    const bool folder = e.Filename == "emptydir" || e.Filename == "emptydir/inner" || e.Filename == "sub" || e.Filename == "sub/deeper";
    EXPECT_EQ((e.Attribs & 0x10) != 0, folder) << e.Filename;
  }
}

TEST(SevenZipReader, EncryptedHeadersShowOneRow) {
  TAnyArchive any;
  EXPECT_TRUE(any.Open(Fixture("encrypted.7z")));
  EXPECT_TRUE(any.Archive->NamesEncrypted);
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
  // Dispatch by signature under another name.
  EXPECT_TRUE(any.Open(bqtest::WriteFile("renamed.bin", ReadAll(Fixture("lzma2.7z")))));
  EXPECT_EQ(any.Archive->Files.Count(), 10u);
}

TEST(SevenZipReader, HostileHeaders) {
  TAnyArchive any;
  // 10^9 files in a header of a few bytes: refused before anything is sized from the count.
  EXPECT_FALSE(any.Open(bqtest::WriteFile("billion.7z", SevenZip(std::string("\x01\x05\xF0\x00\xCA\x9A\x3B\x00\x00", 9)))));
  EXPECT_NE(any.Archive->Error.find("1000000000 files"), std::string::npos) << any.Archive->Error;
  // A packed header that claims to unpack to a terabyte.
  const std::string terabyte = std::string("\x17\x06\x00\x01\x09\x0A\x00\x07\x0B\x01\x00\x01\x23\x03\x01\x01\x05\x5D\x00\x00\x10\x00\x0C", 23) +
                               std::string("\xFF\x00\x00\x00\x00\x00\x01\x00\x00", 9) + std::string("\x00\x00", 2);
  ASSERT_EQ(terabyte.size(), 34u);
  EXPECT_FALSE(any.Open(bqtest::WriteFile("tera.7z", SevenZip(terabyte, std::string(10, '\0')))));
  EXPECT_NE(any.Archive->Error.find("64 MiB"), std::string::npos) << any.Archive->Error;
  // The start header's CRC, and an empty archive.
  std::string bad = SevenZip(std::string("\x01\x00", 2));
  bad[12] ^= 1;
  EXPECT_FALSE(any.Open(bqtest::WriteFile("crc.7z", bad)));
  EXPECT_NE(any.Archive->Error.find("CRC"), std::string::npos);
  EXPECT_TRUE(any.Open(bqtest::WriteFile("none.7z", SevenZip(""))));
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
  // Cut anywhere and damaged anywhere in the packed header: an error, never a crash or a hang.
  for (const char* name : {"lzma2.7z", "plainheader.7z"}) {
    const std::string whole = ReadAll(Fixture(name));
    for (size_t cut = whole.size() - 1; cut > 0; cut = cut > 400 ? cut - 97 : cut / 2) {
      TArchiveMemorySource source(TByteView(whole.data(), cut));
      EXPECT_FALSE(any.Open("cut.7z", source)) << cut;
      EXPECT_NE(any.Archive->Error, "") << cut;
    }
    for (size_t at = whole.size() - 300; at < whole.size(); at += 7) {
      std::string damaged = whole;
      damaged[at] ^= 0x55;
      TArchiveMemorySource source(TByteView(damaged.data(), damaged.size()));
      any.Open("damaged.7z", source);
      EXPECT_NE(any.Archive->Error, "") << at;  // the header's CRC catches it
    }
  }
}

TEST(XzStream, DecodesAsXzDoes) {
  for (const char* name : {"preset0", "preset6", "preset9e", "crc32", "crc64", "sha256", "none", "blocks", "empty", "concat", "sized"}) {
    SCOPED_TRACE(name);
    std::string error;
    const std::string plain = ReadAll(Fixture(std::string(name) + ".xz.plain"));
    const std::string ours = DecodeXz(ReadAll(Fixture(std::string(name) + ".xz")), error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(ours.size(), plain.size());
    EXPECT_TRUE(ours == plain);
  }
  // The factory the tar reader uses, over a file.
  TFileReader file;
  ASSERT_TRUE(file.Open(Fixture("tree.tar.xz")));
  TArchiveFileSource source(file);
  auto stream = OpenXzStream(source);
  std::string tar(1024, '\0');
  ASSERT_EQ(stream->Read(reinterpret_cast<uint8_t*>(tar.data()), tar.size()), tar.size());
  EXPECT_EQ(tar.substr(257, 5), "ustar");
}

TEST(XzStream, FiltersDamageAndHostileSizes) {
  std::string error;
  DecodeXz(ReadAll(Fixture("bcj.xz")), error);
  EXPECT_EQ(error, "xz: unsupported filter (x86 BCJ)");
  DecodeXz(ReadAll(Fixture("delta.xz")), error);
  EXPECT_EQ(error, "xz: unsupported filter (Delta)");
  // Cut: a prefix of the plain bytes, then an error.
  const std::string whole = ReadAll(Fixture("crc64.xz")), plain = ReadAll(Fixture("crc64.xz.plain"));
  for (size_t cut : {whole.size() - 1, whole.size() - 20, whole.size() / 2, size_t{30}, size_t{5}}) {
    const std::string out = DecodeXz(whole.substr(0, cut), error);
    EXPECT_NE(error, "") << cut;
    EXPECT_EQ(plain.compare(0, out.size(), out), 0) << cut;
  }
  // A flipped bit in the data or the check.
  for (size_t at : {size_t{200}, whole.size() / 2, whole.size() - 40}) {
    std::string damaged = whole;
    damaged[at] ^= 0x10;
    DecodeXz(damaged, error);
    EXPECT_NE(error, "") << at;
  }
  // A block header that claims a petabyte: the block decodes to its real size, then stops.
  const std::string six = ReadAll(Fixture("preset6.xz"));
  ASSERT_EQ(six[12], '\x02');  // a 12-byte header without sizes
  std::string header = std::string("\x04\x80", 2) + "\x80\x80\x80\x80\x80\x80\x80\x02" + six.substr(14, 3) + std::string(3, '\0');
  header += Le(Crc32(header), 4);
  const std::string peta = six.substr(0, 12) + header + six.substr(24);
  const auto start = std::chrono::steady_clock::now();
  const std::string out = DecodeXz(peta, error);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(error, "xz: the block's uncompressed size differs from its header");
  EXPECT_EQ(out, ReadAll(Fixture("preset6.xz.plain")));
}

TEST(XzReader, ALoneXzIsOneRowSizedFromItsIndex) {
  for (const char* name : {"preset6.xz", "blocks.xz", "concat.xz", "empty.xz", "sized.xz"}) ExpectAgrees("xz-xz", Fixture(name));
  TAnyArchive any;
  // A tar inside lists as the tar whatever the name; anything else as one row named for the file.
  EXPECT_TRUE(any.Open(bqtest::WriteFile("notes.TXZ", ReadAll(Fixture("tree.tar.xz")))));
  EXPECT_GT(any.Archive->Files.Count(), 1u);
  EXPECT_EQ(any.Archive->Error, "");
  EXPECT_TRUE(any.Open(bqtest::WriteFile("notes.TXZ", ReadAll(Fixture("preset6.xz")))));
  ASSERT_EQ(any.Archive->Files.Count(), 1u);
  EXPECT_EQ(any.Archive->Files[0].Filename, "notes.tar");
  EXPECT_EQ(any.Archive->Files[0].SizeUnpacked, static_cast<int64_t>(ReadAll(Fixture("preset6.xz.plain")).size()));
  // An index whose records claim a petabyte of blocks: refused, nothing allocated for it.
  std::string index = std::string("\x00\x01", 2) + "\x80\x80\x80\x80\x80\x80\x80\x02" + "\x01" + std::string(1, '\0');
  index += Le(Crc32(index), 4);
  const std::string flags("\x00\x01", 2);
  const std::string stream = std::string("\xFD" "7zXZ\0", 6) + flags + Le(Crc32(flags), 4) + index +
                             Le(Crc32(Le(index.size() / 4 - 1, 4) + flags), 4) + Le(index.size() / 4 - 1, 4) + flags + "YZ";
  any.Open(bqtest::WriteFile("peta.xz", stream));
  EXPECT_EQ(any.Archive->Error, "xz: the index gives blocks larger than the file");
  ASSERT_EQ(any.Archive->Files.Count(), 1u);
  EXPECT_FALSE(any.Archive->Files[0].SizeUnpacked);
  const std::string six = ReadAll(Fixture("preset6.xz"));
  any.Open(bqtest::WriteFile("cut.xz", six.substr(0, six.size() - 3)));
  EXPECT_EQ(any.Archive->Error, "xz: no stream footer");
}

TEST(Lzma2, RawStreamsWholeAndInPieces) {
  const std::string raw = ReadAll(Fixture("raw.lzma2")), plain = ReadAll(Fixture("raw.lzma2.plain"));
  const TByteView input(raw.data(), raw.size());
  std::vector<uint8_t> out;
  std::string error;
  EXPECT_TRUE(Lzma2DecodeAll(input, 16, plain.size(), out, error)) << error;  // 16: a 1 MiB dictionary
  EXPECT_TRUE(std::string(out.begin(), out.end()) == plain);
  EXPECT_FALSE(Lzma2DecodeAll(input, 16, plain.size() - 1, out, error));
  EXPECT_EQ(error, "LZMA2: more output than expected");
  EXPECT_FALSE(Lzma2DecodeAll(input.Clamp(0, raw.size() / 2), 16, plain.size(), out, error));
  EXPECT_FALSE(Lzma2DecodeAll(input, 41, plain.size(), out, error));
  // In pieces of odd sizes, both ways: the chunk headers and the data cross every boundary.
  TLzma2Decoder d;
  ASSERT_TRUE(d.Init(16));
  std::string pieces;
  size_t at = 0;
  uint8_t buffer[13];
  while (!d.Finished() && d.Error().empty()) {
    size_t used = 0;
    const size_t give = std::min<size_t>(7, raw.size() - at);
    const size_t n = d.Decode(reinterpret_cast<const uint8_t*>(raw.data()) + at, give, used, buffer, sizeof buffer);
    pieces.append(reinterpret_cast<char*>(buffer), n);
    at += used;
    if (n == 0 && used == 0 && give == 0) break;
  }
  EXPECT_EQ(d.Error(), "");
  EXPECT_TRUE(d.Finished());
  EXPECT_TRUE(pieces == plain);
  EXPECT_LE(d.WindowSize(), size_t{1} << 20);
  // A dictionary beyond the window limit is refused unless the output is known to be small.
  TLzma2Decoder big, small;
  EXPECT_FALSE(big.Init(40));
  EXPECT_NE(big.Error().find("64 MiB"), std::string::npos);
  EXPECT_TRUE(small.Init(40, 1000));
}

TEST(ArchivePage, SevenZipAndXzRows) {
  auto fill = [](const std::string& file) { return FillArchivePageOf({file}); };
  TPageRecord r = fill(Fixture("lzma2-nonsolid.7z"));
  ASSERT_EQ(r.Columns.size(), 5u);
  const auto theirs = Oracle("7z-7z", Fixture("lzma2-nonsolid.7z"));
  ASSERT_EQ(r.Rows.size(), theirs.size());
  for (size_t i = 0; i < theirs.size(); ++i) {
    const auto b = Split(theirs[i], 5);
    EXPECT_EQ(r.Rows[i].Cells()[0], b[0]);
    EXPECT_EQ(r.Rows[i].Cells()[2], b[1]);
    EXPECT_EQ(r.Rows[i].Cells()[4], b[4]);
  }
  r = fill(Fixture("encrypted.7z"));
  ASSERT_EQ(r.Rows.size(), 1u);
  EXPECT_EQ(r.Rows[0].Cells()[0], "(the file names are encrypted)");
  r = fill(Fixture("concat.xz"));
  ASSERT_EQ(r.Columns.size(), 4u);
  ASSERT_EQ(r.Rows.size(), 1u);
  EXPECT_EQ(r.Rows[0].Cells(), (std::vector<std::string>{"concat", "9348", "14000", ""}));
}
