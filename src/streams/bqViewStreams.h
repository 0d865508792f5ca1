// The Streams page.
#pragma once
#include "shell/bqViewBase.h"

namespace bq {

void FillStreamsPage(const TPageContext& context, TPageView& view);

}  // namespace bq
