// The PE reader and pages against pefile on executables made by MinGW at test time, and on
// copies damaged in ways no tool writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "common/bqTestFiles.h"
#include "pe/bqViewPE.h"
#include "pe/zoxPEDetails.h"
#include "pe/zoxPESimple.h"
#include "platform/bqText.h"
#include "shell/bqLitePropSheets.h"

using namespace bq;
namespace fs = std::filesystem;

namespace {

using TLines = std::vector<std::vector<std::string>>;

// The fixtures, built once per build folder.
const fs::path& Fixtures() {
  static const fs::path dir = [] {
    const fs::path out = fs::absolute("pe-fixtures");
    const std::string cmd = std::string("'") + BQ_PE_TEST_DIR + "/make_fixtures.sh' '" + out.string() + "' >pe-fixtures.log 2>&1";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "fixture build failed; see pe-fixtures.log";
    return out;
  }();
  return dir;
}

std::string Fixture(const std::string& arch, const std::string& name) { return (Fixtures() / arch / name).string(); }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// pefile's reading, one tab-separated line each, grouped by the line's kind letter.
std::map<std::string, TLines> Oracle(const std::string& file) {
  std::map<std::string, TLines> out;
  const std::string cmd = std::string("'") + BQ_PE_TEST_DIR + "/pe_oracle.py' '" + file + "'";
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return out;
  std::string text;
  char buf[4096];
  while (size_t n = fread(buf, 1, sizeof buf, pipe)) text.append(buf, n);
  EXPECT_EQ(pclose(pipe), 0) << "pe_oracle.py failed on " << file;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    const std::string kind = fields[0];
    fields.erase(fields.begin());
    out[kind].push_back(fields);
  }
  return out;
}

TPageRecord Fill(TFillPage fill, const std::vector<std::string>& files) {
  auto selection = std::make_shared<TSelection>();
  for (const auto& f : files) {
    selection->SelectedFiles.push_back(f);
    TFileIdentifyTypes types;
    if (ReadAll(f).rfind("MZ", 0) == 0) types.Include(fitMZ);
    selection->SelectedTypes.push_back(types);
  }
  TPageRecorder view;
  fill(TPageContext{selection, nullptr}, view);
  return view.Record();
}

std::string GroupHeader(const TPageRecord& r, int id) {
  for (const auto& g : r.Groups)
    if (g.Id == id) return g.Header;
  return "<no group " + std::to_string(id) + ">";
}

// The rows as a grouped list view shows them: group by group, each in list order. (Pages insert
// each group's rows from position 0, so later groups come first in the list's own order.)
std::vector<TPageRecord::TRow> Shown(const TPageRecord& r) {
  std::vector<TPageRecord::TRow> out;
  for (const auto& g : r.Groups)
    for (const auto& row : r.Rows)
      if (row.Group() == g.Id) out.push_back(row);
  return out;
}

std::string Cell(const TPageRecord::TRow& row, size_t c) { return std::string(row[c]); }

// ---- Small hand-built PE32 images: one section ".data" at RVA 0x1000, raw at 0x200.
void Put16(std::string& s, size_t at, uint32_t v) {
  if (s.size() < at + 2) s.resize(at + 2);
  s[at] = static_cast<char>(v);
  s[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& s, size_t at, uint32_t v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, v >> 16);
}
void PutStr(std::string& s, size_t at, const std::string& text) {
  if (s.size() < at + text.size()) s.resize(at + text.size());
  s.replace(at, text.size(), text);
}

struct TMiniPE {
  static constexpr uint32_t VA = 0x1000, Raw = 0x200;
  std::string Data = std::string(0x800, '\0');  // the section's raw bytes
  uint32_t VirtualSize = 0x2000;
  int64_t RawSize = -1;  // -1: Data.size()
  uint16_t OptionalSize = 224;
  uint32_t Dirs[16][2] = {};

  void Dir(int d, uint32_t rva, uint32_t size) { Dirs[d][0] = rva, Dirs[d][1] = size; }
  std::string Bytes() const {
    std::string f(Raw, '\0');
    PutStr(f, 0, "MZ");
    Put32(f, 60, 0x40);
    PutStr(f, 0x40, std::string("PE\0\0", 4));
    Put16(f, 0x44, 0x14C);
    Put16(f, 0x46, 1);
    Put16(f, 0x54, OptionalSize);
    Put16(f, 0x56, 0x2102);
    const size_t o = 0x58;
    if (OptionalSize) {
      Put16(f, o, 0x10B);
      Put32(f, o + 92, 16);
      for (int d = 0; d < 16; ++d) Put32(f, o + 96 + 8 * d, Dirs[d][0]), Put32(f, o + 100 + 8 * d, Dirs[d][1]);
    }
    const size_t s = o + OptionalSize;
    PutStr(f, s, ".data");
    Put32(f, s + 8, VirtualSize);
    Put32(f, s + 12, VA);
    Put32(f, s + 16, RawSize < 0 ? static_cast<uint32_t>(Data.size()) : static_cast<uint32_t>(RawSize));
    Put32(f, s + 20, Raw);
    Put32(f, s + 36, 0xC0000040);
    f.resize(Raw, '\0');
    return f + Data;
  }
};

TPEReader ReadBytes(const std::string& bytes) {
  TPEReader r;
  r.ReadFromBytes(TByteView(bytes));
  return r;
}

std::string ReadError(const std::string& bytes) {
  try {
    ReadBytes(bytes);
  } catch (const TPEError& e) {
    return e.what();
  }
  return "";
}

}  // namespace

// Every page of every fixture, both architectures, equals pefile's reading: imports by ordinal,
// exports by ordinal only and forwarders included, and a resource whose data lies in another
// section than the tree.
TEST(PEPages, FixturesAgreeWithPefile) {
  for (const std::string arch : {"x64", "x86"}) {
    for (const std::string name : {"app.exe", "lib.dll", "plain.exe", "damaged/moved_resource.exe"}) {
      SCOPED_TRACE(arch + "/" + name);
      const std::string file = Fixture(arch, name);
      auto oracle = Oracle(file);
      ASSERT_EQ(oracle["H"].size(), 81u);

      const TPageRecord page = Fill(FillPEHeaderPage, {file});
      const auto rows = Shown(page);
      ASSERT_EQ(rows.size(), 81u);
      ASSERT_EQ(page.Columns.size(), 2u);
      EXPECT_EQ(page.Columns[0].Title, "Field");
      EXPECT_EQ(page.Columns[1].Title, "Data");
      EXPECT_EQ(page.Columns[1].Width, 80);
      EXPECT_EQ(GroupHeader(page, 3), "PE Optional Header");
      for (size_t i = 0; i < 81; ++i) {
        EXPECT_EQ(Cell(rows[i], 0), oracle["H"][i][0]);
        EXPECT_EQ(Cell(rows[i], 1), oracle["H"][i][1]) << oracle["H"][i][0];
        EXPECT_EQ(rows[i].Group(), i < 18 ? 1 : i < 26 ? 2 : 3);
      }

      const TPageRecord sections = Fill(FillSectionsPage, {file});
      ASSERT_EQ(sections.Rows.size(), oracle["S"].size());
      for (size_t i = 0; i < sections.Rows.size(); ++i) {
        EXPECT_EQ(sections.Rows[i].Cells(), oracle["S"][i]);
        EXPECT_EQ(sections.Rows[i].Group(), 1);
      }
      EXPECT_EQ(GroupHeader(sections, 1), "Section Table");

      // (library, function, thunk) in order; the group of a library spelt two ways is the
      // spelling met first.
      const TPageRecord imports = Fill(FillImportsListPage, {file});
      ASSERT_EQ(imports.Rows.size(), oracle["I"].size());
      for (size_t i = 0; i < imports.Rows.size(); ++i) {
        EXPECT_TRUE(SameTextI(GroupHeader(imports, imports.Rows[i].Group()), oracle["I"][i][0])) << oracle["I"][i][0];
        EXPECT_EQ(Cell(imports.Rows[i], 0), oracle["I"][i][1]);
        EXPECT_EQ(Cell(imports.Rows[i], 1), oracle["I"][i][2]);
      }

      EXPECT_TRUE(imports.Problems.empty());

      const TPageRecord exports = Fill(FillExportsPage, {file});
      ASSERT_EQ(exports.Rows.size(), oracle["E"].size());
      ASSERT_EQ(exports.Columns.size(), 4u);
      EXPECT_EQ(exports.Columns[3].Title, "Forwarded To");
      for (size_t i = 0; i < exports.Rows.size(); ++i) EXPECT_EQ(exports.Rows[i].Cells(), oracle["E"][i]);
      EXPECT_EQ(exports.Groups.size(), 1u) << "no Problems group";

      const TPageRecord resources = Fill(FillResourcesPage, {file});
      ASSERT_EQ(resources.Rows.size(), oracle["R"].size());
      for (size_t i = 0; i < resources.Rows.size(); ++i) {
        const auto& want = oracle["R"][i];
        const auto& row = resources.Rows[i];
        EXPECT_EQ(GroupHeader(resources, row.Group()), want[0]);
        EXPECT_EQ(Cell(row, 0), want[1]);
        EXPECT_EQ(Cell(row, 1), want[3]);
        EXPECT_EQ(Cell(row, 2), want[4]);
        EXPECT_EQ(Cell(row, 3), LanguageName(static_cast<uint32_t>(std::stoul(want[2]))));
      }
    }
  }
}

