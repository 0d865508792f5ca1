// Any bytes as a TWindowsChm archive, read through the reader and through the dispatcher; every
// entry's texts are made as the Archive page makes them.
#include <cstddef>
#include <cstdint>

#include "archive/zoxFFChmWindows.h"
#include "archive/quDate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bq::TArchiveMemorySource source(bq::TByteView(data, size));
  bq::TWindowsChm reader;
  reader.ListFiles = true;
  reader.LoadFromStream(source);
  size_t total = 0;
  for (const auto& e : reader.Files)
    total += e.Filename.size() + e.SizePackedAsString().size() + bq::TimestampText(e.Timestamp).size() + e.CRC32AsString().size();
  bq::TAnyArchive any;
  any.Open("fuzz.chm", source);
  if (total == static_cast<size_t>(-1)) __builtin_trap();
  return 0;
}
