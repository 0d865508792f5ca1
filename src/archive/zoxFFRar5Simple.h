// RAR 5.0 listing: the chain of headers after the signature "Rar!", 0x1A, 0x07, 0x01, 0x00.
#pragma once
#include "archive/quArchiveSimple.h"

namespace bq {

class TSimpleRar5 : public TSimpleArchive {
public:
  TSimpleRar5() { HasCRC = HasSizes = true; }
  bool LoadFromStream(TArchiveSource& source) override;
  // The 8-byte signature at the start.
  static bool Recognise(TArchiveSource& source);

  // What the main header says of this volume.
  bool Volume = false;
  bool Solid = false;
  uint64_t VolumeNumber = 0;  // 0 for the first volume
};

// A RAR 5 variable-length integer: 7 bits a byte, low bits first, the high bit saying another
// byte follows; at most 10 bytes. Fails the cursor when it is cut or longer.
uint64_t ReadRarVint(TByteCursor& c);

}  // namespace bq
