// Any bytes as a TSimpleZip archive (see archive_fuzz.h).
#include "archive/zoxFFZipSimple.h"
#include "archive_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzArchive<bq::TSimpleZip>(data, size, "fuzz.zip");
}
