// The Audio page.
#pragma once
#include "shell/bqViewBase.h"

namespace bq {

void FillAudioTagsPage(const TPageContext& context, TPageView& view);

}  // namespace bq
