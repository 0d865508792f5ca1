// The RAR 5 and ISO 9660 readers against lsar, 7z and bsdtar on archives made at test time
// (make_rar5.py; genisoimage and xorriso through make_fixtures.py --rar5-iso), and damaged or
// crafted copies of them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "archive/bqViewArchive.h"
#include "archive/quArchiveSimple.h"
#include "archive/quDate.h"
#include "archive/zoxFFIsoSimple.h"
#include "archive/zoxFFRar5Simple.h"
#include "common/bqTestFiles.h"
#include "bqArchiveTests.h"

using namespace bq;
using namespace bqarchive;
namespace fs = std::filesystem;

namespace {

std::string Fixture(const std::string& name) {
  static const std::string dir = MakeFixtures("make_fixtures.py", "fixtures-rar5-iso", " --rar5-iso");
  return dir + "/" + name;
}

std::vector<std::string> Names(const TSimpleArchive& archive) {
  std::vector<std::string> n;
  for (const auto& e : archive.Files) n.push_back(e.Filename);
  return n;
}

void PutU32Both(std::string& s, size_t at, uint32_t v) {  // ISO 9660's both-endian 32-bit field
  for (int i = 0; i < 4; ++i) {
    s[at + i] = static_cast<char>(v >> (8 * i));
    s[at + 7 - i] = static_cast<char>(v >> (8 * i));
  }
}

uint32_t GetU32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
  return v;
}

}  // namespace

// ---- RAR 5.

TEST(Rar5Reader, AgreesWithLsarAnd7z) {
  for (const char* kind : {"rar5-lsar", "rar5-7z"}) {
    ExpectAgrees(kind, Fixture("full5.rar"));
    ExpectAgrees(kind, Fixture("solid5.rar"));
  }
  // lsar leaves out a file continued in a volume it cannot find; 7z lists what this one holds.
  ExpectAgrees("rar5-7z", Fixture("volume5.rar"));
  TAnyArchive any;
  ASSERT_TRUE(any.Open(Fixture("full5.rar")));
  // Service headers (CMT, ACL, STM, QO) are not files; the directory is its stored name.
  EXPECT_EQ(Names(*any.Archive), (std::vector<std::string>{"docs", "docs/readme.txt", "unix.sh", "nano.bin", "plain-mtime.txt",
                                                          "café 日本.txt", "empty.txt"}));
  EXPECT_EQ(any.Archive->Files[0].Attribs, 0x10u);
  EXPECT_EQ(TimestampToParts(*any.Archive->Files[3].Timestamp).Second, 9);  // nanoseconds do not round up
  ASSERT_TRUE(any.Open(Fixture("solid5.rar")));
  EXPECT_TRUE(static_cast<const TSimpleRar5&>(*any.Archive).Solid);
  ASSERT_TRUE(any.Open(Fixture("volume5.rar")));
  EXPECT_TRUE(static_cast<const TSimpleRar5&>(*any.Archive).Volume);
  EXPECT_FALSE(any.Archive->Files[1].CRC32);  // the CRC of a split file is in the last volume
}

TEST(Rar5Reader, EncryptedHeadersDispatchAndDamage) {
  TAnyArchive any;
  // Headers encrypted: the listers ask for a password; we list nothing of the ciphertext.
  EXPECT_NE(std::system(("7z l -slt -pwrong '" + Fixture("encrypted5.rar") + "' >/dev/null 2>&1 </dev/null").c_str()), 0);
  EXPECT_TRUE(any.Open(Fixture("encrypted5.rar")));
  EXPECT_TRUE(any.Archive->HeadersEncrypted);
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
  // Either RAR format under any name: the signature picks the reader.
  const std::string full = ReadAll(Fixture("full5.rar"));
  for (const char* name : {"five.rar", "five.dat", "five.RAR"}) {
    EXPECT_TRUE(any.Open(bqtest::WriteFile(name, full))) << name;
    EXPECT_EQ(any.Archive->Files.Count(), 7u) << name;
  }
  // A header whose CRC does not match ends the walk there, with a message.
  std::string bad = full;
  bad[full.find("unix.sh")] = 'U';
  EXPECT_FALSE(any.Open(bqtest::WriteFile("crc.rar", bad)));
  EXPECT_EQ(Names(*any.Archive), (std::vector<std::string>{"docs", "docs/readme.txt"}));
  EXPECT_NE(any.Archive->Error.find("bad header CRC"), std::string::npos) << any.Archive->Error;
  // Cut in the data of nano.bin: that file's header was read; the walk ends at the end.
  EXPECT_FALSE(any.Open(bqtest::WriteFile("cut.rar", full.substr(0, full.find("nano.bin") + 50))));
  EXPECT_EQ(any.Archive->Files.Count(), 4u);
  EXPECT_NE(any.Archive->Error, "");
  // Cut inside a header: the entries before it.
  EXPECT_FALSE(any.Open(bqtest::WriteFile("cut2.rar", full.substr(0, full.find("nano.bin") - 3))));
  EXPECT_EQ(any.Archive->Files.Count(), 3u);
  // A header size above the format's 2 MB limit is refused before anything is read.
  std::string huge = full.substr(0, 8) + std::string("\0\0\0\0\x81\x80\x80\x01", 8) + std::string(64, '\0');
  EXPECT_FALSE(any.Open(bqtest::WriteFile("huge.rar", huge)));
  EXPECT_NE(any.Archive->Error.find("header size"), std::string::npos) << any.Archive->Error;
}

