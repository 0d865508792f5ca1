#include "streams/bqViewStreams.h"

namespace bq {

void FillStreamsPage(const TPageContext&, TPageView&) {}

}  // namespace bq
