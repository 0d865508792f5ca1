// The later highlighters on real files shipped by Debian packages or written by the tests:
// the words Pygments' lexer for the language calls keywords are keywords in ours on at least
// 95 % of their occurrences, and its comments and strings are ours too; the document reads
// back to exactly the file's text (with the tests' reader, and with unrtf for smaller files).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "common/bqTestFiles.h"
#include "platform/bqText.h"
#include "preview/RtfReader.h"
#include "preview/hlxTableSyntax.h"
#include "preview/zoxFFRTFSyntaxHighlighting.h"

namespace {

using namespace bq;
namespace fs = std::filesystem;
using TFactory = std::unique_ptr<ThlxRTFSyntax> (*)();

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

struct TLanguageCase {
  std::string File, Lexer;
  TFactory Create;
  std::set<int> Comment = {1};  // our colours that count as a comment
  std::set<int> Keyword = {3}, String = {6};
};

// Our colour of every code point of the text but CRs, as the highlighter's tokens give it.
std::vector<uint8_t> Colours(TFactory create, const std::string& text) {
  std::vector<uint8_t> out;
  out.reserve(text.size());
  auto h = create();
  h->SetText(text);
  while (!h->GetEol()) {
    const std::string_view token = h->GetToken();
    const int kind = h->GetTokenKind();
    for (char c : token)
      if (c != '\r' && (static_cast<unsigned char>(c) & 0xC0) != 0x80) out.push_back(static_cast<uint8_t>(kind));
    h->Next();
  }
  return out;
}

// The code points of the text but CRs, to tell blanks.
std::u32string CodePoints(const std::string& text) {
  std::u32string out;
  const std::u16string wide = Utf8ToUtf16(text);
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size()) c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
    if (c != U'\r') out.push_back(c);
  }
  return out;
}

void CheckAgainstPygments(const TLanguageCase& c) {
  SCOPED_TRACE(c.File + " as " + c.Lexer);
  ASSERT_TRUE(fs::exists(c.File)) << "missing (scripts/install-deps.sh test)";
  const std::string bytes = Slurp(c.File);
  const std::string text = PreviewTextOf(bytes, bytes.size()).Text;
  const std::vector<uint8_t> ours = Colours(c.Create, text);
  const std::u32string points = CodePoints(text);
  ASSERT_EQ(ours.size(), points.size());
  const std::string oracle = Capture(std::string("/usr/bin/python3 ") + BQ_SOURCE_DIR +
                                     "/tests/preview/pygments_oracle.py " + c.Lexer + " '" + c.File + "'");
  ASSERT_FALSE(oracle.empty());
  std::map<char, std::pair<int, int>> agree;  // class -> (agreeing, all)
  std::istringstream lines(oracle);
  char kind;
  size_t start, end;
  std::map<char, std::string> firstMiss;
  while (lines >> kind >> start >> end) {
    const std::set<int>& ourSet = kind == 'K' ? c.Keyword : kind == 'C' ? c.Comment : c.String;
    bool same = end <= ours.size();
    for (size_t i = start; same && i < end; ++i)
      same = points[i] <= U' ' || ourSet.count(ours[i]);
    auto& [yes, all] = agree[kind];
    ++all;
    if (same) ++yes;
    else if (end <= points.size() && std::count(firstMiss[kind].begin(), firstMiss[kind].end(), '|') < 8) {
      std::string miss;
      for (size_t i = start; i < std::min(end, start + 40); ++i) miss += points[i] < 128 ? static_cast<char>(points[i]) : '?';
      firstMiss[kind] += miss + " @" + std::to_string(start) + " ours " + std::to_string(ours[start]) + " | ";
    }
  }
  for (const auto& [k, counts] : agree) {
    const double ratio = static_cast<double>(counts.first) / counts.second;
    std::printf("  %-60s %c %6d of %6d  %.3f\n", c.File.c_str(), k, counts.first, counts.second, ratio);
    EXPECT_GE(ratio, 0.95) << k << ", disagreements: " << firstMiss[k];
  }

  const std::string rtf = HighlightToRtf(*c.Create(), text);
  const bqtest::TRtfRead read = bqtest::ReadRtf(rtf);
  EXPECT_TRUE(read.Balanced && read.Ascii);
  EXPECT_EQ(read.Text, Utf16ToUtf8(Utf8ToUtf16(text)) + " ");
}

