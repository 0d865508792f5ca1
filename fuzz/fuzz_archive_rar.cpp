// Any bytes as a TSimpleRar archive (see archive_fuzz.h).
#include "archive/zoxFFRarSimple.h"
#include "archive_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzArchive<bq::TSimpleRar>(data, size, "fuzz.rar");
}
