// Any bytes as a TSimpleNSIS archive (see archive_fuzz.h).
#include "archive/zoxFFNSISSimple.h"
#include "archive_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzArchive<bq::TSimpleNSIS>(data, size, "fuzz.exe");
}
