// The pattern search: the recognisers' corner cases, findings independent of how the bytes
// are cut into blocks, offsets past 4 GiB, and real files against independent tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "common/bqTestFiles.h"
#include "patterns/bqViewPatterns.h"
#include "patterns/zoxSearchPattern.h"

using namespace bq;

namespace {

struct TFinding {
  int Category;
  std::string Text;
  uint64_t Offset;
  bool operator==(const TFinding&) const = default;
};
std::ostream& operator<<(std::ostream& o, const TFinding& f) {
  return o << "(" << f.Category << ", \"" << f.Text.substr(0, 60) << "\", " << f.Offset << ")";
}

// Findings in order, the bytes fed in pieces of at most piece bytes (0: all at once).
std::vector<TFinding> Find(const std::string& bytes, size_t piece = 0, uint64_t origin = 0) {
  TPatternSearch search;
  std::vector<TFinding> found;
  search.OnFound = [&](TPatternCategory c, std::string_view text, uint64_t offset) {
    found.push_back({c, std::string(text), offset});
  };
  search.Begin(origin);
  if (piece == 0) piece = std::max<size_t>(bytes.size(), 1);
  for (size_t at = 0; at < bytes.size(); at += piece)
    search.Feed(TByteView(bytes.data() + at, std::min(piece, bytes.size() - at)));
  search.End();
  return found;
}

std::vector<std::string> Texts(const std::vector<TFinding>& found, int category) {
  std::vector<std::string> out;
  for (const auto& f : found)
    if (f.Category == category) out.push_back(f.Text);
  return out;
}

using V = std::vector<std::string>;
const std::string Z(1, '\0');

TEST(PatternSearch, RecognisersAsDocumented) {
  // GUIDs: no length rule; a second "{" restarts.
  EXPECT_EQ(Find("x{0123ABCD-EF}y"), (std::vector<TFinding>{{pcGUID, "{0123ABCD-EF}", 1}}))
      << "the printable run never ends, so it is no string";
  EXPECT_EQ(Texts(Find("x{0123ABCD-EF}y" + Z), pcString), V{"x{0123ABCD-EF}y"});
  EXPECT_EQ(Find("{abc{12}" + Z)[0], (TFinding{pcGUID, "{12}", 4}));
  EXPECT_EQ(Texts(Find("{}{g}" + Z), pcGUID), V{"{}"});

  // URLs: case-sensitive prefix; the byte that breaks a prefix is not tried again.
  EXPECT_EQ(Texts(Find("http://abc" + Z), pcURL), V{"http://abc"});
  EXPECT_EQ(Texts(Find("http://a_bc" + Z), pcURL), V{"http://a"});
  EXPECT_EQ(Texts(Find("http:// x" + Z), pcURL), V{"http://"});
  EXPECT_EQ(Texts(Find("hhttp://abc" + Z), pcURL), V{});
  EXPECT_EQ(Texts(Find("hhhttp://abc" + Z), pcURL), V{"http://abc"});
  EXPECT_EQ(Texts(Find("HTTP://abc" + Z), pcURL), V{});
  EXPECT_EQ(Find("..http://x/a?b=1\"")[0], (TFinding{pcURL, "http://x/a?b=1", 2}));

  // Registry: both prefixes byte by byte, mixed forms too.
  EXPECT_EQ(Find("SOFTWARE\\Classes\\x ")[0], (TFinding{pcRegistry, "SOFTWARE\\Classes\\x", 0}));
  EXPECT_EQ(Texts(Find("HKEY_LOCAL_MACHINE\\Soft\tx"), pcRegistry), V{"HKEY_LOCAL_MACHINE\\Soft"});
  EXPECT_EQ(Texts(Find("HOFT_x{"), pcRegistry), V{"HOFT_x"});
  EXPECT_EQ(Texts(Find("SOFTWx "), pcRegistry), V{"SOFTWx"});
  EXPECT_EQ(Texts(Find("HHKEY_x "), pcRegistry), V{});
  EXPECT_EQ(Texts(Find("software\\x "), pcRegistry), V{});

  // File names.
  EXPECT_EQ(Texts(Find(Z + "C:\\Windows\\notepad.exe" + Z + "setup.ini" + Z), pcFileName),
            (V{"C:\\Windows\\notepad.exe", "setup.ini"}));
  EXPECT_EQ(Texts(Find(Z + "x.ab" + Z + "file.c" + Z + "a:b.txt" + Z + "C:x.exe" + Z + "ab:c.txt" + Z), pcFileName), V{});
  EXPECT_EQ(Find("abcd" + Z + "setup.ini" + Z)[0], (TFinding{pcFileName, "setup.ini", 5}));
  EXPECT_EQ(Texts(Find("my file.TXT" + Z + "a.b.c.d.e1f" + Z), pcFileName), V{"my file.TXT"});

  // Strings and the filter.
  EXPECT_EQ(Find("--==abc" + Z), (std::vector<TFinding>{{pcString, "==abc", 0}}));
  EXPECT_EQ(Find("a...b" + Z + "abcd" + Z), (std::vector<TFinding>{}));
  EXPECT_EQ(Texts(Find("----abc" + Z + "-----abc" + Z + "-a--bcdef" + Z + "!!ab" + Z), pcString), (V{"--abc", "a--bcdef"}));
  EXPECT_EQ(Find("abcdefgh"), (std::vector<TFinding>{})) << "the file ends inside the run";

  // The same bytes in several categories, in the order of the byte that completes them.
  EXPECT_EQ(Find("C:\\app\\setup.exe" + Z),
            (std::vector<TFinding>{{pcFileName, "C:\\app\\setup.exe", 0}, {pcString, "C:\\app\\setup.exe", 0}}));
  // "://" is three punctuation characters: a URL inside a string makes the string go.
  EXPECT_EQ(Find("see http://example.com now" + Z), (std::vector<TFinding>{{pcURL, "http://example.com", 4}}));
}

TEST(PatternSearch, FindingsDoNotDependOnBlocks) {
  // Each kind once, then each placed across a block boundary at every split position.
  const std::string bytes = Z + "{6E1A4F2B-93C7-4D8E}" + Z + "http://a.b/c" + Z + "HKEY_CURRENT_USER\\X" + Z +
                            "C:\\dir\\file.dll" + Z + "--plain text--" + Z;
  const auto whole = Find(bytes);
  // Each kind once, and four strings (the URL's holds "://").
  ASSERT_EQ(whole, (std::vector<TFinding>{{pcGUID, "{6E1A4F2B-93C7-4D8E}", 1},
                                          {pcString, "6E1A4F2B-93C7-4D8E}", 1},
                                          {pcURL, "http://a.b/c", 22},
                                          {pcRegistry, "HKEY_CURRENT_USER\\X", 35},
                                          {pcString, "HKEY_CURRENT_USER\\X", 35},
                                          {pcFileName, "C:\\dir\\file.dll", 55},
                                          {pcString, "C:\\dir\\file.dll", 55},
                                          {pcString, "plain text--", 71}}));
  for (size_t piece = 1; piece <= bytes.size(); ++piece) ASSERT_EQ(Find(bytes, piece), whole) << "pieces of " << piece;
  for (size_t cut = 1; cut < bytes.size(); ++cut) {
    TPatternSearch search;
    std::vector<TFinding> found;
    search.OnFound = [&](TPatternCategory c, std::string_view t, uint64_t o) { found.push_back({c, std::string(t), o}); };
    search.Begin();
    search.Feed(TByteView(bytes.data(), cut));
    search.Feed(TByteView(bytes.data() + cut, bytes.size() - cut));
    search.End();
    ASSERT_EQ(found, whole) << "cut at " << cut;
  }
  // The lists hold the same findings as "text=OFFSET".
  TPatternSearch search;
  search.Begin();
  search.Feed(TByteView(bytes));
  EXPECT_EQ(search.Lists[pcGUID], V{"{6E1A4F2B-93C7-4D8E}=00000001"});
  EXPECT_EQ(search.Lists[pcFileName], V{"C:\\dir\\file.dll=00000037"});
}

TEST(PatternSearch, OffsetsPast4GiBKeepAllDigits) {
  EXPECT_EQ(OffsetText(4096), "00001000");
  EXPECT_EQ(OffsetText(0xFFFFFFFFull), "FFFFFFFF");
  EXPECT_EQ(OffsetText(0x100000000ull), "0000000100000000");
  // A feed that starts 16 bytes before 4 GiB: findings on both sides, one across it.
  const std::string bytes = std::string(4, '\0') + "first.txt" + Z + Z + Z + "{0A}second.dat" + Z;
  const auto found = Find(bytes, 7, 0xFFFFFFF0ull);
  std::vector<std::string> shown;
  for (const auto& f : found) shown.push_back(f.Text + "=" + OffsetText(f.Offset));
  EXPECT_EQ(shown, (V{"first.txt=FFFFFFF4", "first.txt=FFFFFFF4", "{0A}=0000000100000000", "second.dat=0000000100000004",
                      "0A}second.dat=0000000100000000"}));
}

TEST(PatternSearch, LongCandidatesKeepTheirStartAndAreCut) {
  const std::string run(200000, 'A');
  auto found = Find(run + Z, 4096);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0], (TFinding{pcString, std::string(MaxFindingChars, 'A'), 0}));

  found = Find("x{" + std::string(100000, 'f') + "}" + Z, 1000);
  ASSERT_EQ(Texts(found, pcGUID).size(), 1u);
  EXPECT_EQ(found[0].Offset, 1u);
  EXPECT_EQ(found[0].Text, "{" + std::string(MaxFindingChars - 1, 'f'));

  // The filter still sees the whole run: three dots far beyond the kept text reject it.
  EXPECT_EQ(Find(run + "..." + Z, 5000), (std::vector<TFinding>{}));
  // A name whose extension lies beyond the kept text is still a name.
  found = Find(Z + std::string(70000, 'n') + ".ext" + Z, 3000);
  ASSERT_EQ(Texts(found, pcFileName).size(), 1u);
  EXPECT_EQ(found[0].Offset, 1u);
}

