// The Preview page on real sources made or shipped by real tools, collected at test time: the
// text read back from the document (by the tests' reader, exactly, and by unrtf, with blank
// runs collapsed) equals the file's text, and the document's braces balance.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/bqTestFiles.h"
#include "platform/bqText.h"
#include "preview/RtfReader.h"
#include "preview/bqViewRTF.h"
#include "preview/hlxTableSyntax.h"
#include "preview/zoxFFRTFSyntaxHighlighting.h"
#include "shell/bqLitePropSheets.h"
#include "pages/bqPages.h"

namespace {

using namespace bq;
namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Capture(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  std::array<char, 65536> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), p)) > 0) out.append(buffer.data(), n);
  pclose(p);
  return out;
}

TPageRecord PreviewOf(const std::string& file, TFileIdentifyTypes* types = nullptr) {
  const auto selection = BuildSelection(std::vector<std::string>{file},
                                        LoadExtensionLists(std::string(BQ_SOURCE_DIR) + "/data/Extensions.ini"));
  if (types) *types = selection->SelectedTypes[0];
  TPageRecorder recorder;
  FillPreviewPage({selection, nullptr}, recorder);
  return recorder.Record();
}

// Lines with blank runs collapsed and trimmed, trailing empty lines dropped; characters above
// 127 become "?" (unrtf writes Latin-1 bytes, the fallback of \uN, and control bytes for
// some of Windows-1252's 0x80..0x9F).
std::vector<std::string> Normalised(const std::string& text, bool utf8) {
  std::vector<std::string> lines(1);
  const std::u16string wide = utf8 ? Utf8ToUtf16(text) : std::u16string(text.begin(), text.end());
  for (char16_t c : wide) {
    if (c >= 0xDC00 && c <= 0xDFFF) continue;  // the second half of a pair: one character
    if (c == u'\n') {
      lines.emplace_back();
      continue;
    }
    if (c == u'\r') continue;
    std::string& l = lines.back();
    if (c == u' ' || c == u'\t') {
      if (!l.empty() && l.back() != ' ') l.push_back(' ');
      continue;
    }
    l.push_back(c >= 32 && c < 128 ? static_cast<char>(c) : '?');
  }
  for (auto& l : lines)
    while (!l.empty() && l.back() == ' ') l.pop_back();
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// Everything after unrtf's "-----------------" line.
std::string UnrtfText(const std::string& rtfFile) {
  const std::string out = Capture("unrtf --text '" + rtfFile + "' 2>/dev/null");
  const size_t rule = out.find("-----------------\n");
  return rule == std::string::npos ? out : out.substr(rule + 18);
}

struct TCase {
  std::string Name, File;
  TFileIdentifyType Expect;  // a type that must choose the highlighter
};

class PreviewFiles : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    // Cached in the build folder; made once.
    Dir = fs::current_path() / "preview-fixtures";
    fs::create_directories(Dir);
    const std::string d = Dir.string();
    auto make = [&](const std::string& name, const std::string& command) {
      if (!fs::exists(Dir / name)) std::system(("cd '" + d + "' && " + command + " >/dev/null 2>&1").c_str());
    };
    make("sample.h", "printf '#define LIMIT 10\\n/* a comment */\\ntypedef struct { int a; char *b; } pair_t;\\n"
                     "extern int add(int x, int y);\\n' > sample.h");
    make("sample.pas", "h2pas -o sample.pas sample.h");
    make("ptop.pas", "ptop /usr/share/fpcsrc/3.2.2/rtl/objpas/types.pp ptop.pas");
    make("dump.sql",
         "rm -f t.db && sqlite3 t.db \"CREATE TABLE notes(id INTEGER PRIMARY KEY, body TEXT); "
         "INSERT INTO notes(body) VALUES('it''s {braced} \\\\par'), ('Grüße αβγ 中文');\" && sqlite3 t.db .dump > dump.sql");
    make("format.xml", "xmllint --format /usr/share/xml/iso-codes/iso_15924.xml -o format.xml");
    make("json.html", "python3 -m pydoc -w json");
    // An RTF file from another writer: styled runs in groups, \line line breaks.
    make("enscript.rtf", "enscript -q -w rtf --color -Ec -p enscript.rtf /usr/include/stdio.h /usr/include/stdlib.h "
                         "/usr/include/unistd.h");
  }

  static fs::path Dir;
};
fs::path PreviewFiles::Dir;

