#include "tags/bqViewAudioExtras.h"

#include "tags/quTagAPE.h"
#include "tags/quTagMP4.h"
#include "tags/quTags.h"

namespace bq {

std::vector<TPictureEntry> AudioPictures(const TTaggedFile& file) {
  std::vector<TPictureEntry> pictures;
  for (const auto& p : file.TagID3v2.Pictures)
    pictures.push_back({p.PictureType, p.MimeType, p.Data.size(), TByteView(p.Data)});
  for (const auto* list : {&file.TagVorbis.Pictures, &file.TagMP4().Pictures})
    for (const auto& p : *list) pictures.push_back({p.PictureType, p.MimeType, p.Size, TByteView(p.Data)});
  // APEv2 covers: the picture bytes follow the description inside the item's value.
  for (const auto& item : file.TagAPE->Items) {
    TTagPicture p;
    if (!item.Binary() || !ReadApePicture(item.Key, TByteView(item.Data), p)) continue;
    const TByteView bytes = p.Size <= MaxPictureBytes ? TByteView(item.Data).Tail(item.Data.size() - p.Size) : TByteView();
    pictures.push_back({p.PictureType, p.MimeType, p.Size, bytes});
  }
  return pictures;
}

void PictureLines(const std::vector<TPictureEntry>& pictures, TNameValueList& list) {
  for (const auto& p : pictures) list.Add(PictureTypeName(p.PictureType) + "=" + PictureSummary(p));
}

void MP4StreamLines(const TTaggedFile& file, TNameValueList& list) { file.TagMP4().AddStreamInformation(list); }

void MP4TagLines(const TTaggedFile& file, TNameValueList& list) {
  const auto& tags = file.TagMP4().Tags;
  for (size_t i = 0; i < tags.Count(); ++i) list.Add(tags.Line(i));
}

}  // namespace bq
