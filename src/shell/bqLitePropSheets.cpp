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

namespace {
void AddToSelection(TSelection& selection, const std::string& name, const TExtensionLists& lists, size_t* keep) {
  TFileIdentifyTypes types;
  std::string error;
  TFileContent content;
  bool binary = false;
  if (!IdentifyByContent(name, types, &error, keep ? &content : nullptr, &binary) && error.empty()) error = "cannot be read";
  TFileIdentifyTypes byName;
  IdentifyByExtension(name, lists, byName);
  // Binary content is no text whatever its name says (an MPEG transport stream named .ts).
  if (binary) byName.Exclude(TextFileTypes);
  for (auto t : byName.Members()) types.Include(t);
  if (keep && content.Held() && content.Size <= *keep) {
    *keep -= content.Size;
  } else {
    content = {};
  }
  selection.SelectedFiles.push_back(name);
  selection.SelectedTypes.push_back(types);
  selection.NameTypes.push_back(byName);
  selection.Errors.push_back(error);
  selection.Contents.push_back(std::move(content));
}

std::string CutName(const std::u16string& wide) {
  return Utf16ToUtf8(wide.substr(0, wide.find(u'\0')).substr(0, MaxSelectedNameUnits));
}
}  // namespace

TSelectionRef BuildSelection(const std::vector<std::u16string>& names, const TExtensionLists& lists,
                             bool keepContents) {
  auto selection = std::make_shared<TSelection>();
  size_t budget = SelectionContentLimit;
  size_t* keep = keepContents ? &budget : nullptr;
  for (const auto& wide : names) AddToSelection(*selection, CutName(wide), lists, keep);
  return selection;
}

TSelectionRef BuildSelection(const std::vector<std::string>& utf8Names, const TExtensionLists& lists,
                             bool keepContents) {
  auto selection = std::make_shared<TSelection>();
  size_t budget = SelectionContentLimit;
  size_t* keep = keepContents ? &budget : nullptr;
  for (const auto& n : utf8Names) {
    // A POSIX name need not be UTF-8: such a name keeps its bytes, or the file could not be
    // opened; the front end repairs it for display.
    if (IsValidUtf8(n))
      AddToSelection(*selection, CutName(Utf8ToUtf16(n)), lists, keep);
    else
      AddToSelection(*selection, n.substr(0, n.find('\0')).substr(0, MaxSelectedNameUnits), lists, keep);
  }
  return selection;
}

std::vector<bool> ReadTabSettings(const TPageRegistry& registry, const TZOXConfigManager& config) {
  std::vector<bool> enabled;
  for (const auto& page : registry.Pages()) {
    bool value = true;
    enabled.push_back(!config.ReadBool("Tabs", page.SettingName, value) || value);
  }
  return enabled;
}

std::vector<const TPageInfo*> ChoosePages(const TSelection& selection, const TPageRegistry& registry,
                                          const std::vector<bool>& enabled) {
  std::vector<const TPageInfo*> chosen;
  if (selection.Count() == 0) return chosen;
  const TFileIdentifyTypes& first = selection.SelectedTypes[0];
  const auto& pages = registry.Pages();
  for (size_t i = 0; i < pages.size(); ++i) {
    const TPageInfo& page = pages[i];
    if (!page.FileTypes.Empty() && !page.FileTypes.Intersects(first)) continue;
    if (i < enabled.size() && !enabled[i]) continue;
    if (selection.Count() > 1 && !page.MultiSelect) continue;
    chosen.push_back(&page);
  }
  return chosen;
}

std::vector<const TPageInfo*> ChoosePages(const TSelection& selection, const TPageRegistry& registry,
                                          const TZOXConfigManager& config) {
  return ChoosePages(selection, registry, ReadTabSettings(registry, config));
}

}  // namespace bq
