#include "streams/bqViewStreams.h"

#include <algorithm>

#include "platform/bqText.h"
#include "shell/bqStrings.h"
#include "streams/quADS.h"

namespace bq {

void FillStreamsPage(const TPageContext& context, TPageView& view) {
  view.EnableGroupView(true);
  view.AddColumn(LoadResourceText(1537), 193, TAlign::alLeft);
  view.AddColumn(LoadResourceText(1539), 64, TAlign::alRight);
  view.AddColumn(LoadResourceText(1540), 64, TAlign::alCenter);
  const TSelection& selection = *context.Selection;
  if (selection.Count() == 0) return;

  // One group per kind, in order of first appearance; the empty first entry makes ids start at 1.
  std::vector<std::string> headers{""};
  TFindStreamData data;
  struct TClose {
    TFindStreamData& Data;
    ~TClose() { StreamFindClose(Data); }
  } close{data};
  int n = 0;
  for (bool found = StreamFindFirst(selection.SelectedFiles[0], 0x3FF, data); found; found = StreamFindNext(data), ++n) {
    const std::string kind = StreamKindName(data.Kind);
    auto at = std::find_if(headers.begin(), headers.end(), [&](const std::string& h) { return SameTextI(h, kind); });
    const int group = static_cast<int>(at - headers.begin());
    if (at == headers.end()) {
      headers.push_back(kind);
      view.AddGroup(group, kind);
    }
    const int row = view.InsertRow(n, data.Name);
    if (row < 0) continue;
    view.SetCell(row, 1, std::to_string(data.Size));
    view.SetCell(row, 2, Hex8(data.Attributes));
    view.SetRowGroup(row, group);
  }
}

}  // namespace bq