void CheckFile(const TCase& c, bool withUnrtf) {
  SCOPED_TRACE(c.Name + " (" + c.File + ")");
  ASSERT_TRUE(fs::exists(c.File));
  TFileIdentifyTypes types;
  const TPageRecord r = PreviewOf(c.File, &types);
  ASSERT_TRUE(types.Contains(c.Expect));
  const std::string bytes = Slurp(c.File);
  const std::string expected = PreviewTextOf(bytes, bytes.size()).Text;
  EXPECT_EQ(r.PlainText, expected);
  ASSERT_FALSE(r.RichText.empty());
  const bqtest::TRtfRead read = bqtest::ReadRtf(r.RichText);
  EXPECT_TRUE(read.Balanced);
  EXPECT_TRUE(read.Ascii);
  EXPECT_EQ(read.Text, expected + " ");  // the closing " }" shows one blank
  if (withUnrtf && bqtest::HaveTool("unrtf")) {
    const std::string rtf = bqtest::WriteFile(fs::path(c.File).filename().string() + ".rtf", r.RichText);
    EXPECT_EQ(Normalised(UnrtfText(rtf), false), Normalised(expected, true));
  }
}

TEST_F(PreviewFiles, RealSourcesRoundTrip) {
  const std::string fpc = "/usr/share/fpcsrc/3.2.2/rtl/";
  std::vector<TCase> cases = {
      {"fpc unit with asm blocks", fpc + "i386/mmx.pp", fitPascalUnit},
      {"fpc unit with properties", fpc + "objpas/fgl.pp", fitPascalUnit},
      {"h2pas output", (Dir / "sample.pas").string(), fitPascalUnit},
      {"ptop output", (Dir / "ptop.pas").string(), fitPascalUnit},
      {"sqlite3 .dump", (Dir / "dump.sql").string(), fitSQL},
      {"xmllint --format", (Dir / "format.xml").string(), fitXML},
      {"pydoc -w", (Dir / "json.html").string(), fitHTML},
      {"package docs", "/usr/share/doc/base-passwd/users-and-groups.html", fitHTML},
      {"jQuery", "/usr/share/javascript/jquery/jquery.js", fitJS},
      {"PHP", "/usr/share/php/Psr/Log/LoggerInterface.php", fitPHP},
  };
  for (const auto& c : cases) {
    if (!fs::exists(c.File)) {
      ADD_FAILURE() << c.Name << ": " << c.File << " missing (scripts/install-deps.sh test)";
      continue;
    }
    CheckFile(c, c.Name != "jQuery");  // unrtf is slow on 290 KB; the exact reader reads it all
  }
}

