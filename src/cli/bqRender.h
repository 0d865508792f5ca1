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

// Human-readable text.
std::string RenderPageText(const TRenderedPage& page);

}  // namespace bq