class Languages : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Dir = fs::current_path() / "preview-fixtures";
    fs::create_directories(Dir);
  }
  static std::string Made(const std::string& name, const std::string& text) {
    const fs::path p = Dir / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  static fs::path Dir;
};
fs::path Languages::Dir;

TEST_F(Languages, CAndCpp) {
  CheckAgainstPygments({"/usr/include/stdio.h", "c", CreateCppRTF, {1, 7}});
  CheckAgainstPygments({"/usr/include/c++/12/bits/stl_vector.h", "cpp", CreateCppRTF, {1, 7}});
  const std::string raw = Made("raw.cpp",
      "#include <string>\n#define TWICE(x) \\\n  ((x) * 2)\nconst char* s = R\"json({\"a\": \"// not a comment\",\n"
      "  \"b\": 1})json\";\nauto t = u8R\"(x)\"; // done\nint main() { return sizeof s; }\n");
  CheckAgainstPygments({raw, "cpp", CreateCppRTF, {1, 7}});
}

TEST_F(Languages, Python) {
  CheckAgainstPygments({"/usr/lib/python3.11/argparse.py", "python", CreatePythonRTF});
  CheckAgainstPygments({"/usr/lib/python3.11/dataclasses.py", "python", CreatePythonRTF});
}

TEST_F(Languages, JSON) {
  CheckAgainstPygments({"/usr/share/iso-codes/json/iso_3166-1.json", "json", CreateJSONRTF});
  const std::string json = Made("doc.json", "{\"key\": \"value\", \"n\": -1.5e3, \"ok\": [true, false, null],\n"
                                            " \"nested\" : {\"k\\\"q\": \"v\"}}\n");
  CheckAgainstPygments({json, "json", CreateJSONRTF});
  const auto read = bqtest::ReadRtf(HighlightToRtf(*CreateJSONRTF(), Slurp(json)));
  std::map<std::string, int> colour;
  for (const auto& run : read.Runs) colour[run.Text] = run.Color;
  EXPECT_EQ(colour["\"key\""], 9);
  EXPECT_EQ(colour["\"value\""], 6);
  EXPECT_EQ(colour["\"nested\""], 9);
}

TEST_F(Languages, PowerShell) {
  CheckAgainstPygments({"/usr/lib/python3.11/venv/scripts/common/Activate.ps1", "powershell", CreatePowerShellRTF});
  const std::string ps = Made("tool.ps1",
      "<#\n.SYNOPSIS\n  A tool.\n#>\nparam([string]$Path = \"C:\\Temp\", [switch]$Force)\n"
      "function Get-Report {\n  foreach ($item in Get-ChildItem -Path $Path) {\n"
      "    if ($item.Length -gt 1kb) { Write-Output \"big: $($item.Name) `\"quoted`\"\" }\n  }\n}\n"
      "$text = @\"\nline one $Path\nline \"two\"\n\"@\n$lit = @'\nno $expansion here\n'@\n"
      "$env:TEMP; ${my var} = 'it''s' # done\ntry { throw 'x' } catch { exit 1 } finally { }\n");
  CheckAgainstPygments({ps, "powershell", CreatePowerShellRTF});
}

TEST_F(Languages, Shell) {
  CheckAgainstPygments({"/usr/bin/gettext.sh", "bash", CreateShellRTF, {1, 7}});
  CheckAgainstPygments({"/usr/share/debconf/confmodule", "bash", CreateShellRTF, {1, 7}});
  const std::string sh = Made("tool.sh",
      "#!/bin/sh\n# comment\nset -e\nfor f in \"$@\"; do\n  case $f in\n    *.txt) echo \"text: ${f%.txt}\" ;;\n"
      "    *) echo 'other' ;;\n  esac\ndone\ncat <<EOF\nbody $HOME # not a comment\nif then\nEOF\n"
      "cat <<-'END'\n\tliteral\n\tEND\nwhile [ $# -gt 0 ]; do shift; done\nx=a#b; echo `date`\n");
  CheckAgainstPygments({sh, "bash", CreateShellRTF, {1, 7}});
}

TEST_F(Languages, Batch) {
  const std::string bat = Made("build.bat",
      "@echo off\nrem Build the project\n:: another comment\nsetlocal EnableDelayedExpansion\n"
      "set \"OUT=%~dp0out\"\nif not exist \"%OUT%\" mkdir \"%OUT%\"\nfor %%f in (*.c) do (\n"
      "  echo Compiling %%f\n  call :compile %%f || goto :fail\n)\nset /a count=!count!+1\n"
      "goto :eof\n:compile\necho %1\nexit /b 0\n:fail\necho failed & exit /b 1\n");
  CheckAgainstPygments({bat, "batch", CreateBatchRTF, {1}});
}

