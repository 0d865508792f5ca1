#include <gtest/gtest.h>

#include <fstream>

#include "common/bqTestFiles.h"
#include "shell/quStringCompare.h"
#include "shell/zoxFFIdentifier.h"

using namespace bq;
using bqtest::WriteFile;

namespace {

TFileIdentifyTypes ContentTypes(const std::string& bytes) {
  TFileIdentifyTypes t;
  IdentifyHead(bytes, t);
  return t;
}

std::string Binary(size_t size, char fill = '\x01') { return std::string(size, fill); }

std::string At(size_t offset, const std::string& what, size_t total, char fill = '\x01') {
  std::string s = Binary(total, fill);
  s.replace(offset, what.size(), what);
  return s;
}

TEST(Identify, SignaturesAtStart) {
  EXPECT_TRUE(ContentTypes("MZ\x90" + Binary(100)).Contains(fitMZ));
  EXPECT_TRUE(ContentTypes("PK\x03\x04" + Binary(100)).Contains(fitZIP));
  EXPECT_FALSE(ContentTypes(At(1, "PK", 100)).Contains(fitZIP));
  // At-start types are found only at offset 0, even when the signature occurs later as well.
  EXPECT_FALSE(ContentTypes(At(5, "MZ", 10000)).Contains(fitMZ));

  const auto jpeg = ContentTypes(std::string("\xFF\xD8\xFF\xE0", 4) + Binary(50));
  EXPECT_TRUE(jpeg.Contains(fitPicture));
  EXPECT_TRUE(jpeg.Contains(fitJPEG));

  std::string elf32 = std::string("\x7F" "ELF\x01\x01\x01", 7) + std::string(9, '\0') + Binary(64);
  std::string elf64 = elf32;
  elf64[4] = '\x02';
  EXPECT_TRUE(ContentTypes(elf32).Contains(fitELF));
  EXPECT_FALSE(ContentTypes(elf64).Contains(fitELF));

  EXPECT_TRUE(ContentTypes(std::string("MSCF\0\0\0\0", 8) + Binary(40)).Contains(fitCabinet));
  EXPECT_FALSE(ContentTypes(std::string("MSCF\0\0\0\1", 8) + Binary(40)).Contains(fitCabinet));
}

TEST(Identify, SignaturesNearStart) {
  EXPECT_TRUE(ContentTypes(At(1023, "<?xml", 5000)).Contains(fitXML));
  EXPECT_FALSE(ContentTypes(At(1024, "<?xml", 5000)).Contains(fitXML));
  // An occurrence that spans the first two 4 KiB blocks is still seen.
  const std::string nsis = std::string("\xEF\xBE\xAD\xDE", 4) + "NullsoftInst";
  EXPECT_TRUE(ContentTypes(At(300000, nsis, 600000)).Contains(fitNSIS));
  EXPECT_TRUE(ContentTypes(At(4090, nsis, 600000)).Contains(fitNSIS));
  EXPECT_FALSE(ContentTypes(At(524290, nsis, 600000)).Contains(fitNSIS));
  // Only the first 512 KiB count: a signature straddling that border is not seen.
  EXPECT_FALSE(ContentTypes(At(524288 - 8, nsis, 600000)).Contains(fitNSIS));

  const auto wave = ContentTypes(std::string("RIFF\x24\x08\0\0WAVEfmt ", 16) + Binary(100));
  EXPECT_TRUE(wave.Contains(fitRIFF));
  EXPECT_TRUE(wave.Contains(fitWave));
  EXPECT_FALSE(ContentTypes("<HTML><body>").Contains(fitHTML));  // case-sensitive
  EXPECT_TRUE(ContentTypes("<!doctype x>\n<html>").Contains(fitHTML));
}

TEST(Identify, ArchiveAndMediaContainers) {
  EXPECT_TRUE(ContentTypes(std::string("7z\xBC\xAF\x27\x1C\0\x04", 8) + Binary(100)).Contains(fitSevenZip));
  std::string tar(1024, '\0');
  tar.replace(257, 6, std::string("ustar\0", 6));
  EXPECT_TRUE(ContentTypes(tar).Contains(fitTar));
  EXPECT_FALSE(ContentTypes(std::string(256, '\0') + "ustar").Contains(fitTar));  // one byte early
  EXPECT_TRUE(ContentTypes(std::string("\x1F\x8B\x08\0", 4) + Binary(20)).Contains(fitGZip));
  EXPECT_TRUE(ContentTypes("BZh91AY&SY" + Binary(20)).Contains(fitBZip2));
  EXPECT_FALSE(ContentTypes("BZh01AY&SY" + Binary(20)).Contains(fitBZip2));
  EXPECT_TRUE(ContentTypes(std::string("\xFD" "7zXZ\0\0\x04", 8) + Binary(20)).Contains(fitXZ));
  std::string iso(0x9000, '\0');
  iso.replace(0x8000, 6, "\x01" "CD001");
  EXPECT_TRUE(ContentTypes(iso).Contains(fitISO));
  EXPECT_FALSE(ContentTypes(iso.substr(0, 0x8004)).Contains(fitISO));  // cut inside the signature
  EXPECT_TRUE(ContentTypes(std::string("\0\0\0\x20" "ftypM4A ", 12) + Binary(40)).Contains(fitMP4));
  EXPECT_TRUE(ContentTypes(std::string("FORM\0\0\x10\0" "AIFC", 12) + Binary(40)).Contains(fitAIFF));
  EXPECT_FALSE(ContentTypes(std::string("FORM\0\0\x10\0" "ILBM", 12) + Binary(40)).Contains(fitAIFF));
}

TEST(Identify, PlainTextTest) {
  EXPECT_TRUE(ContentTypes("").Contains(fitText));
  EXPECT_TRUE(ContentTypes("line one\r\n\tline two\n~").Contains(fitText));
  EXPECT_FALSE(ContentTypes("caf\xE9 au lait").Contains(fitText));
  EXPECT_FALSE(ContentTypes(std::string("a\0b", 3)).Contains(fitText));
  EXPECT_FALSE(ContentTypes("del\x7F").Contains(fitText));
  // Only the head is tested: a non-text byte past 512 KiB does not matter.
  EXPECT_TRUE(ContentTypes(std::string(IdentifyHeadSize, 'a') + "\x01").Contains(fitText));
  // A file of 0 bytes is text and nothing else.
  TFileIdentifyTypes empty;
  ASSERT_TRUE(IdentifyByContent(WriteFile("empty.bin", ""), empty));
  EXPECT_EQ(empty.Members(), std::vector<TFileIdentifyType>{fitText});
}

TEST(Identify, TypeSetLayout) {
  TFileIdentifyTypes s{fitCabinet, fitText, fitRAR};
  EXPECT_EQ(s.Bits[0], 0x01);
  EXPECT_EQ(s.Bits[2], 0x40);  // member 22
  EXPECT_EQ(s.Bits[4], 0x10);  // member 36
  EXPECT_EQ(FileTypeTable().size(), 55u);
  EXPECT_EQ(TFileIdentifyTypes{fitYAML}.Bits[5], 0x40);  // member 46
  EXPECT_EQ(TFileIdentifyTypes{fitAIFF}.Bits[6], 0x40);  // member 54, the last
  EXPECT_EQ(s.Bits.size(), 7u);
  for (int i = 0; i < FileIdentifyTypeCount; ++i) EXPECT_EQ(FileTypeTable()[i].Type, i);
  EXPECT_TRUE(TextFileTypes.Contains(fitText));
  EXPECT_FALSE(TextFileTypes.Contains(fitDelphiForm));
}

TEST(TextSearch, FindsAcrossBlocksWithLimitsAndAllOccurrences) {
  std::string data = At(4094, "NEEDLE", 20000, 'x');
  data.replace(12000, 6, "NEEDLE");
  TMemorySource source(data);
  TJsTextSearch search;
  search.Pattern = "NEEDLE";
  search.Source = &source;
  std::vector<int64_t> found;
  search.OnFound = [&](int64_t at) { found.push_back(at); };
  EXPECT_EQ(search.Search(), 4094);
  EXPECT_EQ(found, (std::vector<int64_t>{4094, 12000}));

  found.clear();
  search.StopAtFirst = true;
  EXPECT_EQ(search.Search(), 4094);
  EXPECT_EQ(found.size(), 1u);

  // A limit of 1024 reads only the first 4 KiB block.
  TMemorySource fresh(data);
  search.Source = &fresh;
  search.Limit = 1024;
  search.OnFound = nullptr;
  EXPECT_EQ(search.Search(), -1);
  EXPECT_EQ(fresh.BytesRead(), 4096u);

  // Pattern longer than the data, one-byte patterns, repeated bytes.
  const std::string ab = "ab";
  TMemorySource tiny(ab);
  search.Source = &tiny;
  search.Limit = 0;
  search.Pattern = "abc";
  EXPECT_EQ(search.Search(), -1);
  search.Pattern = "b";
  EXPECT_EQ(search.Search(), 1);
  const std::string aaab = std::string(5000, 'a') + "aab";
  TMemorySource runs(aaab);
  search.Source = &runs;
  search.Pattern = "aab";
  EXPECT_EQ(search.Search(), 5000);
}

TEST(ExtensionLists, DelimitedTextRules) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitDelimited(""), V{});
  EXPECT_EQ(SplitDelimited("PAS,DPR,INC"), (V{"PAS", "DPR", "INC"}));
  EXPECT_EQ(SplitDelimited("  PAS , DPR\t,INC  "), (V{"PAS", "DPR", "INC"}));
  EXPECT_EQ(SplitDelimited("A B"), (V{"A", "B"}));  // a blank ends an item
  EXPECT_EQ(SplitDelimited("A,"), (V{"A", ""}));    // a trailing comma adds an empty item
  EXPECT_EQ(SplitDelimited("\"A,B C\",D"), (V{"A,B C", "D"}));
  EXPECT_EQ(SplitDelimited("\"say \"\"hi\"\"\""), (V{"say \"hi\""}));
  EXPECT_EQ(SplitDelimited("\"open"), (V{"open"}));
  EXPECT_EQ(SplitDelimited(",A"), (V{"", "A"}));
}

