#include "shell/bqPageView.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "platform/bqBytes.h"
#include "platform/bqText.h"

namespace bq {

// A plain loop: find_first_of searches the set once per character, a call each.
bool HasLineBreak(std::string_view text) {
  for (const char c : text)
    if (c == '\n' || c == '\r') return true;
  return false;
}

std::string ListCellText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += " / ";
    } else {
      out += text[i];
    }
  }
  return out;
}

void TPageView::AppendRow(std::initializer_list<std::string_view> cells, int groupId) {
  InsertRowCells(std::numeric_limits<int>::max(), cells, groupId);
}

void TPageView::InsertRowCells(int index, std::initializer_list<std::string_view> cells, int groupId) {
  if (cells.size() == 0) return;
  const int row = InsertRow(index, *cells.begin());
  if (row < 0) return;
  int column = 0;
  for (auto cell = cells.begin() + 1; cell != cells.end(); ++cell) SetCell(row, ++column, *cell);
  SetRowGroup(row, groupId);
}

std::vector<std::string> TRowTable::TRow::Cells() const {
  std::vector<std::string> cells;
  cells.reserve(FCount);
  for (size_t c = 0; c < FCount; ++c) cells.emplace_back((*this)[c]);
  return cells;
}

TRowTable::TRowTable(const TRowTable& other) : FCells(other.FCells), FRows(other.FRows) {
  CopyShort(TextRoom(other.FTextSize), other.FText.get(), other.FTextSize);
  FTextSize = other.FTextSize;
}

TRowTable& TRowTable::operator=(const TRowTable& other) {
  if (this != &other) *this = TRowTable(other);
  return *this;
}

char* TRowTable::TextRoom(size_t bytes) {
  if (FTextCapacity - FTextSize < bytes) {
    if (bytes > std::numeric_limits<size_t>::max() / 2 - FTextSize) throw std::length_error("row table text");
    const size_t capacity = std::max({FTextCapacity * 2, FTextSize + bytes, kFirstText});
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);
    CopyShort(grown.get(), FText.get(), FTextSize);
    FText = std::move(grown);
    FTextCapacity = capacity;
  }
  return FText.get() + FTextSize;
}

TRowTable::TCell TRowTable::Store(std::string_view text) {
  const TCell cell{FTextSize, text.size()};
  CopyShort(TextRoom(text.size()), text.data(), text.size());
  FTextSize += text.size();
  return cell;
}

size_t TRowTable::Insert(size_t at, std::string_view first) {
  if (FRows.empty()) Reserve(kFirstRows, 3, kFirstText);
  const TRowEntry entry{FCells.size(), 1, 0};
  FCells.push_back(Store(first));
  if (at >= FRows.size()) {
    FRows.push_back(entry);
    return FRows.size() - 1;
  }
  FRows.insert(FRows.begin() + static_cast<std::ptrdiff_t>(at), entry);
  return at;
}

void TRowTable::SetCell(size_t row, size_t column, std::string_view text) {
  TRowEntry& r = FRows[row];
  if (column >= r.Count) {
    // A row grows in place when its cells are the last ones; otherwise they move to the end.
    if (r.First + r.Count != FCells.size()) {
      const size_t first = FCells.size();
      FCells.insert(FCells.end(), FCells.begin() + static_cast<std::ptrdiff_t>(r.First),
                    FCells.begin() + static_cast<std::ptrdiff_t>(r.First + r.Count));
      r.First = first;
    }
    FCells.resize(r.First + column + 1);
    r.Count = column + 1;
  }
  TCell& cell = FCells[r.First + column];
  if (text.size() <= cell.Size) {
    // A text no longer than the one it replaces takes its place (a cell updated again and
    // again does not grow the buffer).
    CopyShort(FText.get() + cell.Offset, text.data(), text.size());
    cell.Size = text.size();
  } else {
    cell = Store(text);
  }
}

void TRowTable::SetGroup(size_t row, int group) { FRows[row].Group = group; }

