#include "shell/bqListDisplay.h"

#include <algorithm>
#include <cmath>

namespace bq {

void TListDisplay::Reset(const TPageRecord& record) {
  FGrouped = record.GroupView && !record.Groups.empty();
  FBuckets.clear();
  FBucketsOf.clear();
  if (FGrouped) {
    for (size_t g = 0; g < record.Groups.size(); ++g) {
      const int id = record.Groups[g].Id;
      auto it = std::find_if(FBucketsOf.begin(), FBucketsOf.end(), [&](const auto& e) { return e.first == id; });
      if (it == FBucketsOf.end()) it = FBucketsOf.insert(FBucketsOf.end(), {id, {}});
      it->second.push_back(FBuckets.size());
      FBuckets.push_back({g, {}});
    }
  } else {
    FBuckets.push_back({0, {}});
  }
  for (size_t row = 0; row < record.Rows.size(); ++row) Place(record, row);
  if (FSortColumn >= 0) Sort(record, FSortColumn, FAscending);
  else Recount();
}

void TListDisplay::Place(const TPageRecord& record, size_t row) {
  if (!FGrouped) {
    FBuckets[0].Rows.push_back(static_cast<uint32_t>(row));
    return;
  }
  const int group = record.Rows[row].Group();
  // Few groups: a walk is quicker than a map, and the last one found is tried first.
  for (const auto& [id, buckets] : FBucketsOf)
    if (id == group) {
      for (size_t b : buckets) FBuckets[b].Rows.push_back(static_cast<uint32_t>(row));
      return;
    }
}

void TListDisplay::Append(const TPageRecord& record, size_t row) {
  if (FSortColumn >= 0) {
    // New rows go where the order puts them.
    Reset(record);
    return;
  }
  for (; row < record.Rows.size(); ++row) Place(record, row);
  Recount();
}

void TListDisplay::Recount() {
  FStarts.resize(FBuckets.size());
  size_t line = 0;
  for (size_t b = 0; b < FBuckets.size(); ++b) {
    FStarts[b] = line;
    if (!FBuckets[b].Rows.empty()) line += FBuckets[b].Rows.size() + (FGrouped ? 1 : 0);
  }
  FLines = line;
}

TListDisplay::TLine TListDisplay::At(size_t line) const {
  if (FBuckets.empty() || line >= FLines) return {};
  // The last bucket that starts at or before the line and holds rows.
  size_t b = static_cast<size_t>(std::upper_bound(FStarts.begin(), FStarts.end(), line) - FStarts.begin()) - 1;
  while (b > 0 && FBuckets[b].Rows.empty()) --b;
  const TBucket& bucket = FBuckets[b];
  size_t offset = line - FStarts[b];
  if (FGrouped) {
    if (offset == 0) return {true, bucket.GroupIndex};
    --offset;
  }
  return {false, offset < bucket.Rows.size() ? bucket.Rows[offset] : 0};
}

size_t TListDisplay::FirstLineOfGroup(size_t groupIndex) const {
  for (size_t b = 0; b < FBuckets.size(); ++b)
    if (FBuckets[b].GroupIndex == groupIndex) return FStarts[b];
  return 0;
}

std::pair<size_t, size_t> TListDisplay::GroupLines(size_t headerLine) const {
  for (size_t b = 0; b < FBuckets.size(); ++b)
    if (FStarts[b] == headerLine && !FBuckets[b].Rows.empty())
      return {headerLine, headerLine + FBuckets[b].Rows.size() + (FGrouped ? 1 : 0)};
  return {headerLine, headerLine + 1};
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

int CompareText(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char x = Lower(a[i]), y = Lower(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// Reads digits into value; returns how many were read.
size_t Digits(std::string_view s, size_t at, int& value, size_t most) {
  size_t n = 0;
  value = 0;
  while (at + n < s.size() && n < most && IsDigit(s[at + n])) value = value * 10 + (s[at + n++] - '0');
  return n;
}

// Days from 1 January 1970 for a proleptic Gregorian date.
double DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<double>(era) * 146097 + doe - 719468;
}

}  // namespace

bool CellNumber(std::string_view s, double& value) {
  if (s.empty() || s.size() > 40) return false;
  size_t i = 0;
  const bool negative = s[0] == '-';
  if (negative) ++i;
  bool digits = false, point = false;
  double v = 0, scale = 1;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (IsDigit(c)) {
      digits = true;
      if (point) v += (c - '0') * (scale /= 10);
      else v = v * 10 + (c - '0');
    } else if (c == '.' && !point && digits) {
      point = true;
    } else if (c == ',' && !point && digits) {
      // A thousands separator: three digits follow, then the end, a separator or the point.
      if (i + 3 >= s.size() || !IsDigit(s[i + 1]) || !IsDigit(s[i + 2]) || !IsDigit(s[i + 3])) return false;
      if (i + 4 < s.size() && s[i + 4] != ',' && s[i + 4] != '.') return false;
    } else {
      return false;
    }
  }
  if (!digits) return false;
  value = negative ? -v : v;
  return true;
}

bool CellDate(std::string_view s, double& value) {
  int a = 0, b = 0, c = 0, h = 0, mi = 0, se = 0;
  size_t i = 0, n;
  // "YYYY-MM-DD hh:mm[:ss]"
  if ((n = Digits(s, 0, a, 4)) == 4 && s.size() >= 16 && s[4] == '-') {
    if (Digits(s, 5, b, 2) != 2 || s[7] != '-' || Digits(s, 8, c, 2) != 2 || s[10] != ' ' ||
        Digits(s, 11, h, 2) != 2 || s[13] != ':' || Digits(s, 14, mi, 2) != 2)
      return false;
    if (s.size() >= 19 && s[16] == ':') Digits(s, 17, se, 2);
    value = DaysFromCivil(a, b, c) * 86400.0 + h * 3600 + mi * 60 + se;
    return true;
  }
  // "M/D/YYYY h:mm[:ss] AM"
  if ((n = Digits(s, i, a, 2)) == 0 || (i += n) >= s.size() || s[i++] != '/') return false;
  if ((n = Digits(s, i, b, 2)) == 0 || (i += n) >= s.size() || s[i++] != '/') return false;
  if ((n = Digits(s, i, c, 4)) != 4) return false;
  i += n;
  if (i < s.size()) {
    if (s[i++] != ' ') return false;
    if ((n = Digits(s, i, h, 2)) == 0 || (i += n) >= s.size() || s[i++] != ':') return false;
    if ((n = Digits(s, i, mi, 2)) != 2) return false;
    i += n;
    if (i < s.size() && s[i] == ':') {
      if (Digits(s, i + 1, se, 2) != 2) return false;
      i += 3;
    }
    if (i + 3 == s.size() && s[i] == ' ' && (s[i + 2] == 'M' || s[i + 2] == 'm')) {
      const bool pm = s[i + 1] == 'P' || s[i + 1] == 'p';
      if (h == 12) h = 0;
      if (pm) h += 12;
    } else if (i != s.size()) {
      return false;
    }
  }
  value = DaysFromCivil(c, a, b) * 86400.0 + h * 3600 + mi * 60 + se;
  return true;
}

TSortKind ColumnSortKind(const TPageRecord& record, size_t column) {
  bool number = true, date = true, any = false;
  double v;
  for (const auto row : record.Rows) {
    const std::string_view cell = row[column];
    if (cell.empty()) continue;
    any = true;
    number = number && CellNumber(cell, v);
    date = date && CellDate(cell, v);
    if (!number && !date) return TSortKind::skText;
  }
  if (!any) return TSortKind::skText;
  return number ? TSortKind::skNumber : date ? TSortKind::skDate : TSortKind::skText;
}

void TListDisplay::Sort(const TPageRecord& record, int column, bool ascending) {
  FSortColumn = column;
  FAscending = ascending;
  if (column < 0) {
    for (auto& bucket : FBuckets) std::sort(bucket.Rows.begin(), bucket.Rows.end());
    Recount();
    return;
  }
  const size_t c = static_cast<size_t>(column);
  const TSortKind kind = ColumnSortKind(record, c);
  std::vector<double> keys;
  if (kind != TSortKind::skText) {
    keys.resize(record.Rows.size(), -HUGE_VAL);  // empty cells first
    for (size_t r = 0; r < record.Rows.size(); ++r) {
      const std::string_view cell = record.Rows[r][c];
      if (!cell.empty()) kind == TSortKind::skNumber ? CellNumber(cell, keys[r]) : CellDate(cell, keys[r]);
    }
  }
  auto less = [&](uint32_t x, uint32_t y) {
    int order;
    if (kind == TSortKind::skText) order = CompareText(record.Rows[x][c], record.Rows[y][c]);
    else order = keys[x] < keys[y] ? -1 : keys[x] > keys[y] ? 1 : 0;
    if (order == 0) return x < y;
    return ascending ? order < 0 : order > 0;
  };
  for (auto& bucket : FBuckets) std::sort(bucket.Rows.begin(), bucket.Rows.end(), less);
  Recount();
}

namespace {

void TsvCell(std::string& out, std::string_view cell) {
  for (char ch : cell) out.push_back(ch == '\t' || ch == '\r' || ch == '\n' ? ' ' : ch);
}

void CsvCell(std::string& out, std::string_view cell) {
  if (cell.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.append(cell);
    return;
  }
  out.push_back('"');
  for (char ch : cell) {
    if (ch == '"') out.push_back('"');
    out.push_back(ch);
  }
  out.push_back('"');
}

template <typename TCellWriter>
std::string ListLines(const TPageRecord& record, const TListDisplay& display, const std::vector<size_t>& lines,
                      char separator, TCellWriter cell) {
  std::string out;
  const bool grouped = display.Grouped();
  bool first = true;
  auto next = [&] {
    if (!first) out.push_back(separator);
    first = false;
  };
  if (grouped) {
    next();
    cell(out, "Group");
  }
  for (const auto& column : record.Columns) {
    next();
    cell(out, column.Title);
  }
  out += "\r\n";
  const size_t columns = std::max<size_t>(record.Columns.size(), 1);
  for (size_t line : lines) {
    const TListDisplay::TLine at = display.At(line);
    if (at.Header || at.Index >= record.Rows.size()) continue;
    const auto row = record.Rows[at.Index];
    first = true;
    if (grouped) {
      next();
      std::string_view header;
      for (const auto& g : record.Groups)
        if (g.Id == row.Group()) {
          header = g.Header;
          break;
        }
      cell(out, header);
    }
    for (size_t c = 0; c < columns; ++c) {
      next();
      cell(out, row[c]);
    }
    out += "\r\n";
  }
  return out;
}

void TreeLines(std::string& out, const std::vector<TPageRecord::TNode>& nodes, int depth, char separator,
               bool csv) {
  for (const auto& node : nodes) {
    out.append(static_cast<size_t>(depth), separator);
    if (csv) CsvCell(out, node.Text);
    else TsvCell(out, node.Text);
    out += "\r\n";
    TreeLines(out, node.Children, depth + 1, separator, csv);
  }
}

}  // namespace

std::string ListLinesAsTsv(const TPageRecord& record, const TListDisplay& display, const std::vector<size_t>& lines) {
  return ListLines(record, display, lines, '\t', TsvCell);
}

std::string ListLinesAsCsv(const TPageRecord& record, const TListDisplay& display, const std::vector<size_t>& lines) {
  return ListLines(record, display, lines, ',', CsvCell);
}

std::string TreeAsText(const std::vector<TPageRecord::TNode>& nodes, int depth) {
  std::string out;
  TreeLines(out, nodes, depth, '\t', false);
  return out;
}

std::string TreeAsCsv(const std::vector<TPageRecord::TNode>& nodes) {
  std::string out;
  TreeLines(out, nodes, 0, ',', true);
  return out;
}

}  // namespace bq
