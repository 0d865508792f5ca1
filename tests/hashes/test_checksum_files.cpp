// The four newer digests through the Hashes page against OpenSSL and b3sum, the
// HashAlgorithms tweak, checksum files written by real tools (sha256sum, md5sum --tag, b3sum,
// rhash --sfv, openssl dgst), the "Check" column, and bqlite --check/--sums against coreutils.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

#include "common/bqTestFiles.h"
#include "hashes/bqChecksumFiles.h"
#include "hashes/bqViewHashes.h"
#include "platform/bqText.h"

using namespace bq;

using bqtest::WriteFile;

bqtest::TRun Sh(const std::string& command) { return bqtest::Run(command); }

namespace {

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

TPageRecord FillList(std::vector<std::string> files, const TRegistry* registry = nullptr) {
  auto selection = std::make_shared<TSelection>();
  selection->SelectedFiles = std::move(files);
  selection->SelectedTypes.resize(selection->SelectedFiles.size());
  TPageRecorder view;
  FillHashListPage(TPageContext{selection, registry}, view);
  return view.Record();
}

// file name -> value, from "HEX  NAME" or "HEX *NAME" lines.
std::map<std::string, std::string> SumLines(const std::string& out) {
  std::map<std::string, std::string> m;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    const size_t blank = line.find(' ');
    if (blank == std::string::npos || blank + 2 > line.size()) continue;
    m[FileNameOnly(line.substr(blank + 2))] = UpperAscii(line.substr(0, blank));
  }
  return m;
}

TEST(HashListPage, NewerDigestsAgreeWithOpenSSLAndB3sumOnBoundaryLengths) {
  if (!bqtest::HaveTool("openssl") || !bqtest::HaveTool("b3sum")) GTEST_SKIP() << "openssl or b3sum missing";
  const size_t lengths[] = {0,   1,   55,  56,   63,   64,   111,  112,  127,
                            128, 135, 136, 1023, 1024, 1025, 2048, (1u << 20) + 1};
  std::vector<std::string> files;
  std::string names;
  for (size_t n : lengths) {
    files.push_back(WriteFile("boundary/len" + std::to_string(n), RandomBytes(n, unsigned(n) + 11)));
    names += " '" + files.back() + "'";
  }
  std::map<TDigestKind, std::map<std::string, std::string>> expected;
  expected[dkSHA256] = SumLines(Sh("openssl dgst -sha256 -r" + names).Out);
  expected[dkSHA512] = SumLines(Sh("openssl dgst -sha512 -r" + names).Out);
  expected[dkSHA3_256] = SumLines(Sh("openssl dgst -sha3-256 -r" + names).Out);
  expected[dkBLAKE3] = SumLines(Sh("b3sum" + names).Out);
  for (auto& [kind, values] : expected) ASSERT_EQ(values.size(), files.size()) << DigestName(kind);

  const auto r = FillList(files);
  ASSERT_EQ(r.Rows.size(), files.size() * 12);
  int checked = 0;
  for (const auto& row : r.Rows) {
    const auto kind = TDigestKind(row.Group() - 1);
    if (!expected.count(kind)) continue;
    EXPECT_EQ(row.Cells()[1], expected[kind][row.Cells()[0]]) << DigestName(kind) << " " << row.Cells()[0];
    ++checked;
  }
  EXPECT_EQ(checked, int(files.size() * 4));
}

