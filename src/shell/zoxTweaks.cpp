#include "shell/zoxTweaks.h"

#include <string>

namespace bq {

bool ReadTweak(const TRegistry& registry, std::string_view hostExecutable, std::string_view valueName,
               bool& value) {
  const std::string common = "\\SOFTWARE\\Marrowgate\\Tweaks\\";
  for (const std::string& path : {common + std::string(hostExecutable), common}) {
    auto key = OpenKeyReadOnly(registry, TRegRoot::rrLocalMachine, path, TRegView::rv32);
    if (!key) continue;
    const auto v = key->ReadValue(valueName);
    if (!v) continue;
    if (const auto dword = v->AsDword()) {
      value = (*dword & 0xFF) != 0;
      return true;
    }
  }
  return false;
}

bool ImportsTreeViewTweak(const TRegistry& registry, std::string_view hostExecutable) {
  bool value = false;
  return ReadTweak(registry, hostExecutable, "DisableImportsXPView", value) && value;
}

}  // namespace bq
