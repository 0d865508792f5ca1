// Any bytes as a file head and as an INI file of extension lists.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shell/zoxFFIdentifier.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  bq::TFileIdentifyTypes types;
  bq::IdentifyHead(bytes, types);
  const bq::TExtensionLists lists = bq::ParseExtensionLists(bytes);
  bq::IdentifyByExtension(std::string(bytes.substr(0, 300)), lists, types);
  return 0;
}