template <typename TCells>
void TRowTable::AppendCells(const TCells& cells, int group) {
  if (FRows.empty()) Reserve(kFirstRows, 3, kFirstText);
  FRows.push_back({FCells.size(), cells.size(), group});
  size_t bytes = 0;
  for (std::string_view c : cells) bytes += c.size();
  char* to = TextRoom(bytes);
  for (std::string_view c : cells) {
    CopyShort(to, c.data(), c.size());
    to += c.size();
    FCells.push_back({FTextSize, c.size()});
    FTextSize += c.size();
  }
}

void TRowTable::Append(std::initializer_list<std::string_view> cells, int group) { AppendCells(cells, group); }
void TRowTable::Append(const std::vector<std::string>& cells, int group) { AppendCells(cells, group); }

bool TRowTable::IsAscii() const { return bq::IsAscii(std::string_view(FText.get(), FTextSize)); }

bool TRowTable::HasLineBreak() const {
  // Eight bytes at a time, a word holding LF or CR having a zero byte once xored with them.
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  auto zeroByte = [](uint64_t v) { return (v - kOnes) & ~v & kHigh; };
  const char* text = FText.get();
  const size_t n = FTextSize;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, text + i, 8);
    if (zeroByte(w ^ ('\n' * kOnes)) | zeroByte(w ^ ('\r' * kOnes))) return true;
  }
  for (; i < n; ++i)
    if (text[i] == '\n' || text[i] == '\r') return true;
  return false;
}

void TRowTable::Reserve(size_t rows, size_t cellsPerRow, size_t textBytes) {
  FRows.reserve(rows);
  FCells.reserve(rows * cellsPerRow);
  TextRoom(textBytes);
}

void TRowTable::Clear() {
  FTextSize = 0;
  FCells.clear();
  FRows.clear();
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
  if (rows.size() >= static_cast<size_t>(std::numeric_limits<int>::max())) return -1;
  const size_t at = index < 0 ? rows.size() : static_cast<size_t>(index);
  return static_cast<int>(rows.Insert(at, text));
}

void TPageRecorder::SetCell(int row, int column, std::string_view text) {
  if (row < 0 || column < 0 || static_cast<size_t>(row) >= FRecord.Rows.size()) return;
  FRecord.Rows.SetCell(static_cast<size_t>(row), static_cast<size_t>(column), text);
}

void TPageRecorder::SetRowGroup(int row, int groupId) {
  if (row < 0 || static_cast<size_t>(row) >= FRecord.Rows.size()) return;
  FRecord.Rows.SetGroup(static_cast<size_t>(row), groupId);
}

void TPageRecorder::AppendRow(std::initializer_list<std::string_view> cells, int groupId) {
  if (cells.size() == 0 || FRecord.Rows.size() >= static_cast<size_t>(std::numeric_limits<int>::max())) return;
  FRecord.Rows.Append(cells, groupId);
}

void TPageRecorder::ReserveRows(size_t rows) {
  // Room not written to costs no memory, so the guess of the text is generous; but a hint comes
  // from counts in a file, so it is taken only up to 64 Ki rows (a few MiB) and a longer list
  // grows as it goes.
  constexpr size_t kMostRows = 1u << 16, kTextPerCell = 16;
  rows = std::min(rows, kMostRows);
  const size_t cellsPerRow = std::min<size_t>(std::max<size_t>(FRecord.Columns.size(), 1), 16);
  FRecord.Rows.Reserve(rows, cellsPerRow, rows * cellsPerRow * kTextPerCell);
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

void TPageRecorder::AddProblem(std::string_view file, std::string_view message) {
  FRecord.Problems.push_back({std::string(file), std::string(message)});
}

void TPageRecorder::AddPicture(int, std::string_view bytes, bool shown) {
  if (shown) FRecord.Picture.assign(bytes);
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

void TPageRecorder::Assign(TPageRecord record) {
  FRecord = std::move(record);
  FNodePaths.assign(1, {});
}

TPageRecord TPageRecorder::TakeRecord() {
  TPageRecord out = std::move(FRecord);
  FRecord = TPageRecord();
  FNodePaths.assign(1, {});
  return out;
}

}  // namespace bq