// bqlite keeps the bytes identification read and the pages read those instead of the file:
// the same rows, and the file is not opened again (emptying it afterwards changes nothing).
// A file read only in part keeps nothing.
TEST(PEPages, PagesReadTheBytesIdentificationKept) {
  auto rows = [](const TPageRecord& r) {
    std::vector<std::vector<std::string>> out;
    for (const auto& row : r.Rows) {
      out.push_back(row.Cells());
      out.back().push_back(std::to_string(row.Group()));
    }
    return out;
  };
  const std::string copy = (bqtest::ScratchDir() / "kept.dll").string();
  fs::copy_file(Fixture("x64", "lib.dll"), copy, fs::copy_options::overwrite_existing);
  const TSelectionRef kept = BuildSelection(std::vector<std::string>{copy}, TExtensionLists(), true);
  ASSERT_TRUE(kept->Contents.at(0).Held());
  EXPECT_EQ(kept->Contents[0].Size, fs::file_size(copy));
  EXPECT_FALSE(BuildSelection(std::vector<std::string>{copy}, TExtensionLists())->Contents.at(0).Held());

  const std::vector<TFillPage> pages = {FillPEHeaderPage, FillSectionsPage, FillImportsListPage, FillExportsPage,
                                        FillResourcesPage};
  std::vector<std::vector<std::vector<std::string>>> fromFile;
  for (TFillPage fill : pages) fromFile.push_back(rows(Fill(fill, {copy})));
  EXPECT_FALSE(fromFile[3].empty());
  bqtest::WriteFile("kept.dll", "");
  for (size_t p = 0; p < pages.size(); ++p) {
    TPageRecorder view;
    pages[p](TPageContext{kept, nullptr}, view);
    EXPECT_EQ(rows(view.Record()), fromFile[p]) << "page " << p;
  }

  const std::string big = bqtest::WriteFile("big.exe", ReadAll(Fixture("x64", "lib.dll")) + std::string(IdentifyHeadSize, '\0'));
  EXPECT_FALSE(BuildSelection(std::vector<std::string>{big}, TExtensionLists(), true)->Contents.at(0).Held());
}

