// The Zone.Identifier reader and the stream content text over any bytes: bounded output, at
// most one row per key, and text only for short streams.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "streams/zoxZoneIdentifier.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bq::TByteView bytes(data, size);
  const auto rows = bq::ParseZoneIdentifier(bytes);
  if (rows.size() > 3) std::abort();
  size_t total = 0;
  for (const auto& [name, value] : rows) total += value.size();
  // 8-bit text grows at most threefold as UTF-8, UTF-16 at most 3 bytes for 2.
  if (total > 3 * size + 64) std::abort();
  const std::string text = bq::StreamContentText(bytes);
  if (text.size() > bq::MaxContentBytes) std::abort();
  return 0;
}
