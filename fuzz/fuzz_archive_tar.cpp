// Any bytes as a TSimpleTar archive (see archive_fuzz.h): a plain tar, or gzip or bzip2 that
// the reader unpacks on the way (the seeds hold all three).
#include "archive/zoxFFTarSimple.h"
#include "archive_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzArchive<bq::TSimpleTar>(data, size, "fuzz.tar.gz");
}
