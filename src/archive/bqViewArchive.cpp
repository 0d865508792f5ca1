#include "archive/bqViewArchive.h"

#include <optional>

#include "archive/quArchiveSimple.h"
#include "archive/quDate.h"
#include "platform/bqText.h"
#include "shell/bqStrings.h"

namespace bq {

namespace {
enum TColumn { colName, colPacked, colUnpacked, colDate, colCRC };

struct TColumnInfo {
  int TitleId;
  int Width;
  TAlign Align;
};
constexpr TColumnInfo kColumns[5] = {{1522, 128, TAlign::alLeft}, {1523, 64, TAlign::alRight},
                                     {1524, 64, TAlign::alRight}, {1525, 96, TAlign::alLeft},
                                     {1526, 70, TAlign::alCenter}};

// Entries of one archive often share a time stamp: its text is made once.
struct TDateText {
  std::optional<double> Stamp;
  bool Made = false;
  std::string Text;
  const std::string& Of(const TArchivedFile& entry) {
    if (!Made || entry.Timestamp != Stamp) {
      Text = entry.TimestampAsString();
      Stamp = entry.Timestamp;
      Made = true;
    }
    return Text;
  }
};

// The text of one cell; numbers are formatted into scratch.
std::string_view CellText(const TArchivedFile& entry, TColumn column, TDateText& dates, std::string& scratch) {
  switch (column) {
    case colName: return entry.Filename;
    case colPacked: return scratch = entry.SizePackedAsString();
    case colUnpacked: return scratch = entry.SizeUnpackedAsString();
    case colDate: return dates.Of(entry);
    case colCRC: return scratch = entry.CRC32AsString();
  }
  return {};
}

// One group of rows for one archive, with the cells of the given columns in order. A listing
// that ended early in an archive the reader recognised ends with a row saying why, one whose
// names are encrypted with a row saying so.
void AddRows(TPageView& view, const TAnyArchive& any, const std::vector<TColumn>& columns, int groupId) {
  const TSimpleArchive& archive = *any.Archive;
  TDateText dates;
  std::string scratch;
  size_t j = 0;
  for (; j < archive.Files.Count(); ++j) {
    const TArchivedFile& entry = archive.Files[j];
    const int row = view.InsertRow(static_cast<int>(j), entry.Filename);
    if (row < 0) continue;
    // The last column first: a row's cells are then sized once.
    for (size_t k = columns.size() - 1; k >= 1; --k) view.SetCell(row, static_cast<int>(k), CellText(entry, columns[k], dates, scratch));
    view.SetRowGroup(row, groupId);
  }
  std::string note;
  if (archive.HeadersEncrypted) {
    note = LoadResourceText(1605);
  } else if (archive.NamesEncrypted) {
    note = LoadResourceText(1528);
  } else if (any.Recognised && !archive.Error.empty()) {
    note = LoadResourceText(1527);
    const size_t at = note.find("%s");
    if (at != std::string::npos) note.replace(at, 2, archive.Error);
  }
  if (note.empty()) return;
  const int row = view.InsertRow(static_cast<int>(j), note);
  if (row < 0) return;
  for (size_t k = columns.size() - 1; k >= 1; --k) view.SetCell(row, static_cast<int>(k), {});
  view.SetRowGroup(row, groupId);
}

std::string GroupHeader(const std::string& fileName) {
  std::string header = LoadResourceText(1521);
  const size_t at = header.find("%s");
  if (at != std::string::npos) header.replace(at, 2, FileNameOnly(fileName));
  return header;
}
}  // namespace

void FillArchivePage(const TPageContext& context, TPageView& view) {
  view.EnableGroupView(true);
  const TSelection& selection = *context.Selection;
  try {
    if (selection.Count() == 1) {
      const std::string& name = selection.SelectedFiles[0];
      TAnyArchive any;
      any.Open(name);
      view.AddGroup(1, GroupHeader(name));
      const TSimpleArchive* archive = any.Archive.get();
      std::vector<TColumn> columns{colName};
      if (archive && archive->HasSizes) {
        columns.push_back(colPacked);
        columns.push_back(colUnpacked);
      }
      columns.push_back(colDate);
      if (archive && archive->HasCRC) columns.push_back(colCRC);
      for (TColumn c : columns) view.AddColumn(LoadResourceText(kColumns[c].TitleId), kColumns[c].Width, kColumns[c].Align);
      if (archive) AddRows(view, any, columns, 1);
      return;
    }
    const std::vector<TColumn> columns{colName, colPacked, colUnpacked, colDate, colCRC};
    for (TColumn c : columns) view.AddColumn(LoadResourceText(kColumns[c].TitleId), kColumns[c].Width, kColumns[c].Align);
    for (size_t i = 0; i < selection.Count(); ++i) {
      if (i >= selection.SelectedTypes.size() || !selection.SelectedTypes[i].Intersects(ArchiveFileTypes)) continue;
      const std::string& name = selection.SelectedFiles[i];
      TAnyArchive any;
      any.Open(name);
      const int groupId = static_cast<int>(i) + 1;
      view.AddGroup(groupId, GroupHeader(name));
      if (any.Archive) AddRows(view, any, columns, groupId);
    }
  } catch (const std::exception&) {
    // What was added stays; the page stays open.
  }
}

}  // namespace bq
