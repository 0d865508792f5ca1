// The Audio page's MP4 groups and its "Pictures" group: the lines they show, and every picture
// of a file in the order of its rows.
#pragma once
#include <vector>

#include "tags/quTagList.h"
#include "tags/quTagPictures.h"

namespace bq {

class TTaggedFile;

// ID3v2 APIC frames, FLAC PICTURE blocks and METADATA_BLOCK_PICTURE comments, MP4 covr items,
// in that order. The entries view bytes the tagged file holds.
std::vector<TPictureEntry> AudioPictures(const TTaggedFile& file);
// One "Type name=summary" line per picture.
void PictureLines(const std::vector<TPictureEntry>& pictures, TNameValueList& list);
void MP4StreamLines(const TTaggedFile& file, TNameValueList& list);
void MP4TagLines(const TTaggedFile& file, TNameValueList& list);

}  // namespace bq
