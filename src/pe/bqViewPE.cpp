#include "pe/bqViewPE.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <cstdio>
#include <ctime>

#include "pe/zoxPEDetails.h"
#include "pe/zoxPESimple.h"
#include "platform/bqText.h"
#include "shell/bqStrings.h"

namespace bq {

namespace {

bool IsPE(const TSelection& selection, size_t i) {
  return i < selection.SelectedTypes.size() && selection.SelectedTypes[i].Contains(fitMZ);
}

// "Section Table of %s" with the file's name.
std::string Format(int id, const std::string& fileName) {
  std::string text = LoadResourceText(id);
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, FileNameOnly(fileName));
  return text;
}

// What a page shows of a file; the reader skips the tables the page does not show.
enum class TTables { tNone, tImports, tExports, tResources, tDetails };

// Reads a file; a reader failure keeps what was read before it. Returns why the reader stopped
// short, in the headers, the section table or the page's table ("" when it did not).
std::string ReadPE(TPEReader& reader, const TSelection& selection, size_t file, TTables tables) {
  reader.SetReadImportTable(tables == TTables::tImports || tables == TTables::tDetails);
  reader.SetReadExportTable(tables == TTables::tExports);
  reader.SetReadResourceTable(tables == TTables::tResources || tables == TTables::tDetails);
  try {
    // The bytes identification kept, when it kept them, else the file.
    if (file < selection.Contents.size() && selection.Contents[file].Held())
      reader.ReadFromBytes(TByteView(selection.Contents[file].View()));
    else
      reader.ReadFromFile(selection.SelectedFiles[file]);
  } catch (const std::exception& e) {
    return e.what();
  }
  switch (tables) {
    case TTables::tImports: return reader.ImportTableError;
    case TTables::tExports: return reader.ExportTableError;
    case TTables::tResources: return reader.ResourceTableError;
    case TTables::tDetails:
      return reader.ImportTableError.empty() ? reader.ResourceTableError : reader.ImportTableError;
    case TTables::tNone: break;
  }
  return {};
}

// The damage the reader met in each file, shown as the page's last group ("Problems", one row
// per message, which names its file when several are selected) and handed to the view.
class TProblems {
public:
  TProblems(const TSelection& selection, TPageView& view) : FSelection(selection), FView(view) {}
  void Add(size_t file, std::string message) {
    if (!message.empty()) FList.push_back({file, std::move(message)});
  }
  void ShowRows(int group) {
    if (FList.empty()) return;
    FView.AddGroup(group, LoadResourceText(1604));
    for (const auto& p : FList) {
      FView.AppendRow({Text(p)}, group);
      FView.AddProblem(FSelection.SelectedFiles[p.File], p.Message);
    }
  }
  // The same, rows inserted after the count rows a page inserted (a worker page that inserts its
  // rows must not append: a front end may print appended rows before the inserted ones).
  void InsertRows(int group, int count) {
    if (FList.empty()) return;
    FView.AddGroup(group, LoadResourceText(1604));
    for (const auto& p : FList) {
      FView.InsertRowCells(count++, {Text(p)}, group);
      FView.AddProblem(FSelection.SelectedFiles[p.File], p.Message);
    }
  }
  // A last root node with the messages under it.
  void ShowTree() {
    if (FList.empty()) return;
    const TPageView::TTreeNode node = FView.AddTreeNode(0, LoadResourceText(1604));
    for (const auto& p : FList) {
      if (node) FView.AddTreeNode(node, Text(p));
      FView.AddProblem(FSelection.SelectedFiles[p.File], p.Message);
    }
  }

private:
  struct TProblem {
    size_t File;
    std::string Message;
  };
  std::string Text(const TProblem& p) const {
    if (FSelection.Count() < 2) return p.Message;
    return FileNameOnly(FSelection.SelectedFiles[p.File]) + ": " + p.Message;
  }
  const TSelection& FSelection;
  TPageView& FView;
  std::vector<TProblem> FList;
};

std::string NameOf(std::string_view line) { return std::string(line.substr(0, line.find('='))); }
std::string ValueOf(std::string_view line) {
  const size_t eq = line.find('=');
  return eq == std::string_view::npos ? std::string() : std::string(line.substr(eq + 1));
}

// Library and resource-type groups: names in order of first appearance, compared without
// regard to case; the id of a group is its rank.
class TNameGroups {
public:
  int Add(std::string_view name) {
    // Names come in runs (a library's functions, a type's resources): the last group first.
    if (FLast < FNames.size() && SameTextI(FNames[FLast], name)) return static_cast<int>(FLast);
    for (FLast = 0; FLast < FNames.size(); ++FLast)
      if (SameTextI(FNames[FLast], name)) return static_cast<int>(FLast);
    FNames.emplace_back(name);
    return static_cast<int>(FLast);
  }
  const std::vector<std::string>& Names() const { return FNames; }

private:
  std::vector<std::string> FNames;
  size_t FLast = 0;
};

// Adds a row at position at of a list holding count rows. The pages insert each file's rows
// from position 0, so only the first file's rows land at the end and go in one call.
void AddRow(TPageView& view, int at, int& count, std::initializer_list<std::string_view> cells, int group) {
  if (at >= count++)
    view.AppendRow(cells, group);
  else
    view.InsertRowCells(at, cells, group);
}

// The tree view sorts its root nodes without regard to case (punctuation before letters).
bool LessNoCase(const std::string& a, const std::string& b) {
  return LowerAscii(a) < LowerAscii(b);
}

}  // namespace

