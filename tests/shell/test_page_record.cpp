// The recorder's list rows against a plain model of the list view's rules: InsertRow places a
// row before the given index (past the end or negative: at the end), SetCell adds empty cells
// up to its column and replaces a cell's text, SetRowGroup sets the group.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "shell/bqPageView.h"

using namespace bq;

namespace {
struct TModelRow {
  std::vector<std::string> Cells;
  int Group = 0;
};

void ExpectSame(const TPageRecord& r, const std::vector<TModelRow>& model) {
  ASSERT_EQ(r.Rows.size(), model.size());
  for (size_t i = 0; i < model.size(); ++i) {
    EXPECT_EQ(r.Rows[i].Cells(), model[i].Cells) << "row " << i;
    EXPECT_EQ(r.Rows[i].Group(), model[i].Group) << "row " << i;
    EXPECT_EQ(r.Rows[i][model[i].Cells.size()], "") << "past the last cell";
  }
}
}  // namespace

// Random inserts anywhere, cells set on old rows (their cells then move to the end of the
// table), texts replaced by shorter and longer ones, appended rows, and hints of the rows to
// come, which change nothing shown.
TEST(PageRecord, RowsFollowTheListViewRules) {
  std::mt19937 random(7);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto text = [&]() {
    static const char* const kWords[] = {"", "a", "kernel32.dll", "ExportedFunctionWithALongName", "\xC3\xA9t\xC3\xA9", "00001000"};
    return std::string(kWords[pick(6)]) + (pick(3) == 0 ? std::to_string(pick(1000)) : "");
  };
  TPageRecorder recorder;
  std::vector<TModelRow> model;
  for (int step = 0; step < 4000; ++step) {
    switch (pick(6)) {
      case 0:
      case 1: {
        const int at = pick(static_cast<int>(model.size()) + 3) - 1;  // -1 and past the end too
        const std::string first = text();
        const int row = recorder.InsertRow(at, first);
        const size_t place = at < 0 || static_cast<size_t>(at) > model.size() ? model.size() : static_cast<size_t>(at);
        ASSERT_EQ(row, static_cast<int>(place));
        model.insert(model.begin() + static_cast<std::ptrdiff_t>(place), TModelRow{{first}, 0});
        break;
      }
      case 2:
      case 3: {
        if (model.empty()) break;
        const int row = pick(static_cast<int>(model.size()));
        const int column = pick(6);
        const std::string t = text();
        recorder.SetCell(row, column, t);
        auto& cells = model[static_cast<size_t>(row)].Cells;
        if (cells.size() <= static_cast<size_t>(column)) cells.resize(static_cast<size_t>(column) + 1);
        cells[static_cast<size_t>(column)] = t;
        if (pick(4) == 0) {
          const int group = pick(9);
          recorder.SetRowGroup(row, group);
          model[static_cast<size_t>(row)].Group = group;
        }
        break;
      }
      case 4: {
        const std::string a = text(), b = text();
        const int group = pick(9);
        recorder.AppendRow({a, b}, group);
        model.push_back({{a, b}, group});
        break;
      }
      case 5:
        if (pick(20) == 0) recorder.ReserveRows(model.size() + static_cast<size_t>(pick(5000)));
        break;
    }
    if (step % 500 == 0) ExpectSame(recorder.Record(), model);
  }
  // Rows out of range are left alone.
  recorder.SetCell(static_cast<int>(model.size()), 0, "x");
  recorder.SetCell(-1, 0, "x");
  recorder.SetRowGroup(-1, 3);
  const TPageRecord record = recorder.TakeRecord();
  ExpectSame(record, model);
  EXPECT_FALSE(record.Rows.IsAscii());  // the model's words include "été"
  EXPECT_TRUE(recorder.Record().Rows.empty());
}
