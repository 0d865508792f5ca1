#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "archive/bqViewArchive.h"
#include "archive/quArchiveSimple.h"
#include "archive/quDate.h"
#include "archive/zoxFFCabSimple.h"
#include "archive/zoxFFChmWindows.h"
#include "archive/zoxFFNSISSimple.h"
#include "archive/zoxFFIsoSimple.h"
#include "archive/zoxFFRar5Simple.h"
#include "archive/zoxFFRarSimple.h"
#include "archive/zoxFFZipSimple.h"
#include "common/bqTestFiles.h"
#include "bqArchiveTests.h"

using namespace bq;
using namespace bqarchive;
namespace fs = std::filesystem;

namespace {

// Fixtures are made once per run in the test's build folder; the heavy ones stay there.
const std::string& FixtureDir() {
#ifdef BQ_SKIP_HEAVY_FIXTURES
  static const std::string dir = MakeFixtures("make_fixtures.py", "fixtures", " --many");
#else
  static const std::string dir = MakeFixtures("make_fixtures.py", "fixtures", " --heavy");
#endif
  return dir;
}

std::string Fixture(const std::string& name) { return FixtureDir() + "/" + name; }

std::vector<std::string> Ours(const TSimpleArchive& archive) {
  std::vector<std::string> out;
  for (const auto& e : archive.Files)
    out.push_back(e.Filename + "\t" + e.SizeUnpackedAsString() + "\t" + e.SizePackedAsString() + "\t" +
                  DateText(e.Timestamp) + "\t" + e.CRC32AsString());
  return out;
}

// Our listing equals the lister's in every field it tells, in order (or as sets of lines, for
// listers that order or merge entries their own way).
void ExpectSameListing(const std::string& kind, const std::string& file, bool asSet = false) {
  SCOPED_TRACE(kind + " " + file);
  TAnyArchive any;
  EXPECT_TRUE(any.Open(file));
  ASSERT_TRUE(any.Archive);
  EXPECT_EQ(any.Archive->Error, "");
  auto ours = Ours(*any.Archive);
  auto theirs = Oracle(kind, file);
  if (asSet) {
    ours = std::vector<std::string>(std::set<std::string>(ours.begin(), ours.end()).begin(),
                                    std::set<std::string>(ours.begin(), ours.end()).end());
  }
  ASSERT_FALSE(theirs.empty());
  ASSERT_EQ(ours.size(), theirs.size());
  for (size_t i = 0; i < ours.size(); ++i) {
    const auto a = Split(ours[i]);
    const auto b = Split(theirs[i]);
    ASSERT_EQ(b.size(), 5u) << theirs[i];
    for (size_t k = 0; k < 5; ++k)
      if (b[k] != "*") {
        EXPECT_EQ(a[k], b[k]) << "entry " << i << " field " << k << ": " << ours[i] << " | " << theirs[i];
      }
  }
}

// NSIS: 7z shows each stored file once, in its own order, and paths under $INSTDIR without it;
// compare names and dates, and the sizes of an installer that is not solid (7z unpacks a solid
// one to tell them, which we do not).
void ExpectSameNames(const std::string& kind, const std::string& file) {
  SCOPED_TRACE(file);
  TAnyArchive any;
  EXPECT_TRUE(any.Open(file));
  ASSERT_TRUE(any.Archive);
  EXPECT_EQ(any.Archive->Error, "");
  std::set<std::string> ours, theirs;
  for (const auto& e : any.Archive->Files) {
    const std::string_view instdir = "$INSTDIR\\";
    const std::string name = e.Filename.rfind(instdir, 0) == 0 ? e.Filename.substr(instdir.size()) : e.Filename;
    const bool sizes = !static_cast<const TSimpleNSIS&>(*any.Archive).Solid;
    ours.insert(name + "\t" + DateText(e.Timestamp) + (sizes ? "\t" + e.SizeUnpackedAsString() + "\t" + e.SizePackedAsString() : ""));
  }
  for (const auto& l : Oracle(kind, file)) {
    auto f = Split(l);
    f.resize(5);  // trailing empty fields
    const bool sizes = !static_cast<const TSimpleNSIS&>(*any.Archive).Solid;
    theirs.insert(f[0] + "\t" + f[3] + (sizes ? "\t" + f[1] + "\t" + f[2] : ""));
  }
  EXPECT_EQ(ours, theirs);
}

std::vector<std::string> Names(const TSimpleArchive& archive) {
  std::vector<std::string> n;
  for (const auto& e : archive.Files) n.push_back(e.Filename);
  return n;
}

void PutU32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

}  // namespace

