// The Preview page.
#pragma once
#include "shell/bqViewBase.h"

namespace bq {

void FillPreviewPage(const TPageContext& context, TPageView& view);

}  // namespace bq
