// ISO 9660 listing: the directory tree from the root record of the primary volume descriptor,
// with Rock Ridge names (SUSP "NM") when the image has them, else Joliet names (UCS-2) when a
// Joliet descriptor exists, else the ISO 9660 names without their version.
#pragma once
#include "archive/quArchiveSimple.h"

namespace bq {

class TSimpleIso : public TSimpleArchive {
public:
  TSimpleIso() { HasSizes = true; }
  bool LoadFromStream(TArchiveSource& source) override;
  // "CD001" in the first volume descriptor, at 0x8001.
  static bool Recognise(TArchiveSource& source);

  enum class TNames { inPlain, inJoliet, inRockRidge };
  TNames Names = TNames::inPlain;  // the names the listing took

  // Bounds of the walk: a deeper tree or more entries ends the listing with a message.
  static constexpr size_t kMaxDepth = 64;
  static constexpr size_t kMaxEntries = 1000000;
};

}  // namespace bq
