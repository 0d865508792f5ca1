#include "preview/bqViewRTF.h"

namespace bq {

void FillPreviewPage(const TPageContext&, TPageView&) {}

}  // namespace bq
