// The module's pages, registered in tab order: the one table that names every page unit.
// It sits above the shell and the subsystems; the DLL and bqlite both link it.
#pragma once
#include "shell/bqViewBase.h"

namespace bq {

// Registers the twelve pages. The Imports page uses the tree-view template "IMPORTS" when
// importsTreeView is set (the tweak "DisableImportsXPView", or a system before Windows 5.0),
// else the list-view template "IMPORTSXP".
TPageRegistry BuildModulePages(bool importsTreeView);

// The pages of this process, built once on first use from the system registry.
const TPageRegistry& ModulePages();

}  // namespace bq
