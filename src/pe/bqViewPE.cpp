#include "pe/bqViewPE.h"

namespace bq {

void FillPEHeaderPage(const TPageContext&, TPageView&) {}

void FillSectionsPage(const TPageContext&, TPageView&) {}

void FillImportsListPage(const TPageContext&, TPageView&) {}

void FillImportsTreePage(const TPageContext&, TPageView&) {}

void FillExportsPage(const TPageContext&, TPageView&) {}

void FillResourcesPage(const TPageContext&, TPageView&) {}

}  // namespace bq
