// The bzip2 and gzip streams against bzip2 and gzip, the tar reader against bsdtar and 7z on
// archives made at test time by GNU tar and bsdtar (tests/archive/make_fixtures.py --tar).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "archive/bqBZip2.h"
#include "archive/bqGZip.h"
#include "archive/bqViewArchive.h"
#include "archive/quArchiveSimple.h"
#include "archive/quDate.h"
#include "archive/zoxCompression.h"
#include "archive/zoxFFTarSimple.h"
#include "common/bqTestFiles.h"
#include "bqArchiveTests.h"

using namespace bq;
using namespace bqarchive;
namespace fs = std::filesystem;

namespace {

const std::string& FixtureDir() {
  static const std::string dir = MakeFixtures("make_fixtures.py", "fixtures-tar", " --tar");
  return dir;
}

std::string Fixture(const std::string& name) { return FixtureDir() + "/" + name; }

// The output of a shell command on a scratch file holding input.
std::string Pipe(const std::string& command, const std::string& input) {
  static int n = 0;
  const std::string in = bqtest::WriteFile("pipe" + std::to_string(++n) + ".in", input);
  const std::string out = in + ".out";
  EXPECT_EQ(std::system(("(" + command + ") < '" + in + "' > '" + out + "'").c_str()), 0) << command;
  return ReadAll(out);
}

// Everything a stream gives, read in pieces of the given size.
std::string Drain(TDecodedStream& stream, size_t piece = 7777) {
  std::string out;
  std::vector<uint8_t> buffer(piece);
  for (size_t n; (n = stream.Read(buffer.data(), buffer.size())) > 0;) out.append(reinterpret_cast<char*>(buffer.data()), n);
  return out;
}

std::string BZip2Decode(const std::string& compressed, std::string* error = nullptr, size_t piece = 7777) {
  TArchiveMemorySource source(TByteView{std::string_view(compressed)});
  TBZip2Stream stream(source);
  std::string out = Drain(stream, piece);
  if (error) *error = stream.Error();
  else EXPECT_EQ(stream.Error(), "");
  EXPECT_EQ(stream.Position(), out.size());
  return out;
}

std::string Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

// Runs of every length from 1 to 600 bytes: the run-length bytes of bzip2's first stage at
// each count, and long RUNA/RUNB runs in the second.
std::string Runs() {
  std::string s;
  for (int n = 1; n <= 600; ++n) s.append(static_cast<size_t>(n), static_cast<char>('a' + n % 3));
  return s + std::string(1000000, 'z');
}

// MSB-first bits, for blocks no tool writes.
struct TBitWriter {
  std::string Out;
  uint32_t Acc = 0;
  int Count = 0;
  void Put(uint32_t v, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      Acc = Acc << 1 | ((v >> i) & 1);
      if (++Count == 8) {
        Out.push_back(static_cast<char>(Acc));
        Acc = 0;
        Count = 0;
      }
    }
  }
  std::string Done() { return Count ? Out + static_cast<char>(Acc << (8 - Count)) : Out; }
};

// One block of the single byte 'A' (a RUNA), with the given faults.
struct TBlockFaults {
  int Groups = 2;
  int Selector = 0;     // unary length of the selector
  int FirstLength = 1;  // start of the code lengths
  bool OverFull = false;
  uint32_t OrigPtr = 0;
};
std::string CraftedBlock(const TBlockFaults& f) {
  TBitWriter w;
  w.Put(0x425A6831, 32);  // "BZh1"
  w.Put(0x314159, 24);
  w.Put(0x265359, 24);
  w.Put(0, 32);  // block CRC (wrong on purpose: all else right, this is what stops it)
  w.Put(0, 1);
  w.Put(f.OrigPtr, 24);
  w.Put(0x0800, 16);  // range 0x40..0x4F
  w.Put(0x4000, 16);  // 'A'
  w.Put(static_cast<uint32_t>(f.Groups), 3);
  w.Put(1, 15);
  for (int i = 0; i < f.Selector; ++i) w.Put(1, 1);
  w.Put(0, 1);
  for (int t = 0; t < f.Groups; ++t) {
    // Three symbols (RUNA, RUNB, end): lengths 1, 2, 2, or 1, 1, 1 for an over-full table.
    w.Put(static_cast<uint32_t>(f.FirstLength), 5);
    w.Put(0, 1);
    if (!f.OverFull) w.Put(2, 2);  // 10: one longer
    w.Put(0, 1);
    w.Put(0, 1);
  }
  w.Put(0, 1);  // RUNA: 'A' once
  w.Put(3, 2);  // end of block
  return w.Done();
}

}  // namespace

