#include "shell/bqLitePropSheets.h"

#include "platform/bqFile.h"
#include "platform/bqHost.h"
#include "platform/bqText.h"

namespace bq {

std::string FindExtensionsIni() {
  const char* name = "Extensions.ini";
  const std::string beside = JoinPath(ModuleFolder(), name);
  if (FileExists(beside)) return beside;
  return JoinPath(CurrentFolder(), name);
}

TSelectionRef BuildSelection(const std::vector<std::u16string>& names, const TExtensionLists& lists) {
  auto selection = std::make_shared<TSelection>();
  for (const auto& wide : names) {
    std::u16string cut = wide.substr(0, wide.find(u'\0')).substr(0, MaxSelectedNameUnits);
    const std::string name = Utf16ToUtf8(cut);
    TFileIdentifyTypes types;
    std::string error;
    if (!IdentifyByContent(name, types, &error) && error.empty()) error = "cannot be read";
    IdentifyByExtension(name, lists, types);
    selection->SelectedFiles.push_back(name);
    selection->SelectedTypes.push_back(types);
    selection->Errors.push_back(error);
  }
  return selection;
}

TSelectionRef BuildSelection(const std::vector<std::string>& utf8Names, const TExtensionLists& lists) {
  std::vector<std::u16string> names;
  names.reserve(utf8Names.size());
  for (const auto& n : utf8Names) names.push_back(Utf8ToUtf16(n));
  return BuildSelection(names, lists);
}

std::vector<const TPageInfo*> ChoosePages(const TSelection& selection, const TPageRegistry& registry,
                                          const TZOXConfigManager& config) {
  std::vector<const TPageInfo*> chosen;
  if (selection.Count() == 0) return chosen;
  const TFileIdentifyTypes& first = selection.SelectedTypes[0];
  for (const auto& page : registry.Pages()) {
    if (!page.FileTypes.Empty() && !page.FileTypes.Intersects(first)) continue;
    bool enabled = true;
    bool value = true;
    if (config.ReadBool("Tabs", page.SettingName, value)) enabled = value;
    if (selection.Count() > 1 && !page.MultiSelect) enabled = false;
    if (enabled) chosen.push_back(&page);
  }
  return chosen;
}

}  // namespace bq
