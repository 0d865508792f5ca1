// The seam between pages and front ends: a page fills a TPageView; the Win32 front end renders
// it into the dialog's controls, bqlite into text or JSON, tests into a TPageRecord.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <atomic>
#include <string>
#include <string_view>
#include <vector>

namespace bq {

enum class TAlign { alLeft, alRight, alCenter };

// A list cell as a one-line list shows it: each line break (CR LF, LF or CR) as " / ". The
// cell itself keeps its line breaks (JSON shows them).
std::string ListCellText(std::string_view text);
bool HasLineBreak(std::string_view text);

class TPageView {
public:
  virtual ~TPageView() = default;

  // List view.
  virtual void EnableGroupView(bool on) = 0;
  virtual void AddColumn(std::string_view title, int width, TAlign align) = 0;
  virtual void AddGroup(int id, std::string_view header) = 0;
  // Inserts a row at index (an index past the end appends); returns the row's index or -1.
  virtual int InsertRow(int index, std::string_view text) = 0;
  virtual void SetCell(int row, int column, std::string_view text) = 0;
  virtual void SetRowGroup(int row, int groupId) = 0;
  // Appends a row with its cells in column order and its group. Front ends may batch such
  // rows, or print a worker page's rows as they come. By default it is InsertRow past the end,
  // SetCell and SetRowGroup.
  virtual void AppendRow(std::initializer_list<std::string_view> cells, int groupId);
  // Inserts a row at index with its cells and group: InsertRow, SetCell and SetRowGroup.
  void InsertRowCells(int index, std::initializer_list<std::string_view> cells, int groupId);
  // A hint that the list is to hold about this many rows in all, so that a view may make room
  // for them at once rather than grow step by step.
  virtual void ReserveRows(size_t rows) { (void)rows; }

  // Tree view: 0 is the root; returns the new node (0 on failure).
  using TTreeNode = intptr_t;
  virtual TTreeNode AddTreeNode(TTreeNode parent, std::string_view text) = 0;

  // Rich edit, set once: the RTF document ("" to show the text plain) and the plain text the
  // control then shows (UTF-8, CR LF line ends).
  virtual void SetRichText(std::string_view rtf, std::string_view text) = 0;

  // Labelled text fields (the edit boxes of the first page), by control id.
  virtual void AddField(int id, std::string_view label) = 0;
  virtual void SetField(int id, std::string_view text) = 0;

  // Damage a reader met in a file, which stopped a table short: the page also shows it as rows
  // of its own; a front end that reports such damage elsewhere (bqlite on stderr and in JSON)
  // takes it here. The file is the selection's name of it.
  virtual void AddProblem(std::string_view file, std::string_view message) { (void)file, (void)message; }

  // A picture the page lists, numbered from 1 in the order of its rows, with its bytes (empty
  // when it was too large to read); shown marks the one a dialog puts beside the list. The
  // bytes are only valid during the call. Front ends that show no pictures ignore it.
  virtual void AddPicture(int number, std::string_view bytes, bool shown) { (void)number, (void)bytes, (void)shown; }

  // Worker pages.
  virtual void SetProgress(int percent) = 0;
  virtual bool StopRequested() const = 0;
};

// A list view's rows. The text of every cell is held in one buffer and the rows in one
// array, so recording a row allocates nothing of its own and reading the rows back walks
// memory in order: pages may show hundreds of thousands of rows.
class TRowTable {
public:
  // One row, as a view into the table (valid until the table changes).
  class TRow {
  public:
    size_t size() const { return FCount; }
    // The cell's text; "" past the last cell.
    std::string_view operator[](size_t column) const {
      if (column >= FCount) return {};
      const TCell& cell = FTable->FCells[FFirst + column];
      return std::string_view(FTable->FText.get() + cell.Offset, cell.Size);
    }
    std::vector<std::string> Cells() const;
    int Group() const { return FGroup; }

  private:
    friend class TRowTable;
    TRow(const TRowTable* table, size_t first, size_t count, int group)
        : FTable(table), FFirst(first), FCount(count), FGroup(group) {}
    const TRowTable* FTable;
    size_t FFirst, FCount;
    int FGroup;
  };

  class TIterator {
  public:
    using difference_type = std::ptrdiff_t;
    using value_type = TRow;
    TIterator() = default;
    TIterator(const TRowTable* table, size_t index) : FTable(table), FIndex(index) {}
    TRow operator*() const { return (*FTable)[FIndex]; }
    TIterator& operator++() { ++FIndex; return *this; }
    TIterator operator++(int) { TIterator old = *this; ++FIndex; return old; }
    bool operator==(const TIterator& other) const { return FIndex == other.FIndex; }

  private:
    const TRowTable* FTable = nullptr;
    size_t FIndex = 0;
  };