TEST(PEPages, WhatTheFixturesHold) {
  for (const std::string arch : {"x64", "x86"}) {
    SCOPED_TRACE(arch);
    const std::string lib = Fixture(arch, "lib.dll"), app = Fixture(arch, "app.exe");
    // Ordinal base 5, three names (one forwarded) over ten functions: the ordinal table holds
    // indexes, the exports their true ordinals, the seven without a name after the named ones.
    TPEReader r;
    r.ReadFromFile(lib);
    ASSERT_EQ(r.ExportTable().size(), 3u);
    EXPECT_EQ(r.ExportOrdinals(), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(r.ExportFunctions().size(), 10u);
    EXPECT_EQ(r.ExportBase(), 5u);
    EXPECT_FALSE(r.ExportTableErrors);
    ASSERT_EQ(r.Exports().size(), 10u);
    for (size_t i = 0; i < 10; ++i) {
      EXPECT_EQ(r.Exports()[i].Ordinal, 5 + i);
      EXPECT_EQ(r.Exports()[i].Name.empty(), i >= 3);
      EXPECT_EQ(r.Exports()[i].Forward, i == 2 ? "KERNEL32.GetTickCount" : "");
    }
    const TPageRecord exports = Fill(FillExportsPage, {lib});
    EXPECT_EQ(Cell(exports.Rows[9], 0), "#14");
    bool eight = false;
    for (const auto& s : r.Sections()) eight |= s.NameText() == ".longsec";
    EXPECT_TRUE(eight) << "a section name of exactly 8 characters shows all 8";

    // Imports by ordinal are "#ORDINAL" beside the named ones; a library imported by ordinal
    // only is there too.
    r.ReadFromFile(app);
    std::vector<std::string> ord;
    for (const auto& l : r.ImportTable())
      if (l.Data.Library == "ord.dll" || l.Data.Library == "solo.dll") ord.push_back(l.Text());
    EXPECT_EQ(ord, (std::vector<std::string>{"ord.dll:OrdNamed", "ord.dll:#3", "ord.dll:#4", "solo.dll:#9"}));
    EXPECT_FALSE(r.ImportTableErrors || r.ExportTableErrors || r.ResourceTableErrors);

    // Names are the reader's own: they outlive the bytes read from and survive moving the
    // reader (ASan would see a name left pointing into freed memory).
    auto names = [](const TPEReader& reader) {
      std::vector<std::string> out;
      for (const auto& l : reader.ImportTable()) out.push_back(l.Text());
      for (const auto& e : reader.ExportTable()) out.emplace_back(e.Name);
      return out;
    };
    for (const std::string& file : {app, lib}) {
      r.ReadFromFile(file);
      const std::vector<std::string> expected = names(r);
      std::vector<TPEReader> moved;
      {
        std::string bytes = ReadAll(file);
        TPEReader fromBytes;
        fromBytes.ReadFromBytes(TByteView(bytes));
        bytes.assign(bytes.size(), '\xFF');
        moved.push_back(std::move(fromBytes));
      }
      moved.emplace_back();  // the vector moves the first reader again
      EXPECT_EQ(names(moved[0]), expected);
      EXPECT_FALSE(expected.empty());
    }

    // One library through two descriptors is one group and one tree node.
    const TPageRecord list = Fill(FillImportsListPage, {app});
    int twice = 0;
    for (const auto& g : list.Groups) twice += SameTextI(g.Header, "twice.dll");
    EXPECT_EQ(twice, 1);

    const TPageRecord tree = Fill(FillImportsTreePage, {app});
    std::vector<std::string> roots;
    for (const auto& n : tree.Tree) roots.push_back(n.Text);
    EXPECT_EQ(roots, (std::vector<std::string>{"KERNEL32.dll", "msvcrt.dll", "ord.dll", "solo.dll", "TWICE.dll", "USER32.dll"}));
    ASSERT_EQ(tree.Tree.size(), 6u);
    ASSERT_EQ(tree.Tree[4].Children.size(), 2u);
    EXPECT_EQ(tree.Tree[4].Children[1].Text, "TwiceB");
    ASSERT_EQ(tree.Tree[3].Children.size(), 1u);
    EXPECT_EQ(tree.Tree[3].Children[0].Text, "#9");
    ASSERT_EQ(tree.Tree[2].Children.size(), 3u);
    EXPECT_EQ(tree.Tree[2].Children[2].Text, "#4");
    size_t children = 0;
    for (const auto& n : tree.Tree) children += n.Children.size();
    EXPECT_EQ(children, list.Rows.size());

    // Resources: named type and resource, strings in two languages.
    const TPageRecord res = Fill(FillResourcesPage, {app});
    std::vector<std::string> strings;
    for (const auto& row : res.Rows)
      if (GroupHeader(res, row.Group()) == "RT_STRING") strings.push_back(Cell(row, 3));
    EXPECT_EQ(strings, (std::vector<std::string>{"German (Germany)", "English (United States)"}));
    EXPECT_EQ(GroupHeader(res, 0), "CUSTOMTYPE");
    EXPECT_EQ(res.Columns.size(), 4u);
  }
  EXPECT_EQ(LanguageName(0), "<unknown>");
  EXPECT_EQ(LanguageName(0x0007), "<unknown>");
  EXPECT_EQ(LanguageName(0x0409), "English (United States)");
}

// Several files: side by side on Header, one group per file on Sections and Exports; a file
// that cannot be read, first or second, leaves the others shown.
TEST(PEPages, SeveralFilesAndDamagedOnes) {
  const std::string app = Fixture("x64", "app.exe"), lib = Fixture("x86", "lib.dll");
  const std::string text = bqtest::WriteFile("notes.txt", "just text\n");
  const std::string broken = bqtest::WriteFile("broken.dll", ReadAll(lib).substr(0, 100));

  // Row 0 of the list is the first line of the last group: "Optional Header Starts".
  TPageRecord h = Fill(FillPEHeaderPage, {app, lib});
  ASSERT_EQ(h.Columns.size(), 3u);
  EXPECT_EQ(h.Columns[1].Title, "app.exe");
  EXPECT_EQ(h.Columns[2].Title, "lib.dll");
  EXPECT_EQ(Cell(h.Rows[0], 1), "020B");
  EXPECT_EQ(Cell(h.Rows[0], 2), "010B");

  h = Fill(FillPEHeaderPage, {app, text});
  ASSERT_EQ(h.Columns.size(), 2u);
  EXPECT_EQ(h.Columns[1].Title, "app.exe");

  for (const auto& files : {std::vector<std::string>{broken, app}, std::vector<std::string>{app, broken}}) {
    const size_t bad = files[0] == broken ? 1 : 2, good = 3 - bad;
    h = Fill(FillPEHeaderPage, files);
    ASSERT_EQ(h.Rows.size(), 82u);
    EXPECT_EQ(Cell(h.Rows[0], bad), "");
    EXPECT_EQ(Cell(h.Rows[0], good), "020B");
    EXPECT_EQ(GroupHeader(h, 4), "Problems");
    EXPECT_EQ(Cell(h.Rows[81], 0), "broken.dll: PEReader: Invalid PE format (size problem #1)!");
    EXPECT_EQ(h.Rows[81].Group(), 4);

    const TPageRecord s = Fill(FillSectionsPage, files);
    EXPECT_EQ(s.Groups.size(), 3u);
    EXPECT_EQ(GroupHeader(s, 3), "Problems");
    EXPECT_EQ(GroupHeader(s, static_cast<int>(good)), "Section Table of app.exe");
    size_t rows = 0;
    for (const auto& row : s.Rows) rows += row.Group() == static_cast<int>(good);
    EXPECT_EQ(rows, 11u);

    const TPageRecord e = Fill(FillExportsPage, files);
    EXPECT_EQ(GroupHeader(e, static_cast<int>(bad)), "Exported Functions of broken.dll");
  }
  const TPageRecord e = Fill(FillExportsPage, {lib, text, lib});
  EXPECT_EQ(e.Groups.size(), 2u);
  EXPECT_EQ(GroupHeader(e, 3), "Exported Functions of lib.dll");
  EXPECT_EQ(e.Rows.size(), 20u);
}

// Copies cut inside one table: each page shows what was read, then a last group "Problems"
// with the reader's message, which the view also receives; nothing crashes.
TEST(PEPages, DamagedCopiesReportTheirProblem) {
  auto problems = [](const TPageRecord& r) {
    std::vector<std::string> out;
    for (const auto& row : r.Rows)
      if (GroupHeader(r, row.Group()) == "Problems") out.push_back(Cell(row, 0));
    return out;
  };
  using TStrings = std::vector<std::string>;
  for (const std::string arch : {"x64", "x86"}) {
    SCOPED_TRACE(arch);
    const std::string app = Fixture(arch, "app.exe"), lib = Fixture(arch, "lib.dll");
    const std::string cutSections = Fixture(arch, "damaged/cut_sections.exe");

    // The headers are whole: the Header page shows them as for the whole file.
    const TPageRecord whole = Fill(FillPEHeaderPage, {app});
    TPageRecord h = Fill(FillPEHeaderPage, {cutSections});
    ASSERT_EQ(h.Rows.size(), 82u);
    for (size_t i = 0; i < 81; ++i) EXPECT_EQ(h.Rows[i].Cells(), whole.Rows[i].Cells());
    EXPECT_EQ(problems(h), TStrings{"PEReader: Could not read PE section entry!"});
    ASSERT_EQ(h.Problems.size(), 1u);
    EXPECT_EQ(h.Problems[0].File, cutSections);
    EXPECT_EQ(h.Problems[0].Message, "PEReader: Could not read PE section entry!");
    // Beside another file, the row names the file and the file keeps its column.
    h = Fill(FillPEHeaderPage, {lib, cutSections});
    EXPECT_EQ(problems(h), TStrings{"cut_sections.exe: PEReader: Could not read PE section entry!"});
    EXPECT_EQ(Cell(h.Rows[0], 2), Cell(whole.Rows[0], 1));
    const TPageRecord s = Fill(FillSectionsPage, {cutSections});
    EXPECT_EQ(s.Rows.size(), 3u);  // two whole entries and the problem
    EXPECT_EQ(GroupHeader(s, 2), "Problems");

    // Imports cut inside the descriptors: the names after them are gone too.
    const TPageRecord cutImports = Fill(FillImportsListPage, {Fixture(arch, "damaged/cut_imports.exe")});
    EXPECT_EQ(problems(cutImports), TStrings{"PEReader: Could not read PE Import Descriptor entry!"});
    // A library whose lookup table lies past the file: the others are listed, in the list and
    // in the tree, and the problem after them.
    const TPageRecord allImports = Fill(FillImportsListPage, {app});
    const TPageRecord imports = Fill(FillImportsListPage, {Fixture(arch, "damaged/bad_thunks.exe")});
    EXPECT_EQ(problems(imports), TStrings{"PEReader: Could not read PE Import By Name RVA!"});
    std::multiset<TStrings> kept, all;
    for (const auto& row : imports.Rows)
      if (GroupHeader(imports, row.Group()) != "Problems") kept.insert(row.Cells());
    for (const auto& row : allImports.Rows) all.insert(row.Cells());
    EXPECT_TRUE(std::includes(all.begin(), all.end(), kept.begin(), kept.end()));
    EXPECT_LT(kept.size(), all.size());
    EXPECT_GT(kept.size(), all.size() / 2);
    const TPageRecord tree = Fill(FillImportsTreePage, {Fixture(arch, "damaged/bad_thunks.exe")});
    ASSERT_EQ(tree.Tree.size(), 6u) << "five libraries, then the problem";
    EXPECT_EQ(tree.Tree[5].Text, "Problems");
    ASSERT_EQ(tree.Tree[5].Children.size(), 1u);
    EXPECT_EQ(tree.Tree[5].Children[0].Text, "PEReader: Could not read PE Import By Name RVA!");
    EXPECT_EQ(tree.Problems.size(), 1u);

    // Exports: the name before the cut stays.
    const TPageRecord exports = Fill(FillExportsPage, {Fixture(arch, "damaged/cut_exports.dll")});
    const TStrings e = problems(exports);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].rfind("PEReader: Could not read PE Export Name Table (names)", 0), 0u) << e[0];
    ASSERT_GE(exports.Rows.size(), 2u);
    EXPECT_EQ(Cell(exports.Rows[0], 0), "Alpha");

    // Resources: every leaf but the cut one.
    const TPageRecord allResources = Fill(FillResourcesPage, {app});
    const TPageRecord resources = Fill(FillResourcesPage, {Fixture(arch, "damaged/cut_resources.exe")});
    EXPECT_EQ(problems(resources), TStrings{"PEReader: Could not read PE Resource Data Entry!"});
    EXPECT_EQ(resources.Rows.size(), allResources.Rows.size());
  }
}

