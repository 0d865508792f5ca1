// The settings manager: per-user and per-machine values under "\Software\Marrowgate\<name>".
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/bqRegistry.h"

namespace bq {

class TZOXConfigManager {
public:
  explicit TZOXConfigManager(const TRegistry& registry) : FRegistry(registry) {}

  std::string Name;
  uint8_t Preference = 1;  // 0: per-user settings win; 1: per-machine settings win

  // Reads a REG_DWORD under "\Software\Marrowgate\" + Name + "\" + section; true when found.
  bool ReadBool(std::string_view section, std::string_view valueName, bool& value) const;

private:
  const TRegistry& FRegistry;
};

}  // namespace bq