void FillPEHeaderPage(const TPageContext& context, TPageView& view) {
  const TSelection& selection = *context.Selection;
  view.EnableGroupView(true);
  for (int g = 0; g < 3; ++g) view.AddGroup(g + 1, LoadResourceText(1573 + g));

  std::vector<size_t> files;
  for (size_t i = 0; i < selection.Count(); ++i)
    if (IsPE(selection, i)) files.push_back(i);
  view.AddColumn(LoadResourceText(1576), 200, TAlign::alLeft);
  if (selection.Count() == 1) {
    view.AddColumn(LoadResourceText(1577), 80, TAlign::alLeft);
  } else {
    for (size_t i : files) view.AddColumn(FileNameOnly(selection.SelectedFiles[i]), 80, TAlign::alLeft);
  }
  if (files.empty()) return;

  // Every file is read first; one whose headers could not be read keeps an empty value column
  // (a failure in the section table keeps the headers).
  TProblems problems(selection, view);
  std::vector<TPEReader> readers(files.size());
  std::vector<bool> ok(files.size());
  for (size_t k = 0; k < files.size(); ++k) {
    problems.Add(files[k], ReadPE(readers[k], selection, files[k], TTables::tNone));
    ok[k] = readers[k].HeadersRead();
  }

  using TToStrings = void (*)(const TPEReader&, std::vector<std::string>&);
  const TToStrings kGroups[3] = {MZHeaderToStrings, PEHeaderToStrings, OptionalHeaderToStrings};
  for (int g = 0; g < 3; ++g) {
    std::vector<std::vector<std::string>> lists(files.size());
    for (size_t k = 0; k < files.size(); ++k) kGroups[g](readers[k], lists[k]);
    for (size_t i = 0; i < lists[0].size(); ++i) {
      const int row = view.InsertRow(static_cast<int>(i), NameOf(lists[0][i]));
      for (size_t k = 0; k < files.size(); ++k)
        view.SetCell(row, static_cast<int>(k) + 1, ok[k] && i < lists[k].size() ? ValueOf(lists[k][i]) : "");
      view.SetRowGroup(row, g + 1);
    }
  }
  problems.ShowRows(4);
}

void FillSectionsPage(const TPageContext& context, TPageView& view) {
  const TSelection& selection = *context.Selection;
  view.EnableGroupView(true);
  view.AddColumn(LoadResourceText(1578), 40, TAlign::alLeft);
  view.AddColumn(LoadResourceText(1580), 64, TAlign::alCenter);
  view.AddColumn(LoadResourceText(1579), 64, TAlign::alCenter);
  view.AddColumn(LoadResourceText(1582), 64, TAlign::alCenter);
  view.AddColumn(LoadResourceText(1581), 64, TAlign::alCenter);
  view.AddColumn(LoadResourceText(1583), 64, TAlign::alCenter);
  int count = 0;
  TProblems problems(selection, view);
  for (size_t f = 0; f < selection.Count(); ++f) {
    if (!IsPE(selection, f)) continue;
    const std::string& name = selection.SelectedFiles[f];
    TPEReader reader;
    // A failing file shows the sections read before the failure.
    problems.Add(f, ReadPE(reader, selection, f, TTables::tNone));
    const int group = static_cast<int>(f) + 1;
    view.AddGroup(group, selection.Count() == 1 ? LoadResourceText(1584) : Format(1585, name));
    const auto& sections = reader.Sections();
    view.ReserveRows(static_cast<size_t>(count) + sections.size());
    for (size_t j = 0; j < sections.size(); ++j) {
      const TSectionHeader& s = sections[j];
      AddRow(view, static_cast<int>(j), count,
             {AnsiToUtf8(s.NameText()), Hex8(s.VirtualAddress), Hex8(s.VirtualSize), Hex8(s.PointerToRawData),
              Hex8(s.SizeOfRawData), Hex8(s.Characteristics)},
             group);
    }
  }
  problems.ShowRows(static_cast<int>(selection.Count()) + 1);
}

