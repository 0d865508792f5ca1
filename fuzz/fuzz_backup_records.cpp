// The backup-record parser and the extended-attribute name list over any bytes: bounded,
// and every record listed had its whole header and name inside the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/bqStreams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bq::TByteView bytes(data, size);
  const auto records = bq::ParseBackupRecords(bytes);
  if (records.size() > size / bq::BackupStreamHeaderSize) std::abort();
  size_t names = 0;
  for (const auto& r : records) names += r.Name.size();
  if (names > size * 2) std::abort();  // UTF-16 to UTF-8: at most 3 bytes for 2
  const auto attributes = bq::ParseAttributeNames(bytes);
  if (attributes.size() > size / 2) std::abort();
  return 0;
}
