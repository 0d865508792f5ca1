#include "tags/bqViewAudioTags.h"

namespace bq {

void FillAudioTagsPage(const TPageContext&, TPageView&) {}

}  // namespace bq