TEST(BZip2Stream, MatchesBzip2ByteForByte) {
  const std::string text = [] {
    std::string s;
    for (int i = 0; s.size() < 1500000; ++i) s += "line " + std::to_string(i * 7919 % 100003) + " of the text\n";
    return s;
  }();
  const std::vector<std::pair<std::string, std::string>> cases{
      {"random", Random(1200000, 1)}, {"text", text}, {"runs", Runs()}, {"empty", ""}, {"one byte", "x"}};
  for (const auto& [name, data] : cases)
    for (const char* level : {"-1", "-9"}) {
      SCOPED_TRACE(name + " " + level);
      const std::string compressed = Pipe(std::string("bzip2 -c ") + level, data);
      const std::string theirs = Pipe("bzip2 -dc", compressed);
      ASSERT_EQ(theirs.size(), data.size());
      const std::string ours = BZip2Decode(compressed);
      EXPECT_TRUE(ours == theirs) << ours.size() << " bytes";
      EXPECT_TRUE(BZip2Decode(compressed, nullptr, data.size() < 100000 ? 1 : 13) == theirs);  // in small pieces
    }
  // Streams in a row are one output, as bzip2 -d reads them; what follows the last is ignored.
  const std::string a = Pipe("bzip2 -c", "first stream\n"), b = Pipe("bzip2 -c -1", text.substr(0, 200000));
  const std::string joined = a + b + a;
  EXPECT_TRUE(BZip2Decode(joined) == Pipe("bzip2 -dc", joined));
  EXPECT_EQ(BZip2Decode(a + "trailing bytes"), "first stream\n");
}

TEST(BZip2Stream, DamageIsACleanError) {
  std::string error;
  // A block no tool writes, with one fault at a time; without faults only its CRC is wrong.
  const std::vector<std::pair<TBlockFaults, std::string>> faults{
      {{}, "block CRC mismatch"},
      {{7}, "bad Huffman table count"},
      {{2, 2}, "bad selector"},
      {{2, 0, 0}, "bad Huffman code length"},
      {{2, 0, 1, true}, "bad Huffman table"},
      {{2, 0, 1, false, 5}, "origin pointer outside of the block"},
  };
  for (const auto& [f, message] : faults) {
    BZip2Decode(CraftedBlock(f), &error);
    EXPECT_EQ(error, "bzip2: " + message);
    EXPECT_FALSE(Pipe("bzip2 -dc 2>/dev/null; true", CraftedBlock(f)) == "A") << message;  // bzip2 refuses it too
  }
  const std::string good = Pipe("bzip2 -c", Random(300000, 2) + std::string(300000, 'q'));
  // Cut anywhere: what was decoded, then an error.
  for (size_t cut : {size_t{3}, size_t{20}, good.size() / 2, good.size() - 3}) {
    BZip2Decode(good.substr(0, cut), &error);
    EXPECT_NE(error, "") << cut;
  }
  // A flipped byte is caught (by the code, or by the CRCs) and never crashes.
  for (size_t at = 4; at < good.size(); at += good.size() / 97) {
    std::string bad = good;
    bad[at] = static_cast<char>(bad[at] ^ 0x24);
    const std::string out = BZip2Decode(bad, &error);
    EXPECT_NE(error, "") << at;
    EXPECT_LE(out.size(), 100000000u);
  }
  EXPECT_FALSE(BZip2Decode("BZh0", &error).size());
  EXPECT_EQ(error, "bzip2: bad block size in the stream header");
}

