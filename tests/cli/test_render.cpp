// The text and JSON renderings of recorded pages.
#include <gtest/gtest.h>

#include "cli/bqRender.h"

using namespace bq;

namespace {

TRenderedPage ListPage(const TPageInfo& info, TPageRecorder& recorder) {
  TRenderedPage page;
  page.Info = &info;
  page.WithContent = true;
  page.Record = recorder.TakeRecord();
  return page;
}

// Columns line up by code points, not bytes: cells of two-, three- and four-byte characters,
// some longer than a machine word, pad like ASCII ones. Groups list their rows in row order,
// whatever order the rows came in; a row in no listed group is not shown.
TEST(Render, TextAlignsUtf8AndGroupsRows) {
  TPageInfo info;
  info.Title = "Exports";
  info.Kind = TPageKind::pkList;
  TPageRecorder r;
  r.EnableGroupView(true);
  r.AddColumn("Name", 100, TAlign::alLeft);
  r.AddColumn("No", 50, TAlign::alRight);
  r.AddGroup(2, "second");
  r.AddGroup(1, "first");
  auto row = [&](const char* a, const char* b, int g) {
    const int i = r.InsertRow(1 << 30, a);
    r.SetCell(i, 1, b);
    r.SetRowGroup(i, g);
  };
  row("caf\xC3\xA9", "1", 1);                                   // 4 wide
  row("\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC", "2", 2);  // 6 wide, 18 bytes
  row("\xF0\x9F\x98\x80x", "3", 1);                              // 2 wide
  row("nowhere", "4", 9);
  row("plain_ascii_name", "5", 2);                               // 16 wide
  const std::string text = RenderPageText(ListPage(info, r));
  EXPECT_EQ(text,
            "[Exports]\n"
            "  Name              No\n"
            "second\n"
            "  \xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC            2\n"
            "  plain_ascii_name  5\n"
            "first\n"
            "  caf\xC3\xA9              1\n"
            "  \xF0\x9F\x98\x80x                3\n");
}

// Rows already group by group with ascending ids, as the pages add them, take a shorter way
// through the groups: the same rules hold (rows in unlisted groups before, between and after
// the listed ones are not shown; an empty group shows its header only).
TEST(Render, TextGroupsRowsAddedInGroupOrder) {
  TPageInfo info;
  info.Title = "Sections";
  info.Kind = TPageKind::pkList;
  TPageRecorder r;
  r.EnableGroupView(true);
  r.AddColumn("Name", 100, TAlign::alLeft);
  r.AddColumn("Size", 50, TAlign::alRight);
  for (int g : {1, 3, 5, 7}) r.AddGroup(g, "group " + std::to_string(g));
  const std::pair<const char*, int> rows[] = {{"a", 0}, {"b", 1}, {"cc", 1}, {"d", 2}, {"e", 3}, {"f", 6}, {"g", 7}, {"h", 8}};
  for (const auto& [name, g] : rows) r.AppendRow({name, std::to_string(g)}, g);
  EXPECT_EQ(RenderPageText(ListPage(info, r)),
            "[Sections]\n"
            "  Name  Size\n"
            "group 1\n"
            "  b     1\n"
            "  cc    1\n"
            "group 3\n"
            "  e     3\n"
            "group 5\n"
            "group 7\n"
            "  g     7\n");
}

TEST(Render, JsonEscapesControlsAndRepairsBadUtf8) {
  EXPECT_EQ(JsonString("a\"b\\c\n\t\x01\x7F"), "\"a\\\"b\\\\c\\n\\t\\u0001\\u007f\"");
  EXPECT_EQ(JsonString("ok \xC3\xA9"), "\"ok \xC3\xA9\"");
  EXPECT_EQ(JsonString("bad \xFF\xC3"), "\"bad \xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(JsonString(std::string("nul\0x", 5)), "\"nul\\u0000x\"");
}

}  // namespace