TEST(ArchiveDates, ConversionsAndText) {
  EXPECT_EQ(PackedDosDateTimeToTimestamp(0), 0.0);
  EXPECT_EQ(DateText(PackedDosDateTimeToTimestamp((0u << 25 | 1u << 21 | 1u << 16) | 1)), "1980-01-01 00:00");
  EXPECT_EQ(TimestampToParts(PackedDosDateTimeToTimestamp(1u << 21 | 1u << 16 | 1)).Second, 2);
  EXPECT_FALSE(DosDateTimeToTimestamp(0, 0));                        // month and day 0
  EXPECT_FALSE(DosDateTimeToTimestamp((1 << 9) | (2 << 5) | 30, 0));  // 30 February 1981
  EXPECT_FALSE(DosDateTimeToTimestamp((1 << 5) | 1, 24 << 11));      // hour 24
  EXPECT_TRUE(DosDateTimeToTimestamp((20 << 9) | (2 << 5) | 29, (23 << 11) | (59 << 5)));  // 29 February 2000
  EXPECT_EQ(FileTimeToTimestamp(~0ull), 0.0);
  EXPECT_EQ(TimestampText(0), "12/30/1899 12:00 AM");
  EXPECT_EQ(TimestampText(*DosDateTimeToTimestamp((41 << 9) | (12 << 5) | 31, (13 << 11) | (5 << 5))), "12/31/2021 1:05 PM");
  EXPECT_EQ(TimestampText(*DosDateTimeToTimestamp((41 << 9) | (1 << 5) | 2, (12 << 11) | (0 << 5))), "1/2/2021 12:00 PM");
}

TEST(ZipReader, AgreesWithIndependentListers) {
  ExpectSameListing("zip-7z", Fixture("info.zip"));  // the comment holds an end record signature
  ExpectSameListing("zip-unzip", Fixture("info.zip"));
  ExpectSameListing("zip-7z", Fixture("bsd.zip"));
  ExpectSameListing("zip-python", Fixture("bsd.zip"));
  ExpectSameListing("zip-python", Fixture("py.zip"));  // UTF-8 names, folder, comment
  ExpectSameListing("zip-7z", Fixture("py.zip"));
  ExpectSameListing("zip-python", Fixture("oem.zip"));  // code page 437 name
}

TEST(ZipReader, InvalidDateShowsTheEntryWithTimeZeroAndGoesOn) {
  TAnyArchive any;
  EXPECT_TRUE(any.Open(Fixture("baddate.zip")));
  ASSERT_EQ(any.Archive->Files.Count(), 3u);
  EXPECT_EQ(any.Archive->Files[1].Filename, "second.txt");
  EXPECT_EQ(any.Archive->Files[1].Timestamp, 0.0);
  EXPECT_EQ(any.Archive->Files[1].SizeUnpacked, 10);
  EXPECT_EQ(any.Archive->Files[1].CRC32AsString(), Split(Oracle("zip-unzip", Fixture("baddate.zip"))[1])[4]);
  EXPECT_EQ(DateText(any.Archive->Files[2].Timestamp), "2016-06-06 06:06");
}

