// What a list shows, in the order it shows it: with group view, each listed group's header line
// and then its rows, groups in the order they were added (a row in no listed group is not
// shown, an empty group not either); without, the rows as they are. Each group can be sorted by
// a column. Front ends use it to draw a list of any size from its page record, and to copy or
// save the rows in the order shown.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shell/bqPageView.h"

namespace bq {

class TListDisplay {
public:
  struct TLine {
    bool Header = false;  // a group's header line
    size_t Index = 0;     // the group's index in the record's Groups, or the row's in its Rows
  };

  // Builds the lines of the record's rows.
  void Reset(const TPageRecord& record);
  // Takes the rows from row on, appended to the record since the last Reset or Append.
  void Append(const TPageRecord& record, size_t row);
  // Sorts each group's rows by a column (numbers as numbers, dates as dates, other text
  // without regard to case; equal cells keep the rows' own order). column < 0: the rows' own
  // order again.
  void Sort(const TPageRecord& record, int column, bool ascending);

  size_t size() const { return FLines; }
  TLine At(size_t line) const;
  // The group header shown for a group index, or its first row's line.
  size_t FirstLineOfGroup(size_t groupIndex) const;
  // The lines [first, last) that a header line's group takes, the header included.
  std::pair<size_t, size_t> GroupLines(size_t headerLine) const;
  int SortColumn() const { return FSortColumn; }
  bool SortAscending() const { return FAscending; }
  bool Grouped() const { return FGrouped; }

private:
  struct TBucket {
    size_t GroupIndex = 0;  // in the record's Groups
    std::vector<uint32_t> Rows;
  };
  void Recount();
  void Place(const TPageRecord& record, size_t row);

  bool FGrouped = false;
  std::vector<TBucket> FBuckets;
  // For each group id met, the buckets it fills (a group listed twice shows its rows twice).
  std::vector<std::pair<int, std::vector<size_t>>> FBucketsOf;
  std::vector<size_t> FStarts;  // the first line of each bucket, its header included
  size_t FLines = 0;
  int FSortColumn = -1;
  bool FAscending = true;
};

// How a column's cells compare when sorted: the kind every non-empty cell fits.
enum class TSortKind { skNumber, skDate, skText };
TSortKind ColumnSortKind(const TPageRecord& record, size_t column);
// A cell's number ("1234", "-5", "3.25", "1,024") or date ("12/31/2024 11:59 PM",
// "2024-12-31 23:59:59"); false when it is not one.
bool CellNumber(std::string_view cell, double& value);
bool CellDate(std::string_view cell, double& value);

// The lines a list shows, as text: tab-separated (tabs and line ends in a cell become blanks)
// or CSV (RFC 4180 quoting), with CR LF line ends. The first line holds the column titles, and
// a grouped list gets a first column "Group" with each row's group header. lines are display
// lines; header lines among them are left out (their group is in each row).
std::string ListLinesAsTsv(const TPageRecord& record, const TListDisplay& display, const std::vector<size_t>& lines);
std::string ListLinesAsCsv(const TPageRecord& record, const TListDisplay& display, const std::vector<size_t>& lines);
// A tree as text, one node a line, each level indented by one tab more.
std::string TreeAsText(const std::vector<TPageRecord::TNode>& nodes, int depth = 0);
// A tree as CSV: one node a line, its text in the column of its level.
std::string TreeAsCsv(const std::vector<TPageRecord::TNode>& nodes);

}  // namespace bq