// bqlite prints each file's problem once on stderr and in the JSON pages that met it; the file
// was read, so the status is 0.
TEST(PEPages, BqliteReportsProblems) {
  const std::string cut = Fixture("x64", "damaged/cut_sections.exe");
  const std::string err = (fs::absolute("bqlite-problems.err")).string();
  const std::string out = (fs::absolute("bqlite-problems.json")).string();
  const std::string cmd = std::string("'") + BQLITE_PATH + "' --json --page Header --page Sections '" + cut + "' >'" + out +
                          "' 2>'" + err + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(ReadAll(err), "bqlite: " + cut + ": PEReader: Could not read PE section entry!\n");
  const std::string check = "/usr/bin/python3 -c \"import json,sys; d=json.load(open(sys.argv[1])); "
                            "p=[q.get('problems') for q in d['pages']]; "
                            "sys.exit(0 if p==[[{'file': sys.argv[2], 'message': 'PEReader: Could not read PE section entry!'}]]*2 "
                            "else 1)\" '" + out + "' '" + cut + "'";
  EXPECT_EQ(std::system(check.c_str()), 0) << ReadAll(out);
  // A whole file has none.
  const std::string clean = std::string("'") + BQLITE_PATH + "' --json '" + Fixture("x64", "lib.dll") + "' >'" + out + "' 2>'" + err + "'";
  ASSERT_EQ(std::system(clean.c_str()), 0);
  EXPECT_EQ(ReadAll(err), "");
  EXPECT_EQ(ReadAll(out).find("\"problems\""), std::string::npos);
}

TEST(PEReader, HeaderFailures) {
  EXPECT_EQ(ReadError(std::string(63, 'M')), "PEReader: File to small!");
  std::string mz(64, '\0');
  PutStr(mz, 0, "MZ");
  EXPECT_EQ(ReadError(mz), "PEReader: Invalid PE format (size problem #1)!");
  PutStr(mz, 0, "ZM");
  EXPECT_EQ(ReadError(mz), "PEReader: Missing MZ header!");
  std::string dos(2000, 'x');
  PutStr(dos, 0, "MZ");
  Put32(dos, 60, 0);
  EXPECT_EQ(ReadError(dos), "PEReader: Missing PE header!");

  // A huge e_lfanew does not wrap past the size check.
  Put32(dos, 60, 0xFFFFFFF0);
  EXPECT_EQ(ReadError(dos), "PEReader: Invalid PE format (size problem #1)!");

  TMiniPE pe;
  std::string bytes = pe.Bytes();
  bytes.resize(0x58 + 150);  // optional header cut short
  EXPECT_EQ(ReadError(bytes), "PEReader: Could not read PE optional header!");
  // A PE32+ magic with fewer than its 216 bytes: the failed reader still gives 55 lines.
  Put16(bytes, 0x58, 0x20B);
  bytes.resize(0x58 + 210);
  TPEReader cut;
  EXPECT_THROW(cut.ReadFromBytes(TByteView(bytes)), TPEError);
  std::vector<std::string> lines;
  OptionalHeaderToStrings(cut, lines);
  EXPECT_EQ(lines.size(), 55u);
  EXPECT_EQ(lines[0], "Optional Header Starts=0000");
  bytes = pe.Bytes();
  Put16(bytes, 0x46, 40);  // 40 sections, the table runs into the end of the file
  bytes.resize(0x58 + 224 + 40 * 3 + 20);
  bytes.resize(std::max<size_t>(bytes.size(), 0x40 + 160));
  TPEReader r;
  EXPECT_THROW(r.ReadFromBytes(TByteView(bytes)), TPEError);
  EXPECT_EQ(r.Sections().size(), 3u) << "the sections before the cut stay";
}

TEST(PEReader, OptionalHeaderAbsentAndDirectoryOutsideSections) {
  TMiniPE pe;
  pe.OptionalSize = 0;
  TPEReader r = ReadBytes(pe.Bytes() + std::string(64, '\0'));
  ASSERT_EQ(r.Sections().size(), 1u) << "the section table follows the file header";
  EXPECT_EQ(r.Sections()[0].NameText(), ".data");
  std::vector<std::string> lines;
  OptionalHeaderToStrings(r, lines);
  ASSERT_EQ(lines.size(), 55u);
  EXPECT_EQ(lines[0], "Optional Header Starts=0000");
  EXPECT_EQ(lines[54], "IAT Directory Size=00000000");

  // An RVA in no section is read as a file offset: an import directory at file offset 0x300.
  TMiniPE plain;
  std::string data(0x800, '\0');
  Put32(data, 0x100 + 12, 0x340);   // name at file offset 0x340 (RVA = offset)
  Put32(data, 0x100 + 16, 0x360);   // IAT at 0x360
  PutStr(data, 0x140, "far.dll");
  Put32(data, 0x160, 0x380);
  PutStr(data, 0x382, "FarAway");
  plain.Data = data;
  plain.VirtualSize = 0x100;  // the section covers RVAs 0x1000..0x10FF only
  plain.Dir(1, 0x300, 40);
  r = ReadBytes(plain.Bytes());
  // The directory copy is 40 bytes long (the directory's size), so the name lies outside it.
  EXPECT_TRUE(r.ImportTable().empty() || r.ImportTable()[0].Data.Library.empty());
  EXPECT_EQ(r.DirectoryToFileOffset(1).FileOffset, 0x300u);

  // Past the end of the file: the table fails, nothing is allocated for it.
  plain.Dir(1, 0x7FFFFFF0, 0x7FFFFFF0);
  r = ReadBytes(plain.Bytes());
  EXPECT_TRUE(r.ImportTableErrors);
  EXPECT_TRUE(r.ImportTable().empty());
}

TEST(PEReader, ImportCornerCases) {
  TMiniPE pe;
  std::string& d = pe.Data;
  // Descriptor 1: no lookup table (names through the IAT), one name and one ordinal thunk.
  Put32(d, 0x00 + 12, 0x1100);
  Put32(d, 0x00 + 16, 0x1200);
  PutStr(d, 0x100, "first.dll");
  Put32(d, 0x200, 0x80000007);
  Put32(d, 0x204, 0x1300);
  PutStr(d, 0x302, "ByName");
  // Descriptor 2: name RVA 0 -> "?".
  Put32(d, 0x14 + 0, 0x1220);
  Put32(d, 0x14 + 16, 0x1220);
  Put32(d, 0x220, 0x1310);
  PutStr(d, 0x312, "Anonymous");
  // Descriptor 3: a thunk array running off the section: contributes nothing.
  Put32(d, 0x28 + 0, 0x17FC);
  Put32(d, 0x28 + 12, 0x1100);
  Put32(d, 0x7FC, 0x1310);
  // Descriptor 4: a thunk pointing past the copy: that library ends, the walk goes on.
  Put32(d, 0x3C + 0, 0x1230);
  Put32(d, 0x3C + 12, 0x1110);
  PutStr(d, 0x110, "second.dll");
  Put32(d, 0x230, 0x1320);
  Put32(d, 0x234, 0x9000);
  PutStr(d, 0x322, "Kept");
  // Descriptor 5: the zero one ends the walk.
  pe.Dir(1, 0x1000, 0x64);
  const TPEReader r = ReadBytes(pe.Bytes());
  std::vector<std::string> lines;
  for (const auto& l : r.ImportTable()) lines.push_back(l.Text());
  EXPECT_EQ(lines, (std::vector<std::string>{"first.dll:#7", "first.dll:ByName", "?:Anonymous", "second.dll:Kept"}));
  // The walk reached its end; the libraries it passed over are the table's failure.
  EXPECT_TRUE(r.ImportTableErrors);
  EXPECT_EQ(r.ImportTableError, "PEReader: Could not read PE Import By Name RVA!");
  EXPECT_EQ(r.ImportTable()[1].Data.Thunk, 0x1300u);
}

