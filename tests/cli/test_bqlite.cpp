// bqlite as a user runs it: real processes, real files, the exit status and both outputs.
#include <gtest/gtest.h>

#include "cli/bqRender.h"
#include "common/bqTestFiles.h"

using bqtest::WriteFile;

namespace {

using bqtest::TRun;

TRun Bqlite(const std::string& args) { return bqtest::Run(std::string(BQLITE_PATH) + " " + args); }

std::string Q(const std::string& s) { return "'" + s + "'"; }

TEST(Bqlite, ListsTabsForTheSelection) {
  const std::string exe = WriteFile("app.exe", "MZ" + std::string(500, '\x01'));
  const std::string zip = WriteFile("pack.zip", "PK\x03\x04" + std::string(50, '\x01'));
  auto r = Bqlite("--list-pages " + Q(exe));
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "Brisquel\nHashes\nStreams\nHeader\nSections\nImports\nExports\nResources\nDetails\nPatterns\n");
  r = Bqlite("--list-pages " + Q(exe) + " " + Q(zip));
  EXPECT_EQ(r.Out, "Brisquel\nHashes\nHeader\nSections\nExports\nDetails\nPatterns\n");
  r = Bqlite("--list-pages --json " + Q(zip));
  EXPECT_NE(r.Out.find("\"types\": [\"fitZIP\"]"), std::string::npos);
  EXPECT_NE(r.Out.find("\"title\": \"Archive\""), std::string::npos);
}

TEST(Bqlite, ReportsUnreadableFilesAndShowsTheOthers) {
  const std::string good = WriteFile("good.txt", "abc");
  const std::string missing = (bqtest::ScratchDir() / "missing.txt").string();
  auto r = Bqlite("--identify " + Q(missing) + " " + Q(good));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find(missing + ": No such file"), std::string::npos) << r.Err;
  EXPECT_NE(r.Out.find(good + ": fitText"), std::string::npos);

  r = Bqlite("--page main " + Q(good) + " " + Q(missing));
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "[Brisquel]\nCRC 32: 352441C2\nMD5: 900150983cd24fb0d6963f7d28e17f72\n"
                   "SHA 1: a9993e364706816aba3e25717850c26c9cd0d89d\nCheck: \n\n");
}

TEST(Bqlite, PrintsWholePagesAsJson) {
  const std::string a = WriteFile("j/a \"quoted\".txt", "abc");
  auto r = Bqlite("--json --page Hashes --page BRISQUEL " + Q(a));
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("\"name\": \"" + (bqtest::ScratchDir() / "j/a \\\"quoted\\\".txt").string() + "\""),
            std::string::npos);
  EXPECT_NE(r.Out.find("{\"id\": 1000, \"label\": \"CRC 32:\", \"text\": \"352441C2\"}"), std::string::npos);
  EXPECT_NE(r.Out.find("{\"group\": 2, \"cells\": [\"a \\\"quoted\\\".txt\", \"A448017AAF21D8525FC10AE87AA6729D\"]}"),
            std::string::npos)
      << r.Out;
  EXPECT_EQ(r.Out.find("\"Streams\""), std::string::npos);
  if (bqtest::HaveTool("python3")) {
    const std::string json = WriteFile("out.json", r.Out);
    EXPECT_TRUE(bqtest::Shell("python3 -c \"import json,sys; d=json.load(open('out.json')); "
                              "sys.exit(0 if [p['title'] for p in d['pages']]==['Brisquel','Hashes'] else 1)\""));
  }
}

// A POSIX name may hold any byte: stray UTF-8 becomes U+FFFD, control bytes are escaped, and
// the document stays JSON that a strict parser takes.
TEST(Bqlite, JsonEscapesAndRepairsNames) {
  if (!bqtest::HaveTool("python3")) GTEST_SKIP() << "python3 not installed";
  const std::string odd = WriteFile("j/b\xFF\x01\t\xC3\xA9.txt", "abc");
  auto r = Bqlite("--json --page Hashes " + Q(odd));
  EXPECT_EQ(r.Status, 0) << r.Err;
  WriteFile("odd.json", r.Out);
  EXPECT_TRUE(bqtest::Shell("python3 -c \"import json,sys; d=json.load(open('odd.json')); "
                            "n=d['files'][0]['name']; c=d['pages'][0]['rows'][0]['cells'][0]; "
                            "sys.exit(0 if n.endswith('/b\\ufffd\\u0001\\t\\u00e9.txt') and "
                            "c=='b\\ufffd\\u0001\\t\\u00e9.txt' else 1)\""))
      << r.Out;
}

