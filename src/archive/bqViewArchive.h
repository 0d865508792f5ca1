// The Archive page.
#pragma once
#include "shell/bqViewBase.h"

namespace bq {

void FillArchivePage(const TPageContext& context, TPageView& view);

}  // namespace bq
