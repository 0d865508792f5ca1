// The handler's portable logic: building a dialog's selection and choosing its pages.
#pragma once
#include <string>
#include <vector>

#include "shell/bqViewBase.h"
#include "shell/zoxConfig.h"

namespace bq {

inline constexpr const char* ProductName = "Brisquel Lite";
// Names are kept up to this many UTF-16 units, as the shell's drop list gives them.
constexpr size_t MaxSelectedNameUnits = 261;

// The extension lists' file: beside the module first, then in the current directory.
std::string FindExtensionsIni();

// Identifies every file, content types first, then extension types. A file that cannot be
// read keeps its extension types and stays in the selection (its error is recorded).
// With keepContents, the bytes of files that identification read whole are kept in Contents,
// up to SelectionContentLimit in all; a dialog does not keep them, as it may show a page long
// after the selection was made.
TSelectionRef BuildSelection(const std::vector<std::u16string>& names, const TExtensionLists& lists,
                             bool keepContents = false);
TSelectionRef BuildSelection(const std::vector<std::string>& utf8Names, const TExtensionLists& lists,
                             bool keepContents = false);
constexpr size_t SelectionContentLimit = 16u << 20;

// The pages a dialog offers, in registration order: those whose type set is empty or meets
// the first file's set, not switched off under the "Tabs" settings, and, for several files,
// only those that take several files.
std::vector<const TPageInfo*> ChoosePages(const TSelection& selection, const TPageRegistry& registry,
                                          const TZOXConfigManager& config);
// The same with the "Tabs" settings read beforehand (ReadTabSettings), for a caller that
// chooses pages for many selections.
std::vector<const TPageInfo*> ChoosePages(const TSelection& selection, const TPageRegistry& registry,
                                          const std::vector<bool>& enabled);
// Whether each page of the registry, in order, is switched on under the "Tabs" settings.
std::vector<bool> ReadTabSettings(const TPageRegistry& registry, const TZOXConfigManager& config);

}  // namespace bq
