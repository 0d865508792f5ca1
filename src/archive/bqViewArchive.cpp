#include "archive/bqViewArchive.h"

namespace bq {

void FillArchivePage(const TPageContext&, TPageView&) {}

}  // namespace bq