  TRowTable() = default;
  TRowTable(const TRowTable& other);
  TRowTable& operator=(const TRowTable& other);
  TRowTable(TRowTable&&) noexcept = default;
  TRowTable& operator=(TRowTable&&) noexcept = default;

  size_t size() const { return FRows.size(); }
  bool empty() const { return FRows.empty(); }
  TRow operator[](size_t row) const {
    const TRowEntry& r = FRows[row];
    return TRow(this, r.First, r.Count, r.Group);
  }
  TIterator begin() const { return {this, 0}; }
  TIterator end() const { return {this, FRows.size()}; }
  // True when every cell's text is ASCII.
  bool IsAscii() const;
  // True when a cell's text holds a line break (or, rarely, text a cell no longer shows does).
  bool HasLineBreak() const;

  // Inserts a row before row at (at the end when at is past it); returns its index.
  size_t Insert(size_t at, std::string_view first);
  // Sets a cell of a row, adding empty cells up to it.
  void SetCell(size_t row, size_t column, std::string_view text);
  void SetGroup(size_t row, int group);
  void Append(std::initializer_list<std::string_view> cells, int group);
  void Append(const std::vector<std::string>& cells, int group);
  // Makes room for rows rows of cellsPerRow cells and textBytes of text in all.
  void Reserve(size_t rows, size_t cellsPerRow, size_t textBytes);
  void Clear();

private:
  // What the first row reserves, so that short lists grow their arrays a few times only.
  static constexpr size_t kFirstRows = 256, kFirstText = 8192;
  struct TCell { size_t Offset = 0, Size = 0; };
  struct TRowEntry { size_t First = 0, Count = 0; int Group = 0; };
  TCell Store(std::string_view text);
  // The end of the text, with room for bytes more.
  char* TextRoom(size_t bytes);
  template <typename TCells>
  void AppendCells(const TCells& cells, int group);

  // The cells' text, grown by doubling and never zero-filled: a row's cells go in with one
  // check of the room left.
  std::unique_ptr<char[]> FText;
  size_t FTextSize = 0, FTextCapacity = 0;
  std::vector<TCell> FCells;
  std::vector<TRowEntry> FRows;
};

// Everything a page showed, as plain data.
struct TPageRecord {
  struct TColumn { std::string Title; int Width = 0; TAlign Align = TAlign::alLeft; };
  struct TGroup { int Id = 0; std::string Header; };
  using TRow = TRowTable::TRow;
  struct TNode { std::string Text; std::vector<TNode> Children; };
  struct TField { int Id = 0; std::string Label; std::string Text; };
  struct TProblem { std::string File; std::string Message; };

  bool GroupView = false;
  std::vector<TColumn> Columns;
  std::vector<TGroup> Groups;
  TRowTable Rows;
  std::vector<TNode> Tree;
  std::string RichText;  // the RTF document
  std::string PlainText;  // the text the rich edit shows
  std::vector<TField> Fields;
  int Progress = -1;
  std::vector<TProblem> Problems;
  std::string Picture;  // the bytes of the picture a dialog shows beside the list
};

// A page view that records into a TPageRecord, with the list view's insertion rules. It is
// filled from one thread; RequestStop may come from any.
class TPageRecorder : public TPageView {
public:
  void EnableGroupView(bool on) override;
  void AddColumn(std::string_view title, int width, TAlign align) override;
  void AddGroup(int id, std::string_view header) override;
  int InsertRow(int index, std::string_view text) override;
  void SetCell(int row, int column, std::string_view text) override;
  void SetRowGroup(int row, int groupId) override;
  void AppendRow(std::initializer_list<std::string_view> cells, int groupId) override;
  void ReserveRows(size_t rows) override;
  TTreeNode AddTreeNode(TTreeNode parent, std::string_view text) override;
  void SetRichText(std::string_view rtf, std::string_view text) override;
  void AddField(int id, std::string_view label) override;
  void SetField(int id, std::string_view text) override;
  void AddProblem(std::string_view file, std::string_view message) override;
  // Keeps the shown picture's bytes only.
  void AddPicture(int number, std::string_view bytes, bool shown) override;
  void SetProgress(int percent) override;
  bool StopRequested() const override;

  void RequestStop();
  TPageRecord Record() const;
  // The record, moved out; the recorder is left empty.
  TPageRecord TakeRecord();
  // The record as it stands, and a whole record put in place of it (tree nodes added after
  // that go under the root).
  const TPageRecord& Current() const { return FRecord; }
  void Assign(TPageRecord record);

private:
  TPageRecord FRecord;
  std::vector<std::vector<size_t>> FNodePaths{{}};  // node handle -> path of child indexes
  std::atomic<bool> FStop{false};
};

}  // namespace bq