TEST_F(Languages, CSharpAndJava) {
  const std::string cs = Made("Program.cs",
      "using System;\n#region Main\nnamespace Demo {\n  /// <summary>Entry.</summary>\n"
      "  public static class Program {\n    static void Main(string[] args) {\n"
      "      var path = @\"C:\\temp\\\"\"quoted\"\"\";\n      var name = $\"Hello {args.Length}\";\n"
      "      int @class = 1; // verbatim identifier\n"
      "      foreach (var a in args) { if (a is null) continue; Console.WriteLine(a); }\n"
      "      /* block\n         comment */ await System.Threading.Tasks.Task.Yield();\n    }\n  }\n}\n#endregion\n");
  CheckAgainstPygments({cs, "csharp", CreateCSharpRTF, {1, 7}});
  // Raw strings (C# 11), which this Pygments does not know: the quotes that opened one close it.
  const std::string raw = "var r = \"\"\"\"\n  {\"a\": \"\"\"}\n  \"\"\"\";\nint x;\n";
  const auto read = bqtest::ReadRtf(HighlightToRtf(*CreateCSharpRTF(), JoinLines(raw)));
  std::map<std::string, int> colour;
  for (const auto& run : read.Runs) colour[run.Text] = run.Color;
  EXPECT_EQ(colour["  {\"a\": \"\"\"}"], 6);
  EXPECT_EQ(colour["  \"\"\"\""], 6);
  EXPECT_EQ(colour["int"], 3);
  const std::string java = (Dir / "ArrayList.java").string();
  if (!fs::exists(java))
    std::system(("unzip -p /usr/lib/jvm/java-17-openjdk-amd64/lib/src.zip java.base/java/util/ArrayList.java > '" + java + "'").c_str());
  CheckAgainstPygments({java, "java", CreateJavaRTF});
  const std::string block = Made("Text.java",
      "@Deprecated\nclass Text {\n  String s = \"\"\"\n    a \"quoted\" block\n    \"\"\";\n"
      "  @Override public String toString() { return s; } // c\n}\n");
  CheckAgainstPygments({block, "java", CreateJavaRTF});
}

TEST_F(Languages, CSSIniMarkdownYAML) {
  CheckAgainstPygments({"/usr/share/gitweb/static/gitweb.css", "css", CreateCSSRTF});
  CheckAgainstPygments({"/usr/share/wine/wine.inf", "ini", CreateIniRTF});
  const std::string reg = Made("settings.reg",
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Demo]\r\n"
      "\"Name\"=\"Value\"\r\n\"Count\"=dword:0000002a\r\n\"Bytes\"=hex:01,02,03,\\\r\n  04,05\r\n"
      "@=\"default\"\r\n; a comment\r\n");
  CheckAgainstPygments({reg, "ini", CreateIniRTF});
  CheckAgainstPygments({"/usr/share/doc/python3-yaml/examples/pygments-lexer/example.yaml", "yaml", CreateYAMLRTF});
  CheckAgainstPygments({"/usr/share/doc/libbenchmark-dev/benchmark/reducing_variance.md", "markdown", CreateMarkdownRTF});
  CheckAgainstPygments({"/usr/share/doc/git/README.md", "markdown", CreateMarkdownRTF});
  const std::string md = Made("notes.md",
      "# Title\n\nSome *emphasis*, **strong**, a `code span` and snake_case_word.\n\n```sh\n# not a heading\n"
      "echo *x*\n```\n- item with [a link](http://example.org/x)\n## Second\n");
  const auto read = bqtest::ReadRtf(HighlightToRtf(*CreateMarkdownRTF(), JoinLines(Slurp(md))));
  std::map<std::string, int> colour;
  for (const auto& run : read.Runs) colour[run.Text] = run.Color;
  EXPECT_EQ(colour["# Title"], 10);
  EXPECT_EQ(colour["## Second"], 10);
  EXPECT_EQ(colour["*emphasis*"], 11);
  EXPECT_EQ(colour["**strong**"], 11);
  EXPECT_EQ(colour["`code span`"], 6);
  EXPECT_EQ(colour["# not a heading"], 6);  // inside the fence
  EXPECT_EQ(colour["echo *x*"], 6);
  EXPECT_EQ(colour["snake_case_word"], 2);
  EXPECT_EQ(colour["](http://example.org/x)"], 9);
}

}  // namespace
