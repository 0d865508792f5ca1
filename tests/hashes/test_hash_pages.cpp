#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <random>

#include "common/bqTestFiles.h"
#include "hashes/bqViewHashes.h"
#include "hashes/zoxChkHashes.h"
#include "platform/bqText.h"

using namespace bq;
using bqtest::WriteFile;

namespace {

TPageRecord Fill(void (*fill)(const TPageContext&, TPageView&), std::vector<std::string> files, bool stop = false) {
  auto selection = std::make_shared<TSelection>();
  selection->SelectedFiles = std::move(files);
  selection->SelectedTypes.resize(selection->SelectedFiles.size());
  TPageRecorder view;
  if (stop) view.RequestStop();
  fill(TPageContext{selection, nullptr}, view);
  return view.Record();
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

std::string Field(const TPageRecord& r, int id) {
  for (const auto& f : r.Fields)
    if (f.Id == id) return f.Text;
  return "<missing>";
}

TEST(HashesPage, OneFileSeveralFilesAndUnreadableOnes) {
  const std::string empty = WriteFile("empty.dat", "");
  auto r = Fill(FillHashesPage, {empty});
  EXPECT_EQ(Field(r, idCRC32Edit), "00000000");
  EXPECT_EQ(Field(r, idMD5Edit), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Field(r, idSHA1Edit), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  ASSERT_EQ(r.Fields.size(), 4u);
  EXPECT_EQ(Field(r, idCheckEdit), "");
  EXPECT_EQ(r.Progress, 100);
  EXPECT_EQ(r.Fields[0].Label, "CRC 32:");

  const std::string abc = WriteFile("abc.txt", "abc");
  const std::string abc2 = WriteFile("copy/abc.txt", "abc");
  r = Fill(FillHashesPage, {abc, abc2});
  EXPECT_EQ(Field(r, idCRC32Edit), "352441C2");  // upper-case CRC
  EXPECT_EQ(Field(r, idMD5Edit), "900150983cd24fb0d6963f7d28e17f72");  // lower-case digests
  EXPECT_EQ(Field(r, idSHA1Edit), "a9993e364706816aba3e25717850c26c9cd0d89d");

  const std::string missing = (bqtest::ScratchDir() / "missing.bin").string();
  r = Fill(FillHashesPage, {abc, missing, empty, abc2});
  EXPECT_EQ(Field(r, idCRC32Edit), "352441C2,00000000");
  EXPECT_EQ(Field(r, idMD5Edit), "900150983cd24fb0d6963f7d28e17f72,d41d8cd98f00b204e9800998ecf8427e");

  r = Fill(FillHashesPage, {missing});
  EXPECT_EQ(Field(r, idCRC32Edit), "");
  EXPECT_EQ(Field(r, idSHA1Edit), "");
}

// The first page checks its three values against the files beside, and a stop leaves the
// boxes at "Computing..." without reading on.
TEST(HashesPage, ChecksumFilesBesideAndStop) {
  const std::string data = WriteFile("first/data.bin", RandomBytes(300000, 9));
  ASSERT_TRUE(bqtest::Shell("cd first && sha1sum data.bin > data.bin.sha1 && md5sum data.bin | sed 's/^0/1/;t;s/^./0/' "
                            "> MD5SUMS && cp data.bin other.bin"));
  auto r = Fill(FillHashesPage, {data});
  EXPECT_EQ(Field(r, idCheckEdit).rfind("MD5 DIFFERS from MD5SUMS, expected ", 0), 0u) << Field(r, idCheckEdit);
  EXPECT_NE(Field(r, idCheckEdit).find("; SHA1 matches data.bin.sha1"), std::string::npos) << Field(r, idCheckEdit);
  r = Fill(FillHashesPage, {data, (bqtest::ScratchDir() / "first/other.bin").string()});
  EXPECT_EQ(Field(r, idCheckEdit).rfind("data.bin: MD5 DIFFERS", 0), 0u) << Field(r, idCheckEdit);
  EXPECT_EQ(Field(r, idMD5Edit).find(','), std::string::npos);  // identical files: one value

  r = Fill(FillHashesPage, {data}, /*stop=*/true);
  EXPECT_EQ(Field(r, idMD5Edit), "Computing\u2026");
  EXPECT_EQ(Field(r, idCheckEdit), "");
}

TEST(HashListPage, GroupsRowsAndPositions) {
  const std::string a = WriteFile("dir.d/first.bin", RandomBytes(5000, 1));
  const std::string b = WriteFile("second.bin", "abc");
  const std::string missing = (bqtest::ScratchDir() / "nope.bin").string();
  const auto r = Fill(FillHashListPage, {a, missing, b});

  ASSERT_EQ(r.Columns.size(), 3u);
  EXPECT_EQ(r.Columns[0].Title, "Filename");
  EXPECT_EQ(r.Columns[0].Width, 128);
  EXPECT_EQ(r.Columns[1].Title, "Hash Value");
  EXPECT_EQ(r.Columns[1].Width, 193);
  EXPECT_EQ(r.Columns[2].Title, "Check");
  EXPECT_TRUE(r.GroupView);
  ASSERT_EQ(r.Groups.size(), 12u);
  EXPECT_EQ(r.Groups[0].Header, "CRC-32: Cyclic redundancy check, 32 bit");
  EXPECT_EQ(r.Groups[3].Header, "SHA1: US Secure Hash Algorithm 1");
  EXPECT_EQ(r.Groups[7].Header, "RipeMD-320: RACE Integrity Primitives Evaluation MD");
  EXPECT_EQ(r.Groups[8].Header, "SHA-256: Secure Hash Algorithm 2, 256 bit");
  EXPECT_EQ(r.Groups[9].Header, "SHA-512: Secure Hash Algorithm 2, 512 bit");
  EXPECT_EQ(r.Groups[10].Header, "SHA3-256: Secure Hash Algorithm 3, 256 bit");
  EXPECT_EQ(r.Groups[11].Header, "BLAKE3: BLAKE3 hash, 256 bit");

  // The unreadable file gets no rows; the third file's still come, after the first file's.
  ASSERT_EQ(r.Rows.size(), 24u);
  const size_t lengths[12] = {8, 32, 32, 40, 32, 40, 64, 80, 64, 128, 64, 64};
  for (int k = 0; k < 12; ++k) {
    EXPECT_EQ(r.Rows[k].Cells()[0], "first.bin");
    EXPECT_EQ(r.Rows[12 + k].Cells()[0], "second.bin");
    EXPECT_EQ(r.Rows[k].Group(), k + 1);
    EXPECT_EQ(r.Rows[12 + k].Group(), k + 1);
    EXPECT_EQ(r.Rows[k].Cells()[1].size(), lengths[k]);
    EXPECT_EQ(r.Rows[k].Cells()[1], UpperAscii(r.Rows[k].Cells()[1]));
  }
  EXPECT_EQ(r.Rows[12].Cells()[1], "352441C2");
  EXPECT_EQ(r.Rows[13].Cells()[1], "A448017AAF21D8525FC10AE87AA6729D");  // MD4("abc")
  EXPECT_EQ(r.Rows[17].Cells()[1], "8EB208F7E05D987A9B044A8E98C6B087F15A0BFC");  // RIPEMD-160("abc")
  EXPECT_EQ(r.Rows[20].Cells()[1], "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
  EXPECT_EQ(r.Progress, 100);

  EXPECT_TRUE(Fill(FillHashListPage, {a, b}, /*stop=*/true).Rows.empty());
}

// The values agree with rhash, an independent implementation, on a file of several read blocks.
TEST(HashListPage, AgreesWithRhash) {
  if (!bqtest::HaveTool("rhash")) GTEST_SKIP() << "rhash missing";
  const std::string name = WriteFile("blocks.bin", RandomBytes(3 * 1024 * 1024 + 77, 7));
  const std::string cmd = "rhash --printf '%C %{md4} %{md5} %{sha1} %{ripemd160}' '" + name + "'";
  std::FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::array<char, 512> buf{};
  const size_t n = std::fread(buf.data(), 1, buf.size() - 1, p);
  pclose(p);
  const std::string expected = UpperAscii(std::string(buf.data(), n));
  const auto r = Fill(FillHashListPage, {name});
  ASSERT_EQ(r.Rows.size(), 12u);
  const std::string got = r.Rows[0].Cells()[1] + " " + r.Rows[1].Cells()[1] + " " + r.Rows[2].Cells()[1] + " " +
                          r.Rows[3].Cells()[1] + " " + r.Rows[5].Cells()[1];
  EXPECT_EQ(got, expected);
}

TEST(ChecksumGenerator, BufferIsWholeClusters) {
  EXPECT_EQ(TChecksumGenerator::BufferSize(0) % 8192, 0u);
  EXPECT_EQ(TChecksumGenerator::BufferSize(4096) % 4096, 0u);
  EXPECT_EQ(TChecksumGenerator::BufferSize(3000) % 3000, 0u);
  EXPECT_EQ(TChecksumGenerator::BufferSize(2u << 20), 2u << 20);
}

TEST(LaunchCommand, ProgramPathFromEveryValueType) {
  EXPECT_EQ(ProgramPathOf("\"C:\\Program Files\\Brisquel\\bq.exe\" \"%1\""), "C:\\Program Files\\Brisquel\\bq.exe");
  EXPECT_EQ(ProgramPathOf("C:\\Tools\\bq.exe %1"), "C:\\Tools\\bq.exe");
  EXPECT_EQ(ProgramPathOf("\"C:\\unterminated path"), "C:\\unterminated path");
  EXPECT_EQ(ProgramPathOf("bq.exe"), "bq.exe");

  const char* key = "\\*\\shell\\brisquel\\command";
  TMemoryRegistry reg;
  EXPECT_EQ(LaunchProgramPath(reg), std::nullopt);
  reg.SetValue(TRegRoot::rrClassesRoot, key, "", TRegValue::String("%ProgramFiles%\\bq.exe \"%1\"", kRegExpandSz));
  EXPECT_EQ(LaunchProgramPath(reg), "%ProgramFiles%\\bq.exe");  // expanded by the front end
  EXPECT_TRUE(LaunchCommandExpands(reg));
  reg.SetValue(TRegRoot::rrClassesRoot, key, "", TRegValue::MultiString({"\"C:\\A B\\bq.exe\"", "\"%1\""}));
  EXPECT_EQ(ReadLaunchCommand(reg), "\"C:\\A B\\bq.exe\" \"%1\"");
  EXPECT_EQ(LaunchProgramPath(reg), "C:\\A B\\bq.exe");
  reg.SetValue(TRegRoot::rrClassesRoot, key, "", TRegValue::Dword(1));
  EXPECT_EQ(LaunchProgramPath(reg), std::nullopt);
  reg.SetValue(TRegRoot::rrClassesRoot, key, "", TRegValue::String(""));
  EXPECT_EQ(LaunchProgramPath(reg), std::nullopt);
}

}  // namespace
