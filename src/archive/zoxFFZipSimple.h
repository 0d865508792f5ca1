// ZIP listing from the central directory.
#pragma once
#include "archive/quArchiveSimple.h"

namespace bq {

class TSimpleZip : public TSimpleArchive {
public:
  TSimpleZip() { HasCRC = HasSizes = true; }
  bool LoadFromStream(TArchiveSource& source) override;
  // An end of central directory record in the last 65,557 bytes.
  static bool Recognise(TArchiveSource& source);
};

}  // namespace bq
