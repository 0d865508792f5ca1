// The RTF engine and the nine highlighters on small hand-written texts: exact document bytes
// where the format is fixed, the text read back from the document, and each language's colours.
#include <gtest/gtest.h>

#include <functional>

#include "preview/RtfReader.h"
#include "preview/hlxTableSyntax.h"
#include "preview/zoxFFRTFSyntaxHighlighting.h"

namespace {

using namespace bq;
using bqtest::ReadRtf;
using bqtest::TRtfRead;

using TFactory = std::unique_ptr<ThlxRTFSyntax> (*)();
const std::vector<std::pair<const char*, TFactory>> kAll = {
    {"Pas", CreatePasRTF},         {"DFM", CreateDFMRTF},       {"SQL", CreateSQLRTF},
    {"VB", CreateVBRTF},           {"VBScript", CreateVBScriptRTF}, {"JScript", CreateJScriptRTF},
    {"PHP", CreatePHPRTF},         {"XML", CreateXMLRTF},       {"HTML", CreateHTMLRTF},
    {"C++", CreateCppRTF},         {"C#", CreateCSharpRTF},     {"Java", CreateJavaRTF},
    {"Python", CreatePythonRTF},   {"JSON", CreateJSONRTF},     {"CSS", CreateCSSRTF},
    {"PowerShell", CreatePowerShellRTF}, {"Batch", CreateBatchRTF}, {"Shell", CreateShellRTF},
    {"INI", CreateIniRTF},         {"Markdown", CreateMarkdownRTF}, {"YAML", CreateYAMLRTF}};

std::string Doc(TFactory create, std::string_view text) { return HighlightToRtf(*create(), text); }

// The first run whose text is exactly text.
const bqtest::TRtfRun* Run(const TRtfRead& r, std::string_view text) {
  for (const auto& run : r.Runs)
    if (run.Text == text) return &run;
  return nullptr;
}

// "color" "color b" "color i": the run's colour and style.
std::string Style(TFactory create, std::string_view text, std::string_view token) {
  const TRtfRead r = ReadRtf(Doc(create, text));
  const auto* run = Run(r, token);
  if (!run) return "missing";
  return std::to_string(run->Color) + (run->Bold ? " b" : "") + (run->Italic ? " i" : "");
}

const char* kPascalHead =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deftab720{\\fonttbl{\\f0\\fmodern\\fcharset0 Courier New;}}\r\n"
    "{\\colortbl\\red0\\green0\\blue0;\\red0\\green0\\blue255;\\red0\\green0\\blue0;\\red0\\green0\\blue0;"
    "\\red0\\green0\\blue0;\\red0\\green0\\blue128;\\red0\\green0\\blue0;\\red0\\green0\\blue0;"
    "\\red0\\green128\\blue0;}\r\n\\deflang1033\\pard\\plain\\f0\\fs20\\f0 ";

TEST(RtfEngine, DocumentBytes) {
  EXPECT_EQ(Doc(CreatePasRTF, ""), std::string(kPascalHead) + " }");
  EXPECT_EQ(Doc(CreatePasRTF, "unit X;\r\n"),
            std::string(kPascalHead) + "\\cf3 \\b unit\\b0 \\cf5  \\cf2 X\\cf7 ;\\par\\cf5 \r\n }");
  // A last line without a line break gets no \par; a lone LF is a token but no paragraph.
  EXPECT_EQ(Doc(CreateVBRTF, "a\nb").substr(Doc(CreateVBRTF, "").size() - 2), "\\cf2 a\\cf5 \n\\cf2 b }");
  EXPECT_EQ(ThlxRTFSyntax::FontEntry(0, "Courier New", {0x31, 77}), "{\\f0\\fmodern\\ Courier New;}");
  EXPECT_EQ(ThlxRTFSyntax::FontEntry(1, "Arial", {0x22, 0}), "{\\f1\\fswiss\\fcharset0 Arial;}");
  EXPECT_EQ(ThlxRTFSyntax::FontEntry(0, "X", {0x60, 255}), "{\\f0\\froman\\fcharset255 X;}");
}

TEST(RtfEngine, FontQueryOfTheFrontEnd) {
  SetRtfFontQuery([](std::string_view face, TRtfFontInfo& info) {
    if (face != "Courier New") return false;
    info = {0x20, 128};
    return true;
  });
  const std::string asked = Doc(CreateSQLRTF, "");
  SetRtfFontQuery([](std::string_view, TRtfFontInfo&) { return false; });
  const std::string failed = Doc(CreateSQLRTF, "");
  SetRtfFontQuery(nullptr);
  EXPECT_NE(asked.find("{\\fonttbl{\\f0\\fswiss\\fcharset128 Courier New;}}"), std::string::npos);
  EXPECT_NE(failed.find("{\\fonttbl{\\f0\\fmodern\\fcharset0 Courier New;}}"), std::string::npos);
}

TEST(RtfEngine, EscapingAndCharactersAbove127) {
  std::string out;
  AppendRtfEscaped("\\{}é€α中\xF0\x9F\x98\x80\x01", out);
  EXPECT_EQ(out, "\\\\\\{\\}\\'e9\\'80\\u945?\\u20013?\\u-10179?\\u-8704?\x01");
  out.clear();
  AppendRtfEscaped("a\xC3(\xFF", out);  // broken UTF-8: one U+FFFD per byte
  EXPECT_EQ(out, "a\\u-3?(\\u-3?");
}

// Texts that try to break the document, for every language: RTF inside strings and comments,
// unbalanced braces, non-ASCII, and every construct left open at the very end.
TEST(Highlighters, EveryTextReadsBackExactly) {
  const std::vector<std::string> texts = {
      "x := '{\\rtf1 \\b x}'; { \\par } (* } *) // \\par {\r\n",
      "s = \"{\\rtf1 \\b x}\" ' \\par }\r\n<a b=\"{\\par}\">}}{{</a>\r\n",
      "}}}{{\\\\\\\r\n\r\n\t\ttabs\t\r\n",
      "Greek αβγ, CJK 中文字, emoji \xF0\x9F\x98\x80, € and é\r\n",
      "-- c\r\n/* a\r\nb */ 'q''q' #12 $FF 1.5e3 1..2 @@x <> := <=\r\n",
      "<?xml x?><!DOCTYPE a [<!ENTITY e \"v\">]><![CDATA[ <x> ]]><!-- c\r\n-->&amp;&#9;\r\n",
      "<%= x %> <p class=a id='b'>&nbsp;</p> <br/> < lone\r\n",
      "$var = \"a\\\"b\"; # c\r\nasm mov eax,1 end;\r\n",
      "unfinished identifier",
      "{ open comment",
      "(* open",
      "/* open",
      "'open string",
      "\"open",
      "<open tag",
      "<a b=\"open value",
      "<![CDATA[ open",
      "<!-- open",
      "&entity",
      "$",
      "#",
      "(",
      "\xCE",  // a lone lead byte
      // Constructs of the later languages left open, or empty where a name was due.
      "=value\r\n= \r\n[open",
      "x = @\"\r\nhere\r\n",
      "cat <<EOF\r\nbody\r\n",
      "```\r\ncode\r\n",
      "R\"d(raw\r\n",
      "s = \"\"\"open\r\n",
      "key: |\r\n  block\r\n",
      "#define X \\\r\n",
      "<script>var x = '</scr",
      "<style>p { color: ",
      "$",
      "%",
      "!",
      "@",
      "`",
  };
  for (const auto& [name, create] : kAll)
    for (const auto& raw : texts) {
      const std::string text = JoinLines(raw);
      const std::string doc = Doc(create, text);
      const TRtfRead r = ReadRtf(doc);
      EXPECT_EQ(r.Text, Utf16ToUtf8(Utf8ToUtf16(text)) + " ") << name << ": " << raw;  // " }" shows a blank
      EXPECT_TRUE(r.Balanced) << name << ": " << raw;
      EXPECT_TRUE(r.Ascii) << name << ": " << raw;
      // Scanning the same text without the joined line ends ends too.
      const TRtfRead bare = ReadRtf(Doc(create, raw));
      EXPECT_TRUE(bare.Balanced) << name << ": " << raw;
    }
}

TEST(Highlighters, PascalColours) {
  const char* unit =
      "unit U;\r\n{ one\r\ntwo }\r\ntype T = class\r\n  property P: Integer read F write F;\r\n"
      "  function read: Integer;\r\nend;\r\nprocedure A; asm mov eax, 1 { c } end;\r\n";
  EXPECT_EQ(Style(CreatePasRTF, unit, "unit"), "3 b");
  EXPECT_EQ(Style(CreatePasRTF, unit, "{ one"), "1 i");  // one comment token per line
  EXPECT_EQ(Style(CreatePasRTF, unit, "two }"), "1 i");
  const TRtfRead r = ReadRtf(Doc(CreatePasRTF, unit));
  std::vector<std::string> reads;
  for (const auto& run : r.Runs)
    if (run.Text == "read") reads.push_back(std::to_string(run.Color) + (run.Bold ? "b" : ""));
  EXPECT_EQ(reads, (std::vector<std::string>{"3b", "2"}));  // only inside the property declaration
  EXPECT_EQ(Style(CreatePasRTF, unit, "mov"), "9");
  EXPECT_EQ(Style(CreatePasRTF, unit, "eax"), "9");
  EXPECT_EQ(Style(CreatePasRTF, unit, "1"), "9");
  EXPECT_EQ(Style(CreatePasRTF, unit, "asm"), "3 b");
  EXPECT_EQ(Style(CreatePasRTF, unit, "{ c }"), "1 i");
  EXPECT_EQ(Style(CreatePasRTF, "x := 'it''s' + #13 + $1F + 2.5;", "'it''s'"), "6");
  EXPECT_EQ(Style(CreatePasRTF, "x := 'it''s' + #13 + $1F + 2.5;", "#13"), "6");
  EXPECT_EQ(Style(CreatePasRTF, "x := 'it''s' + #13 + $1F + 2.5;", "$1F"), "4");
  EXPECT_EQ(Style(CreatePasRTF, "x := 'it''s' + #13 + $1F + 2.5;", ":="), "7");
  EXPECT_EQ(Style(CreatePasRTF, "BEGIN End", "BEGIN"), "3 b");
  EXPECT_EQ(Style(CreatePasRTF, "x ! y", "!"), "8");
}

TEST(Highlighters, OtherCodeLanguages) {
  const char* form = "object Form1: TForm1\r\n  Caption = 'Hi' { c }\r\nEND\r\n";
  EXPECT_EQ(Style(CreateDFMRTF, form, "object"), "3 b");
  EXPECT_EQ(Style(CreateDFMRTF, form, "'Hi'"), "6");
  EXPECT_EQ(Style(CreateDFMRTF, form, "{ c }"), "1 i");
  EXPECT_EQ(Style(CreateDFMRTF, form, "END"), "3 b");
  EXPECT_EQ(Style(CreateDFMRTF, form, "Caption"), "2");

  const char* sql = "CREATE TABLE t (a TEXT); -- note\r\n/* a\r\nb */ insert INTO t VALUES('x''y');\r\n";
  EXPECT_EQ(Style(CreateSQLRTF, sql, "CREATE"), "3 b");
  EXPECT_EQ(Style(CreateSQLRTF, sql, "INTO"), "3 b");
  EXPECT_EQ(Style(CreateSQLRTF, sql, "-- note"), "1 i");
  EXPECT_EQ(Style(CreateSQLRTF, sql, "b */"), "1 i");
  EXPECT_EQ(Style(CreateSQLRTF, sql, "'x''y'"), "6");
  EXPECT_EQ(Style(CreateSQLRTF, sql, "("), "5");
  EXPECT_EQ(Style(CreateSQLRTF, sql, "VALUES"), "3 b");
  const char* modern = "SELECT a, ROW_NUMBER() OVER (PARTITION BY b) FROM t CROSS JOIN u LIMIT 5 OFFSET 2;";
  for (const char* w : {"OVER", "PARTITION", "CROSS", "LIMIT", "OFFSET"}) EXPECT_EQ(Style(CreateSQLRTF, modern, w), "3 b") << w;

  const char* basic = "IF x Then MsgBox \"\"\"hi\" ' note\r\nif d = #1/2/2000# then\r\n";
  EXPECT_EQ(Style(CreateVBRTF, basic, "IF"), "3");
  EXPECT_EQ(Style(CreateVBRTF, basic, "if"), "3");
  EXPECT_EQ(Style(CreateVBRTF, basic, "MsgBox"), "3");
  EXPECT_EQ(Style(CreateVBRTF, basic, "\"\"\"hi\""), "6");
  EXPECT_EQ(Style(CreateVBRTF, basic, "' note"), "1");
  EXPECT_EQ(Style(CreateVBRTF, basic, "#1/2/2000#"), "6");
  EXPECT_EQ(Style(CreateVBScriptRTF, basic, "MsgBox"), "2");  // not a VBScript keyword
  EXPECT_EQ(Style(CreateVBScriptRTF, basic, "IF"), "3");
  EXPECT_EQ(Style(CreateVBRTF, "x = \xCE\xB1;", "\xCE\xB1"), "8");  // one character, one token

  const char* js = "function f() { return 'a\\'b'; } // c\r\n/* x\r\n*/ var n = 0x1F;\r\n";
  EXPECT_EQ(Style(CreateJScriptRTF, js, "function"), "3");
  EXPECT_EQ(Style(CreateJScriptRTF, js, "// c"), "1");
  EXPECT_EQ(Style(CreateJScriptRTF, js, "*/"), "1");
  EXPECT_EQ(Style(CreateJScriptRTF, js, "'a\\'b'"), "6");
  EXPECT_EQ(Style(CreateJScriptRTF, js, "0x1F"), "4");
  EXPECT_EQ(Style(CreateJScriptRTF, js, "f"), "2");
  const char* es = "export default class A extends B { static async f() { const x = await g(); let y; } }\r\n";
  for (const char* w : {"export", "default", "class", "extends", "static", "async", "const", "await", "let"})
    EXPECT_EQ(Style(CreateJScriptRTF, es, w), "3") << w;

  const char* php = "<?php $x = \"s\"; # c\r\nif ($x) { echo 1; } // d\r\n";
  EXPECT_EQ(Style(CreatePHPRTF, php, "$x"), "9");
  EXPECT_EQ(Style(CreatePHPRTF, php, "\"s\""), "7");
  EXPECT_EQ(Style(CreatePHPRTF, php, "# c"), "1");
  EXPECT_EQ(Style(CreatePHPRTF, php, "echo"), "4");
  EXPECT_EQ(Style(CreatePHPRTF, php, "{"), "8");
  EXPECT_NE(Doc(CreatePHPRTF, php).find("\\cf8 \\{"), std::string::npos);
}

TEST(Highlighters, KeywordsAreWholeWords) {
  // "_" and digits are part of the word and compare only with themselves.
  EXPECT_EQ(Style(CreatePHPRTF, "<?php __FILE__ __FILE__x", "__FILE__"), "4");
  EXPECT_EQ(Style(CreatePHPRTF, "<?php __FILE__x;", "__FILE__x"), "2");
  EXPECT_EQ(Style(CreateJScriptRTF, "Number.MAX_VALUE;", "MAX_VALUE"), "3");
  EXPECT_EQ(Style(CreateJScriptRTF, "MAX_VALUES;", "MAX_VALUES"), "2");
  EXPECT_EQ(Style(CreateJScriptRTF, "atan2(y)", "atan2"), "3");
  EXPECT_EQ(Style(CreateJScriptRTF, "atan3(y)", "atan3"), "2");
  EXPECT_EQ(Style(CreateJScriptRTF, "atan2x;", "atan2x"), "2");
  EXPECT_EQ(Style(CreatePasRTF, "x := begin1;", "begin1"), "2");
  EXPECT_EQ(Style(CreateSQLRTF, "select Base_Name;", "Base_Name"), "3 b");  // letters in either case
}

TEST(Highlighters, Markup) {
  const char* xml =
      "<?xml version=\"1.0\"?>\r\n<a xmlns:n=\"u\" n:b='v' c=\"w &amp; x\">t &lt;// s<!-- c --><![CDATA[d]]></a>\r\n";
  EXPECT_EQ(Style(CreateXMLRTF, xml, "<?xml version=\"1.0\"?>"), "6");
  EXPECT_EQ(Style(CreateXMLRTF, xml, "a"), "1");
  EXPECT_EQ(Style(CreateXMLRTF, xml, "xmlns:n"), "3");
  EXPECT_EQ(Style(CreateXMLRTF, xml, "\"u\""), "8");
  EXPECT_EQ(Style(CreateXMLRTF, xml, "n:b"), "2");
  EXPECT_EQ(Style(CreateXMLRTF, xml, "'v'"), "7");
  EXPECT_EQ(Style(CreateXMLRTF, xml, "\"w "), "6");
  EXPECT_EQ(Style(CreateXMLRTF, xml, "&amp;"), "2");  // entity in a double-quoted value
  EXPECT_EQ(Style(CreateXMLRTF, xml, "&lt;"), "1");
  EXPECT_EQ(Style(CreateXMLRTF, xml, "<!-- c -->"), "7");
  EXPECT_EQ(Style(CreateXMLRTF, xml, "<![CDATA[d]]>"), "11");
  EXPECT_EQ(Style(CreateXMLRTF, xml, "// s"), "2");  // the markup "//" rule
  EXPECT_EQ(Style(CreateXMLRTF, xml, "</"), "9");

  const char* html = "<HTML><foo x=1 y=\"s\">t &amp; <!-- c --><%= y %></foo><br/>\r\n";
  EXPECT_EQ(Style(CreateHTMLRTF, html, "HTML"), "4");
  EXPECT_EQ(Style(CreateHTMLRTF, html, "foo"), "9");
  EXPECT_EQ(Style(CreateHTMLRTF, html, "/foo"), "9");
  EXPECT_EQ(Style(CreateHTMLRTF, html, "br"), "4");
  EXPECT_EQ(Style(CreateHTMLRTF, html, "x"), "3");
  EXPECT_EQ(Style(CreateHTMLRTF, html, "1"), "10");
  EXPECT_EQ(Style(CreateHTMLRTF, html, "\"s\""), "6");
  EXPECT_EQ(Style(CreateHTMLRTF, html, "&amp;"), "11");
  EXPECT_EQ(Style(CreateHTMLRTF, html, "<!-- c -->"), "2");
  EXPECT_EQ(Style(CreateHTMLRTF, html, "<%= y %>"), "1");
  EXPECT_EQ(Style(CreateHTMLRTF, html, "t "), "8");
  EXPECT_EQ(Style(CreateHTMLRTF, "<p>\"q\"</p>", "\"q\""), "8");  // text, not a value
  // Script and style bodies in the colours of JavaScript and CSS, after the markup's 11.
  const char* page = "<SCRIPT type=\"module\">\r\nconst s = \"</p>\"; // note\r\n</script><style>p { color: red; }</STYLE>"
                     "<p>const</p>\r\n";
  EXPECT_EQ(Style(CreateHTMLRTF, page, "const"), "14");   // 11 + the JavaScript keyword colour 3
  EXPECT_EQ(Style(CreateHTMLRTF, page, "// note"), "12");
  EXPECT_EQ(Style(CreateHTMLRTF, page, "\"</p>\""), "17");
  EXPECT_EQ(Style(CreateHTMLRTF, page, "/script"), "4");  // the markup again
  EXPECT_EQ(Style(CreateHTMLRTF, page, "color"), "22");   // 11 + 8 + the CSS keyword colour 3
  EXPECT_EQ(Style(CreateHTMLRTF, page, "/STYLE"), "4");
  EXPECT_EQ(ReadRtf(Doc(CreateHTMLRTF, page)).Text, std::string(page) + " ");
}

TEST(PreviewText, Decoding) {
  TTextEncoding e;
  EXPECT_EQ(DecodeText("\xEF\xBB\xBF\xCE\xB1\xCE\xB2", &e), "\xCE\xB1\xCE\xB2");
  EXPECT_EQ(e, TTextEncoding::teUtf8Bom);
  EXPECT_EQ(DecodeText(std::string("\xFF\xFE" "A\0\xE9\0\x2D\x4E\n\0", 10), &e), "A\xC3\xA9\xE4\xB8\xAD\n");
  EXPECT_EQ(e, TTextEncoding::teUtf16LE);
  EXPECT_EQ(DecodeText(std::string("\xFE\xFF\0A\xD8\x3D\xDE\x00", 8), &e), "A\xF0\x9F\x98\x80");
  EXPECT_EQ(e, TTextEncoding::teUtf16BE);
  EXPECT_EQ(DecodeText("caf\xC3\xA9", &e), "caf\xC3\xA9");
  EXPECT_EQ(e, TTextEncoding::teUtf8);
  EXPECT_EQ(DecodeText("caf\xE9 \x80", &e), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(e, TTextEncoding::teAnsi);
  EXPECT_EQ(DecodeText("plain", &e), "plain");
  EXPECT_EQ(e, TTextEncoding::teAscii);

  EXPECT_EQ(JoinLines("a\rb\nc\r\nd"), "a\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(JoinLines("a\n\nb\r\r"), "a\r\n\r\nb\r\n\r\n");
  EXPECT_EQ(JoinLines(""), "");
  EXPECT_EQ(JoinLines(std::string("ab\0cd\n", 6)), "ab");
  EXPECT_EQ(JoinLines(std::string("ab\n\0", 4)), "ab\r\n");
}

TEST(PreviewText, SizeBound) {
  std::string lines;
  for (int i = 0; i < 20; ++i) lines += "line " + std::to_string(i) + "\n";  // 7 or 8 bytes each
  const TPreviewText small = PreviewTextOf(lines, lines.size(), 1000);
  EXPECT_FALSE(small.Cut);
  EXPECT_EQ(small.Text, JoinLines(lines));
  const TPreviewText cut = PreviewTextOf(lines, 5000, 40);
  EXPECT_TRUE(cut.Cut);
  EXPECT_EQ(cut.Shown, 35u);  // five whole lines of 7 bytes
  EXPECT_EQ(cut.Text, JoinLines(lines.substr(0, 35)) + "[Preview cut: 35 of 5000 bytes shown]\r\n");
  // No line end inside the bound: a character is never split.
  const TPreviewText noEnd = PreviewTextOf("ab\xCE\xB1\xCE\xB2", 100, 5);
  EXPECT_EQ(noEnd.Text, "ab\xCE\xB1\r\n[Preview cut: 4 of 100 bytes shown]\r\n");
  // UTF-16: the cut stays on a code unit after a line end.
  const std::string u16("\xFF\xFE" "a\0\n\0b\0c\0", 10);
  const TPreviewText wide = PreviewTextOf(u16, 50, 9);
  EXPECT_EQ(wide.Shown, 6u);
  EXPECT_EQ(wide.Text, "a\r\n[Preview cut: 6 of 50 bytes shown]\r\n");
}

TEST(PreviewText, HighlighterChoice) {
  EXPECT_EQ(CreateHighlighter({fitText}), nullptr);
  EXPECT_EQ(CreateHighlighter({fitRTF, fitText}), nullptr);
  // Several strong types: the last in enumeration order colours the text, once.
  EXPECT_EQ(HighlightToRtf(*CreateHighlighter({fitPHP, fitBasic}), "x"), Doc(CreateVBRTF, "x"));
  // A weak sniff colours only a file nothing else speaks for.
  EXPECT_EQ(HighlightToRtf(*CreateHighlighter({fitPascalUnit, fitSQL}), "x"), Doc(CreateSQLRTF, "x"));
  EXPECT_EQ(HighlightToRtf(*CreateHighlighter({fitDelphiForm, fitText}), "x"), Doc(CreateDFMRTF, "x"));
  EXPECT_EQ(HighlightToRtf(*CreateHighlighter({fitXML, fitPascalUnit, fitText}), "unit"), Doc(CreateXMLRTF, "unit"));
  // The name said text: the sniff does not colour it ("The unit price is 5" in a .txt).
  EXPECT_EQ(CreateHighlighter({fitPascalUnit, fitText}, {fitText}), nullptr);
  EXPECT_EQ(CreateHighlighter({fitSQL, fitText}, {fitRTF}), nullptr);
  EXPECT_EQ(HighlightToRtf(*CreateHighlighter({fitHTML, fitPascalUnit}, {fitHTML}), "x"), Doc(CreateHTMLRTF, "x"));
  // A sniff the name agrees with stays.
  EXPECT_EQ(HighlightToRtf(*CreateHighlighter({fitPascalUnit, fitText}, {fitPascalUnit}), "x"), Doc(CreatePasRTF, "x"));
}

}  // namespace