TEST(BZip2Stream, NsisBareBlocksDecodeToTheInstallerData) {
  // An installer whose solid data is one bzip2 stream without its "BZh": the header's length,
  // the header, then each file's length and bytes; it ends at the 0x17 marker.
  const std::string payload = "payload " + Random(5000, 3) + std::string(3000, 'r');
  bqtest::WriteFile("nsisbz/data.bin", payload);
  bqtest::WriteFile("nsisbz/s.nsi", "SetCompressor /SOLID bzip2\nOutFile s.exe\nRequestExecutionLevel user\n"
                                   "Section\nSetOutPath $INSTDIR\nFile data.bin\nSectionEnd\n");
  ASSERT_TRUE(bqtest::Shell("cd nsisbz && makensis -V1 s.nsi"));
  const std::string exe = ReadAll((bqtest::ScratchDir() / "nsisbz/s.exe").string());
  const size_t first = exe.find("\xEF\xBE\xAD\xDE" "NullsoftInst") - 4;
  const TByteView input(exe);
  std::vector<uint8_t> out;
  TMultiDecoder d;
  d.Method = TCompressionMethod::cmBZip2;
  d.Input = &input;
  d.InputPosition = first + 28;
  d.Output = &out;
  d.Size = 1 << 24;
  d.Decode();  // no exception: the end marker was met
  const std::string all(out.begin(), out.end());
  EXPECT_NE(all.find(payload), std::string::npos);
  EXPECT_LE(d.InputPosition, exe.size());
  EXPECT_GT(d.InputPosition, exe.size() - 64);  // the installer's CRC at most follows
}

TEST(GZipStream, MatchesGzipAcrossMembers) {
  const std::string a = Random(400000, 4), b = std::string(1 << 20, 'b') + "tail";
  const std::string joined = Pipe("gzip -c", a) + Pipe("gzip -c -1", b);
  TArchiveMemorySource source(TByteView{std::string_view(joined)});
  TGZipStream stream(source);
  EXPECT_TRUE(Drain(stream) == Pipe("gzip -dc", joined));
  EXPECT_EQ(stream.Error(), "");
  const std::string cut = joined.substr(0, joined.size() - 100);
  TArchiveMemorySource cutSource(TByteView{std::string_view(cut)});
  TGZipStream cutStream(cutSource);
  EXPECT_LT(Drain(cutStream).size(), a.size() + b.size());
  EXPECT_NE(cutStream.Error(), "");
}

TEST(TarReader, AgreesWithBsdtarAnd7z) {
  for (const char* format : {"ustar", "gnu", "pax", "oldgnu", "v7", "bsd-pax", "bsd-ustar"})
    for (const char* suffix : {".tar", ".tar.gz", ".tar.bz2"}) {
      const std::string file = Fixture(std::string(format) + suffix);
      ExpectAgrees("tar-bsdtar", file);
      ExpectAgrees("tar-7z", file);
    }
  ExpectAgrees("tar-7z", Fixture("pax.tgz"));
  ExpectAgrees("tar-bsdtar", Fixture("gnu.tbz2"));
  TAnyArchive any;
  ASSERT_TRUE(any.Open(Fixture("gnu.tar.gz")));
  const auto& tar = static_cast<const TSimpleTar&>(*any.Archive);
  EXPECT_EQ(tar.Container, "gzip");
  EXPECT_TRUE(tar.IsTar);
  EXPECT_FALSE(tar.HasCRC);
  for (const auto& e : tar.Files) EXPECT_FALSE(e.SizePacked) << e.Filename;  // tar records no packed size
}

