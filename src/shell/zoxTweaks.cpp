#include "shell/zoxTweaks.h"

#include <cstddef>
#include <string>

#include "platform/bqHost.h"
#include "shell/bqViewBase.h"

namespace bq {

namespace {
// The first value of the name, in the host's key and then the common one, that take() accepts.
template <typename TTake>
bool FindTweak(const TRegistry& registry, std::string_view hostExecutable, std::string_view valueName, TTake take) {
  const std::string common = "\\SOFTWARE\\Marrowgate\\Tweaks\\";
  for (const std::string& path : {common + std::string(hostExecutable), common}) {
    auto key = OpenKeyReadOnly(registry, TRegRoot::rrLocalMachine, path, TRegView::rv32);
    if (!key) continue;
    const auto v = key->ReadValue(valueName);
    if (v && take(*v)) return true;
  }
  return false;
}
}  // namespace

bool ReadTweakDword(const TRegistry& registry, std::string_view hostExecutable, std::string_view valueName,
                    uint32_t& value) {
  return FindTweak(registry, hostExecutable, valueName, [&](const TRegValue& v) {
    const auto dword = v.AsDword();
    if (dword) value = *dword;
    return dword.has_value();
  });
}

bool ReadStringTweak(const TRegistry& registry, std::string_view hostExecutable, std::string_view valueName,
                     std::string& value) {
  return FindTweak(registry, hostExecutable, valueName, [&](const TRegValue& v) {
    if (v.Type != kRegSz && v.Type != kRegExpandSz) return false;
    value = v.AsString();
    return true;
  });
}

bool ReadTweak(const TRegistry& registry, std::string_view hostExecutable, std::string_view valueName,
               bool& value) {
  uint32_t dword = 0;
  if (!ReadTweakDword(registry, hostExecutable, valueName, dword)) return false;
  value = (dword & 0xFF) != 0;
  return true;
}

size_t DialogRowLimit(const TRegistry& registry) {
  constexpr size_t kRows = 1000000;
  uint32_t limit = 0;
  if (ReadTweakDword(registry, HostExecutableName(), "DialogRowLimit", limit) && limit > 0 && limit < kRows) return limit;
  return kRows;
}

bool ImportsTreeViewTweak(const TRegistry& registry, std::string_view hostExecutable) {
  bool value = false;
  return ReadTweak(registry, hostExecutable, "DisableImportsXPView", value) && value;
}

}  // namespace bq
