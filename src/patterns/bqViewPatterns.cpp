#include "patterns/bqViewPatterns.h"

#include <optional>

#include "patterns/zoxSearchPattern.h"
#include "pe/zoxPESimple.h"

namespace bq {

namespace {

// The section layout of a PE file; none for other files (and for PE files whose headers or
// section table cannot be read).
std::optional<TPEFileLayout> ReadLayout(const std::string& fileName) {
  TPEReader reader;
  reader.SetReadImportTable(false);
  reader.SetReadExportTable(false);
  reader.SetReadResourceTable(false);
  try {
    reader.ReadFromFile(fileName);
  } catch (const TPEError&) {
    return std::nullopt;
  }
  return TPEFileLayout(reader);
}

}  // namespace

void FillPatternsPage(const TPageContext& context, TPageView& view) {
  view.EnableGroupView(true);
  view.AddColumn("Pattern", 251, TAlign::alLeft);
  view.AddColumn("Position", 70, TAlign::alRight);
  view.AddColumn("Encoding", 60, TAlign::alLeft);
  view.AddColumn("Section", 70, TAlign::alLeft);
  for (int c = 0; c < PatternCategoryCount; ++c) view.AddGroup(c + 1, PatternCategoryNames[c]);

  const TSelection& selection = *context.Selection;
  if (selection.Count() > 0) {
    // Only the first file is searched, even when several are selected. The findings go to the
    // view as they are made; the search keeps none of them. Past the view's bound they are
    // only counted.
    const std::string& fileName = selection.SelectedFiles[0];
    const std::optional<TPEFileLayout> layout = ReadLayout(fileName);
    TPatternSearch search;
    search.KeepLists = false;
    int lastPercent = 0;
    size_t rows = 0;
    uint64_t notShown[PatternCategoryCount] = {};
    search.OnProgress = [&](uint8_t percent, uint64_t, uint64_t) {
      if (percent != lastPercent) view.SetProgress(lastPercent = percent);
    };
    search.OnFound = [&](TPatternCategory category, std::string_view text, uint64_t offset, TPatternEncoding encoding) {
      if (context.MaxListRows != 0 && rows >= context.MaxListRows) {
        ++notShown[category];
        return;
      }
      ++rows;
      // Files that are not PE files leave the Section cell unset.
      if (layout)
        view.AppendRow({text, OffsetText(offset), PatternEncodingNames[encoding], layout->At(offset)}, category + 1);
      else
        view.AppendRow({text, OffsetText(offset), PatternEncodingNames[encoding]}, category + 1);
    };
    search.StopRequested = [&] { return view.StopRequested(); };
    search.SearchFile(fileName);
    if (view.StopRequested()) return;
    for (int c = 0; c < PatternCategoryCount; ++c)
      if (notShown[c] != 0)
        view.AppendRow({"\u2026 " + std::to_string(notShown[c]) + " more findings not shown (bqlite lists them all)"},
                       c + 1);
  }
  // The bar ends full, and so goes away, also when the file could not be read.
  view.SetProgress(100);
}

}  // namespace bq