TEST_F(PreviewFiles, HandWrittenFiles) {
  const std::string s = bqtest::ScratchDir().string() + "/";
  bqtest::WriteFile("form.dfm", "object Form1: TForm1\r\n  Caption = 'Hi {x}'\r\nend\r\n");
  bqtest::WriteFile("hello.vbs", "MsgBox \"{\\rtf1 \\b x}\" ' \\par\nIf x Then y\n");
  bqtest::WriteFile("hello.bas", "Sub Main()\r  MsgBox \"hi\"\rEnd Sub");  // CR only, no final line end
  // A .dfm gets the page only with a type of the set; as a Pascal unit too, the Pascal
  // highlighter (later in the enumeration than the form) colours it.
  TFileIdentifyTypes types;
  TPageRecord form = PreviewOf(s + "form.dfm", &types);
  EXPECT_TRUE(types.Contains(fitDelphiForm));
  EXPECT_EQ(bqtest::ReadRtf(form.RichText).Text, JoinLines(Slurp(s + "form.dfm")) + " ");
  for (const char* name : {"hello.vbs", "hello.bas"}) {
    const TPageRecord r = PreviewOf(s + name);
    const auto read = bqtest::ReadRtf(r.RichText);
    EXPECT_EQ(read.Text, JoinLines(Slurp(s + name)) + " ") << name;
    EXPECT_EQ(r.PlainText + " ", read.Text) << name;
    EXPECT_TRUE(read.Balanced) << name;
  }
  EXPECT_NE(PreviewOf(s + "hello.bas").RichText.find("\\cf3 MsgBox"), std::string::npos);
  EXPECT_EQ(PreviewOf(s + "hello.vbs").RichText.find("\\cf3 MsgBox"), std::string::npos);
}

TEST_F(PreviewFiles, PlainTextRtfAndUnreadable) {
  const std::string s = bqtest::ScratchDir().string() + "/";
  bqtest::WriteFile("notes.txt", "one\ntwo\r\nthree");
  TPageRecord plain = PreviewOf(s + "notes.txt");
  EXPECT_EQ(plain.RichText, "");
  EXPECT_EQ(plain.PlainText, "one\r\ntwo\r\nthree\r\n");

  // UTF-16 with Greek and CJK; a zero byte ends the text.
  std::string u16 = "\xFF\xFE";
  for (char16_t c : std::u16string(u"αβγ 中文\n")) u16 += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  bqtest::WriteFile("wide.txt", u16);
  EXPECT_EQ(PreviewOf(s + "wide.txt").PlainText, "αβγ 中文\r\n");
  bqtest::WriteFile("zero.txt", std::string("before\0after\n", 13));
  EXPECT_EQ(PreviewOf(s + "zero.txt").PlainText, "before");

  // An RTF file is shown as the document it is.
  const std::string doc = "{\\rtf1\\ansi {\\b bold} text\\par\n}";
  bqtest::WriteFile("doc.rtf", doc);
  TFileIdentifyTypes types;
  const TPageRecord rtf = PreviewOf(s + "doc.rtf", &types);
  EXPECT_TRUE(types.Contains(fitRTF));
  EXPECT_EQ(rtf.RichText, doc);  // its own bytes
  EXPECT_EQ(rtf.PlainText, JoinLines(doc));

  // A Pascal unit larger than the bound: cut at a line end, with the notice.
  const fs::path big = fs::current_path() / "preview-fixtures" / "big.pas";
  if (!fs::exists(big)) {
    std::ofstream out(big, std::ios::binary);
    out << "unit Big;\ninterface\n";
    while (out.tellp() < static_cast<std::streamoff>(PreviewByteLimit + 100000)) out << "procedure P; { comment } begin x := 'string'; end;\n";
  }
  const TPageRecord cut = PreviewOf(big.string());
  const std::string notice = "[Preview cut: ";
  ASSERT_NE(cut.PlainText.rfind(notice), std::string::npos);
  EXPECT_EQ(cut.PlainText.substr(cut.PlainText.size() - 8), "shown]\r\n");
  EXPECT_LE(cut.PlainText.size(), PreviewByteLimit + PreviewByteLimit / 8);
  EXPECT_EQ(bqtest::ReadRtf(cut.RichText).Text, cut.PlainText + " ");

  TPageRecorder none;
  auto missing = BuildSelection(std::vector<std::string>{s + "missing.pas"}, TExtensionLists{});
  FillPreviewPage({missing, nullptr}, none);
  EXPECT_EQ(none.Record().PlainText, "The file could not be read: No such file or directory\r\n");
  EXPECT_EQ(none.Record().RichText, "");
}

