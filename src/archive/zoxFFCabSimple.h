// Microsoft Cabinet listing: CFHEADER and the CFFILE entries.
#pragma once
#include "archive/quArchiveSimple.h"

namespace bq {

class TSimpleCab : public TSimpleArchive {
public:
  TSimpleCab() {
    ListFiles = false;
    HasSizes = true;  // unpacked only: a file's packed size is not recorded
  }
  bool LoadFromStream(TArchiveSource& source) override;
  // "MSCF" at the start.
  static bool Recognise(TArchiveSource& source);

  uint64_t StreamSize = 0;
  uint64_t CabinetSize = 0;   // cbCabinet
  uint16_t FolderCount = 0;   // cFolders
  uint16_t FileCount = 0;     // cFiles
};

}  // namespace bq
