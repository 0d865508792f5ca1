// Any bytes as an xz file: decoded through TXzStream (output bounded), and listed by the tar
// reader, as a .tar.xz or a lone .xz (see archive_fuzz.h).
#include <cstddef>
#include <cstdint>

#include "archive/bqXz.h"
#include "archive/zoxFFTarSimple.h"
#include "archive_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bq::TArchiveMemorySource source(bq::TByteView(data, size));
  bq::TXzStream xz(source);
  uint8_t buffer[4096];
  uint64_t total = 0;
  for (size_t n; total < (uint64_t{16} << 20) && (n = xz.Read(buffer, sizeof buffer)) > 0;) total += n;
  if (xz.Position() != total) __builtin_trap();
  return FuzzArchive<bq::TSimpleTar>(data, size, "fuzz.xz");
}
