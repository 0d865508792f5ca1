#include "shell/bqPageView.h"

#include <algorithm>
#include <limits>

namespace bq {

void TPageView::AppendRow(std::initializer_list<std::string_view> cells, int groupId) {
  if (cells.size() == 0) return;
  const int row = InsertRow(std::numeric_limits<int>::max(), *cells.begin());
  if (row < 0) return;
  int column = 0;
  for (auto cell = cells.begin() + 1; cell != cells.end(); ++cell) SetCell(row, ++column, *cell);
  if (groupId != 0) SetRowGroup(row, groupId);
}

void TPageRecorder::EnableGroupView(bool on) {
  FRecord.GroupView = on;
}

void TPageRecorder::AddColumn(std::string_view title, int width, TAlign align) {
  FRecord.Columns.push_back({std::string(title), width, align});
}

void TPageRecorder::AddGroup(int id, std::string_view header) {
  FRecord.Groups.push_back({id, std::string(header)});
}

int TPageRecorder::InsertRow(int index, std::string_view text) {
  auto& rows = FRecord.Rows;
  const size_t at = index < 0 || static_cast<size_t>(index) > rows.size() ? rows.size() : static_cast<size_t>(index);
  TPageRecord::TRow row;
  row.Cells.reserve(std::max<size_t>(FRecord.Columns.size(), 1));
  row.Cells.emplace_back(text);
  if (at == rows.size()) {
    rows.push_back(std::move(row));
    return static_cast<int>(at);
  }
  rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
  return static_cast<int>(at);
}

void TPageRecorder::SetCell(int row, int column, std::string_view text) {
  if (row < 0 || column < 0 || static_cast<size_t>(row) >= FRecord.Rows.size()) return;
  auto& cells = FRecord.Rows[static_cast<size_t>(row)].Cells;
  if (cells.size() <= static_cast<size_t>(column)) cells.resize(static_cast<size_t>(column) + 1);
  cells[static_cast<size_t>(column)].assign(text);
}

void TPageRecorder::SetRowGroup(int row, int groupId) {
  if (row < 0 || static_cast<size_t>(row) >= FRecord.Rows.size()) return;
  FRecord.Rows[static_cast<size_t>(row)].Group = groupId;
}

TPageView::TTreeNode TPageRecorder::AddTreeNode(TTreeNode parent, std::string_view text) {
  if (parent < 0 || static_cast<size_t>(parent) >= FNodePaths.size()) return 0;
  std::vector<size_t> path = FNodePaths[static_cast<size_t>(parent)];
  std::vector<TPageRecord::TNode>* level = &FRecord.Tree;
  for (size_t i : path) level = &(*level)[i].Children;
  level->push_back({std::string(text), {}});
  path.push_back(level->size() - 1);
  FNodePaths.push_back(std::move(path));
  return static_cast<TTreeNode>(FNodePaths.size() - 1);
}

void TPageRecorder::SetRichText(std::string_view rtf, std::string_view text) {
  FRecord.RichText = std::string(rtf);
  FRecord.PlainText = std::string(text);
}

void TPageRecorder::AddField(int id, std::string_view label) {
  FRecord.Fields.push_back({id, std::string(label), {}});
}

void TPageRecorder::SetField(int id, std::string_view text) {
  for (auto& f : FRecord.Fields)
    if (f.Id == id) {
      f.Text = std::string(text);
      return;
    }
  FRecord.Fields.push_back({id, {}, std::string(text)});
}

void TPageRecorder::SetProgress(int percent) {
  FRecord.Progress = percent;
}

bool TPageRecorder::StopRequested() const { return FStop; }

void TPageRecorder::RequestStop() {
  FStop = true;
}

TPageRecord TPageRecorder::Record() const {
  return FRecord;
}

TPageRecord TPageRecorder::TakeRecord() {
  TPageRecord out = std::move(FRecord);
  FRecord = TPageRecord();
  FNodePaths.assign(1, {});
  return out;
}

}  // namespace bq