void FillImportsListPage(const TPageContext& context, TPageView& view) {
  const TSelection& selection = *context.Selection;
  view.EnableGroupView(true);
  view.AddColumn(LoadResourceText(1591), 200, TAlign::alLeft);
  view.AddColumn(LoadResourceText(1592), 64, TAlign::alCenter);
  if (selection.Count() == 0 || !IsPE(selection, 0)) return;
  TPEReader reader;
  TProblems problems(selection, view);
  problems.Add(0, ReadPE(reader, selection, 0, TTables::tImports));
  const auto& lines = reader.ImportTable();
  TNameGroups groups;
  std::vector<int> groupOf;
  for (const auto& line : lines) groupOf.push_back(groups.Add(line.Data.Library));
  for (size_t g = 0; g < groups.Names().size(); ++g) view.AddGroup(static_cast<int>(g), AnsiToUtf8(groups.Names()[g]));
  view.ReserveRows(lines.size());
  std::string text;
  char thunk[8];
  for (size_t i = 0; i < lines.size(); ++i) {
    const TImportTableListData& d = lines[i].Data;
    if (d.ByOrdinal)
      view.AppendRow({lines[i].FunctionText(), ""}, groupOf[i]);  // no name entry, no address of one
    else
      view.AppendRow({AnsiToUtf8(d.Function, text), Hex8(d.Thunk, thunk)}, groupOf[i]);
  }
  problems.ShowRows(static_cast<int>(groups.Names().size()));
}

void FillImportsTreePage(const TPageContext& context, TPageView& view) {
  const TSelection& selection = *context.Selection;
  if (selection.Count() == 0 || !IsPE(selection, 0)) return;
  TPEReader reader;
  TProblems problems(selection, view);
  problems.Add(0, ReadPE(reader, selection, 0, TTables::tImports));
  // One root node per library (the name as first met), sorted; its functions in table order.
  TNameGroups libraries;
  std::vector<std::vector<const TImportLine*>> functions;
  for (const auto& line : reader.ImportTable()) {
    const size_t g = static_cast<size_t>(libraries.Add(line.Data.Library));
    if (g == functions.size()) functions.emplace_back();
    functions[g].push_back(&line);
  }
  std::vector<size_t> order(functions.size());
  for (size_t g = 0; g < order.size(); ++g) order[g] = g;
  const auto& names = libraries.Names();
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return LessNoCase(names[a], names[b]); });
  for (size_t g : order) {
    const TPageView::TTreeNode node = view.AddTreeNode(0, AnsiToUtf8(names[g]));
    if (!node) continue;
    for (const TImportLine* f : functions[g])
      view.AddTreeNode(node, f->Data.ByOrdinal ? f->FunctionText() : AnsiToUtf8(f->Data.Function));
  }
  problems.ShowTree();
}

void FillExportsPage(const TPageContext& context, TPageView& view) {
  const TSelection& selection = *context.Selection;
  view.EnableGroupView(true);
  view.AddColumn(LoadResourceText(1593), 200, TAlign::alLeft);
  view.AddColumn(LoadResourceText(1594), 50, TAlign::alRight);
  view.AddColumn(LoadResourceText(1595), 70, TAlign::alRight);
  view.AddColumn(LoadResourceText(1603), 150, TAlign::alLeft);
  int count = 0;
  TProblems problems(selection, view);
  for (size_t f = 0; f < selection.Count(); ++f) {
    if (!IsPE(selection, f)) continue;
    const std::string& fileName = selection.SelectedFiles[f];
    const int group = static_cast<int>(f) + 1;
    view.AddGroup(group, selection.Count() == 1 ? LoadResourceText(1596) : Format(1597, fileName));
    TPEReader reader;
    // A failing file shows the exports read before the failure.
    problems.Add(f, ReadPE(reader, selection, f, TTables::tExports));
    view.ReserveRows(static_cast<size_t>(count) + reader.Exports().size());
    int position = 0;
    std::string text, forward;
    char number[24], address[8];
    for (const TExportEntry& e : reader.Exports()) {
      const std::string_view decimal(number, static_cast<size_t>(std::to_chars(number, std::end(number), e.Ordinal).ptr - number));
      // An export by ordinal only shows "#ORDINAL" for its name.
      std::string_view shown;
      if (e.Name.empty())
        shown = text.assign(1, '#').append(decimal);
      else
        shown = AnsiToUtf8(e.Name, text);
      if (!e.HasOrdinal)
        AddRow(view, position++, count, {shown}, group);
      else if (!e.HasAddress)
        AddRow(view, position++, count, {shown, decimal}, group);
      else
        AddRow(view, position++, count, {shown, decimal, Hex8(e.Address, address), AnsiToUtf8(e.Forward, forward)}, group);
    }
  }
  problems.ShowRows(static_cast<int>(selection.Count()) + 1);
}