TEST(Rar5Reader, Vints) {
  auto read = [](std::string bytes, bool& ok) {
    TByteCursor c{TByteView(bytes)};
    const uint64_t v = ReadRarVint(c);
    ok = c.Ok();
    return v;
  };
  bool ok;
  EXPECT_EQ(read("\x7F", ok), 127u);
  EXPECT_TRUE(ok);
  EXPECT_EQ(read("\x80\x01", ok), 128u);
  EXPECT_EQ(read(std::string(9, '\xFF') + "\x01", ok), UINT64_MAX);
  EXPECT_TRUE(ok);
  read(std::string(9, '\xFF') + "\x03", ok);  // a 65th bit
  EXPECT_FALSE(ok);
  read(std::string(10, '\x80') + "\x01", ok);  // eleven bytes
  EXPECT_FALSE(ok);
  read("\x80", ok);  // cut
  EXPECT_FALSE(ok);
}

// ---- ISO 9660.

TEST(IsoReader, AgreesWith7zAndBsdtar) {
  for (const char* image : {"plain.iso", "level2.iso", "joliet.iso", "xjoliet.iso", "rr.iso"}) {
    ExpectAgrees("iso-7z", Fixture(image));
    ExpectAgrees("iso-bsdtar", Fixture(image), true);
  }
  // Relocated deep directories (7z shows rr_moved as it is) and an image with Joliet and Rock
  // Ridge (7z takes the Joliet tree, whose order differs).
  ExpectAgrees("iso-bsdtar", Fixture("deep.iso"), true);
  ExpectAgrees("iso-bsdtar", Fixture("both.iso"), true);
  TAnyArchive any;
  const std::vector<std::pair<const char*, TSimpleIso::TNames>> names{{"plain.iso", TSimpleIso::TNames::inPlain},
                                                                       {"joliet.iso", TSimpleIso::TNames::inJoliet},
                                                                       {"both.iso", TSimpleIso::TNames::inRockRidge}};
  for (const auto& [image, kind] : names) {
    ASSERT_TRUE(any.Open(Fixture(image)));
    EXPECT_TRUE(static_cast<const TSimpleIso&>(*any.Archive).Names == kind) << image;
  }
  // The deep tree under its own path, the 99-character name whole, the empty file's size 0.
  ASSERT_TRUE(any.Open(Fixture("deep.iso")));
  const auto n = Names(*any.Archive);
  EXPECT_NE(std::find(n.begin(), n.end(), "d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/leaf.txt"), n.end());
  EXPECT_NE(std::find(n.begin(), n.end(), "a file name well beyond the sixty-four characters that Joliet allows, kept whole by Rock Ridge.txt"),
            n.end());
  EXPECT_EQ(std::count_if(n.begin(), n.end(), [](const std::string& s) { return s.find("rr_moved") != std::string::npos; }), 0);
}

TEST(IsoReader, FileInSeveralExtents) {
  // A.TXT marked as going on in the next record, and the next record (EMPTY.TXT's) renamed
  // A.TXT;1 with 10 bytes of SUB/B.TXT's extent: one file of 16 bytes, as 7z and bsdtar see it.
  std::string image = ReadAll(Fixture("plain.iso"));
  const size_t root = static_cast<size_t>(GetU32(image, 0x8000 + 156 + 2)) * 2048;
  const size_t a = image.find("\x07" "A.TXT;1", root) - 32, empty = image.find("\x0B" "EMPTY.TXT;1", root) - 32;
  const size_t b = image.find("\x07" "B.TXT;1", root + 2048) - 32;
  ASSERT_LT(a, root + 2048);
  ASSERT_LT(empty, root + 2048);
  image[a + 25] = static_cast<char>(image[a + 25] | 0x80);
  image[empty + 32] = 7;
  image.replace(empty + 33, 7, "A.TXT;1");
  PutU32Both(image, empty + 2, GetU32(image, b + 2));
  PutU32Both(image, empty + 10, 10);
  const std::string file = bqtest::WriteFile("multi.iso", image);
  ExpectAgrees("iso-7z", file);
  ExpectAgrees("iso-bsdtar", file, true);
  TAnyArchive any;
  ASSERT_TRUE(any.Open(file));
  EXPECT_EQ(any.Archive->Files[0].Filename, "A.TXT");
  EXPECT_EQ(any.Archive->Files[0].SizeUnpacked, 16);
  EXPECT_EQ(any.Archive->Files[1].Filename, "SUB/");
}

