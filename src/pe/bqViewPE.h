// The six PE pages: Header, Sections, Imports (list and tree), Exports, Resources, Details.
#pragma once
#include "shell/bqViewBase.h"

namespace bq {

void FillPEHeaderPage(const TPageContext& context, TPageView& view);
void FillSectionsPage(const TPageContext& context, TPageView& view);
void FillImportsListPage(const TPageContext& context, TPageView& view);
void FillImportsTreePage(const TPageContext& context, TPageView& view);
void FillExportsPage(const TPageContext& context, TPageView& view);
void FillResourcesPage(const TPageContext& context, TPageView& view);
void FillDetailsPage(const TPageContext& context, TPageView& view);

}  // namespace bq
