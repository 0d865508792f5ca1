// Any bytes as a TSimple7z archive (see archive_fuzz.h).
#include "archive/zoxFF7zSimple.h"
#include "archive_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzArchive<bq::TSimple7z>(data, size, "fuzz.7z");
}