TEST(HashListPage, HashAlgorithmsTweakChoosesTheGroups) {
  EXPECT_EQ(ParseHashAlgorithms("sha256,MD5, blake3,bogus,md5"), (std::vector<TDigestKind>{dkMD5, dkSHA256, dkBLAKE3}));
  EXPECT_EQ(ParseHashAlgorithms("").size(), 12u);
  EXPECT_EQ(ParseHashAlgorithms("nothing,known").size(), 12u);
  for (int k = 0; k < DigestKindCount; ++k) EXPECT_EQ(DigestKindFromTweakName(DigestTweakName(TDigestKind(k))), k);

  const std::string file = WriteFile("tweak/abc.txt", "abc");
  TMemoryRegistry reg;
  reg.SetValue(TRegRoot::rrLocalMachine, "\\SOFTWARE\\Marrowgate\\Tweaks", "HashAlgorithms",
               TRegValue::String("sha3-256,crc32"));
  auto r = FillList({file}, &reg);
  ASSERT_EQ(r.Groups.size(), 2u);
  EXPECT_EQ(r.Groups[0].Id, 1);
  EXPECT_EQ(r.Groups[1].Id, 11);
  ASSERT_EQ(r.Rows.size(), 2u);
  EXPECT_EQ(r.Rows[0].Cells()[1], "352441C2");
  EXPECT_EQ(r.Rows[1].Cells()[1], "3A985DA74FE225B2045C172D6BD390BD855F086E3E9D525B46BFE24511431532");
  // A DWORD is not a list: every digest.
  reg.SetValue(TRegRoot::rrLocalMachine, "\\SOFTWARE\\Marrowgate\\Tweaks", "HashAlgorithms", TRegValue::Dword(1));
  EXPECT_EQ(FillList({file}, &reg).Groups.size(), 12u);
}

// Lines as real tools write them, read back with the algorithm from the format, the file's
// name or the value's length.
TEST(ChecksumText, FormatsWrittenByRealTools) {
  WriteFile("tools/one.bin", RandomBytes(3000, 1));
  WriteFile("tools/two words.bin", "two");
  struct TCase {
    const char* Command;
    const char* SumName;
    TDigestKind Kind;
  } cases[] = {
      {"sha256sum one.bin 'two words.bin'", "x.sha256", dkSHA256},
      {"sha512sum -b one.bin 'two words.bin'", "SHA512SUMS", dkSHA512},
      {"sha256sum --tag one.bin 'two words.bin'", "list.txt", dkSHA256},
      {"md5sum --tag one.bin 'two words.bin'", "x.md5", dkMD5},
      {"sha1sum one.bin 'two words.bin'", "list.txt", dkSHA1},
      {"b3sum one.bin 'two words.bin'", "B3SUMS", dkBLAKE3},
      {"rhash --sfv one.bin 'two words.bin'", "x.sfv", dkCRC32},
      {"openssl dgst -sha3-256 one.bin 'two words.bin'", "list.txt", dkSHA3_256},
      {"openssl dgst -sha512 one.bin 'two words.bin'", "list.txt", dkSHA512},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Command);
    const auto run = Sh("cd '" + (bqtest::ScratchDir() / "tools").string() + "' && " + c.Command);
    if (run.Status == 127) continue;  // the tool is missing
    ASSERT_EQ(run.Status, 0);
    const auto list = ParseChecksumText(run.Out, DigestKindFromSumFileName(c.SumName));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->Entries.size(), 2u);
    EXPECT_EQ(list->BadLines, 0u);
    EXPECT_EQ(list->Entries[0].Name, "one.bin");
    EXPECT_EQ(list->Entries[1].Name, "two words.bin");
    EXPECT_EQ(list->Entries[0].Kinds.front(), c.Kind);
    EXPECT_EQ(list->Entries[0].Value.size(), DigestSize(c.Kind) * 2);
  }
}

TEST(ChecksumText, EscapesDamageAndAmbiguity) {
  // GNU escapes; comments, blank lines and CR LF; a line of another format is counted as bad.
  auto list = ParseChecksumText(
      "# comment\r\n\\900150983cd24fb0d6963f7d28e17f72  a\\\\b\\nc\r\n\n"
      "900150983CD24FB0D6963F7D28E17F72 *star\nnot a checksum line\n12345  short\n",
      std::nullopt);
  ASSERT_TRUE(list);
  ASSERT_EQ(list->Entries.size(), 2u);
  EXPECT_EQ(list->Entries[0].Name, "a\\b\nc");
  EXPECT_EQ(list->Entries[1].Name, "star");
  EXPECT_EQ(list->Entries[1].Value, "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(list->Entries[1].Kinds, (std::vector<TDigestKind>{dkMD5, dkMD4, dkRipeMD128}));
  EXPECT_EQ(list->BadLines, 2u);
  // A bad escape, a BSD value of the wrong length, a name-less line: all bad.
  list = ParseChecksumText("\\900150983cd24fb0d6963f7d28e17f72  a\\qb\nMD5 (x) = 1234\n"
                           "900150983cd24fb0d6963f7d28e17f72  \n",
                           std::nullopt);
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->Entries.empty());
  EXPECT_EQ(list->BadLines, 3u);
  // Not text.
  EXPECT_FALSE(ParseChecksumText(std::string("abc\0def", 7), std::nullopt));
  // The name's hint decides between the digests of one length; a wrong length drops it.
  list = ParseChecksumText(std::string(64, 'a') + "  f\n" + std::string(40, 'b') + "  g\n", dkBLAKE3);
  ASSERT_EQ(list->Entries.size(), 2u);
  EXPECT_EQ(list->Entries[0].Kinds, std::vector<TDigestKind>{dkBLAKE3});
  EXPECT_EQ(list->Entries[1].Kinds, (std::vector<TDigestKind>{dkSHA1, dkRipeMD160}));
}

