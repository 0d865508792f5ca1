// The module's pages, registered in tab order.
#pragma once
#include <string_view>

#include "platform/bqRegistry.h"
#include "shell/bqViewBase.h"

namespace bq {

// Registers the twelve pages. The Imports page uses the tree-view template "IMPORTS" when
// importsTreeView is set (the tweak "DisableImportsXPView", or a system before Windows 5.0),
// else the list-view template "IMPORTSXP".
TPageRegistry BuildModulePages(bool importsTreeView);

// Whether the Imports page uses its tree view on this host: the tweak is read for the host's
// executable name from the given registry.
bool ImportsTreeViewTweak(const TRegistry& registry, std::string_view hostExecutable);

// The pages of this process, built once on first use from the system registry.
const TPageRegistry& ModulePages();

}  // namespace bq
