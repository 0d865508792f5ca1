#include "streams/bqViewStreams.h"

#include <algorithm>

#include "platform/bqStreams.h"
#include "platform/bqText.h"
#include "shell/bqStrings.h"
#include "streams/quADS.h"
#include "streams/zoxZoneIdentifier.h"

namespace bq {

namespace {

// The stream's own name: ":Zone.Identifier:$DATA" and "user.Zone.Identifier" give
// "Zone.Identifier".
std::string_view OwnName(const TFindStreamData& data) {
  std::string_view name = data.Name;
  if (data.Kind == bsAlternateData && name.size() > 1 && name[0] == ':') {
    name.remove_prefix(1);
    name = name.substr(0, name.find(':'));
  } else if (data.Kind == bsEaData && name.substr(0, 5) == "user.") {
    name.remove_prefix(5);
  }
  return name;
}

// What a stream says about where the file came from: the rows of the "Downloaded From" group,
// none for other streams.
TZoneRows DownloadRows(const std::string& fileName, const TFindStreamData& data) {
  const std::string_view own = OwnName(data);
  const bool zone = SameTextI(own, "Zone.Identifier") || (data.Kind == bsAlternateData && SameTextI(own, "SmartScreen"));
  const bool origin = data.Kind == bsEaData && own == "xdg.origin.url";
  const bool referrer = data.Kind == bsEaData && own == "xdg.referrer.url";
  if (!zone && !origin && !referrer) return {};
  std::vector<uint8_t> content;
  if (!ReadStreamContent(fileName, {data.Name, data.Kind, data.Size, data.Attributes}, MaxZoneStreamBytes, content))
    return {};
  if (zone) return ParseZoneIdentifier(TByteView(content));
  // The address as the attribute holds it, without a final zero byte.
  std::string_view value(reinterpret_cast<const char*>(content.data()), content.size());
  while (!value.empty() && value.back() == '\0') value.remove_suffix(1);
  if (value.empty()) return {};
  return {{origin ? "HostUrl" : "ReferrerUrl", IsValidUtf8(value) ? std::string(value) : AnsiToUtf8(value)}};
}

}  // namespace

void FillStreamsPage(const TPageContext& context, TPageView& view) {
  view.EnableGroupView(true);
  view.AddColumn(LoadResourceText(1537), 193, TAlign::alLeft);
  view.AddColumn(LoadResourceText(1539), 64, TAlign::alRight);
  view.AddColumn(LoadResourceText(1540), 64, TAlign::alCenter);
  view.AddColumn("Content", 160, TAlign::alLeft);
  const TSelection& selection = *context.Selection;
  if (selection.Count() == 0) return;
  const std::string& fileName = selection.SelectedFiles[0];

  // One group per kind, in order of first appearance; the empty first entry makes ids start at 1.
  std::vector<std::string> headers{""};
  auto groupOf = [&](const std::string& header) {
    auto at = std::find_if(headers.begin(), headers.end(), [&](const std::string& h) { return SameTextI(h, header); });
    const int group = static_cast<int>(at - headers.begin());
    if (at == headers.end()) {
      headers.push_back(header);
      view.AddGroup(group, header);
    }
    return group;
  };
  TFindStreamData data;
  struct TClose {
    TFindStreamData& Data;
    ~TClose() { StreamFindClose(Data); }
  } close{data};
  int n = 0;
  for (bool found = StreamFindFirst(fileName, 0x3FF, data); found; found = StreamFindNext(data)) {
    // A stream that tells where the file came from shows what it says instead of its size.
    const TZoneRows download = DownloadRows(fileName, data);
    if (!download.empty()) {
      const int group = groupOf("Downloaded From");
      for (const auto& [name, value] : download) {
        const int row = view.InsertRow(n++, name);
        if (row < 0) continue;
        view.SetCell(row, 3, value);
        view.SetRowGroup(row, group);
      }
      continue;
    }
    const int group = groupOf(StreamKindName(data.Kind));
    const int row = view.InsertRow(n++, data.Name);
    if (row < 0) continue;
    view.SetCell(row, 1, std::to_string(data.Size));
    view.SetCell(row, 2, Hex8(data.Attributes));
    // A short named stream that holds text shows it.
    std::vector<uint8_t> content;
    if (!data.Name.empty() && data.Size <= MaxContentBytes &&
        ReadStreamContent(fileName, {data.Name, data.Kind, data.Size, data.Attributes}, MaxContentBytes + 1, content)) {
      const std::string text = StreamContentText(TByteView(content));
      if (!text.empty()) view.SetCell(row, 3, text);
    }
    view.SetRowGroup(row, group);
  }
}

}  // namespace bq
