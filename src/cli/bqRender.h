// Text and JSON renderings of a selection and its pages, shared by bqlite and the test host
// that reads the same pages back from the real dialog.
#pragma once
#include <string>
#include <vector>

#include "shell/bqPageView.h"
#include "shell/bqViewBase.h"

namespace bq {

struct TRenderedPage {
  const TPageInfo* Info = nullptr;
  bool WithContent = false;  // false: only the tab (--list-pages)
  TPageRecord Record;
};

std::string JsonString(std::string_view text);
std::string KindName(TPageKind kind);

// {"files": [...], "pages": [...]}
std::string RenderJson(const TSelection& selection, const std::vector<TRenderedPage>& pages);
// One page as a JSON object.
std::string RenderPageJson(const TRenderedPage& page, const std::string& indent);

// The same documents in pieces, for output written while a page is still being filled:
// RenderJson = head, then per page its separator and object, then the tail; a list page's
// object = its head (up to the opening of "rows"), its rows joined by ",", its tail.
std::string RenderJsonHead(const TSelection& selection);
std::string RenderJsonPageSeparator(size_t index);
std::string RenderJsonTail(size_t pageCount);
std::string RenderPageJsonHead(const TRenderedPage& page, const std::string& indent);
std::string RenderRowJson(std::initializer_list<std::string_view> cells, int group, const std::string& indent);
std::string RenderPageJsonTail(const TRenderedPage& page, const std::string& indent, size_t rowCount);

// Human-readable text.
std::string RenderPageText(const TRenderedPage& page);
// Text for a terminal: C0 controls but tab, LF and CR, DEL, and the C1 controls (U+0080 to
// U+009F in UTF-8) become "\xHH", HH the control's code; every other byte stays.
std::string ShowControls(std::string text);
// Text of a page whose rows are printed as they come: its title and column titles, then per
// row its group's header when the group changes, and the row.
std::string RenderPageTextHead(const TRenderedPage& page);
std::string RenderStreamedRowText(const TPageRecord& record, std::initializer_list<std::string_view> cells, int group,
                                  int previousGroup);

}  // namespace bq