void FillResourcesPage(const TPageContext& context, TPageView& view) {
  const TSelection& selection = *context.Selection;
  view.EnableGroupView(true);
  // The "Type" column belongs to systems before Windows 2000, on which nothing here runs.
  view.AddColumn(LoadResourceText(1598), 128, TAlign::alLeft);
  view.AddColumn(LoadResourceText(1600), 64, TAlign::alRight);
  view.AddColumn(LoadResourceText(1601), 70, TAlign::alRight);
  view.AddColumn(LoadResourceText(1602), 128, TAlign::alLeft);
  if (selection.Count() == 0 || !IsPE(selection, 0)) return;
  TPEReader reader;
  TProblems problems(selection, view);
  problems.Add(0, ReadPE(reader, selection, 0, TTables::tResources));
  const auto& entries = reader.ResourceEntries();
  TNameGroups types;
  std::vector<int> groupOf;
  for (const auto& e : entries) groupOf.push_back(types.Add(e.TypeName));
  for (size_t g = 0; g < types.Names().size(); ++g) view.AddGroup(static_cast<int>(g), types.Names()[g]);
  view.ReserveRows(entries.size());
  char offset[24];
  for (size_t i = 0; i < entries.size(); ++i) {
    const TResourceEntry& e = entries[i];
    std::snprintf(offset, sizeof offset, "%08llX", static_cast<unsigned long long>(e.Offset));
    view.AppendRow({e.Name, std::to_string(e.Size), offset, LanguageName(e.Language)}, groupOf[i]);
  }
  problems.ShowRows(static_cast<int>(types.Names().size()));
}


void FillDetailsPage(const TPageContext& context, TPageView& view) {
  const TSelection& selection = *context.Selection;
  view.EnableGroupView(true);
  view.AddColumn("Field", 200, TAlign::alLeft);
  if (selection.Count() == 1)
    view.AddColumn("Data", 160, TAlign::alLeft);
  else
    for (size_t i = 0; i < selection.Count(); ++i) view.AddColumn(FileNameOnly(selection.SelectedFiles[i]), 120, TAlign::alLeft);

  // One value column per file: a file that is not PE or could not be read keeps it empty.
  TProblems problems(selection, view);
  std::vector<TPEDetails> details(selection.Count());
  const std::time_t now = std::time(nullptr);
  const std::tm* utc = std::gmtime(&now);
  const int year = utc ? utc->tm_year + 1900 : 2100;
  // Entropy, checksum and the signature's digest read whole files: a closing page stops them.
  const std::function<bool()> stop = [&view] { return view.StopRequested(); };
  for (size_t f = 0; f < selection.Count(); ++f) {
    if (view.StopRequested()) return;
    if (!IsPE(selection, f)) continue;
    TPEReader reader;
    problems.Add(f, ReadPE(reader, selection, f, TTables::tDetails));
    if (!reader.HeadersRead()) continue;
    if (f < selection.Contents.size() && selection.Contents[f].Held())
      details[f] = ReadPEDetailsFromBytes(reader, TByteView(selection.Contents[f].View()), year, selection.SelectedFiles[f], stop);
    else
      details[f] = ReadPEDetailsFromFile(reader, selection.SelectedFiles[f], year, stop);
    for (auto& message : details[f].Problems) problems.Add(f, std::move(message));
  }

  static const char* const kTitles[dgCount] = {"File",    "Version Information", "Signature", "Rich Header", "Imports",
                                               ".NET",    "Debug",               "TLS",       "Manifest"};
  int rows = 0;
  for (int g = 0; g < dgCount; ++g) {
    size_t count = 0;
    for (const auto& d : details) count = std::max(count, d.Groups[g].size());
    if (!count) continue;
    view.AddGroup(g + 1, kTitles[g]);
    for (size_t i = 0; i < count; ++i) {
      // The field's name from the first file that has the row.
      std::string_view field;
      for (const auto& d : details)
        if (i < d.Groups[g].size()) {
          field = d.Groups[g][i].Field;
          break;
        }
      const int row = view.InsertRow(rows++, field);
      for (size_t f = 0; f < details.size(); ++f)
        view.SetCell(row, static_cast<int>(f) + 1, i < details[f].Groups[g].size() ? details[f].Groups[g][i].Value : "");
      view.SetRowGroup(row, g + 1);
    }
  }
  problems.InsertRows(dgCount + 1, rows);
}

}  // namespace bq
