// Reads a setting from several registry roots and key paths; the first root wins.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/bqRegistry.h"

namespace bq {

class TMultiConfigReader {
public:
  explicit TMultiConfigReader(const TRegistry& registry) : FRegistry(registry) {}

  std::vector<TRegRoot> Roots;
  std::vector<std::string> Paths;
  TRegView View = TRegView::rv32;
  // Sub-key names of HKEY_USERS; paths under that root are visited below each of them.
  std::vector<std::string> UserSubKeys;

  // Visits the roots last to first and every path; only REG_DWORD values count, and a later
  // find overwrites an earlier one, so the first root wins. True when any root held the value.
  bool ReadBool(std::string_view valueName, bool& value) const;

  // The sub-keys of HKEY_USERS, for readers whose root is that.
  static std::vector<std::string> EnumerateUsers(const TRegistry& registry);

private:
  bool ReadKeyBool(TRegRoot root, const std::string& path, std::string_view valueName, bool& value) const;
  const TRegistry& FRegistry;
};

}  // namespace bq
