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
  int Encoding = peASCII;
  bool operator==(const TFinding&) const = default;
};
std::ostream& operator<<(std::ostream& o, const TFinding& f) {
  return o << "(" << f.Category << ", \"" << f.Text.substr(0, 60) << "\", " << f.Offset << ", " << f.Encoding << ")";
}

// Findings in order, the bytes fed in pieces of at most piece bytes (0: all at once).
std::vector<TFinding> Find(const std::string& bytes, size_t piece = 0, uint64_t origin = 0) {
  TPatternSearch search;
  std::vector<TFinding> found;
  search.OnFound = [&](TPatternCategory c, std::string_view text, uint64_t offset, TPatternEncoding e) {
    found.push_back({c, std::string(text), offset, e});
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
  EXPECT_EQ(Texts(Find("HHKEY_x "), pcRegistry), V{"HKEY_x"}) << "found by the case-free prefixes";
  EXPECT_EQ(Texts(Find("software\\x "), pcRegistry), V{"software\\x"});

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
  EXPECT_EQ(Find("see http://example.com now" + Z),
            (std::vector<TFinding>{{pcURL, "http://example.com", 4}, {pcFileName, "example.com", 11}}));
}

// Text as UTF-16LE code units.
std::string U16(const std::string& text) {
  std::string out;
  for (char c : text) out += std::string{c, '\0'};
  return out;
}

TEST(PatternSearch, NewRecognisersAndCommandLines) {
  // URLs with the other schemes; the prefix stays case-sensitive.
  EXPECT_EQ(Texts(Find("https://a.b/c?d=1" + Z + "ftp://h.x/p" + Z + "file://C:/x.txt" + Z + "FTP://no" + Z), pcURL),
            (V{"https://a.b/c?d=1", "ftp://h.x/p", "file://C:/x.txt"}));
  EXPECT_EQ(Find("xhttps://h/" + Z)[0], (TFinding{pcURL, "https://h/", 1}));
  // Registry locations from the case-free prefixes; they still end at a blank.
  EXPECT_EQ(Texts(Find("HKLM\\Software\\X y" + Z + "hkcu\\a" + Z + "HKCR\\.txt" + Z + "HKU\\S-1-5-18" + Z +
                       "Software\\Wine\\Fonts" + Z + "hkey_users\\x" + Z + "HKLX\\no" + Z + "HKCU" + Z),
                  pcRegistry),
            (V{"HKLM\\Software\\X", "hkcu\\a", "HKCR\\.txt", "HKU\\S-1-5-18", "Software\\Wine\\Fonts", "hkey_users\\x"}));
  // E-mail addresses: a dot in the domain and a top-level part of 2 to 24 letters at its end.
  EXPECT_EQ(Find("mail: john.doe+x@mail.example.org." + Z)[1], (TFinding{pcEmail, "john.doe+x@mail.example.org", 6}));
  EXPECT_EQ(Texts(Find("a@b.c" + Z + "x@host" + Z + "a@b.co1" + Z), pcEmail), V{});
  EXPECT_EQ(Texts(Find("a@b.com.x" + Z + "a@b.com@c.org" + Z + "x@y@z.de" + Z + "q@w." + std::string(25, 'e') + Z), pcEmail),
            (V{"a@b.com", "a@b.com", "y@z.de"}));
  // IPv4: four parts of 0 to 255, not inside a longer run of digits and dots.
  EXPECT_EQ(Texts(Find("ip 192.168.1.10, v10.0.0.1 1.2.3.4.5 256.1.1.1 01.2.3.4 0.0.0.0" + Z), pcIPAddress),
            (V{"192.168.1.10", "10.0.0.1", "0.0.0.0"}));
  // Command lines yield their program and file arguments; names lose their blanks at both ends.
  EXPECT_EQ(Texts(Find("C:\\Windows\\system32\\cmd.exe /c del x" + Z + "rundll32.exe shell32.dll,Control_RunDLL" + Z +
                       "C:\\Program Files\\app\\setup.exe" + Z + "notepad.exe  readme.txt  " + Z),
                  pcFileName),
            (V{"C:\\Windows\\system32\\cmd.exe", "rundll32.exe", "shell32.dll", "C:\\Program Files\\app\\setup.exe",
               "notepad.exe", "readme.txt"}));
  EXPECT_EQ(Find(Z + " color.rgb" + Z)[0], (TFinding{pcFileName, "color.rgb", 2}));
  EXPECT_EQ(Texts(Find("my file.TXT" + Z + "a.ex C:\\x.txt" + Z + "C:\\a b:c.txt" + Z), pcFileName),
            (V{"my file.TXT"})) << "a colon anywhere but at position 2 still rejects the name";
}

TEST(PatternSearch, Utf16TextAtBothAlignments) {
  // Even and odd offsets, each recogniser, with the unit offsets of the first byte.
  const std::string bytes = U16("C:\\Windows\\notepad.exe") + Z + Z + "x" + U16("https://example.com/a") + Z + Z +
                            U16("{01234567-89AB}") + Z + Z + "y" + U16("HKCU\\Software\\Wine") + Z + Z +
                            U16("me@example.org") + Z + Z + U16("10.1.2.3") + Z + Z;
  const auto found = Find(bytes);
  std::vector<TFinding> utf16;
  for (const auto& f : found)
    if (f.Encoding == peUTF16 && f.Category != pcString) utf16.push_back(f);
  EXPECT_EQ(utf16, (std::vector<TFinding>{{pcFileName, "C:\\Windows\\notepad.exe", 0, peUTF16},
                                          {pcFileName, "example.com", 63, peUTF16},
                                          {pcURL, "https://example.com/a", 47, peUTF16},
                                          {pcGUID, "{01234567-89AB}", 91, peUTF16},
                                          {pcRegistry, "HKCU\\Software\\Wine", 124, peUTF16},
                                          {pcFileName, "example.org", 168, peUTF16},
                                          {pcEmail, "me@example.org", 162, peUTF16},
                                          {pcIPAddress, "10.1.2.3", 192, peUTF16}}));
  EXPECT_EQ(Texts(found, pcString).size(), 5u) << "the URL's string holds \"://\"";
  for (const auto& f : found) EXPECT_EQ(f.Encoding, peUTF16) << f << ": 8-bit text holds only single letters";
  // 8-bit text is not read a second time as UTF-16, and UTF-16 text has no 8-bit findings.
  for (const auto& f : Find("plain text here, C:\\x\\y.txt" + Z)) EXPECT_EQ(f.Encoding, peASCII) << f;
  // The same findings however the bytes are cut, also with an odd origin.
  for (size_t piece = 1; piece <= 41; ++piece) ASSERT_EQ(Find(bytes, piece), found) << "pieces of " << piece;
  auto shifted = Find("q" + bytes, 0, 1);
  for (auto& f : shifted) f.Offset -= 2;
  EXPECT_EQ(shifted, found);
  for (size_t piece = 1; piece <= 9; ++piece) ASSERT_EQ(Find("q" + bytes, piece, 1), Find("q" + bytes, 0, 1));
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
    search.OnFound = [&](TPatternCategory c, std::string_view t, uint64_t o, TPatternEncoding e) {
      found.push_back({c, std::string(t), o, e});
    };
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
  for (const auto& [offset, run] : GrepOracle(file, R"([ \-.0-9:A-Z\\_a-z~]+)", {})) {
    // Without leading and trailing blanks; the text up to a blank that is a name ends one.
    size_t begin = run.find_first_not_of(' ');
    for (size_t i = begin; begin != std::string::npos && i <= run.size(); ++i) {
      if (i < run.size() && run[i] != ' ') continue;
      const std::string name = run.substr(begin, i - begin);
      if (name.size() >= 5 && name.back() != ' ' && std::regex_match(name, rule)) {
        result.insert({offset + begin, name});
        begin = run.find_first_not_of(' ', i);
        if (begin == std::string::npos) break;
        i = begin;
      }
    }
  }
  return result;
}

// The byte-by-byte prefixes (a mismatching byte is not tried again), and the case-free ones.
TMultiset RegistryOracle(const std::string& file) {
  TMultiset result = GrepOracle(file, R"([HS][KO][EF][YT][_W][!-Z\\_a-z|]*)", {"H", "S", "HK", "SO", "HKE", "SOF", "HKEY", "SOFT"});
  for (const auto& found : GrepOracle(file, R"((?i:hklm\\|hkcu\\|hkcr\\|hku\\|hkey_|software\\)[!-Z\\_a-z|]*)", {}))
    if (result.lower_bound({found.first, ""}) == result.upper_bound({found.first, "\xff"})) result.insert(found);
  return result;
}

const char* const EmailExpression = R"([A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,24}(?![A-Za-z0-9]))";
const char* const IPv4Expression =
    R"((?<![0-9.])(?:(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])\.){3}(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])(?![0-9.]))";

TMultiset Ours(const std::string& file, int category, TPatternEncoding encoding = peASCII) {
  TPatternSearch search;
  search.BlockSize = 4096 + 17;  // an odd size, so that many findings cross blocks
  TMultiset result;
  search.OnFound = [&](TPatternCategory c, std::string_view text, uint64_t offset, TPatternEncoding e) {
    if (c == category && e == encoding) result.insert({offset, std::string(text)});
  };
  EXPECT_TRUE(search.SearchFile(file));
  return result;
}

void CompareWithOracles(const std::string& file) {
  SCOPED_TRACE(file);
  EXPECT_EQ(Ours(file, pcGUID), GrepOracle(file, R"(\{[-0-9A-Fa-f]*\})", {}));
  EXPECT_EQ(Ours(file, pcURL), GrepOracle(file, R"((?:https?|ftp|file)://[!#-Z\\a-z|]*)",
                                          {"h", "ht", "htt", "http", "http:", "http:/", "https", "https:", "https:/",
                                           "f", "ft", "ftp", "ftp:", "ftp:/", "fi", "fil", "file", "file:", "file:/"}));
  EXPECT_EQ(Ours(file, pcRegistry), RegistryOracle(file));
  EXPECT_EQ(Ours(file, pcEmail), GrepOracle(file, EmailExpression, {}));
  EXPECT_EQ(Ours(file, pcIPAddress), GrepOracle(file, IPv4Expression, {}));
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

// strings -a -el -t d -n 5: UTF-16LE runs, split at tabs (not printable ASCII here), then the
// documented filter; runs that reach the file's last unit are dropped, as at the end of a file.
TMultiset Utf16StringsOracle(const std::string& file) {
  const std::string out = (bqtest::ScratchDir() / "strings16.txt").string();
  std::system(("strings -a -el -t d -n 5 '" + file + "' > '" + out + "'").c_str());
  const uint64_t size = ReadAll(file).size();
  TMultiset result;
  std::istringstream lines(ReadAll(out));
  std::string line;
  while (std::getline(lines, line)) {
    const size_t start = line.find_first_not_of(' ');
    const size_t space = line.find(' ', start);
    const uint64_t offset = std::stoull(line.substr(start, space - start));
    const std::string run = line.substr(space + 1);
    size_t from = 0;
    for (;;) {
      const size_t tab = run.find('\t', from);
      const std::string piece = run.substr(from, tab == std::string::npos ? std::string::npos : tab - from);
      const uint64_t at = offset + 2 * from;
      if (at + 2 * piece.size() + 2 <= size && !piece.empty()) {
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

// Windows programs: MinGW-built with L"..." strings and a string table, and Wine's own. Made
// once per run.
std::vector<std::string> MakeWindowsPrograms();
const std::vector<std::string>& WindowsPrograms() {
  static const std::vector<std::string> files = MakeWindowsPrograms();
  return files;
}

std::vector<std::string> MakeWindowsPrograms() {
  std::vector<std::string> files;
  const std::string source = R"(#include <windows.h>
static const wchar_t* texts[] = {L"C:\\Windows\\System32\\cmd.exe /c echo done", L"https://example.org/get?id=7",
  L"HKEY_LOCAL_MACHINE\\Software\\Brisk", L"write to support@example.com", L"Server 192.168.10.20 ready",
  L"{12345678-ABCD-EF01-2345-6789ABCDEF01}", L"Software\\Classes\\txtfile"};
int main(void) { for (int i = 0; i < 7; ++i) OutputDebugStringW(texts[i]); return 0; }
)";
  const std::string rc = R"RC(STRINGTABLE
BEGIN
  1, "Visit https://www.example.net/help or [ftp://files.example.net/pub]"
  2, "(rundll32.exe shell32.dll,Control_RunDLL desk.cpl)"
  3, "Mail admin@mail.example.co.uk from 10.0.0.254"
END
)RC";
  bqtest::WriteFile("wide.c", source);
  bqtest::WriteFile("wide.rc", rc);
  if (bqtest::HaveTool("x86_64-w64-mingw32-gcc")) {
    if (bqtest::Shell("x86_64-w64-mingw32-windres wide.rc -O coff -o wide_rc.o && "
                      "x86_64-w64-mingw32-gcc -O1 -o wide.exe wide.c wide_rc.o"))
      files.push_back((bqtest::ScratchDir() / "wide.exe").string());
    else
      ADD_FAILURE() << "MinGW did not build wide.exe";
  }
  for (const char* name : {"notepad.exe"}) {
    const std::string wine = std::string("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/") + name;
    if (std::ifstream(wine).good()) files.push_back(wine);
  }
  return files;
}

TEST(PatternSearch, RealUtf16TextAgreesWithStrings) {
  if (!bqtest::HaveTool("strings") || !bqtest::HaveTool("grep")) GTEST_SKIP() << "binutils or grep missing";
  std::vector<std::string> files = WindowsPrograms();
  files.push_back("/bin/ls");
  ASSERT_GE(files.size(), 2u) << "no Windows program to read";
  for (const auto& file : files) {
    SCOPED_TRACE(file);
    const auto ours = Ours(file, pcString, peUTF16);
    EXPECT_EQ(ours, Utf16StringsOracle(file));
    if (file.find("wine") != std::string::npos) {
      EXPECT_GT(ours.size(), 20u);
    }
    CompareWithOracles(file);
  }
  // The program's wide texts, found where they are.
  if (!files.empty() && files[0].find("wide.exe") != std::string::npos) {
    auto texts = [&](int category) {
      V out;
      for (const auto& [offset, text] : Ours(files[0], category, peUTF16)) out.push_back(text);
      std::sort(out.begin(), out.end());
      return out;
    };
    EXPECT_EQ(texts(pcURL), (V{"ftp://files.example.net/pub", "https://example.org/get?id=7", "https://www.example.net/help"}));
    EXPECT_EQ(texts(pcEmail), (V{"admin@mail.example.co.uk", "support@example.com"}));
    EXPECT_EQ(texts(pcIPAddress), (V{"10.0.0.254", "192.168.10.20"}));
    EXPECT_EQ(texts(pcRegistry), (V{"HKEY_LOCAL_MACHINE\\Software\\Brisk", "Software\\Classes\\txtfile"}));
    const V names = texts(pcFileName);
    for (const char* name : {"C:\\Windows\\System32\\cmd.exe", "rundll32.exe", "shell32.dll", "Control_RunDLL desk.cpl"})
      EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
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
  ASSERT_EQ(r.Columns.size(), 4u);
  EXPECT_EQ(r.Columns[0].Title, "Pattern");
  EXPECT_EQ(r.Columns[1].Width, 70);
  EXPECT_EQ(r.Columns[1].Align, TAlign::alRight);
  EXPECT_EQ(r.Columns[2].Title, "Encoding");
  EXPECT_EQ(r.Columns[3].Title, "Section");
  ASSERT_EQ(r.Groups.size(), 7u);
  EXPECT_EQ(r.Groups[2].Header, "Registry Locations");
  EXPECT_EQ(r.Groups[4].Id, 5);
  EXPECT_EQ(r.Groups[5].Header, "E-mail Addresses");
  EXPECT_EQ(r.Groups[6].Header, "IP Addresses");
  ASSERT_EQ(r.Rows.size(), 2u);  // the string holding "://" is filtered out
  EXPECT_EQ(r.Rows[0].Cells(), (V{"http://x.y/z", "00001000", "ASCII"})) << "not a PE file: no section";
  EXPECT_EQ(r.Rows[0].Group(), 2);
  EXPECT_EQ(r.Rows[1].Cells(), (V{"no.patterns.here", "0000100D", "ASCII"}));
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

// A dialog keeps at most its bound of rows, then one row per group that counts the rest.
TEST(PatternsPage, RowBoundCountsWhatIsNotShown) {
  std::string bytes;
  for (int i = 0; i < 10; ++i) bytes += "{" + std::to_string(i) + "}" + Z + "name" + std::to_string(i) + ".txt" + Z;
  const std::string file = bqtest::WriteFile("bound.bin", bytes);
  auto selection = std::make_shared<TSelection>();
  selection->SelectedFiles = {file};
  selection->SelectedTypes.resize(1);
  selection->Errors.resize(1);
  TPageRecorder all;
  FillPatternsPage({selection, nullptr}, all);
  EXPECT_EQ(all.Record().Rows.size(), 30u) << "no bound: ten GUIDs, ten names and their ten strings";
  TPageRecorder bounded;
  TPageContext context{selection, nullptr};
  context.MaxListRows = 4;
  FillPatternsPage(context, bounded);
  const TPageRecord r = bounded.Record();
  ASSERT_EQ(r.Rows.size(), 7u);
  EXPECT_EQ(r.Rows[3].Cells(), (V{"{1}", "0000000E", "ASCII"}));
  EXPECT_EQ(r.Rows[4].Cells(), V{"\u2026 8 more findings not shown (bqlite lists them all)"});
  EXPECT_EQ(r.Rows[4].Group(), 1);
  EXPECT_EQ(r.Rows[5].Cells(), V{"\u2026 9 more findings not shown (bqlite lists them all)"});
  EXPECT_EQ(r.Rows[5].Group(), 4);
  EXPECT_EQ(r.Rows[6].Group(), 5);
  EXPECT_EQ(r.Progress, 100);
}

// Every finding's section is the one pefile finds for its offset; where pefile finds none, the
// finding lies in the headers, the certificate table, the overlay or between sections.
#ifndef _WIN32  // runs pefile through a shell
TEST(PatternsPage, SectionsAgreeWithPefile) {
  if (!bqtest::HaveTool("/usr/bin/python3") || !bqtest::Shell("/usr/bin/python3 -c 'import pefile'"))
    GTEST_SKIP() << "python3-pefile missing";
  const std::string script = bqtest::WriteFile("sections.py", R"(import sys, pefile
pe = pefile.PE(sys.argv[1], fast_load=True)
for line in open(sys.argv[2]):
    s = pe.get_section_by_offset(int(line, 16))
    print(s.Name.rstrip(b"\0").decode("latin-1") if s else "-")
)");
  std::vector<std::string> files = WindowsPrograms();
  ASSERT_FALSE(files.empty());
  files.push_back("/bin/ls");  // not a PE file: no sections
  for (const auto& file : files) {
    SCOPED_TRACE(file);
    auto selection = std::make_shared<TSelection>();
    selection->SelectedFiles = {file};
    selection->SelectedTypes.resize(1);
    selection->Errors.resize(1);
    TPageRecorder recorder;
    FillPatternsPage({selection, nullptr}, recorder);
    const TPageRecord r = recorder.Record();
    ASSERT_GT(r.Rows.size(), 100u);
    std::string offsets;
    for (const auto& row : r.Rows) offsets += std::string(row[1]) + "\n";
    bqtest::WriteFile("offsets.txt", offsets);
    if (file == "/bin/ls") {
      for (const auto& row : r.Rows) ASSERT_EQ(row[3], "");
      continue;
    }
    const bqtest::TRun run = bqtest::Run("/usr/bin/python3 '" + script + "' '" + file + "' '" +
                                         (bqtest::ScratchDir() / "offsets.txt").string() + "'");
    ASSERT_EQ(run.Status, 0) << run.Err;
    std::istringstream lines(run.Out);
    std::map<std::string, int> seen;
    for (const auto& row : r.Rows) {
      std::string expected;
      std::getline(lines, expected);
      const std::string ours(row[3]);
      ++seen[ours];
      if (expected == "-")
        EXPECT_TRUE(ours == "headers" || ours == "overlay" || ours == "certificate" || ours == "") << row[0] << " " << row[1];
      else
        EXPECT_EQ(ours, expected) << row[0] << " at " << row[1];
    }
    EXPECT_GT(seen[".rdata"] + seen[".rsrc"], 0);
  }
}
#endif

}  // namespace