TEST(PEReader, ExportsEmptyNamesAndHugeCounts) {
  TMiniPE pe;
  std::string& d = pe.Data;
  Put32(d, 16, 1);       // base
  Put32(d, 20, 3);       // functions
  Put32(d, 24, 3);       // names
  Put32(d, 28, 0x1100);  // address table
  Put32(d, 32, 0x1200);  // name pointers
  Put32(d, 36, 0x1300);  // ordinals
  for (int i = 0; i < 3; ++i) Put32(d, 0x100 + 4 * i, 0x5000 + i);
  Put32(d, 0x200, 0x1400);  // an empty name
  Put32(d, 0x204, 0x1410);
  Put32(d, 0x208, 0x1420);
  PutStr(d, 0x410, "Second");
  PutStr(d, 0x420, "Third");
  Put16(d, 0x300, 2);
  Put16(d, 0x302, 0);
  Put16(d, 0x304, 1);
  pe.Dir(0, 0x1000, 0x40);
  const std::string file = bqtest::WriteFile("exports.dll", pe.Bytes());
  // The entry whose name is empty is listed by its ordinal.
  TPageRecord page = Fill(FillExportsPage, {file});
  ASSERT_EQ(page.Rows.size(), 3u);
  EXPECT_EQ(page.Rows[0].Cells(), (std::vector<std::string>{"Second", "1", "00005000", ""}));
  EXPECT_EQ(page.Rows[1].Cells(), (std::vector<std::string>{"Third", "2", "00005001", ""}));
  EXPECT_EQ(page.Rows[2].Cells(), (std::vector<std::string>{"#3", "3", "00005002", ""}));

  // NumberOfNames and NumberOfFunctions near 2^32: the names before the end stay, the flag is set.
  Put32(d, 20, 0xFFFFFFFF);
  Put32(d, 24, 0xFFFFFFFF);
  const auto start = std::chrono::steady_clock::now();
  TPEReader r = ReadBytes(pe.Bytes());
  EXPECT_TRUE(r.ExportTableErrors);
  ASSERT_GE(r.ExportTable().size(), 2u);
  EXPECT_EQ(r.ExportTable()[0].Name, "Second");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  // Many name pointers at one long unterminated run: names are cut at 4096 bytes and the
  // table stops once its text outgrows the bytes.
  TMiniPE longNames;
  std::string& l = longNames.Data;
  l.assign(0x40000, 'A');
  PutStr(l, 0, std::string(40, '\0'));
  Put32(l, 24, 0x8000);
  Put32(l, 32, 0x1100);
  for (uint32_t i = 0; i < 0x8000; ++i) Put32(l, 0x100 + 4 * i, 0x1000 + 0x30000);
  longNames.VirtualSize = 0x40000;
  longNames.Dir(0, 0x1000, 0x40);
  r = ReadBytes(longNames.Bytes());
  EXPECT_TRUE(r.ExportTableErrors);
  ASSERT_FALSE(r.ExportTable().empty());
  EXPECT_EQ(r.ExportTable()[0].Name.size(), TPEReader::MaxNameLength);
}

