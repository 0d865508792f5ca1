// RAR 1.5 to 4.x listing: the chain of blocks from the start of the file.
#pragma once
#include <string>

#include "archive/quArchiveSimple.h"

namespace bq {

class TSimpleRar : public TSimpleArchive {
public:
  TSimpleRar() { HasCRC = HasSizes = true; }
  bool LoadFromStream(TArchiveSource& source) override;
  // The marker block "Rar!", 0x1A, 0x07, 0x00 at the start.
  static bool Recognise(TArchiveSource& source);
};

// A file name stored with flag 0x200: the 8-bit form, a zero byte and the compressed UTF-16 form
// (or, with no zero byte, UTF-8). Returns UTF-8.
std::string DecodeRarName(TByteView stored);

}  // namespace bq
