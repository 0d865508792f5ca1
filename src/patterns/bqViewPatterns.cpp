#include "patterns/bqViewPatterns.h"

namespace bq {

void FillPatternsPage(const TPageContext&, TPageView&) {}

}  // namespace bq