TEST(ExtensionLists, IniSectionsKeysAndMatching) {
  const std::string ini = WriteFile("ext.ini",
                                    "; lists\r\n[Other]\r\nText=BAD\r\n[extensions]\r\n"
                                    "TEXT = TXT,LOG\r\npascal=PAS,DPR,INC\r\nJPEG=jpg\r\nText=IGNORED\r\n");
  const TExtensionLists lists = LoadExtensionLists(ini);
  EXPECT_EQ(lists.Lists[fitText], (std::vector<std::string>{"TXT", "LOG"}));
  EXPECT_EQ(lists.Lists[fitPascalUnit], lists.Lists[fitPascalProgram]);

  auto byExt = [&](const std::string& name) {
    TFileIdentifyTypes t;
    IdentifyByExtension(name, lists, t);
    return t;
  };
  EXPECT_TRUE(byExt("readme.txt").Contains(fitText));
  EXPECT_TRUE(byExt("C:\\Docs\\README.TXT").Contains(fitText));
  EXPECT_TRUE(byExt("unit1.pas").Contains(fitPascalProgram));
  EXPECT_FALSE(byExt("photo.jpg").Contains(fitJPEG));  // lower-case list entries never match
  EXPECT_TRUE(byExt("dir.d\\file").Empty());
  EXPECT_TRUE(byExt("dir.d/file").Empty());
  EXPECT_TRUE(byExt("C:file").Empty());
  EXPECT_EQ(FileExtension("a\\b.c\\d.tar.gz"), ".gz");

  const TExtensionLists none = LoadExtensionLists(bqtest::ScratchDir().string() + "/missing.ini");
  for (const auto& l : none.Lists) EXPECT_TRUE(l.empty());
}