TEST(IsoReader, LoopsCutImagesAndDepth) {
  const std::string image = ReadAll(Fixture("plain.iso"));
  const uint32_t rootLba = GetU32(image, 0x8000 + 156 + 2);
  const size_t root = static_cast<size_t>(rootLba) * 2048;
  const size_t sub = image.find("\x03SUB", root) - 32;  // the record of SUB in the root
  ASSERT_LT(sub, root + 2048);
  TAnyArchive any;
  // SUB pointing at the root, then SUB/DEEPER at SUB: each a loop, found at once.
  std::string loop = image;
  PutU32Both(loop, sub + 2, rootLba);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(any.Open(bqtest::WriteFile("loop.iso", loop)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(Names(*any.Archive), (std::vector<std::string>{"A.TXT", "EMPTY.TXT", "SUB/"}));
  EXPECT_NE(any.Archive->Error.find("loop"), std::string::npos) << any.Archive->Error;
  const uint32_t subLba = GetU32(image, sub + 2);
  std::string inner = image;
  const size_t deeper = inner.find("\x06" "DEEPER", static_cast<size_t>(subLba) * 2048) - 32;
  PutU32Both(inner, deeper + 2, subLba);
  EXPECT_FALSE(any.Open(bqtest::WriteFile("loop2.iso", inner)));
  EXPECT_EQ(any.Archive->Files.Count(), 5u);
  EXPECT_NE(any.Archive->Error.find("loop at \"SUB/DEEPER\""), std::string::npos) << any.Archive->Error;
  // A directory extent past the end of the image.
  std::string far = image;
  PutU32Both(far, sub + 2, 0x00FFFFFF);
  EXPECT_FALSE(any.Open(bqtest::WriteFile("far.iso", far)));
  EXPECT_NE(any.Archive->Error.find("past the end"), std::string::npos) << any.Archive->Error;
  // An image cut in the data of its files: the directories are read, the first file whose data
  // is missing ends the listing.
  const std::string both = ReadAll(Fixture("both.iso"));
  EXPECT_FALSE(any.Open(bqtest::WriteFile("cut.iso", both.substr(0, both.find("alpha\n") + 3))));
  EXPECT_GT(any.Archive->Files.Count(), 0u);
  EXPECT_NE(any.Archive->Error.find("past the end"), std::string::npos) << any.Archive->Error;
  // Cut before the volume descriptors end: recognised, nothing listed.
  EXPECT_FALSE(any.Open(bqtest::WriteFile("short.iso", both.substr(0, 0x8000 + 100))));
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
  // Seventy nested directories: the walk stops at its depth bound.
  EXPECT_FALSE(any.Open(Fixture("nested.iso")));
  EXPECT_EQ(any.Archive->Files.Count(), TSimpleIso::kMaxDepth);
  EXPECT_NE(any.Archive->Error.find("too deep"), std::string::npos) << any.Archive->Error;
}

TEST(ArchivePage, Rar5AndIsoRows) {
  auto fill = [](const std::string& file) { return FillArchivePageOf({file}); };
  auto r = fill(Fixture("encrypted5.rar"));
  ASSERT_EQ(r.Rows.size(), 1u);
  EXPECT_EQ(r.Rows[0].Cells(), (std::vector<std::string>{"(encrypted headers: names not readable)", "", "", "", ""}));
  r = fill(Fixture("joliet.iso"));
  ASSERT_EQ(r.Columns.size(), 4u);  // no CRC-32 in an image
  ASSERT_EQ(r.Rows.size(), 6u);
  EXPECT_EQ(r.Rows[0].Cells(), (std::vector<std::string>{"a.txt", "6", "6", "3/4/2021 5:06 AM"}));
  EXPECT_EQ(r.Rows[2].Cells(), (std::vector<std::string>{"sub/", "", "", "2/2/2002 2:02 AM"}));
}
