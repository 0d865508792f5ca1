// Any bytes as a TSimpleRar5 archive (see archive_fuzz.h).
#include "archive/zoxFFRar5Simple.h"
#include "archive_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzArchive<bq::TSimpleRar5>(data, size, "fuzz.rar");
}