TEST(Identify, RealFilesMadeByTools) {
  if (!bqtest::HaveTool("python3")) GTEST_SKIP() << "python3 missing";
  ASSERT_TRUE(bqtest::Shell("python3 -c \"import zipfile; z=zipfile.ZipFile('real.zip','w'); z.writestr('a.txt','hello'); z.close()\""));
  TFileIdentifyTypes zip;
  ASSERT_TRUE(IdentifyByContent((bqtest::ScratchDir() / "real.zip").string(), zip));
  EXPECT_TRUE(zip.Contains(fitZIP));
  EXPECT_FALSE(zip.Contains(fitText));

  if (bqtest::HaveTool("convert")) {
    ASSERT_TRUE(bqtest::Shell("convert -size 8x8 xc:red real.jpg"));
    TFileIdentifyTypes jpg;
    ASSERT_TRUE(IdentifyByContent((bqtest::ScratchDir() / "real.jpg").string(), jpg));
    EXPECT_TRUE(jpg.Contains(fitPicture) && jpg.Contains(fitJPEG));
  }
  // This test binary is a 64-bit ELF file: not fitELF, which names 32-bit little-endian ones.
  TFileIdentifyTypes self;
  ASSERT_TRUE(IdentifyByContent("/proc/self/exe", self));
  EXPECT_FALSE(self.Contains(fitELF));
}