// Which language colours a file: its name and strong signatures before the weak sniffs.
TEST_F(PreviewFiles, LanguageChoice) {
  const std::string s = bqtest::ScratchDir().string() + "/";
  bqtest::WriteFile("note.txt", "The unit price is 5.\nprogram of the day\n");
  bqtest::WriteFile("page.html", "<!DOCTYPE html>\n<html lang=\"en\"><head><title>unit test</title></head>\n"
                                 "<body><p>CREATE TABLE here</p></body></html>\n");
  bqtest::WriteFile("anon", "unit Anon;\ninterface\nimplementation\nend.\n");
  TFileIdentifyTypes types;
  const TPageRecord note = PreviewOf(s + "note.txt", &types);
  EXPECT_TRUE(types.Contains(fitPascalUnit));  // the types stay as they were
  EXPECT_EQ(note.RichText, "");
  const TPageRecord page = PreviewOf(s + "page.html", &types);
  EXPECT_TRUE(types.Contains(fitPascalUnit) && types.Contains(fitSQL) && types.Contains(fitHTML));
  EXPECT_EQ(page.RichText, HighlightToRtf(*CreateHTMLRTF(), page.PlainText));
  // A file whose name says nothing: the sniff decides.
  const TPageRecord anon = PreviewOf(s + "anon");
  EXPECT_EQ(anon.RichText, HighlightToRtf(*CreatePasRTF(), anon.PlainText));
}

// The default lists: .inc is Pascal only; .ts is TypeScript when it is text, and an MPEG
// transport stream named .ts gets no Preview tab.
TEST_F(PreviewFiles, DefaultListsAndBinaryContent) {
  const TExtensionLists lists = LoadExtensionLists(std::string(BQ_SOURCE_DIR) + "/data/Extensions.ini");
  const std::string s = bqtest::ScratchDir().string() + "/";
  bqtest::WriteFile("defs.inc", "const Limit = 10;\n");
  bqtest::WriteFile("app.ts", "let x: number = 1;\nexport const y = x;\n");
  const std::string ts = (Dir / "tone.ts").string();
  if (!fs::exists(ts))
    std::system(("ffmpeg -v quiet -y -f lavfi -i sine=d=0.3 -c:a mp2 -f mpegts '" + ts + "'").c_str());
  ASSERT_TRUE(fs::exists(ts)) << "ffmpeg (scripts/install-deps.sh test)";
  const auto selection = BuildSelection(std::vector<std::string>{s + "defs.inc", s + "app.ts", ts}, lists);
  EXPECT_TRUE(selection->SelectedTypes[0].Contains(fitPascalUnit));
  EXPECT_FALSE(selection->SelectedTypes[0].Contains(fitPHP));
  EXPECT_TRUE(selection->SelectedTypes[1].Contains(fitJS));
  EXPECT_FALSE(selection->SelectedTypes[1].Contains(fitVideo));
  EXPECT_FALSE(selection->SelectedTypes[2].Intersects(TextFileTypes));
  const TPageRegistry& registry = ModulePages();
  for (size_t i = 0; i < 3; ++i) {
    TSelection one;
    one.SelectedFiles = {selection->SelectedFiles[i]};
    one.SelectedTypes = {selection->SelectedTypes[i]};
    bool preview = false;
    for (const TPageInfo* page : ChoosePages(one, registry, std::vector<bool>{})) preview |= page->SettingName == "Text";
    EXPECT_EQ(preview, i < 2) << selection->SelectedFiles[i];
  }
}

