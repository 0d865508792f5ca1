// The module's string table (ids 1520 to 1604) and the loader that trims what it loads.
#pragma once
#include <string>
#include <string_view>

namespace bq {

// The raw table text of an id; "" when the table has no such entry.
std::string_view ResourceString(int id);

// A resource text as pages use it: at most 1023 bytes, characters below 33 trimmed from both
// ends. The Windows front end may install a loader that reads the module's own string table.
using TResourceLoader = std::string (*)(int id);
void SetResourceLoader(TResourceLoader loader);
std::string LoadResourceText(int id);

}  // namespace bq