TEST(Identify, ReadingOnlyTheNeededBlocksGivesTheWholeHeadsResult) {
  // Files read block by block must get the types their whole head gives.
  const std::string nsis = std::string("\xEF\xBE\xAD\xDE", 4) + "NullsoftInst";
  const std::vector<std::string> files = {
      "", "MZ", std::string(5000, 'a'), std::string(600000, 'a') + "\x01",
      At(0, "MZ", 600000) , At(65530, nsis, 600000), At(4090, nsis, 5000, 'a'),
      At(524288 - 16, nsis, 600000), At(524288 - 15, nsis, 600000), At(300000, nsis, 400000, 'a'),
      At(100, "<html>", 70000, 'b') + "\x02"};
  int k = 0;
  for (const auto& bytes : files) {
    TFileIdentifyTypes read;
    ASSERT_TRUE(IdentifyByContent(WriteFile("blocks" + std::to_string(k++) + ".bin", bytes), read));
    EXPECT_EQ(read.Members(), ContentTypes(bytes.substr(0, std::min(bytes.size(), IdentifyHeadSize))).Members())
        << "file " << k - 1;
  }
}

#ifdef __linux__
uint64_t BytesReadByProcess() {
  std::ifstream io("/proc/self/io");
  std::string key;
  uint64_t value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return 0;
}

TEST(Identify, ReadsAtMostTheHeadOfAHugeFile) {
  // A sparse 1 GiB file; the kernel counts every byte that read() hands to this process.
  const std::string name = WriteFile("huge.bin", "MZ");
  std::filesystem::resize_file(name, 1ull << 30);
  const uint64_t before = BytesReadByProcess();
  TFileIdentifyTypes t;
  ASSERT_TRUE(IdentifyByContent(name, t));
  const uint64_t read = BytesReadByProcess() - before;
  EXPECT_TRUE(t.Contains(fitMZ));
  // The count also holds the few bytes of /proc/self/io itself.
  EXPECT_GE(read, IdentifyHeadSize);
  EXPECT_LE(read, IdentifyHeadSize + 1024);
  std::filesystem::remove(name);
}
TEST(Identify, StopsReadingOnceTheTestsAreDecided) {
  // A binary NSIS installer: the signature in the second block ends the reading.
  const std::string nsis = std::string("\xEF\xBE\xAD\xDE", 4) + "NullsoftInst";
  const std::string name = WriteFile("installer.exe", At(0, "MZ", 8 << 20).replace(5000, nsis.size(), nsis));
  const uint64_t before = BytesReadByProcess();
  TFileIdentifyTypes t;
  ASSERT_TRUE(IdentifyByContent(name, t));
  const uint64_t read = BytesReadByProcess() - before;
  EXPECT_TRUE(t.Contains(fitMZ) && t.Contains(fitNSIS));
  EXPECT_LE(read, 4096u + 65536u + 1024u);
}
#endif

}  // namespace