TEST(Bqlite, RejectsBadUsage) {
  EXPECT_EQ(Bqlite("").Status, 2);
  EXPECT_EQ(Bqlite("--bogus x").Status, 2);
  EXPECT_EQ(Bqlite("--page NoSuchPage x").Status, 2);
  EXPECT_EQ(Bqlite("--extensions /nonexistent.ini x").Status, 2);
  EXPECT_EQ(Bqlite("--help").Status, 0);
}

TEST(Bqlite, ExtensionListsFromTheNamedFile) {
  const std::string ini = WriteFile("mine.ini", "[Extensions]\nAudio=XYZ\n");
  const std::string f = WriteFile("clip.xyz", std::string(10, '\x01'));
  auto r = Bqlite("--identify --extensions " + Q(ini) + " " + Q(f));
  EXPECT_EQ(r.Out, f + ": fitAudio\n");
  r = Bqlite("--list-pages --extensions " + Q(ini) + " " + Q(f));
  EXPECT_NE(r.Out.find("Audio\n"), std::string::npos);
}

}  // namespace

namespace {

// Text output never hands a terminal its control bytes: a log holding escape sequences, a bell,
// a backspace and a UTF-8 C1 control (CSI) shows them as \xHH; JSON escapes them itself.
TEST(Bqlite, TextOutputShowsControlBytes) {
  const std::string log = WriteFile("ctl\x1B]0;x\x07.log", "ok\tgreen \x1B[32mG\x1B[0m\x07\x08 \xC2\x9B" "2J \x7F \xC3\xA9\r\n");
  auto r = Bqlite("--page Preview " + Q(log));
  EXPECT_EQ(r.Status, 0);
  EXPECT_NE(r.Out.find("ok\tgreen \\x1B[32mG\\x1B[0m\\x07\\x08 \\x9B2J \\x7F \xC3\xA9\r\n"), std::string::npos) << r.Out;
  r = Bqlite("--each --identify " + Q(log) + " " + Q(log));
  for (char c : r.Out) EXPECT_FALSE((c >= 0 && c < 0x20 && c != '\n' && c != '\r' && c != '\t') || c == 0x7F);
  EXPECT_EQ(bq::ShowControls("a\x01\xC2\x80\xC2\xA0\xC2"), "a\\x01\\x80\xC2\xA0\xC2");  // NBSP and a cut sequence stay
  // Every byte at either end of an eight-byte word (the text is scanned a word at a time).
  for (int b = 0; b < 256; ++b)
    for (size_t at : {0, 7, 8, 15, 16, 20}) {
      std::string text(21, 'a');
      text[at] = static_cast<char>(b);
      const bool control = (b < 0x20 && b != '\t' && b != '\n' && b != '\r') || b == 0x7F;
      char shown[8];
      std::snprintf(shown, sizeof shown, "\\x%02X", b);
      const std::string expected = control ? text.substr(0, at) + shown + text.substr(at + 1) : text;
      ASSERT_EQ(bq::ShowControls(text), expected) << "byte " << b << " at " << at;
    }
  r = Bqlite("--json --page Preview " + Q(log));
  EXPECT_NE(r.Out.find("\\u001b[32m"), std::string::npos);
}

}  // namespace

TEST(Bqlite, ExtractsPicturesByTheirRowNumber) {
  for (const char* tool : {"sox", "flac", "metaflac", "ffmpeg"})
    if (!bqtest::HaveTool(tool)) GTEST_SKIP() << tool << " missing";
  ASSERT_TRUE(bqtest::Shell("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=32x24 -frames:v 1 x.png && "
                            "sox -n -r 8000 -c 1 -b 16 x.wav synth 0.1 sine 300 && flac -s -f x.wav -o x.flac && "
                            "metaflac --import-picture-from='3|image/png|||x.png' x.flac"));
  const std::string flac = (bqtest::ScratchDir() / "x.flac").string(), out = (bqtest::ScratchDir() / "out.png").string();
  auto r = Bqlite("--extract-picture 1 " + Q(flac) + " " + Q(out));
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(bqtest::Shell("cmp x.png out.png"));
  r = Bqlite("--extract-picture 2 " + Q(flac) + " " + Q(out));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("no picture 2"), std::string::npos) << r.Err;
  EXPECT_EQ(Bqlite("--extract-picture 1 /nonexistent/x.flac " + Q(out)).Status, 1);
  EXPECT_EQ(Bqlite("--extract-picture 1 " + Q(flac) + " /nonexistent/out.png").Status, 1);
  EXPECT_EQ(Bqlite("--extract-picture one " + Q(flac) + " " + Q(out)).Status, 2);
  EXPECT_EQ(Bqlite("--extract-picture 1 " + Q(flac)).Status, 2);
}
