// Any bytes as a TSimpleCab archive (see archive_fuzz.h).
#include "archive/zoxFFCabSimple.h"
#include "archive_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzArchive<bq::TSimpleCab>(data, size, "fuzz.cab");
}
