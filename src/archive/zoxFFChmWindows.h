// Compiled HTML Help listing: the help file's own directory (ITSF and ITSP headers, the chain
// of PMGL chunks), read with the bounded reader on every platform.
#pragma once
#include "archive/quArchiveSimple.h"

namespace bq {

class TWindowsChm : public TSimpleArchive {
public:
  TWindowsChm() { HasSizes = true; }  // unpacked only; no packed sizes, times or CRCs
  bool LoadFromStream(TArchiveSource& source) override;
  // "ITSF" at the start.
  static bool Recognise(TArchiveSource& source);
};

}  // namespace bq