TEST(TarReader, ALoneCompressedFileIsOneRow) {
  ExpectAgrees("gz-7z", Fixture("notes.txt.gz"));  // FNAME, MTIME, ISIZE
  ExpectAgrees("gz-7z", Fixture("nameless.gz"));   // no FNAME: the file's name less ".gz"
  TAnyArchive any;
  ASSERT_TRUE(any.Open(Fixture("notes.txt.bz2")));
  ASSERT_EQ(any.Archive->Files.Count(), 1u);
  const TArchivedFile& bz = any.Archive->Files[0];
  EXPECT_EQ(bz.Filename, "notes.txt");
  EXPECT_FALSE(bz.SizeUnpacked);  // bzip2 records neither size nor time
  EXPECT_FALSE(bz.Timestamp);
  EXPECT_EQ(bz.SizePacked, static_cast<int64_t>(fs::file_size(Fixture("notes.txt.bz2"))));
  // An ISIZE deflate cannot have made from these bytes (a size beyond 4 GiB, or trailing
  // padding) stays empty; a .tgz that holds no tar unpacks to ".tar".
  std::string gz = ReadAll(Fixture("nameless.gz"));
  gz.replace(gz.size() - 4, 4, std::string("\x01\x00\x00\x00", 4));
  ASSERT_TRUE(any.Open(bqtest::WriteFile("odd.tgz", gz)));
  EXPECT_EQ(any.Archive->Files[0].Filename, "odd.tar");
  EXPECT_FALSE(any.Archive->Files[0].SizeUnpacked);
  // By signature under any name.
  ASSERT_TRUE(any.Open(bqtest::WriteFile("archive.dat", ReadAll(Fixture("pax.tar.bz2")))));
  EXPECT_EQ(any.Archive->Files.Count(), Oracle("tar-bsdtar", Fixture("pax.tar")).size());
  // An empty tar in gzip is a tar with no entries.
  ASSERT_TRUE(any.Open(bqtest::WriteFile("empty.tar.gz", Pipe("gzip -c", std::string(10240, '\0')))));
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
  EXPECT_TRUE(static_cast<const TSimpleTar&>(*any.Archive).IsTar);
}

TEST(TarReader, PaxGlobalTimesApplyAsGnuTarReadsThem) {
  // A global header's mtime holds for the entries after it unless their own pax header says
  // otherwise (GNU tar honours it; bsdtar and 7z ignore global headers).
  const std::string script =
      "import tarfile, io\n"
      "t = tarfile.open('g.tar', 'w', format=tarfile.PAX_FORMAT, pax_headers={'mtime': '1000000000'})\n"
      "i = tarfile.TarInfo('a.txt'); i.size = 3; i.mtime = 1500000000; t.addfile(i, io.BytesIO(b'abc'))\n"
      "i = tarfile.TarInfo('b.txt'); i.pax_headers = {'mtime': '1300000000.5'}; t.addfile(i)\n"
      "t.close()\n";
  bqtest::WriteFile("g.py", script);
  ASSERT_TRUE(bqtest::Shell("python3 g.py"));
  const std::string file = (bqtest::ScratchDir() / "g.tar").string();
  const std::string gnu = Pipe("tar --full-time -tvf '" + file + "' | awk '{print $4 \" \" substr($5, 1, 5)}'", "");
  TAnyArchive any;
  ASSERT_TRUE(any.Open(file));
  ASSERT_EQ(any.Archive->Files.Count(), 2u);
  EXPECT_EQ(DateText(any.Archive->Files[0].Timestamp) + "\n" + DateText(any.Archive->Files[1].Timestamp) + "\n", gnu);
}