TEST(PEReader, ResourceTrees) {
  // Root: a level-0 leaf (named in decimal, empty type and name), then type 13 -> name
  // "MAINICON" -> language 1033 leaf.
  TMiniPE pe;
  std::string& d = pe.Data;
  Put16(d, 14, 2);
  Put32(d, 16, 77);
  Put32(d, 20, 0x200);  // leaf
  Put32(d, 24, 13);
  Put32(d, 28, 0x80000030);
  Put16(d, 0x30 + 12, 1);
  Put32(d, 0x40, 0x80000100);
  Put32(d, 0x44, 0x80000060);
  Put16(d, 0x60 + 14, 1);
  Put32(d, 0x70, 1033);
  Put32(d, 0x74, 0x210);
  // "MAIN", U+4E2D, "CON": the name is kept as Unicode, not through a code page.
  Put16(d, 0x100, 8);
  for (int i = 0; i < 8; ++i) Put16(d, 0x102 + 2 * i, static_cast<uint8_t>("MAINICON"[i]));
  Put16(d, 0x102 + 2 * 4, 0x4E2D);
  Put32(d, 0x200, 0x1500);
  Put32(d, 0x204, 10);
  Put32(d, 0x210, 0x1600);
  Put32(d, 0x214, 20);
  pe.Dir(2, 0x1000, 0x300);
  TPEReader r = ReadBytes(pe.Bytes());
  ASSERT_EQ(r.ResourceEntries().size(), 2u);
  EXPECT_FALSE(r.ResourceTableErrors);
  EXPECT_EQ(r.ResourceEntries()[0].TypeName, "");
  EXPECT_EQ(r.ResourceEntries()[0].Language, 77u);
  EXPECT_EQ(r.ResourceEntries()[0].Offset, 0x700u);  // RVA 0x1500 - delta 0xE00
  EXPECT_EQ(r.ResourceEntries()[1].TypeName, "13");
  EXPECT_EQ(r.ResourceEntries()[1].Name, "MAIN\xE4\xB8\xAD" "CON");
  EXPECT_EQ(r.ResourceEntries()[1].NameId, 0u);

  // A subdirectory pointing back at its parent: the walk stops, the leaves before it stay.
  TMiniPE loop = pe;
  Put32(loop.Data, 0x74, 0x80000030);  // the language entry now points at the name directory
  Put16(loop.Data, 0x60 + 14, 2);
  Put32(loop.Data, 0x78, 1031);
  Put32(loop.Data, 0x7C, 0x210);
  r = ReadBytes(loop.Bytes());
  EXPECT_TRUE(r.ResourceTableErrors);
  EXPECT_EQ(r.ResourceEntries().size(), 1u);

  // A shared subdirectory of 65535 entries under 65535 names: stopped by the entry bound.
  TMiniPE wide;
  std::string& w = wide.Data;
  w.assign(16 + 8 * 65535 + 16 + 8 * 65535 + 16, '\0');
  Put16(w, 14, 1);
  Put32(w, 16, 3);
  const uint32_t shared = 16 + 8;
  Put32(w, 20, 0x80000000 | shared);
  Put16(w, shared + 14, 65535);
  const uint32_t langs = shared + 16 + 8 * 65535;
  for (uint32_t i = 0; i < 65535; ++i) {
    Put32(w, shared + 16 + 8 * i, i);
    Put32(w, shared + 20 + 8 * i, 0x80000000 | langs);
  }
  Put16(w, langs + 14, 65535);
  wide.VirtualSize = static_cast<uint32_t>(w.size() + 0x1000);
  wide.Dir(2, 0x1000, static_cast<uint32_t>(w.size()));
  const auto start = std::chrono::steady_clock::now();
  r = ReadBytes(wide.Bytes());
  EXPECT_TRUE(r.ResourceTableErrors);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// A file of 4 GiB and more: its size is not cut to 32 bits by the size check.
TEST(PEReader, FilesOfFourGiBAndMore) {
  TMiniPE pe;
  pe.Data = "x";
  const std::string name = bqtest::WriteFile("huge.exe", pe.Bytes());
  std::error_code ec;
  fs::resize_file(name, (1ull << 32) + 100, ec);  // sparse; 100 bytes as 32 bits
  if (ec) GTEST_SKIP() << "no sparse files here: " << ec.message();
  TPEReader r;
  EXPECT_NO_THROW(r.ReadFromFile(name));
  EXPECT_EQ(r.Sections().size(), 1u);
  fs::remove(name);
}

// VirtualSize beyond SizeOfRawData with the directory in the zero-filled tail: nothing to copy.
TEST(PEReader, DirectoryInTheVirtualTail) {
  TMiniPE pe;
  pe.RawSize = 0x100;
  pe.VirtualSize = 0x10000;
  pe.Dir(1, 0x1000 + 0x8000, 0x100);
  pe.Dir(0, 0x1000 + 0x8000, 0x100);
  pe.Dir(2, 0x1000 + 0x8000, 0x100);
  const TPEReader r = ReadBytes(pe.Bytes());
  const TDirectoryLocation where = r.DirectoryToFileOffset(1);
  EXPECT_TRUE(where.Found);
  EXPECT_EQ(where.Available, 0u);
  EXPECT_TRUE(r.ImportTableErrors);
  EXPECT_TRUE(r.ExportTableErrors);
  // The resource directory's file offset lies past the end of the file: no entries, no error.
  EXPECT_TRUE(r.ResourceEntries().empty());
  EXPECT_FALSE(r.ResourceTableErrors);
}

// Every cut of the real files: the reader either fails cleanly or keeps a consistent part.
TEST(PEReader, TruncatedCopiesOfRealFiles) {
  for (const std::string arch : {"x64", "x86"}) {
    for (const std::string name : {"app.exe", "lib.dll"}) {
      const std::string bytes = ReadAll(Fixture(arch, name));
      ASSERT_GT(bytes.size(), 4096u);
      TPEReader whole = ReadBytes(bytes);
      size_t partialImports = 0;
      for (size_t cut = 0; cut < bytes.size(); cut += 61) {
        const std::string part = bytes.substr(0, cut);
        TPEReader r;
        try {
          r.ReadFromBytes(TByteView(part));
        } catch (const TPEError&) {
          continue;
        }
        EXPECT_LE(r.ImportTable().size(), whole.ImportTable().size());
        EXPECT_LE(r.ResourceEntries().size(), whole.ResourceEntries().size());
        partialImports += r.ImportTableErrors || r.ImportTable().size() < whole.ImportTable().size();
      }
      EXPECT_GT(partialImports, 0u) << arch << "/" << name;
    }
  }
}

// ---- The Details page.

namespace {

std::string Hex32(uint32_t v) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}

// A few of Wine's PE DLLs, when Wine is installed.
std::vector<std::string> WineDlls() {
  std::vector<std::string> out;
  for (const std::string dir : {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/", "/usr/lib/x86_64-linux-gnu/wine/i386-windows/"})
    for (const std::string name : {"kernel32.dll", "ws2_32.dll", "comctl32.dll", "oleaut32.dll"})
      if (fs::exists(dir + name)) out.push_back(dir + name);
  return out;
}

// Every Details row pefile can tell, in order per field: "D" lines hold the whole value, "d"
// lines its ending.
void ExpectDetailsAgree(const std::string& file) {
  SCOPED_TRACE(file);
  auto oracle = Oracle(file);
  const TPageRecord page = Fill(FillDetailsPage, {file});
  ASSERT_EQ(page.Columns.size(), 2u);
  const auto rows = Shown(page);
  std::map<std::string, size_t> seen;
  for (const std::string kind : {"D", "d"})
    for (const auto& want : oracle[kind]) {
      ASSERT_EQ(want.size(), 3u);
      size_t& n = seen[kind + want[0] + want[1]];
      size_t k = 0;
      const TPageRecord::TRow* found = nullptr;
      for (const auto& row : rows)
        if (GroupHeader(page, row.Group()) == want[0] && Cell(row, 0) == want[1] && k++ == n) {
          found = &row;
          break;
        }
      ++n;
      ASSERT_TRUE(found) << want[0] << "/" << want[1] << " #" << n;
      const std::string value = Cell(*found, 1);
      if (kind == "D") {
        EXPECT_EQ(value, want[2]) << want[1];
      } else {
        EXPECT_TRUE(value.size() >= want[2].size() && value.compare(value.size() - want[2].size(), std::string::npos, want[2]) == 0)
            << want[1] << ": " << value << " does not end with " << want[2];
      }
    }
  // Nothing shown that pefile does not have: the section rows match in number too.
  size_t sectionRows = 0;
  for (const auto& row : rows) sectionRows += Cell(row, 0) == "Section Entropy";
  EXPECT_EQ(sectionRows, seen["DFileSection Entropy"]);
}

}  // namespace

TEST(PEDetails, AgreesWithPefile) {
  for (const std::string arch : {"x64", "x86"})
    for (const std::string name : {"app.exe", "lib.dll", "plain.exe", "overlay.exe", "rich.exe", "rich_badkey.exe",
                                   "delay.exe", "debug.exe", "ordnames.exe",
                                   "damaged/moved_resource.exe"})
      ExpectDetailsAgree(Fixture(arch, name));
  for (const auto& dll : WineDlls()) ExpectDetailsAgree(dll);

  // Time stamps that are no plausible date, and a checksum not set.
  std::string app = ReadAll(Fixture("x86", "app.exe"));
  const uint32_t pe = static_cast<uint8_t>(app[0x3C]) | static_cast<uint8_t>(app[0x3D]) << 8;
  Put32(app, pe + 8, 0);
  Put32(app, pe + 24 + 64, 0);
  ExpectDetailsAgree(bqtest::WriteFile("stamp0.exe", app));
  Put32(app, pe + 8, 0xFFFFFFF0);
  ExpectDetailsAgree(bqtest::WriteFile("stamp_late.exe", app));
  const TPageRecord page = Fill(FillDetailsPage, {bqtest::WriteFile("stamp_late.exe", app)});
  EXPECT_EQ(Cell(Shown(page)[4], 1), "FFFFFFF0");
  EXPECT_EQ(Cell(Shown(page)[6], 1), "not set");
}

TEST(PEDetails, NamesAndSeveralFiles) {
  const std::string app = Fixture("x64", "app.exe"), lib = Fixture("x86", "lib.dll");
  const std::string text = bqtest::WriteFile("details.txt", "just text\n");
  const std::string broken = bqtest::WriteFile("details_broken.dll", ReadAll(lib).substr(0, 100));
  const TPageRecord page = Fill(FillDetailsPage, {app, text, lib, broken});
  ASSERT_EQ(page.Columns.size(), 5u);
  EXPECT_EQ(page.Columns[2].Title, "details.txt");
  EXPECT_EQ(GroupHeader(page, 1), "File");
  const auto rows = Shown(page);
  ASSERT_GE(rows.size(), 4u);
  EXPECT_EQ(rows[0].Cells(), (std::vector<std::string>{"Machine", "x64 (8664)", "", "x86 (014C)", ""}));
  EXPECT_EQ(rows[1].Cells(), (std::vector<std::string>{"Subsystem", "Windows CUI (3)", "", "Windows CUI (3)", ""}));
  EXPECT_EQ(Cell(rows[2], 1), "Executable, Line Numbers Stripped, Local Symbols Stripped, Large Address Aware, Debug Stripped");
  EXPECT_EQ(Cell(rows[2], 3), "Executable, Line Numbers Stripped, Local Symbols Stripped, 32-Bit Machine, Debug Stripped, DLL");
  EXPECT_EQ(Cell(rows[3], 1), "ASLR (Dynamic Base), High Entropy VA, DEP (NX Compatible)");
  const auto entropy = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return Cell(r, 0) == "File Entropy"; });
  ASSERT_NE(entropy, rows.end());
  EXPECT_NE(Cell(*entropy, 1), "");
  EXPECT_NE(Cell(*entropy, 3), "");
  EXPECT_EQ(Cell(*entropy, 2) + Cell(*entropy, 4), "");
  EXPECT_EQ(Cell(rows.back(), 0), "details_broken.dll: PEReader: Invalid PE format (size problem #1)!");
}

TEST(PEDetails, RichHeader) {
  auto rows = [](const std::string& file) {
    std::vector<std::vector<std::string>> out;
    const TPageRecord page = Fill(FillDetailsPage, {file});
    for (const auto& row : Shown(page))
      if (GroupHeader(page, row.Group()) == "Rich Header") out.push_back(row.Cells());
    return out;
  };
  for (const std::string arch : {"x64", "x86"}) {
    SCOPED_TRACE(arch);
    EXPECT_TRUE(rows(Fixture(arch, "app.exe")).empty()) << "MinGW writes no Rich header";
    const auto good = rows(Fixture(arch, "rich.exe")), bad = rows(Fixture(arch, "rich_badkey.exe"));
    ASSERT_EQ(good.size(), 7u);
    ASSERT_EQ(bad.size(), 7u);
    EXPECT_EQ(good[1][0], "Rich Header Checksum");
    EXPECT_EQ(good[1][1].substr(8), " (valid)");
    // Every dword XORed with a key one off in each byte: the same entries, a wrong checksum.
    EXPECT_EQ(bad[1][1].substr(0, 8) + bad[1][1].substr(8, 9), Hex32(std::stoul(good[1][1].substr(0, 8), nullptr, 16) ^ 0x01010101) + " (wrong: ");
    EXPECT_EQ(bad[1][1].substr(17, 8), good[1][1].substr(0, 8));
    for (size_t i = 2; i < 7; ++i) EXPECT_EQ(bad[i], good[i]);
    EXPECT_EQ(good[2][1], "Product id 259, build 30159: 12 objects");
  }
  // A "Rich" without its "DanS", and one cut right after the marker: no group.
  std::string app = ReadAll(Fixture("x64", "rich.exe"));
  std::string noDans = app;
  noDans[0x80] ^= 1;
  EXPECT_TRUE(rows(bqtest::WriteFile("rich_nodans.exe", noDans)).empty());
  const size_t rich = app.find("Rich", 0x80);
  ASSERT_NE(rich, std::string::npos);
  EXPECT_TRUE(rows(bqtest::WriteFile("rich_cut.exe", app.substr(0, rich + 4))).empty());
}