TEST_F(PreviewFiles, Utf16WithoutBom) {
  const std::string s = bqtest::ScratchDir().string() + "/";
  bqtest::WriteFile("utf8.log", "2026-12-07 start \xCE\xB1\xCE\xB2\xCE\xB3 \xE4\xB8\xAD\xE6\x96\x87\nsecond line\n");
  ASSERT_TRUE(bqtest::Shell("(iconv -f UTF-8 -t UTF-16LE utf8.log > le.log && iconv -f UTF-8 -t UTF-16BE utf8.log > be.log)"));
  for (const char* name : {"le.log", "be.log"}) {
    TFileIdentifyTypes types;
    const TPageRecord r = PreviewOf(s + name, &types);
    EXPECT_EQ(r.PlainText, "2026-12-07 start \xCE\xB1\xCE\xB2\xCE\xB3 \xE4\xB8\xAD\xE6\x96\x87\r\nsecond line\r\n") << name;
    EXPECT_TRUE(types.Contains(fitText)) << name;  // binary content would have dropped it
  }
  // Zeros that are not UTF-16: a lone surrogate, or zeros on both sides.
  EXPECT_EQ(GuessBomlessUtf16(std::string("a\0b\0\x00\xDC", 6)), 0);
  EXPECT_EQ(GuessBomlessUtf16(std::string(64, '\0')), 0);
  EXPECT_EQ(GuessBomlessUtf16(std::string("a\0b\0c\0d\0e\0f\0g\0h\0\x3D\xD8\x00\xDE", 20)), 1);  // a pair
}

// An RTF file reaches the control as its own bytes; over the bound it is cut between groups.
TEST_F(PreviewFiles, RtfFilesAsTheirBytes) {
  const std::string s = bqtest::ScratchDir().string() + "/";
  const std::string raw = "{\\rtf1\\ansi\\ansicpg1252 caf\xE9 cr\xE8me {\\b br\xFBl\xE9" "e}\\par\r\n}";
  bqtest::WriteFile("raw.rtf", raw);
  const TPageRecord r = PreviewOf(s + "raw.rtf");
  EXPECT_EQ(r.RichText, raw);
  EXPECT_EQ(bqtest::ReadRtf(r.RichText).Text, "caf\xC3\xA9 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e\r\n");

  // 6 MiB: text paragraphs, a picture across the bound, more text after it.
  const fs::path big = Dir / "picture.rtf";
  std::string head = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\r\n";
  for (int i = 0; i < 2000; ++i) head += "{\\b paragraph " + std::to_string(i) + "}\\par\r\n";
  if (!fs::exists(big)) {
    std::ofstream out(big, std::ios::binary);
    out << head << "{\\pict\\pngblip\\picw10\\pich10 ";
    const std::string hex(6u << 20, 'a');
    out << hex << "}{\\i after}\\par}";
  }
  const TPageRecord cut = PreviewOf(big.string());
  const bqtest::TRtfRead read = bqtest::ReadRtf(cut.RichText);
  EXPECT_TRUE(read.Balanced);
  head.erase(head.rfind('}') + 1);  // the cut: after the last group before the picture
  EXPECT_EQ(cut.RichText.compare(0, head.size(), head), 0);
  EXPECT_EQ(cut.RichText.find("pict"), std::string::npos);
  const std::string notice = "[Preview cut: " + std::to_string(head.size()) + " of " + std::to_string(fs::file_size(big)) + " bytes shown]";
  EXPECT_EQ(cut.RichText.substr(head.size()), "\\par\\pard\\plain " + notice + "\\par}");
  EXPECT_EQ(read.Text.substr(read.Text.size() - notice.size() - 2), notice + "\r\n");

  // \bin data may hold braces; a group that closes inside the picture is no cut point.
  const std::string bin = "{\\rtf1 a{\\b b}{\\pict{\\*\\x y}\\bin4 }}{{ c}d{\\i e}";
  EXPECT_EQ(RtfDocumentOf(bin, 1000, bin.size()), "{\\rtf1 a{\\b b}{\\pict{\\*\\x y}\\bin4 }}{{ c}d{\\i e}"
                                                  "\\par\\pard\\plain [Preview cut: 48 of 1000 bytes shown]\\par}");
  EXPECT_EQ(RtfDocumentOf(bin, 1000, 30), "{\\rtf1 a{\\b b}\\par\\pard\\plain [Preview cut: 14 of 1000 bytes shown]\\par}");
  EXPECT_EQ(RtfDocumentOf("{\\rtf1 x} trailing", 1000, 12), "{\\rtf1 x}");
}

}  // namespace