TEST(TarReader, DamageShowsTheRowsBeforeIt) {
  const std::string tar = ReadAll(Fixture("ustar.tar"));
  const auto all = Oracle("tar-bsdtar", Fixture("ustar.tar"));
  TAnyArchive any;
  // Cut in the data of dir/a.txt (240 bytes): the rows up to it, and why it stopped.
  const size_t a = tar.find("alpha\n");
  ASSERT_TRUE(any.Open(bqtest::WriteFile("cut.tar", tar.substr(0, a + 100))));
  EXPECT_EQ(any.Archive->Files[any.Archive->Files.Count() - 1].Filename, "./dir/a.txt");
  EXPECT_NE(any.Archive->Error.find("truncated"), std::string::npos) << any.Archive->Error;
  // A header with a bad checksum ends the listing before it.
  std::string bad = tar;
  bad[a + 512 + 10] ^= 1;  // inside the header after dir/a.txt's data block
  ASSERT_TRUE(any.Open(bqtest::WriteFile("bad.tar", bad)));
  EXPECT_LT(any.Archive->Files.Count(), all.size());
  EXPECT_EQ(any.Archive->Files[any.Archive->Files.Count() - 1].Filename, "./dir/a.txt");
  EXPECT_NE(any.Archive->Error.find("checksum"), std::string::npos) << any.Archive->Error;
  // The same through gzip, and a bzip2 stream damaged in its Huffman tables.
  ASSERT_TRUE(any.Open(bqtest::WriteFile("bad.tar.gz", Pipe("gzip -c", bad))));
  EXPECT_NE(any.Archive->Error.find("checksum"), std::string::npos) << any.Archive->Error;
  std::string bz = ReadAll(Fixture("ustar.tar.bz2"));
  bz[30] = static_cast<char>(bz[30] ^ 0xFF);
  ASSERT_TRUE(any.Open(bqtest::WriteFile("bad.tar.bz2", bz)));
  EXPECT_NE(any.Archive->Error.find("bzip2"), std::string::npos) << any.Archive->Error;
  // Pax sizes that lie: one far too large (the entry shows it, then the data runs out), one too
  // small (the next header is found in the data: its checksum fails).
  bqtest::WriteFile("lie.py",
                    "import tarfile, io\n"
                    "t = tarfile.open('lie.tar', 'w', format=tarfile.PAX_FORMAT)\n"
                    "for n in ('a.txt', 'b.txt', 'c.txt'):\n"
                    "    i = tarfile.TarInfo(n); i.size = 600; i.pax_headers = {'size': '000000000600'}\n"
                    "    t.addfile(i, io.BytesIO(b'z' * 600))\n"
                    "t.close()\n");
  ASSERT_TRUE(bqtest::Shell("python3 lie.py"));
  const std::string pax = ReadAll((bqtest::ScratchDir() / "lie.tar").string());
  for (const char* size : {"999999999999", "000000000001"}) {
    std::string lie = pax;
    const size_t at = lie.find("size=000000000600", lie.find("size=000000000600") + 1);  // b.txt's
    ASSERT_NE(at, std::string::npos);
    lie.replace(at + 5, 12, size);
    // The checksum covers the ustar header only: the pax data can say anything.
    ASSERT_TRUE(any.Open(bqtest::WriteFile("lie.tar", lie)));
    ASSERT_EQ(any.Archive->Files.Count(), 2u) << size;
    EXPECT_EQ(any.Archive->Files[1].SizeUnpackedAsString(), std::to_string(std::stoull(size))) << size;
    EXPECT_NE(any.Archive->Error, "") << size;
  }
  // Not a tar at all, by name: no rows, no error row (the signature did not match).
  EXPECT_FALSE(any.Open(bqtest::WriteFile("text.tar", std::string(2000, 't'))));
  ASSERT_TRUE(any.Archive);
  EXPECT_FALSE(any.Recognised);
  EXPECT_EQ(any.Archive->Files.Count(), 0u);
}

TEST(TarReader, ArchivePageOfATarGz) {
  const TPageRecord r = FillArchivePageOf({Fixture("gnu.tar.gz")});
  std::vector<std::string> titles;
  for (const auto& c : r.Columns) titles.push_back(c.Title);
  EXPECT_EQ(titles, (std::vector<std::string>{"Filename", "Packed", "Unpacked", "Date/Time"}));
  ASSERT_EQ(r.Rows.size(), Oracle("tar-bsdtar", Fixture("gnu.tar")).size());
  for (const auto& row : r.Rows) EXPECT_EQ(row.Cells()[1], "") << row.Cells()[0];
  EXPECT_EQ(r.Rows[0].Cells()[0], "./");
}
