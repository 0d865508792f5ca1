// The Patterns page.
#pragma once
#include "shell/bqViewBase.h"

namespace bq {

void FillPatternsPage(const TPageContext& context, TPageView& view);

}  // namespace bq
