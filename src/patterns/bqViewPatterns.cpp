#include "patterns/bqViewPatterns.h"

#include "patterns/zoxSearchPattern.h"

namespace bq {

void FillPatternsPage(const TPageContext& context, TPageView& view) {
  view.EnableGroupView(true);
  view.AddColumn("Pattern", 251, TAlign::alLeft);
  view.AddColumn("Position", 70, TAlign::alRight);
  for (int c = 0; c < PatternCategoryCount; ++c) view.AddGroup(c + 1, PatternCategoryNames[c]);

  const TSelection& selection = *context.Selection;
  if (selection.Count() > 0) {
    // Only the first file is searched, even when several are selected. The findings go to the
    // view as they are made; the search keeps none of them.
    TPatternSearch search;
    search.KeepLists = false;
    int lastPercent = 0;
    search.OnProgress = [&](uint8_t percent, uint64_t, uint64_t) {
      if (percent != lastPercent) view.SetProgress(lastPercent = percent);
    };
    search.OnFound = [&](TPatternCategory category, std::string_view text, uint64_t offset) {
      view.AppendRow({text, OffsetText(offset)}, category + 1);
    };
    search.StopRequested = [&] { return view.StopRequested(); };
    search.SearchFile(selection.SelectedFiles[0]);
    if (view.StopRequested()) return;
  }
  // The bar ends full, and so goes away, also when the file could not be read.
  view.SetProgress(100);
}

}  // namespace bq
