#include "shell/zoxConfig.h"

#include "shell/quMulticonfigRead.h"

namespace bq {

bool TZOXConfigManager::ReadBool(std::string_view section, std::string_view valueName, bool& value) const {
  TMultiConfigReader reader(FRegistry);
  if (Preference == 1)
    reader.Roots = {TRegRoot::rrLocalMachine, TRegRoot::rrCurrentUser};
  else
    reader.Roots = {TRegRoot::rrCurrentUser, TRegRoot::rrLocalMachine};
  reader.Paths = {"\\Software\\Marrowgate\\" + Name + "\\" + std::string(section)};
  return reader.ReadBool(valueName, value);
}

}  // namespace bq
