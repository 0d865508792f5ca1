// Any bytes as a TWindowsChm archive (see archive_fuzz.h).
#include "archive/zoxFFChmWindows.h"
#include "archive_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzArchive<bq::TWindowsChm>(data, size, "fuzz.chm");
}