TEST(ZipReader, HeavyArchives) {
#ifndef BQ_SKIP_HEAVY_FIXTURES
  ExpectSameListing("zip-python", Fixture("zip64.zip"));
  {
    TAnyArchive any;
    ASSERT_TRUE(any.Open(Fixture("zip64.zip")));
    EXPECT_EQ(any.Archive->Files[0].SizeUnpackedAsString(), "5368709120");
  }
#endif
  const auto start = std::chrono::steady_clock::now();
  TAnyArchive any;
  ASSERT_TRUE(any.Open(Fixture("many.zip")));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));  // no quadratic walk
  ASSERT_EQ(any.Archive->Files.Count(), 100000u);
  EXPECT_EQ(any.Archive->Files[0].Filename, "d000/f000000.txt");
  EXPECT_EQ(any.Archive->Files[99999].Filename, "d099/f099999.txt");
}

TEST(ZipReader, DispatchBySignatureWhenTheExtensionSaysOtherwise) {
  const std::string zip = ReadAll(Fixture("py.zip"));
  for (const char* name : {"app.jar", "doc.DOCX", "noext", "setup.exe", "odd.cab"}) {
    TAnyArchive any;
    EXPECT_TRUE(any.Open(bqtest::WriteFile(name, zip))) << name;
    ASSERT_TRUE(any.Archive);
    EXPECT_TRUE(any.Archive->HasCRC) << name;
    EXPECT_EQ(any.Archive->Files.Count(), 4u) << name;
  }
  // A self-extractor: a stub before the archive, offsets relative to the archive.
  TAnyArchive sfx;
  EXPECT_TRUE(sfx.Open(bqtest::WriteFile("sfx.exe", std::string(5000, 'M') + zip)));
  EXPECT_EQ(sfx.Archive->Files.Count(), 4u);
  // Upper-case and mixed-case extensions find their reader; text finds none.
  TAnyArchive upper, text;
  EXPECT_TRUE(upper.Open(bqtest::WriteFile("UPPER.ZIP", zip)));
  EXPECT_FALSE(text.Open(bqtest::WriteFile("plain.txt", "just text")));
  EXPECT_FALSE(text.Archive);
  EXPECT_FALSE(text.Open((bqtest::ScratchDir() / "missing.zip").string()));
}

TEST(ZipReader, DamagedCopiesListWhatPrecedesTheDamage) {
  const std::string whole = ReadAll(Fixture("py.zip"));
  const size_t central = whole.find("PK\x01\x02");
  const size_t third = whole.find("PK\x01\x02", whole.find("PK\x01\x02", central + 4) + 4);
  TAnyArchive any;
  // Cut inside the third central header: no end record, but the signature test still sees "PK"? No:
  // the listing needs the end record, so a cut archive lists nothing and says so.
  EXPECT_FALSE(any.Open(bqtest::WriteFile("cut.zip", whole.substr(0, third + 10))));
  // The end record claims more entries and a larger directory than the file holds.
  std::string big = whole;
  const size_t end = big.rfind("PK\x05\x06");
  big[end + 8] = big[end + 10] = '\xFF';
  big[end + 9] = big[end + 11] = '\xFF';
  PutU32(big, end + 12, 0x7FFFFFFF);
  EXPECT_FALSE(any.Open(bqtest::WriteFile("counts.zip", big)));
  EXPECT_EQ(any.Archive->Files.Count(), 4u);
  EXPECT_NE(any.Archive->Error, "");
  // A name length running past the directory ends the walk after the entries before it.
  std::string longName = whole;
  longName[third + 28] = '\xFF';
  longName[third + 29] = '\x7F';
  EXPECT_FALSE(any.Open(bqtest::WriteFile("name.zip", longName)));
  EXPECT_EQ(Names(*any.Archive), (std::vector<std::string>{"folder/", "folder/café 日本.txt"}));
}

TEST(RarReader, AgreesWithLsarAnd7z) {
  for (const char* kind : {"rar-lsar", "rar-7z"}) {
    ExpectSameListing(kind, Fixture("full.rar"));
    ExpectSameListing(kind, Fixture("plain.rar"));
  }
}