TEST(PastedValue, HexOfTheKnownLengthsOnly) {
  EXPECT_EQ(NormalizePastedHex("  0xDEADBEEF \n"), "deadbeef");
  EXPECT_EQ(NormalizePastedHex("9001 5098 3cd2 4fb0 d696 3f7d 28e1 7f72"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(NormalizePastedHex(std::string(128, 'F')), std::string(128, 'f'));
  EXPECT_FALSE(NormalizePastedHex("deadbee"));
  EXPECT_FALSE(NormalizePastedHex("deadbeefz"));
  EXPECT_FALSE(NormalizePastedHex(std::string(129, 'a')));
  EXPECT_FALSE(NormalizePastedHex("hello world"));
  EXPECT_FALSE(NormalizePastedHex(""));
  EXPECT_EQ(ChecksumLine("ABCDEF12", "x y.txt"), "abcdef12 *x y.txt");
}

// sha256sum and b3sum write files beside the data; the page reads them back.
TEST(HashListPage, CheckColumnFromChecksumFilesBeside) {
  const std::string dir = "beside";
  const std::string good = WriteFile(dir + "/good.iso", RandomBytes(70000, 3));
  const std::string bad = WriteFile(dir + "/bad.iso", RandomBytes(5000, 4));
  const std::string other = WriteFile(dir + "/other.iso", "other");
  const std::string cd = "cd '" + (bqtest::ScratchDir() / dir).string() + "' && ";
  ASSERT_EQ(Sh(cd + "sha256sum good.iso > good.iso.sha256 && sha256sum bad.iso | sed 's/^0/1/;t;s/^./0/' "
                     "> bad.iso.sha256 && md5sum --tag good.iso bad.iso > MD5SUMS && "
                     "printf 'not\\0text' > other.iso.md5 && rhash --sfv other.iso > all.sfv")
                .Status,
            0);
  if (bqtest::HaveTool("b3sum")) Sh(cd + "b3sum good.iso > B3SUMS");
  const auto r = FillList({good, bad, other});
  std::map<std::string, std::string> check;  // "file group" -> text
  for (const auto& row : r.Rows) check[row.Cells()[0] + " " + std::to_string(row.Group())] = row.Cells().size() > 2 ? std::string(row.Cells()[2]) : "";
  EXPECT_EQ(check["good.iso 9"], "matches good.iso.sha256");
  EXPECT_EQ(check["good.iso 3"], "matches MD5SUMS");
  if (bqtest::HaveTool("b3sum")) {
    EXPECT_EQ(check["good.iso 12"], "matches B3SUMS");
  }
  EXPECT_EQ(check["good.iso 1"], "");
  EXPECT_EQ(check["bad.iso 3"], "matches MD5SUMS");
  EXPECT_EQ(check["bad.iso 9"].rfind("DIFFERS from bad.iso.sha256, expected ", 0), 0u) << check["bad.iso 9"];
  EXPECT_EQ(check["bad.iso 11"], "");  // a 64-digit value differs only on the SHA-256 row
  EXPECT_EQ(check["other.iso 1"], "matches all.sfv");
  EXPECT_EQ(check["other.iso 3"], "");  // other.iso.md5 is not text

  // Candidates: the file's own first, then the folder's lists; never the file itself.
  const auto candidates = SumFileCandidates(good);
  ASSERT_GE(candidates.size(), 3u);
  EXPECT_EQ(FileNameOnly(candidates[0]), "good.iso.sha256");
}

// bqlite --check prints what sha256sum -c / md5sum -c print and exits as they do.
TEST(BqliteCheck, AgreesWithCoreutils) {
  const std::string dir = "check";
  WriteFile(dir + "/a.bin", RandomBytes(100000, 5));
  WriteFile(dir + "/b c.bin", "b");
  WriteFile(dir + "/back\\slash", "slash");
  WriteFile(dir + "/sub/d.bin", "d");
  const std::string cd = "cd '" + (bqtest::ScratchDir() / dir).string() + "' && ";
  ASSERT_EQ(Sh(cd + "sha256sum a.bin 'b c.bin' 'back\\slash' sub/d.bin > good.sha256 && "
                     "sed '2{s/^0/1/;t;s/^./0/}' good.sha256 > bad.sha256 && "
                     "echo '0000000000000000000000000000000000000000000000000000000000000000  gone.bin' >> bad.sha256 && "
                     "md5sum --tag a.bin 'b c.bin' > bsd.md5 && rhash --sfv a.bin 'b c.bin' > list.sfv && "
                     "md5sum a.bin > plain.md5 && echo 'junk' >> plain.md5")
                .Status,
            0);
  struct TCase {
    const char* SumFile;
    const char* Oracle;  // empty: the expected lines are given
    const char* Expected;
    int Status;
  } cases[] = {
      {"good.sha256", "sha256sum -c", nullptr, 0},
      {"bad.sha256", "sha256sum -c", nullptr, 1},
      {"bsd.md5", "md5sum -c", nullptr, 0},
      {"plain.md5", "md5sum -c", nullptr, 0},
      {"list.sfv", nullptr, "a.bin: OK\nb c.bin: OK\n", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.SumFile);
    const auto ours = Sh(cd + "'" BQLITE_PATH "' --check " + c.SumFile);
    EXPECT_EQ(ours.Status, c.Status) << ours.Err;
    if (c.Oracle) {
      const auto theirs = Sh(cd + c.Oracle + " " + c.SumFile);
      EXPECT_EQ(ours.Out, theirs.Out);
      EXPECT_EQ(ours.Status, theirs.Status);
    } else {
      EXPECT_EQ(ours.Out, c.Expected);
    }
  }
  auto bad = Sh(cd + "'" BQLITE_PATH "' --check bad.sha256");
  EXPECT_NE(bad.Err.find("WARNING: 1 computed checksum did NOT match"), std::string::npos) << bad.Err;
  EXPECT_NE(bad.Err.find("WARNING: 1 listed file could not be read"), std::string::npos) << bad.Err;
  EXPECT_NE(bad.Out.find("gone.bin: FAILED open or read\n"), std::string::npos);
  // Run from elsewhere: names are relative to the checksum file's folder.
  const auto away = Sh("'" BQLITE_PATH "' --check '" + (bqtest::ScratchDir() / dir / "good.sha256").string() + "'");
  EXPECT_EQ(away.Status, 0) << away.Out << away.Err;
  // Nothing to check.
  WriteFile(dir + "/empty.sha256", "\n# nothing\n");
  EXPECT_EQ(Sh(cd + "'" BQLITE_PATH "' --check empty.sha256").Status, 1);

  // --sums writes what sha256sum writes, and sha256sum -c reads it back.
  const auto sums = Sh(cd + "'" BQLITE_PATH "' --sums sha256 a.bin 'b c.bin' 'back\\slash'");
  EXPECT_EQ(sums.Out, Sh(cd + "sha256sum a.bin 'b c.bin' 'back\\slash'").Out);
  EXPECT_EQ(Sh(cd + "'" BQLITE_PATH "' --sums blake3 a.bin > mine.b3 && b3sum -c mine.b3").Status, 0);
  EXPECT_EQ(Sh(cd + "'" BQLITE_PATH "' --sums sha3-256 a.bin gone.bin").Status, 1);
  EXPECT_EQ(Sh(cd + "'" BQLITE_PATH "' --sums sha7 a.bin").Status, 2);
}

}  // namespace
