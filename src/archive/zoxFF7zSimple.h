// 7z listing: the signature header, the next header (plain, or packed with LZMA or LZMA2),
// its streams, folders and substreams, and the files' names, sizes, times, attributes and CRCs.
#pragma once
#include "archive/quArchiveSimple.h"

namespace bq {

class TSimple7z : public TSimpleArchive {
public:
  TSimple7z() { HasCRC = HasSizes = true; }
  bool LoadFromStream(TArchiveSource& source) override;
  // The signature "7z", BC AF 27 1C at the start.
  static bool Recognise(TArchiveSource& source);
};

}  // namespace bq