// debug.exe adds a TLS callback of its own to the CRT's and names its PDB.
TEST(PEDetails, DebugAndTls) {
  auto value = [](const std::string& file, const std::string& field) {
    for (const auto& row : Fill(FillDetailsPage, {file}).Rows)
      if (Cell(row, 0) == field) return Cell(row, 1);
    return std::string("<none>");
  };
  for (const std::string arch : {"x64", "x86"}) {
    SCOPED_TRACE(arch);
    EXPECT_EQ(std::stoi(value(Fixture(arch, "debug.exe"), "TLS Callbacks")), std::stoi(value(Fixture(arch, "plain.exe"), "TLS Callbacks")) + 1);
    EXPECT_EQ(value(Fixture(arch, "debug.exe"), "PDB Path"), "debug.pdb");
    EXPECT_EQ(value(Fixture(arch, "plain.exe"), "Debug Entry"), "<none>");
    // Random bytes are taken for packed data.
    const TPageRecord page = Fill(FillDetailsPage, {Fixture(arch, "debug.exe")});
    const auto noise = std::find_if(page.Rows.begin(), page.Rows.end(), [](const auto& r) { return Cell(r, 1).find("(.noise)") != std::string::npos; });
    ASSERT_NE(noise, page.Rows.end());
    EXPECT_EQ(Cell(*noise, 1).substr(0, 2), "7.");
    EXPECT_EQ(Cell(*noise, 1).substr(4), " (.noise) packed or compressed?");
  }
}

// Damaged and cut copies: the page shows what it can, quickly, and nothing is read past the file.
TEST(PEDetails, DamagedAndCutCopies) {
  std::vector<std::string> files;
  for (const std::string arch : {"x64", "x86"})
    for (const auto& e : fs::directory_iterator(Fixtures() / arch / "damaged")) files.push_back(e.path().string());
  const std::string app = ReadAll(Fixture("x86", "app.exe"));
  for (size_t cut : {64u, 200u, 400u, 1024u, 5000u}) files.push_back(bqtest::WriteFile("details_cut" + std::to_string(cut) + ".exe", app.substr(0, cut)));
  // A section whose raw data claims 4 GiB from near the end of the file.
  std::string big = app;
  const uint32_t pe = static_cast<uint8_t>(big[0x3C]) | static_cast<uint8_t>(big[0x3D]) << 8;
  const uint32_t table = pe + 24 + (static_cast<uint8_t>(big[pe + 20]) | static_cast<uint8_t>(big[pe + 21]) << 8);
  Put32(big, table + 16, 0xFFFFFFFF);
  Put32(big, table + 20, static_cast<uint32_t>(big.size() - 10));
  // A debug directory claiming 2 GiB of entries, and a CodeView record claiming 4 GiB.
  std::string debug = ReadAll(Fixture("x64", "debug.exe"));
  const uint32_t dpe = static_cast<uint8_t>(debug[0x3C]) | static_cast<uint8_t>(debug[0x3D]) << 8;
  Put32(debug, dpe + 24 + 112 + 6 * 8 + 4, 0x7FFFFFF0);
  files.push_back(bqtest::WriteFile("details_huge_debug.exe", debug));
  const size_t rsds = debug.find("RSDS");
  ASSERT_NE(rsds, std::string::npos);
  std::string record = ReadAll(Fixture("x64", "debug.exe"));
  for (size_t at = 0; at + 28 <= record.size(); ++at)
    if (record.compare(at + 24, 4, std::string{static_cast<char>(rsds), static_cast<char>(rsds >> 8), static_cast<char>(rsds >> 16), static_cast<char>(rsds >> 24)}) == 0 &&
        record[at + 12] == 2) {
      Put32(record, at + 16, 0xFFFFFFFF);
      break;
    }
  record.resize(rsds + 30);  // the path cut: no zero after it
  files.push_back(bqtest::WriteFile("details_huge_codeview.exe", record));
  // Cut inside the TLS directory, and inside the optional header's directories past the 13th.
  for (const std::string arch : {"x64", "x86"}) {
    TPEReader reader;
    reader.ReadFromFile(Fixture(arch, "debug.exe"));
    const TDirectoryLocation tls = reader.DirectoryToFileOffset(9);
    ASSERT_TRUE(tls.Found);
    const std::string whole = ReadAll(Fixture(arch, "debug.exe"));
    files.push_back(bqtest::WriteFile("details_cut_tls_" + arch + ".exe", whole.substr(0, tls.FileOffset + 8)));
    const TPageRecord cut = Fill(FillDetailsPage, {files.back()});
    for (const auto& row : cut.Rows) EXPECT_NE(Cell(row, 0), "TLS Callbacks");
    const size_t delay = reader.PEHeaderPointer() + 24 + (reader.IsPE32Plus() ? 112 : 96) + 13 * 8;
    files.push_back(bqtest::WriteFile("details_cut_delay_" + arch + ".exe", ReadAll(Fixture(arch, "delay.exe")).substr(0, delay + 2)));
  }
  files.push_back(bqtest::WriteFile("details_huge_section.exe", big));
  const auto start = std::chrono::steady_clock::now();
  for (const auto& f : files) {
    SCOPED_TRACE(f);
    const TPageRecord page = Fill(FillDetailsPage, {f});
    if (ReadAll(f).size() > 400) {
      EXPECT_FALSE(page.Rows.empty());
    }
  }
  const TPageRecord page = Fill(FillDetailsPage, {files.back()});
  const auto rows = Shown(page);
  const auto first = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return Cell(r, 0) == "Section Entropy"; });
  ASSERT_NE(first, rows.end());
  EXPECT_EQ(Cell(*first, 1).substr(4), " (.text)");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

// ---- Version information, signature, .NET and manifest.

namespace {

// The rows of one group of the Details page: (field, value).
std::vector<std::pair<std::string, std::string>> GroupRows(const std::string& file, const std::string& group) {
  std::vector<std::pair<std::string, std::string>> out;
  const TPageRecord page = Fill(FillDetailsPage, {file});
  for (const auto& row : Shown(page))
    if (GroupHeader(page, row.Group()) == group) out.emplace_back(Cell(row, 0), row.Cells().size() > 1 ? Cell(row, 1) : "");
  return out;
}

std::string Value(const std::vector<std::pair<std::string, std::string>>& rows, const std::string& field) {
  for (const auto& r : rows)
    if (r.first == field) return r.second;
  return "<none>";
}

}  // namespace

// A closing page stops the passes over the whole file: once asked, nothing more is read, and the
// rows that need the whole file (entropy, the signature's digest) are left out, not made up.
TEST(PEDetails, StopsReadingOnceAsked) {
  for (const std::string arch : {"x64", "x86"}) {
    const std::string file = Fixture(arch, "signed.dll");
    TPEReader reader;
    reader.SetReadImportTable(true);
    reader.SetReadResourceTable(true);
    reader.ReadFromFile(file);
    auto has = [](const TPEDetails& d, int group, const std::string& field) {
      for (const auto& row : d.Groups[group])
        if (row.Field == field) return true;
      return false;
    };
    const TPEDetails whole = ReadPEDetailsFromFile(reader, file, 2026);
    ASSERT_TRUE(has(whole, dgFile, "File Entropy")) << file;
    int asked = 0;
    const TPEDetails stopped = ReadPEDetailsFromFile(reader, file, 2026, [&] { return ++asked > 0; });
    EXPECT_FALSE(has(stopped, dgFile, "File Entropy")) << file;
    for (const auto& row : stopped.Groups[dgSignature]) EXPECT_NE(row.Value, "intact") << file;
    EXPECT_GT(asked, 0);
  }
}

// Versions and strings against pefile, the signature against osslsigncode verify, the CLR header
// against the bytes pefile maps.
TEST(PEDetails, VersionSignatureAndDotNetAgree) {
  for (const std::string arch : {"x64", "x86"})
    for (const std::string name : {"ver.exe", "signed.dll", "signed_sha1.dll", "signed_sha384.dll", "signed_modified.dll"}) ExpectDetailsAgree(Fixture(arch, name));
  for (const std::string name : {"lib.dll", "x86.exe", "prefer32.exe", "strong.dll"}) ExpectDetailsAgree(Fixture("net", name));
}

