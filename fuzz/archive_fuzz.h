// The body of the archive fuzz targets: any bytes as one reader's archive, read through the
// reader and through the dispatcher (by the given name); every entry's texts are made as the
// Archive page makes them.
#pragma once
#include <cstddef>
#include <cstdint>

#include "archive/quArchiveSimple.h"
#include "archive/quDate.h"

template <class TReader>
int FuzzArchive(const uint8_t* data, size_t size, const char* name) {
  bq::TArchiveMemorySource source(bq::TByteView(data, size));
  TReader reader;
  reader.ListFiles = true;
  reader.LoadFromStream(source);
  size_t total = 0;
  for (const auto& e : reader.Files)
    total += e.Filename.size() + e.SizePackedAsString().size() + e.SizeUnpackedAsString().size() + e.TimestampAsString().size() + e.CRC32AsString().size();
  bq::TAnyArchive any;
  any.Open(name, source);
  if (total == static_cast<size_t>(-1)) __builtin_trap();
  return 0;
}
