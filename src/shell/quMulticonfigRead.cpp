#include "shell/quMulticonfigRead.h"

namespace bq {

bool TMultiConfigReader::ReadKeyBool(TRegRoot root, const std::string& path, std::string_view valueName,
                                     bool& value) const {
  auto key = OpenKeyReadOnly(FRegistry, root, path, View);
  if (!key) return false;
  const auto v = key->ReadValue(valueName);
  if (!v) return false;
  const auto dword = v->AsDword();
  if (!dword) return false;
  value = *dword != 0;
  return true;
}

bool TMultiConfigReader::ReadBool(std::string_view valueName, bool& value) const {
  bool found = false;
  for (auto root = Roots.rbegin(); root != Roots.rend(); ++root) {
    for (const auto& path : Paths) {
      if (*root == TRegRoot::rrUsers) {
        for (const auto& user : UserSubKeys)
          found |= ReadKeyBool(*root, "\\" + user + path, valueName, value);
      } else {
        found |= ReadKeyBool(*root, path, valueName, value);
      }
    }
  }
  return found;
}

std::vector<std::string> TMultiConfigReader::EnumerateUsers(const TRegistry& registry) {
  auto key = registry.OpenKey(TRegRoot::rrUsers, "", kKeyRead);
  return key ? key->SubKeyNames() : std::vector<std::string>{};
}

}  // namespace bq