TEST(PEDetails, VersionLanguageAndManifest) {
  for (const std::string arch : {"x64", "x86"}) {
    SCOPED_TRACE(arch);
    const auto ver = GroupRows(Fixture(arch, "ver.exe"), "Version Information");
    ASSERT_GE(ver.size(), 13u);
    // File order: the two fixed versions, the first table's ten strings, then its language.
    EXPECT_EQ(ver[0], (std::pair<std::string, std::string>{"File Version", "3.14.159.2653"}));
    EXPECT_EQ(ver[2].first, "CompanyName");
    EXPECT_EQ(ver[10], (std::pair<std::string, std::string>{"BuildFlavour", "checked"}));
    EXPECT_EQ(ver[11], (std::pair<std::string, std::string>{"Empty", ""}));
    EXPECT_EQ(ver.back(), (std::pair<std::string, std::string>{"Language", "German (Germany), Western European (Windows)"}));
    EXPECT_EQ(ver.size(), 13u) << "the second string table is not shown";
    EXPECT_EQ(Value(GroupRows(Fixture(arch, "app.exe"), "Version Information"), "Language"), "English (United States), Unicode");

    const auto manifest = GroupRows(Fixture(arch, "ver.exe"), "Manifest");
    EXPECT_EQ(manifest, (std::vector<std::pair<std::string, std::string>>{{"Execution Level", "requireAdministrator"},
                                                                          {"UI Access", "false"},
                                                                          {"Dependency", "Microsoft.Windows.Common-Controls 6.0.0.0"},
                                                                          {"Dependency", "Microsoft.VC90.CRT 9.0.21022.8"}}));
    // app.exe's manifest names itself only: nothing to show, no group.
    EXPECT_TRUE(GroupRows(Fixture(arch, "app.exe"), "Manifest").empty());
    EXPECT_TRUE(GroupRows(Fixture(arch, "plain.exe"), "Version Information").empty());
  }
  // A manifest in UTF-16 with its byte order mark, attributes in single quotes.
  std::string ver = ReadAll(Fixture("x64", "ver.exe"));
  TPEReader reader;
  reader.ReadFromFile(Fixture("x64", "ver.exe"));
  for (const auto& e : reader.ResourceEntries())
    if (e.TypeId == 24) {
      std::string text = "\xFF\xFE";
      for (char c : std::string("<a><b:requestedExecutionLevel level='asInvoker' uiAccess='true'/></a>")) text += std::string{c, '\0'};
      ASSERT_LE(text.size(), e.Size);
      text.resize(e.Size, ' ');
      for (size_t i = 2; i + 1 < text.size(); i += 2) text[i + 1] = '\0';
      ver.replace(e.Offset, e.Size, text);
    }
  const auto manifest = GroupRows(bqtest::WriteFile("manifest16.exe", ver), "Manifest");
  EXPECT_EQ(Value(manifest, "Execution Level"), "asInvoker");
  EXPECT_EQ(Value(manifest, "UI Access"), "true");
}

TEST(PEDetails, DotNetFlags) {
  // What each mcs option writes into the CLR header's flags.
  EXPECT_EQ(Value(GroupRows(Fixture("net", "lib.dll"), ".NET"), "Flags"), "IL only");
  EXPECT_EQ(Value(GroupRows(Fixture("net", "x86.exe"), ".NET"), "Flags"), "IL only, 32-bit required");
  EXPECT_EQ(Value(GroupRows(Fixture("net", "prefer32.exe"), ".NET"), "Flags"), "IL only, 32-bit required, 32-bit preferred");
  EXPECT_EQ(Value(GroupRows(Fixture("net", "strong.dll"), ".NET"), "Flags"), "IL only, strong-name signed");
  EXPECT_EQ(Value(GroupRows(Fixture("net", "x86.exe"), ".NET"), "Entry Point Token").substr(0, 2), "06") << "a MethodDef token";
  EXPECT_TRUE(GroupRows(Fixture("x64", "app.exe"), ".NET").empty());
}

TEST(PEDetails, Signature) {
  for (const std::string arch : {"x64", "x86"}) {
    SCOPED_TRACE(arch);
    const auto sig = GroupRows(Fixture(arch, "signed.dll"), "Signature");
    EXPECT_EQ(Value(sig, "Signer"), "Brisquel Test Signer");
    EXPECT_EQ(Value(sig, "Certificates"), "1");
    EXPECT_EQ(Value(sig, "Integrity"), "intact");
    EXPECT_EQ(Value(sig, "Trust"), "not verified on this system");
    EXPECT_EQ(Value(GroupRows(Fixture(arch, "signed_sha1.dll"), "Signature"), "Signing Time"), "not timestamped");
    EXPECT_EQ(Value(GroupRows(Fixture(arch, "signed_modified.dll"), "Signature"), "Integrity"), "MODIFIED after signing");
    EXPECT_EQ(GroupRows(Fixture(arch, "lib.dll"), "Signature"), (std::vector<std::pair<std::string, std::string>>{{"Signature", "Not signed"}}));
  }
  // Bytes appended after the certificate table are part of the digest: the file was changed.
  const std::string signedDll = ReadAll(Fixture("x64", "signed.dll"));
  EXPECT_EQ(Value(GroupRows(bqtest::WriteFile("signed_appended.dll", signedDll + "tail"), "Signature"), "Integrity"), "MODIFIED after signing");
}

// Lengths that lie: the page shows what it read before, says what it met, and reads nothing past the file.
TEST(PEDetails, DamagedSignatureAndVersion) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"damaged/sig_past_end.dll", "Signature: the certificate table (offset "},
      {"damaged/sig_offset_past_end.dll", "Signature: the certificate table (offset "},
      {"damaged/sig_entry_too_long.dll", "Signature: the certificate entry's length"},
      {"damaged/sig_garbage.dll", "Signature: the signature is not a PKCS#7 SignedData message"},
      {"damaged/ver_root_lies.exe", "Version resource: a block's length (65520 bytes at offset 0) runs past the resource"},
      {"damaged/ver_string_lies.exe", "Version resource: a block's length (32752 bytes at offset "}};
  for (const std::string arch : {"x64", "x86"})
    for (const auto& [name, message] : cases) {
      SCOPED_TRACE(arch + "/" + name);
      const TPageRecord page = Fill(FillDetailsPage, {Fixture(arch, name)});
      ASSERT_EQ(page.Problems.size(), 1u);
      EXPECT_EQ(page.Problems[0].Message.substr(0, message.size()), message);
      const auto rows = Shown(page);
      EXPECT_EQ(GroupHeader(page, rows.back().Group()), "Problems");
      EXPECT_EQ(Cell(rows.back(), 0), page.Problems[0].Message);
      if (name.find("sig_") != std::string::npos) EXPECT_EQ(Value(GroupRows(Fixture(arch, name), "Signature"), "Signature"), "damaged");
    }
  // The strings before the lying one stay: none here, the first string lies; the versions stay.
  const auto ver = GroupRows(Fixture("x64", "damaged/ver_string_lies.exe"), "Version Information");
  EXPECT_EQ(Value(ver, "File Version"), "3.14.159.2653");
  EXPECT_EQ(Value(ver, "CompanyName"), "<none>");
  // A signed file cut inside its certificate table, at every 97th byte of it.
  const std::string whole = ReadAll(Fixture("x64", "signed.dll"));
  TPEReader reader;
  reader.ReadFromFile(Fixture("x64", "signed.dll"));
  uint32_t offset = 0, size = 0;
  reader.DataDirectory(4, offset, size);
  ASSERT_EQ(uint64_t{offset} + size, whole.size());
  for (uint32_t cut = offset; cut < whole.size(); cut += 97) {
    const TPageRecord page = Fill(FillDetailsPage, {bqtest::WriteFile("signed_cut.dll", whole.substr(0, cut))});
    ASSERT_EQ(page.Problems.size(), 1u) << cut;
  }
  // The PKCS#7 blob with bytes changed all through it: parsed or refused, never a crash.
  for (size_t at = offset + 8; at < whole.size(); at += 61) {
    std::string bad = whole;
    bad[at] = static_cast<char>(bad[at] ^ 0x5A);
    (void)Fill(FillDetailsPage, {bqtest::WriteFile("signed_flip.dll", bad)});
  }
}