namespace {
// Runs with empty ones dropped and neighbours of the same look joined. Text in the default
// colour is left out: the reader starts a run only at a \cf or a group's end, so a piece that
// begins in the default colour has none for its first words.
std::vector<bqtest::TRtfRun> Joined(const std::vector<bqtest::TRtfRun>& runs) {
  std::vector<bqtest::TRtfRun> out;
  for (const auto& r : runs) {
    if (r.Text.empty() || r.Color == 0) continue;
    if (!out.empty() && out.back().Color == r.Color && out.back().Bold == r.Bold && out.back().Italic == r.Italic)
      out.back().Text += r.Text;
    else
      out.push_back(r);
  }
  return out;
}
}  // namespace

// The dialog inserts a long document piece by piece: the pieces, read one after another,
// show the whole document's text in the same colours and styles.
TEST_F(PreviewFiles, PiecesShowTheWholeDocument) {
  std::vector<std::string> files = {(Dir / "ptop.pas").string(), (Dir / "format.xml").string(),
                                    (Dir / "json.html").string(), (Dir / "dump.sql").string(),
                                    (Dir / "big.pas").string()};
  for (const char* header : {"/usr/include/c++/12/bits/stl_algo.h", "/usr/include/c++/14/bits/stl_algo.h"})
    if (fs::exists(header)) files.push_back(header);
  // enscript's RTF: every word in groups, lines broken by \line (one paragraph).
  files.push_back((Dir / "enscript.rtf").string());
  ASSERT_TRUE(fs::exists(files.back())) << "enscript (scripts/install-deps.sh test)";
  size_t split = 0;
  for (const auto& file : files) {
    if (!fs::exists(file)) continue;
    SCOPED_TRACE(file);
    const std::string whole = file.ends_with(".rtf") ? Slurp(file) : PreviewOf(file).RichText;
    ASSERT_FALSE(whole.empty());
    const auto expected = bqtest::ReadRtf(whole);
    for (size_t chunk : {size_t{4096}, size_t{65536}}) {
      const auto pieces = SplitRtfDocument(whole, chunk);
      std::string text;
      std::vector<bqtest::TRtfRun> runs;
      for (const auto& piece : pieces) {
        EXPECT_LE(piece.size(), chunk * 2 + 4096);
        const auto read = bqtest::ReadRtf(piece);
        // (The last piece ends as the document does, past its closing brace too.)
        EXPECT_TRUE(read.Balanced || (&piece == &pieces.back() && !expected.Balanced));
        text += read.Text;
        runs.insert(runs.end(), read.Runs.begin(), read.Runs.end());
      }
      if (pieces.size() > 1) ++split;
      EXPECT_EQ(text, expected.Text);
      // Neighbouring pieces joined into one, as the dialog does when the control reads fast.
      const TRtfCuts cuts = FindRtfCuts(whole, chunk);
      std::string joined;
      for (size_t from = 0; from <= cuts.Cuts.size(); from += 3) joined += bqtest::ReadRtf(RtfPiece(whole, cuts, from, from + 3)).Text;
      EXPECT_EQ(joined, expected.Text);
      const auto got = Joined(runs), want = Joined(expected.Runs);
      EXPECT_EQ(got.size(), want.size());
      for (size_t k = 0; k < std::min(got.size(), want.size()); ++k) {
        EXPECT_EQ(got[k].Text, want[k].Text) << "run " << k;
        EXPECT_EQ(got[k].Color, want[k].Color) << "run " << k << ": " << got[k].Text;
        EXPECT_EQ(got[k].Bold, want[k].Bold) << "run " << k << ": " << got[k].Text;
        EXPECT_EQ(got[k].Italic, want[k].Italic) << "run " << k << ": " << got[k].Text;
      }
    }
  }
  EXPECT_GE(split, 8u);


  // A content group starts the body: it is not copied into the pieces as header.
  const std::string nested = "{\\rtf1{\\fonttbl{\\f0 A;}}{\\b " + std::string(10000, 'x') + "\\par y}\\par z}";
  EXPECT_EQ(SplitRtfDocument(nested, 4096),
            (std::vector<std::string>{"{\\rtf1{\\fonttbl{\\f0 A;}}{\\b " + std::string(10000, 'x') + "\\par y}}",
                                      "{\\rtf1{\\fonttbl{\\f0 A;}}\\par z}"}));
  // A paragraph format set in the body holds the pieces back until a \pard resets it; no piece
  // starts inside a table row.
  const std::string x(5000, 'x');
  // A paragraph group after a paragraph break may start a piece; a run's group inside a
  // paragraph may not.
  const std::string groups = "{\\rtf1{\\fonttbl{\\f0 A;}}{\\pard " + x + "\\par}{\\pard a{\\b " + x + "} b\\par}}";
  const auto groupPieces = SplitRtfDocument(groups, 4096);
  ASSERT_EQ(groupPieces.size(), 2u);
  EXPECT_EQ(groupPieces[1], "{\\rtf1{\\fonttbl{\\f0 A;}}{\\pard a{\\b " + x + "} b\\par}}");
  const std::string centred = "{\\rtf1 a\\qc " + x + "\\par b" + x + "\\par\\pard c" + x + "\\par d}";
  const auto centredPieces = SplitRtfDocument(centred, 4096);
  ASSERT_EQ(centredPieces.size(), 3u);
  EXPECT_EQ(centredPieces[1], "{\\rtf1 \\par\\pard c" + x + "}");
  const std::string table = "{\\rtf1 a" + x + "\\par\\trowd\\cellx100 " + x + "\\cell\\par " + x + "\\cell\\row\\par e}";
  const auto tablePieces = SplitRtfDocument(table, 4096);
  ASSERT_EQ(tablePieces.size(), 3u);
  EXPECT_EQ(tablePieces[1], "{\\rtf1 \\par\\trowd\\cellx100 " + x + "\\cell\\par " + x + "\\cell\\row}");
  EXPECT_EQ(tablePieces[2], "{\\rtf1 \\par e}");
  // The character format at the outer level goes with each piece; \plain clears it.
  const auto styled = SplitRtfDocument("{\\rtf1 \\b\\cf2 a" + x + "\\par\\plain\\i b" + x + "\\par c}", 4096);
  ASSERT_EQ(styled.size(), 3u);
  EXPECT_EQ(styled[1].rfind("{\\rtf1 \\cf2\\b \\par", 0), 0u) << styled[1].substr(0, 30);
  EXPECT_EQ(styled[2].rfind("{\\rtf1 \\i \\par", 0), 0u) << styled[2].substr(0, 30);

  // Documents it leaves whole: short ones and what is not RTF.
  // A document that never closes is cut the same; its last piece ends as it does.
  const std::string open = "{\\rtf1 a" + std::string(10000, 'x') + "\\par b";
  EXPECT_EQ(SplitRtfDocument(open, 4096), (std::vector<std::string>{"{\\rtf1 a" + std::string(10000, 'x') + "}", "{\\rtf1 \\par b"}));
  EXPECT_EQ(SplitRtfDocument(std::string(10000, 'x'), 4096).size(), 1u);
  EXPECT_EQ(SplitRtfDocument("{\\rtf1 a\\par b}", 4).size(), 2u);
  // \bin data is skipped, not read as words or braces.
  const std::string bin = "{\\rtf1 a\\bin4 }}}{" + std::string(5000, 'x') + "\\par b}";
  const auto binPieces = SplitRtfDocument(bin, 4096);
  ASSERT_EQ(binPieces.size(), 2u);
  EXPECT_EQ(binPieces[1], "{\\rtf1 \\par b}");
}