TEST(RarReader, DamagedAndForeignArchives) {
  TAnyArchive any;
  // Cut in the data of the last file: everything before it, and that file's header.
  const std::string full = ReadAll(Fixture("full.rar"));
  EXPECT_FALSE(any.Open(bqtest::WriteFile("cut.rar", full.substr(0, full.find("the end")))));
  EXPECT_EQ(any.Archive->Files.Count(), 5u);
  EXPECT_FALSE(any.Open(bqtest::WriteFile("cut2.rar", full.substr(0, full.find("last.txt") - 10))));
  EXPECT_EQ(any.Archive->Files.Count(), 4u);
  // HEAD_SIZE 0 in the block of "last.txt": the walk ends there, at once.
  std::string zero = full;
  const size_t last = full.find("last.txt") - 32;
  zero[last + 5] = zero[last + 6] = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(any.Open(bqtest::WriteFile("zero.rar", zero)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(any.Archive->Files.Count(), 4u);
  // A file header shorter than its fields.
  std::string shortHeader = full;
  shortHeader[last + 5] = 20;
  shortHeader[last + 6] = 0;
  EXPECT_FALSE(any.Open(bqtest::WriteFile("short.rar", shortHeader)));
  EXPECT_EQ(any.Archive->Files.Count(), 4u);
  // A RAR 5 signature goes to the RAR 5 reader; here no valid header follows it.
  EXPECT_FALSE(any.Open(bqtest::WriteFile("five.rar", std::string("Rar!\x1A\x07\x01\x00", 8) + std::string(100, '\0'))));
  ASSERT_TRUE(any.Archive);
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
}

TEST(RarReader, BlocksOfUnknownTypesAndEncryptedHeaders) {
  // An unknown block with LONG_BLOCK is walked over by HEAD_SIZE and ADD_SIZE, as lsar does.
  ExpectSameListing("rar-lsar", Fixture("skip.rar"));
  TAnyArchive any;
  EXPECT_TRUE(any.Open(Fixture("skip.rar")));
  EXPECT_EQ(Names(*any.Archive), (std::vector<std::string>{"one.txt", "two.txt"}));
  // Without it, where it ends is unknown: the walk stops after the rows before it.
  EXPECT_FALSE(any.Open(Fixture("unknown.rar")));
  EXPECT_EQ(Names(*any.Archive), (std::vector<std::string>{"one.txt"}));
  EXPECT_NE(any.Archive->Error.find("unknown type 0x7E"), std::string::npos) << any.Archive->Error;
  // Encrypted headers: what follows the archive header is ciphertext, however it looks.
  EXPECT_TRUE(any.Open(Fixture("encrypted.rar")));
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
  EXPECT_TRUE(any.Archive->NamesEncrypted);
}

TEST(CabReader, AgreesWithCabextract) {
  ExpectSameListing("cab", Fixture("plain.cab"));
  ExpectSameListing("cab", Fixture("mszip.cab"));
}

TEST(CabReader, LongNamesAndCountsBeyondTheFile) {
  // A hand-built cabinet: a 300-byte name, then a short one.
  auto cab = [](uint16_t count, const std::vector<std::string>& names) {
    std::string s(36, '\0');
    s.replace(0, 4, "MSCF");
    PutU32(s, 16, 36);  // coffFiles
    s[28] = static_cast<char>(count);
    s[29] = static_cast<char>(count >> 8);
    for (const auto& n : names) {
      std::string f(16, '\0');
      PutU32(f, 0, static_cast<uint32_t>(n.size()));
      f[10] = 0x21; f[11] = 0x52;  // 2021-01-01
      f[14] = 0x20;                 // archive attribute
      s += f + n + '\0';
    }
    return s;
  };
  TAnyArchive any;
  EXPECT_TRUE(any.Open(bqtest::WriteFile("long.cab", cab(2, {std::string(300, 'x'), "short.txt"}))));
  ASSERT_EQ(any.Archive->Files.Count(), 2u);
  EXPECT_EQ(any.Archive->Files[0].Filename, std::string(255, 'x'));
  EXPECT_EQ(any.Archive->Files[1].Filename, "short.txt");
  EXPECT_EQ(DateText(any.Archive->Files[1].Timestamp), "2021-01-01 00:00");
  // cFiles far beyond the entries present: the listing stops where the area ends.
  EXPECT_TRUE(any.Open(bqtest::WriteFile("count.cab", cab(60000, {"a.txt", "b.txt"}))));
  EXPECT_EQ(Names(*any.Archive), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_NE(any.Archive->Error, "");
  // No files at all.
  EXPECT_TRUE(any.Open(bqtest::WriteFile("empty.cab", cab(0, {}))));
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
}

TEST(ChmReader, AgreesWithChmLib) {
  ExpectSameListing("chm", Fixture("help.chm"));
  TAnyArchive any;
  ASSERT_TRUE(any.Open(Fixture("help.chm")));
  const auto names = Names(*any.Archive);
  EXPECT_NE(std::find(names.begin(), names.end(), "\\#SYSTEM"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "\\sub\\more\\deep.html"), names.end());
  EXPECT_FALSE(any.Archive->Files[0].Timestamp);  // CHM records no times
}

TEST(ChmReader, ChunkLoopsAndIndexesOutsideTheDirectory) {
  const std::string chm = ReadAll(Fixture("help.chm"));
  const size_t pmgl = chm.find("PMGL");
  ASSERT_NE(pmgl, std::string::npos);
  TAnyArchive any;
  for (uint32_t next : {0u, 7u, 0x7FFFFFFFu}) {  // itself, past the chunk count, far away
    std::string bad = chm;
    PutU32(bad, pmgl + 16, next);
    EXPECT_FALSE(any.Open(bqtest::WriteFile("loop.chm", bad)));
    ASSERT_TRUE(any.Archive);
    EXPECT_EQ(any.Archive->Files.Count(), 9u) << next;  // the first chunk, once
  }
  std::string noDir = chm;
  noDir.replace(chm.find("ITSP"), 4, "XXXX");
  EXPECT_FALSE(any.Open(bqtest::WriteFile("nodir.chm", noDir)));
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
}

TEST(NsisReader, EveryLayoutListsTheFileInstructions) {
  const std::vector<std::string> expected{"$INSTDIR\\a.txt", "$INSTDIR\\b.txt", "$PLUGINSDIR\\plugin.dat", "$DESKTOP\\desk.txt",
                                          "$INSTDIR\\a.txt"};
  for (const char* name : {"nsis-zlib.exe", "nsis-lzma.exe", "nsis-solid-lzma.exe", "nsis-solid-zlib.exe",
                           "nsis-off.exe", "nsis-ansi.exe", "nsis-bzip2.exe", "nsis-solid-bzip2.exe"}) {
    SCOPED_TRACE(name);
    TAnyArchive any;
    EXPECT_TRUE(any.Open(Fixture(name)));
    ASSERT_TRUE(any.Archive);
    EXPECT_EQ(Names(*any.Archive), expected);
    ExpectSameNames("nsis-7z", Fixture(name));
  }
  TAnyArchive one;
  EXPECT_TRUE(one.Open(Fixture("nsis-one.exe")));  // header compresses to far less than its length
  EXPECT_EQ(Names(*one.Archive), (std::vector<std::string>{"$INSTDIR\\a.txt"}));
  ExpectSameNames("nsis-7z", Fixture("nsis-one.exe"));
}

TEST(NsisReader, NamesUnderTheOutputFolderOfSetOutPath) {
  TAnyArchive any;
  EXPECT_TRUE(any.Open(Fixture("nsis-folders.exe")));
  EXPECT_EQ(Names(*any.Archive), (std::vector<std::string>{"$INSTDIR\\a.txt", "$INSTDIR\\sub\\a.txt", "$INSTDIR\\sub\\b.txt"}));
  ExpectSameNames("nsis-7z", Fixture("nsis-folders.exe"));  // with the sizes of stored and compressed blocks
  // A solid installer: no sizes at all.
  EXPECT_TRUE(any.Open(Fixture("nsis-solid-zlib.exe")));
  EXPECT_FALSE(any.Archive->HasSizes);
  for (const auto& e : any.Archive->Files) EXPECT_FALSE(e.SizePacked || e.SizeUnpacked) << e.Filename;
}

namespace {
// A copy of the installer made with "SetCompress off" (whose header follows its length
// unchanged) with the string offset of the given parameter of the n-th entry of the given
// opcode (11: EW_CREATEDIR, 20: EW_EXTRACTFILE) set far outside the strings.
std::string BadString(uint8_t opcode, int n, int parameter) {
  std::string exe = ReadAll(Fixture("nsis-off.exe"));
  const size_t header = exe.find("\xEF\xBE\xAD\xDE" "NullsoftInst") - 4 + 28 + 4;
  uint32_t entries = 0, count = 0;
  std::memcpy(&entries, &exe[header + 20], 4);
  std::memcpy(&count, &exe[header + 24], 4);
  for (size_t at = header + entries; count-- > 0 && at + 28 <= exe.size(); at += 28)
    if (exe[at] == static_cast<char>(opcode) && n-- == 0) PutU32(exe, at + 4 + 4 * parameter, 0x7FFFFFF0);
  return exe;
}
}  // namespace

TEST(NsisReader, ABadStringEndsTheListingAfterTheRowsBeforeIt) {
  TAnyArchive any;
  EXPECT_FALSE(any.Open(bqtest::WriteFile("badname.exe", BadString(20, 2, 1))));
  EXPECT_EQ(Names(*any.Archive), (std::vector<std::string>{"$INSTDIR\\a.txt", "$INSTDIR\\b.txt"}));
  EXPECT_NE(any.Archive->Error.find("file name"), std::string::npos) << any.Archive->Error;
  EXPECT_FALSE(any.Open(bqtest::WriteFile("badfolder.exe", BadString(11, 0, 0))));  // the first SetOutPath
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
  EXPECT_NE(any.Archive->Error.find("folder name"), std::string::npos) << any.Archive->Error;
}

TEST(NsisReader, BombsAndDamage) {
  const std::string exe = ReadAll(Fixture("nsis-lzma.exe"));
  const size_t first = exe.find("\xEF\xBE\xAD\xDE" "NullsoftInst") - 4;
  TAnyArchive any;
  std::string huge = exe;
  PutU32(huge, first + 20, 0xFFFFFFFF);  // a header length of 4 GiB
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(any.Open(bqtest::WriteFile("huge.exe", huge)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
  // Exactly the ten bytes the layout tests read, and nothing after them.
  EXPECT_FALSE(any.Open(bqtest::WriteFile("ten.exe", exe.substr(0, first + 28 + 10))));
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
  // Cut in the compressed header: nothing at all.
  EXPECT_FALSE(any.Open(bqtest::WriteFile("cut.exe", exe.substr(0, first + 28 + 100))));
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
  // Corrupt compressed data.
  std::string corrupt = exe;
  for (size_t i = first + 28 + 20; i < first + 28 + 200; ++i) corrupt[i] = static_cast<char>(i * 7);
  EXPECT_FALSE(any.Open(bqtest::WriteFile("corrupt.exe", corrupt)));
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
  // An executable that is no installer, and a header not on a 512-byte step.
  EXPECT_FALSE(any.Open(bqtest::WriteFile("plain.exe", std::string(4096, 'M'))));
  ASSERT_TRUE(any.Archive);
  EXPECT_FALSE(any.Archive->HasSizes);
  EXPECT_FALSE(any.Open(bqtest::WriteFile("shifted.exe", "x" + exe)));
}

// ---- The Archive page.

namespace {

std::vector<std::string> Titles(const TPageRecord& r) {
  std::vector<std::string> t;
  for (const auto& c : r.Columns) t.push_back(c.Title);
  return t;
}
}  // namespace

TEST(ArchivePage, OneZipWholePage) {
  const TPageRecord r = FillArchivePageOf({Fixture("py.zip")});
  EXPECT_TRUE(r.GroupView);
  ASSERT_EQ(r.Groups.size(), 1u);
  EXPECT_EQ(r.Groups[0].Id, 1);
  EXPECT_EQ(r.Groups[0].Header, "Files inside py.zip");
  EXPECT_EQ(Titles(r), (std::vector<std::string>{"Filename", "Packed", "Unpacked", "Date/Time", "CRC-32"}));
  EXPECT_EQ(r.Columns[0].Width, 128);
  EXPECT_EQ(r.Columns[1].Align, TAlign::alRight);
  EXPECT_EQ(r.Columns[3].Width, 96);
  EXPECT_EQ(r.Columns[4].Align, TAlign::alCenter);
  ASSERT_EQ(r.Rows.size(), 4u);
  const std::vector<std::vector<std::string>> rows{
      {"folder/", "0", "0", "10/10/2010 10:10 AM", "00000000"},
      {"folder/café 日本.txt", "13", "13", "11/11/2011 11:11 AM", "6C14D048"},
      {"stored.bin", "1024", "1024", "12/12/2012 12:12 PM", "B70B4C26"},
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(r.Rows[i].Cells(), rows[i]);
    EXPECT_EQ(r.Rows[i].Group(), 1);
  }
  EXPECT_EQ(r.Rows[3].Cells()[3], "1/1/1980 12:00 AM");
}

TEST(ArchivePage, ColumnsPerReaderAndSelections) {
  EXPECT_EQ(Titles(FillArchivePageOf({Fixture("full.rar")})).size(), 5u);
  for (const char* f : {"plain.cab", "help.chm"})
    EXPECT_EQ(Titles(FillArchivePageOf({Fixture(f)})), (std::vector<std::string>{"Filename", "Packed", "Unpacked", "Date/Time"})) << f;
  EXPECT_EQ(Titles(FillArchivePageOf({Fixture("nsis-lzma.exe")})), (std::vector<std::string>{"Filename", "Packed", "Unpacked", "Date/Time"}));
  EXPECT_EQ(Titles(FillArchivePageOf({Fixture("nsis-solid-lzma.exe")})), (std::vector<std::string>{"Filename", "Date/Time"}));
  // A single file no reader knows: its group, two columns, no rows.
  const std::string text = bqtest::WriteFile("notes.txt", "plain text\n");
  auto r = FillArchivePageOf({text});
  EXPECT_EQ(Titles(r), (std::vector<std::string>{"Filename", "Date/Time"}));
  ASSERT_EQ(r.Groups.size(), 1u);
  EXPECT_EQ(r.Groups[0].Header, "Files inside notes.txt");
  EXPECT_TRUE(r.Rows.empty());
  // Several files: all five columns; a group per archive, numbered by selection position.
  r = FillArchivePageOf({text, Fixture("plain.cab"), Fixture("py.zip")});
  EXPECT_EQ(Titles(r).size(), 5u);
  ASSERT_EQ(r.Groups.size(), 2u);
  EXPECT_EQ(r.Groups[0].Id, 2);
  EXPECT_EQ(r.Groups[1].Id, 3);
  ASSERT_EQ(r.Rows.size(), 7u);
  size_t inCab = 0;
  for (const auto& row : r.Rows)
    if (row.Group() == 2) {
      ++inCab;
      EXPECT_EQ(row.Cells()[4], "");  // CAB has no CRC
    }
  EXPECT_EQ(inCab, 3u);
  r = FillArchivePageOf({Fixture("py.zip"), text});
  ASSERT_EQ(r.Groups.size(), 1u);
  EXPECT_EQ(r.Groups[0].Id, 1);
}

// Values a format does not record are empty cells; recorded ones, 0 included, are shown.
TEST(ArchivePage, UnrecordedValuesAreEmptyCells) {
  auto cells = [](const TPageRecord& r, const std::string& name) {
    for (const auto& row : r.Rows)
      if (row.Cells()[0] == name) return row.Cells();
    return std::vector<std::string>{};
  };
  // A single cabinet: the unpacked sizes cabextract tells, no packed size.
  auto r = FillArchivePageOf({Fixture("mszip.cab")});
  for (const auto& line : Oracle("cab", Fixture("mszip.cab"))) {
    const auto f = Split(line);
    const auto c = cells(r, f[0]);
    ASSERT_EQ(c.size(), 4u) << f[0];
    EXPECT_EQ(c[1], "");
    EXPECT_EQ(c[2], f[1]);
    EXPECT_NE(c[3], "");
  }
  // A help file: sizes as chmLib tells them, no date at all.
  r = FillArchivePageOf({Fixture("help.chm")});
  const auto chm = Oracle("chm", Fixture("help.chm"));
  ASSERT_EQ(r.Rows.size(), chm.size());
  for (size_t i = 0; i < chm.size(); ++i)
    EXPECT_EQ(r.Rows[i].Cells(), (std::vector<std::string>{Split(chm[i])[0], "", Split(chm[i])[1], ""}));
  // Several files: what the cabinet, the help file and a solid installer do not record stays
  // empty; the ZIP's empty member keeps its recorded 0 sizes and CRC.
  r = FillArchivePageOf({Fixture("plain.cab"), Fixture("help.chm"), Fixture("nsis-solid-lzma.exe"), Fixture("py.zip")});
  for (const auto& row : r.Rows) {
    const auto c = row.Cells();
    ASSERT_EQ(c.size(), 5u);
    if (row.Group() <= 3) {
      EXPECT_EQ(c[1] + c[4], "") << c[0];
    }
    if (row.Group() >= 2) {
      EXPECT_EQ(c[3] == "", row.Group() == 2) << c[0];
    }
    if (row.Group() == 3) {
      EXPECT_EQ(c[2], "") << c[0];
    }
  }
  EXPECT_EQ(cells(r, "folder/"), (std::vector<std::string>{"folder/", "0", "0", "10/10/2010 10:10 AM", "00000000"}));
}

// A listing that stopped early ends its group with a row saying where; encrypted names a row
// saying so; a file the reader does not recognise gets no row.
TEST(ArchivePage, RowsForDamageAndEncryptedNames) {
  const std::string badName = bqtest::WriteFile("badname.exe", BadString(20, 2, 1));
  TAnyArchive nsis, rar;
  nsis.Open(badName);
  rar.Open(Fixture("unknown.rar"));
  const TPageRecord r = FillArchivePageOf({badName, Fixture("unknown.rar"), Fixture("encrypted.rar"),
                                  bqtest::WriteFile("plain.exe", std::string(4096, 'M'))});
  std::map<int, std::vector<std::vector<std::string>>> groups;  // rows come in per group
  for (const auto& row : r.Rows) groups[row.Group()].push_back(row.Cells());
  const std::map<int, std::vector<std::vector<std::string>>> expected{
      {1,
       {{"$INSTDIR\\a.txt", "6", "6", "3/4/2021 5:06 AM", ""},
        {"$INSTDIR\\b.txt", "360", "360", "12/31/2019 11:59 PM", ""},
        {"(listing stopped at damaged data: " + nsis.Archive->Error + ")", "", "", "", ""}}},
      {2,
       {{"one.txt", "2", "2", "3/4/2021 5:06 AM", "6751FC53"},
        {"(listing stopped at damaged data: " + rar.Archive->Error + ")", "", "", "", ""}}},
      {3, {{"(the file names are encrypted)", "", "", "", ""}}}};
  EXPECT_EQ(groups, expected);
}