// ---- Real files against independent tools.

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

using TMultiset = std::multiset<std::pair<uint64_t, std::string>>;

// grep -boaP: "offset:match" lines; matches that reach the end of the file are dropped, as are
// those right after a partial prefix (the recogniser does not try that byte again).
TMultiset GrepOracle(const std::string& file, const std::string& pattern, const std::vector<std::string>& partials) {
  const std::string out = (bqtest::ScratchDir() / "grep.txt").string();
  std::system(("LC_ALL=C grep -boaP '" + pattern + "' '" + file + "' > '" + out + "'").c_str());
  const std::string bytes = ReadAll(file);
  TMultiset result;
  std::istringstream lines(ReadAll(out));
  std::string line;
  while (std::getline(lines, line)) {
    const size_t colon = line.find(':');
    const uint64_t offset = std::stoull(line.substr(0, colon));
    const std::string text = line.substr(colon + 1);
    if (offset + text.size() >= bytes.size()) continue;
    bool afterPartial = false;
    for (const auto& p : partials)
      afterPartial |= offset >= p.size() && bytes.compare(offset - p.size(), p.size(), p) == 0;
    if (!afterPartial) result.insert({offset, text});
  }
  return result;
}

bool IsPunct(char c) { return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') || (c >= '{' && c <= '~'); }

// strings -a -t x -n 5, its runs split at tabs, then the documented filter.
TMultiset StringsOracle(const std::string& file) {
  const std::string out = (bqtest::ScratchDir() / "strings.txt").string();
  std::system(("strings -a -t x -n 5 '" + file + "' > '" + out + "'").c_str());
  const uint64_t size = ReadAll(file).size();
  TMultiset result;
  std::istringstream lines(ReadAll(out));
  std::string line;
  while (std::getline(lines, line)) {
    const size_t start = line.find_first_not_of(' ');
    const size_t space = line.find(' ', start);
    uint64_t offset = std::stoull(line.substr(start, space - start), nullptr, 16);
    const std::string run = line.substr(space + 1);
    size_t from = 0;
    for (;;) {
      const size_t tab = run.find('\t', from);
      const std::string piece = run.substr(from, tab == std::string::npos ? std::string::npos : tab - from);
      const uint64_t at = offset + from;
      if (at + piece.size() < size && !piece.empty()) {
        std::string t = piece;
        for (int k = 0; k < 2; ++k)
          if (t.size() > 1 && IsPunct(t[0])) t.erase(0, 1);
        bool triple = false;
        for (size_t i = 0; i + 2 < t.size(); ++i) triple |= IsPunct(t[i]) && IsPunct(t[i + 1]) && IsPunct(t[i + 2]);
        if (t.size() >= 5 && !triple) result.insert({at, t});
      }
      if (tab == std::string::npos) break;
      from = tab + 1;
    }
  }
  return result;
}

// Maximal runs of the file-name class, then the documented rules.
TMultiset NamesOracle(const std::string& file) {
  TMultiset result;
  static const std::regex rule(R"(^(?:[^:]:\\[^:]*|[^:]*)\.[A-Za-z]{3}$)");
  for (const auto& [offset, run] : GrepOracle(file, R"([ \-.0-9:A-Z\\_a-z~]+)", {}))
    if (run.size() >= 5 && std::regex_match(run, rule)) result.insert({offset, run});
  return result;
}

TMultiset Ours(const std::string& file, int category) {
  TPatternSearch search;
  search.BlockSize = 4096 + 17;  // an odd size, so that many findings cross blocks
  TMultiset result;
  search.OnFound = [&](TPatternCategory c, std::string_view text, uint64_t offset) {
    if (c == category) result.insert({offset, std::string(text)});
  };
  EXPECT_TRUE(search.SearchFile(file));
  return result;
}

void CompareWithOracles(const std::string& file) {
  SCOPED_TRACE(file);
  EXPECT_EQ(Ours(file, pcGUID), GrepOracle(file, R"(\{[-0-9A-Fa-f]*\})", {}));
  EXPECT_EQ(Ours(file, pcURL), GrepOracle(file, R"(http://[!#-Z\\a-z|]*)", {"h", "ht", "htt", "http", "http:", "http:/"}));
  EXPECT_EQ(Ours(file, pcRegistry),
            GrepOracle(file, R"([HS][KO][EF][YT][_W][!-Z\\_a-z|]*)", {"H", "S", "HK", "SO", "HKE", "SOF", "HKEY", "SOFT"}));
  EXPECT_EQ(Ours(file, pcFileName), NamesOracle(file));
  const auto strings = Ours(file, pcString);
  EXPECT_EQ(strings, StringsOracle(file));
  EXPECT_GT(strings.size(), 10u);
}

TEST(PatternSearch, RealFilesAgreeWithIndependentTools) {
  if (!bqtest::HaveTool("strings") || !bqtest::HaveTool("grep")) GTEST_SKIP() << "binutils or grep missing";
  const std::string source = R"(#include <stdio.h>
static const char* guids[] = {"{6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A61}", "{00000000-0000-0000-C000-000000000046}", "{ab}"};
static const char* urls[] = {"http://www.example.com/path?q=1&r=2", "see http://a.b/c_d here", "hhttp://no.example"};
static const char* keys[] = {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "HKEY_LOCAL_MACHINE\\SYSTEM", "SOFTWx"};
static const char* names[] = {"C:\\Windows\\notepad.exe", "setup.ini", "a:b.txt", "readme.TXT", "tab\tsplit\there.dat"};
int main(int argc, char** argv) {
  for (int i = 0; i < 3; ++i) printf("%s %s %s\n", guids[i], urls[i], keys[i]);
  for (int i = 0; i < 5; ++i) puts(names[i]);
  return argc > 5 ? (int)argv[0][0] : 0;
}
)";
  bqtest::WriteFile("literals.c", source);
  std::vector<std::string> files;
  if (bqtest::HaveTool("x86_64-w64-mingw32-gcc") && bqtest::Shell("x86_64-w64-mingw32-gcc -O1 -o literals.exe literals.c"))
    files.push_back((bqtest::ScratchDir() / "literals.exe").string());
  if (bqtest::Shell("cc -c -o literals.o literals.c && ar rcs libliterals.a literals.o")) {
    files.push_back((bqtest::ScratchDir() / "literals.o").string());
    files.push_back((bqtest::ScratchDir() / "libliterals.a").string());
  }
  if (bqtest::Shell("man -P cat ls > ls.txt 2>/dev/null || zcat /usr/share/man/man1/ls.1.gz > ls.txt"))
    files.push_back((bqtest::ScratchDir() / "ls.txt").string());
  ASSERT_GE(files.size(), 2u) << "no compiler made a fixture";
  for (const auto& f : files) CompareWithOracles(f);
}

// ---- The page.

TEST(PatternsPage, GroupsRowsAndProgress) {
  const std::string file = bqtest::WriteFile("page.bin", std::string(4096, '\0') + "http://x.y/z" + Z + "no.patterns.here" + Z);
  auto selection = std::make_shared<TSelection>();
  selection->SelectedFiles = {file, "/nonexistent/second"};
  selection->SelectedTypes.resize(2);
  selection->Errors.resize(2);
  TPageRecorder recorder;
  FillPatternsPage({selection, nullptr}, recorder);
  const TPageRecord r = recorder.Record();
  EXPECT_TRUE(r.GroupView);
  ASSERT_EQ(r.Columns.size(), 2u);
  EXPECT_EQ(r.Columns[0].Title, "Pattern");
  EXPECT_EQ(r.Columns[1].Width, 70);
  EXPECT_EQ(r.Columns[1].Align, TAlign::alRight);
  ASSERT_EQ(r.Groups.size(), 5u);
  EXPECT_EQ(r.Groups[2].Header, "Registry Locations");
  EXPECT_EQ(r.Groups[4].Id, 5);
  ASSERT_EQ(r.Rows.size(), 2u);  // the string holding "://" is filtered out
  EXPECT_EQ(r.Rows[0].Cells(), (V{"http://x.y/z", "00001000"}));
  EXPECT_EQ(r.Rows[0].Group(), 2);
  EXPECT_EQ(r.Rows[1].Cells(), (V{"no.patterns.here", "0000100D"}));
  EXPECT_EQ(r.Rows[1].Group(), 5);
  EXPECT_EQ(r.Progress, 100);

  // A file that cannot be read: five empty groups, and the bar ends full (so it is hidden).
  selection->SelectedFiles = {"/nonexistent/file"};
  TPageRecorder unreadable;
  FillPatternsPage({selection, nullptr}, unreadable);
  EXPECT_TRUE(unreadable.Record().Rows.empty());
  EXPECT_EQ(unreadable.Record().Progress, 100);

  // A stop request ends the search between blocks, without the final step.
  const std::string big = bqtest::WriteFile("big.bin", std::string(3 << 20, 'x') + Z + "tail.txt" + Z);
  selection->SelectedFiles = {big};
  TPageRecorder stopped;
  stopped.RequestStop();
  FillPatternsPage({selection, nullptr}, stopped);
  EXPECT_TRUE(stopped.Record().Rows.empty());
  EXPECT_LT(stopped.Record().Progress, 100);
}

}  // namespace
