// The order a list shows its rows in, its sorting, and its rows as copied or saved text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/bqListDisplay.h"
#include "shell/bqPageView.h"

namespace bq {
namespace {

// What the display shows, one string a line: "# header" or the row's first cell.
std::vector<std::string> Lines(const TPageRecord& r, const TListDisplay& d) {
  std::vector<std::string> out;
  for (size_t i = 0; i < d.size(); ++i) {
    const auto at = d.At(i);
    out.push_back(at.Header ? "# " + r.Groups[at.Index].Header : std::string(r.Rows[at.Index][0]));
  }
  return out;
}

TPageRecord Grouped() {
  TPageRecorder p;
  p.EnableGroupView(true);
  p.AddColumn("Name", 100, TAlign::alLeft);
  p.AddColumn("Size", 50, TAlign::alRight);
  p.AddGroup(2, "Second");
  p.AddGroup(1, "First");
  p.AddGroup(3, "Empty");
  p.AppendRow({"a", "10"}, 1);
  p.AppendRow({"b", "9"}, 2);
  p.AppendRow({"c", "1,024"}, 1);
  p.AppendRow({"hidden", "1"}, 7);  // in no listed group
  p.AppendRow({"d", ""}, 1);
  return p.TakeRecord();
}

TEST(ListDisplay, GroupsInTheOrderAddedWithHeadersAndOnlyWhatTheListShows) {
  const TPageRecord r = Grouped();
  TListDisplay d;
  d.Reset(r);
  EXPECT_EQ(Lines(r, d), (std::vector<std::string>{"# Second", "b", "# First", "a", "c", "d"}));
  EXPECT_EQ(d.GroupLines(2), (std::pair<size_t, size_t>{2, 6}));
  EXPECT_EQ(d.At(100).Header, false);  // past the end: no line, no crash

  // Without group view the rows are shown as they are.
  TPageRecord flat = r;
  flat.GroupView = false;
  d.Reset(flat);
  EXPECT_EQ(Lines(flat, d), (std::vector<std::string>{"a", "b", "c", "hidden", "d"}));
}

TEST(ListDisplay, AppendedRowsJoinTheirGroupsAndASortedListStaysSorted) {
  TPageRecorder p;
  p.EnableGroupView(true);
  p.AddColumn("Name", 100, TAlign::alLeft);
  p.AddGroup(1, "One");
  p.AddGroup(2, "Two");
  p.AppendRow({"x"}, 2);
  TListDisplay d;
  d.Reset(p.Current());
  EXPECT_EQ(Lines(p.Current(), d), (std::vector<std::string>{"# Two", "x"}));
  p.AppendRow({"b"}, 1);
  p.AppendRow({"a"}, 2);
  d.Append(p.Current(), 1);
  EXPECT_EQ(Lines(p.Current(), d), (std::vector<std::string>{"# One", "b", "# Two", "x", "a"}));
  d.Sort(p.Current(), 0, true);
  p.AppendRow({"c"}, 2);
  d.Append(p.Current(), 3);
  EXPECT_EQ(Lines(p.Current(), d), (std::vector<std::string>{"# One", "b", "# Two", "a", "c", "x"}));
  d.Sort(p.Current(), -1, true);  // back to the rows' own order
  EXPECT_EQ(Lines(p.Current(), d), (std::vector<std::string>{"# One", "b", "# Two", "x", "a", "c"}));
}

TEST(ListDisplay, SortsNumbersAsNumbersDatesAsDatesAndTextWithoutCaseWithinGroups) {
  TPageRecorder p;
  p.AddColumn("Name", 100, TAlign::alLeft);
  p.AddColumn("Size", 50, TAlign::alRight);
  p.AddColumn("Date", 80, TAlign::alLeft);
  p.AppendRow({"beta", "10", "12/31/2023 11:59 PM"}, 0);
  p.AppendRow({"Alpha", "9", "1/2/2024 12:00 AM"}, 0);
  p.AppendRow({"gamma", "1,024", "1/2/2024 9:05 AM"}, 0);
  p.AppendRow({"alpha", "", "2/1/2023 1:00 PM"}, 0);
  const TPageRecord& r = p.Current();
  TListDisplay d;
  d.Reset(r);
  EXPECT_EQ(ColumnSortKind(r, 1), TSortKind::skNumber);
  EXPECT_EQ(ColumnSortKind(r, 2), TSortKind::skDate);
  EXPECT_EQ(ColumnSortKind(r, 0), TSortKind::skText);

  d.Sort(r, 1, true);  // an empty cell first, then 9 < 10 < 1,024 (not "1,024" < "10" < "9")
  EXPECT_EQ(Lines(r, d), (std::vector<std::string>{"alpha", "Alpha", "beta", "gamma"}));
  d.Sort(r, 1, false);
  EXPECT_EQ(Lines(r, d), (std::vector<std::string>{"gamma", "beta", "Alpha", "alpha"}));
  d.Sort(r, 2, true);  // by the date, not the text: 2/1/2023 < 12/31/2023 < 1/2/2024 0:00 < 9:05
  EXPECT_EQ(Lines(r, d), (std::vector<std::string>{"alpha", "beta", "Alpha", "gamma"}));
  d.Sort(r, 0, true);  // without regard to case; equal names keep their order
  EXPECT_EQ(Lines(r, d), (std::vector<std::string>{"Alpha", "alpha", "beta", "gamma"}));

  const TPageRecord g = Grouped();
  d.Reset(g);
  d.Sort(g, 1, false);
  EXPECT_EQ(Lines(g, d), (std::vector<std::string>{"# Second", "b", "# First", "c", "a", "d"}));
}

TEST(ListDisplay, CellsReadAsNumbersAndDatesOnlyWhenTheyAreWhole) {
  double v = 0;
  EXPECT_TRUE(CellNumber("1,234,567", v) && v == 1234567);
  EXPECT_TRUE(CellNumber("-3.25", v) && v == -3.25);
  EXPECT_FALSE(CellNumber("1,23", v));
  EXPECT_FALSE(CellNumber("12 KB", v));
  EXPECT_FALSE(CellNumber("0040A000", v));
  EXPECT_FALSE(CellNumber("-", v));
  double a = 0, b = 0;
  EXPECT_TRUE(CellDate("2024-12-31 23:59:59", a));
  EXPECT_TRUE(CellDate("12/31/2024 11:59 PM", b));
  EXPECT_EQ(a - b, 59);
  EXPECT_TRUE(CellDate("12/30/1899 12:00 AM", a));
  EXPECT_FALSE(CellDate("12/31/2024 11:59 XY", a));
  EXPECT_FALSE(CellDate("1.2.3.4", a));
}

TEST(ListDisplay, CopiedAndSavedTextKeepsTheShownOrderAndQuotesAsCsvReadersExpect) {
  TPageRecorder p;
  p.EnableGroupView(true);
  p.AddColumn("Name", 100, TAlign::alLeft);
  p.AddColumn("Note", 100, TAlign::alLeft);
  p.AddGroup(5, "Files");
  p.AppendRow({"a,b.txt", "say \"hi\""}, 5);
  p.AppendRow({"tab\there", "two\r\nlines"}, 5);
  TListDisplay d;
  d.Reset(p.Current());
  const std::vector<size_t> all{0, 1, 2};
  EXPECT_EQ(ListLinesAsCsv(p.Current(), d, all),
            "Group,Name,Note\r\nFiles,\"a,b.txt\",\"say \"\"hi\"\"\"\r\nFiles,tab\there,\"two\r\nlines\"\r\n");
  EXPECT_EQ(ListLinesAsTsv(p.Current(), d, {2}), "Group\tName\tNote\r\nFiles\ttab here\ttwo  lines\r\n");

  std::vector<TPageRecord::TNode> tree{{"KERNEL32.dll", {{"ExitProcess", {}}, {"Sleep", {}}}}, {"msvcrt.dll", {}}};
  EXPECT_EQ(TreeAsText(tree), "KERNEL32.dll\r\n\tExitProcess\r\n\tSleep\r\nmsvcrt.dll\r\n");
  EXPECT_EQ(TreeAsCsv(tree), "KERNEL32.dll\r\n,ExitProcess\r\n,Sleep\r\nmsvcrt.dll\r\n");
}

}  // namespace
}  // namespace bq
