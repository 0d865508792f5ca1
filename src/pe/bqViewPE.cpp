#include "pe/bqViewPE.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <cstdio>

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
enum class TTables { tNone, tImports, tExports, tResources };

// Reads a file; a reader failure keeps what was read before it. False when the reader failed.
bool ReadPE(TPEReader& reader, const TSelection& selection, size_t file, TTables tables) {
  reader.SetReadImportTable(tables == TTables::tImports);
  reader.SetReadExportTable(tables == TTables::tExports);
  reader.SetReadResourceTable(tables == TTables::tResources);
  try {
    // The bytes identification kept, when it kept them, else the file.
    if (file < selection.Contents.size() && selection.Contents[file].Held())
      reader.ReadFromBytes(TByteView(selection.Contents[file].View()));
    else
      reader.ReadFromFile(selection.SelectedFiles[file]);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

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

  // Every file is read first; one whose reader fails keeps an empty value column.
  std::vector<TPEReader> readers(files.size());
  std::vector<bool> ok(files.size());
  for (size_t k = 0; k < files.size(); ++k) ok[k] = ReadPE(readers[k], selection, files[k], TTables::tNone);

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
  for (size_t f = 0; f < selection.Count(); ++f) {
    if (!IsPE(selection, f)) continue;
    const std::string& name = selection.SelectedFiles[f];
    TPEReader reader;
    ReadPE(reader, selection, f, TTables::tNone);  // a failing file shows the sections read before the failure
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
}

void FillImportsListPage(const TPageContext& context, TPageView& view) {
  const TSelection& selection = *context.Selection;
  view.EnableGroupView(true);
  view.AddColumn(LoadResourceText(1591), 200, TAlign::alLeft);
  view.AddColumn(LoadResourceText(1592), 64, TAlign::alCenter);
  if (selection.Count() == 0 || !IsPE(selection, 0)) return;
  TPEReader reader;
  if (!ReadPE(reader, selection, 0, TTables::tImports)) return;
  const auto& lines = reader.ImportTable();
  TNameGroups groups;
  std::vector<int> groupOf;
  for (const auto& line : lines) groupOf.push_back(groups.Add(line.Data.Library));
  for (size_t g = 0; g < groups.Names().size(); ++g) view.AddGroup(static_cast<int>(g), AnsiToUtf8(groups.Names()[g]));
  view.ReserveRows(lines.size());
  std::string text;
  char thunk[8];
  for (size_t i = 0; i < lines.size(); ++i)
    view.AppendRow({AnsiToUtf8(lines[i].Data.Function, text), Hex8(lines[i].Data.Thunk, thunk)}, groupOf[i]);
}

void FillImportsTreePage(const TPageContext& context, TPageView& view) {
  const TSelection& selection = *context.Selection;
  if (selection.Count() == 0 || !IsPE(selection, 0)) return;
  TPEReader reader;
  if (!ReadPE(reader, selection, 0, TTables::tImports)) return;
  // One root node per library (the name as first met), sorted; its functions in table order.
  TNameGroups libraries;
  std::vector<std::vector<std::string_view>> functions;
  for (const auto& line : reader.ImportTable()) {
    const size_t g = static_cast<size_t>(libraries.Add(line.Data.Library));
    if (g == functions.size()) functions.emplace_back();
    functions[g].push_back(line.Data.Function);
  }
  std::vector<size_t> order(functions.size());
  for (size_t g = 0; g < order.size(); ++g) order[g] = g;
  const auto& names = libraries.Names();
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return LessNoCase(names[a], names[b]); });
  for (size_t g : order) {
    const TPageView::TTreeNode node = view.AddTreeNode(0, AnsiToUtf8(names[g]));
    if (!node) continue;
    for (std::string_view f : functions[g]) view.AddTreeNode(node, AnsiToUtf8(f));
  }
}

void FillExportsPage(const TPageContext& context, TPageView& view) {
  const TSelection& selection = *context.Selection;
  view.EnableGroupView(true);
  view.AddColumn(LoadResourceText(1593), 200, TAlign::alLeft);
  view.AddColumn(LoadResourceText(1594), 50, TAlign::alRight);
  view.AddColumn(LoadResourceText(1595), 70, TAlign::alRight);
  int count = 0;
  for (size_t f = 0; f < selection.Count(); ++f) {
    if (!IsPE(selection, f)) continue;
    const std::string& fileName = selection.SelectedFiles[f];
    const int group = static_cast<int>(f) + 1;
    view.AddGroup(group, selection.Count() == 1 ? LoadResourceText(1596) : Format(1597, fileName));
    TPEReader reader;
    ReadPE(reader, selection, f, TTables::tExports);  // a failing file shows the names read before the failure
    const auto& ordinals = reader.ExportOrdinals();
    const auto& functions = reader.ExportFunctions();
    view.ReserveRows(static_cast<size_t>(count) + reader.ExportTable().size());
    int position = 0;
    std::string text;
    char number[10], address[8];
    for (const TExportName& name : reader.ExportTable()) {
      // Name i goes with ordinal i, whatever names before it were empty.
      const std::string_view shown = AnsiToUtf8(name.Name, text);
      if (name.Index >= ordinals.size()) {
        AddRow(view, position++, count, {shown}, group);
        continue;
      }
      const uint32_t ordinal = ordinals[name.Index];
      const std::string_view decimal(number, static_cast<size_t>(std::to_chars(number, std::end(number), ordinal).ptr - number));
      if (ordinal < functions.size())
        AddRow(view, position++, count, {shown, decimal, Hex8(functions[ordinal], address)}, group);
      else
        AddRow(view, position++, count, {shown, decimal}, group);
    }
  }
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
  if (!ReadPE(reader, selection, 0, TTables::tResources)) return;
  const auto& entries = reader.ResourceEntries();
  TNameGroups types;
  std::vector<int> groupOf;
  for (const auto& e : entries) groupOf.push_back(types.Add(e.TypeName));
  for (size_t g = 0; g < types.Names().size(); ++g) view.AddGroup(static_cast<int>(g), types.Names()[g]);
  view.ReserveRows(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const TResourceEntry& e = entries[i];
    view.AppendRow({e.Name, std::to_string(e.Size), Hex8(e.Offset), LanguageName(e.Language)}, groupOf[i]);
  }
}

}  // namespace bq
