// libFuzzer target for the audio readers: the bytes as a whole file through TTaggedFile (ID3v1,
// ID3v2 with the MPEG scan and frame walk, Vorbis comments and the last granule position in
// Ogg, Opus and FLAC in Ogg, FLAC with its PICTURE blocks, RIFF INFO, AIFF/AIFC with its ID3
// chunk, APEv2, ID3v2.2, MP4 atoms with ilst and covr) and every value the Audio page asks of
// them, the Pictures rows among them; the picture readers (FLAC picture block, its base64 form,
// an APEv2 cover item, image header sizes) on the raw bytes too. Seeds: fuzz/seed_tags.sh.
#include <cstddef>
#include <cstdint>

#include "tags/quTagAIFF.h"
#include "tags/quTagAPE.h"
#include "tags/bqViewAudioExtras.h"
#include "tags/quTagMP4.h"
#include "tags/quTags.h"

namespace {
size_t ID3v2Values(const bq::TTagID3v2& v2) {
  size_t total = 0;
  for (const auto& c : v2.Comments) total += c.Language.size() + c.ContentDescriptor.size() + c.Text.size();
  for (const auto& l : v2.UnsyncLyrics) total += bq::TTagID3v2::LyricsDisplay(l.Text).size();
  for (const auto& p : v2.Pictures) total += p.MimeType.size() + p.Description.size() + p.Data.size();
  for (const auto& p : v2.Popularimeters) total += p.Email.size() + p.Rating + (p.Counter & 1);
  for (const auto& o : v2.PrivateOwners) total += o.size();
  for (size_t i = 0; i < v2.URLTags.Count(); ++i) total += bq::TTagID3v2::FrameLabel(v2.URLTags.Name(i)).size();
  total += v2.UserStringTags.Count() + v2.UserURLTags.Count();
  return total;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bq::TTaggedFile file;
  file.LoadFromMemory("fuzz.mp3", bq::TByteView(data, size));
  size_t total = file.StreamInformation.Count() + file.TagCount();
  for (int i = 0; i < 7; ++i) total += file.TagID3v1.FieldValue(i).size();
  const auto& v2 = file.TagID3v2;
  for (size_t i = 0; i < v2.StringTags.Count(); ++i)
    total += bq::TTagID3v2::FrameDescription(v2.StringTags.Name(i)).size() + v2.StringTags.ValueAt(i).size();
  total += v2.TrackNo() + v2.Year() + v2.GenreString().size();
  for (size_t i = 0; i < file.TagWave.TagCount(); ++i) total += file.TagWave.TagName(i).size() + file.TagWave.TagValue(i).size();
  total += file.TagVorbis.TrackNo() + file.TagVorbis.Year() + file.TagVorbis.StringTags.Count();
  total += file.TagWave.Title().size() + file.TagID3v2.MPEG.WalkedFrames;
  total += ID3v2Values(v2);
  const bq::TTagAIFF& aiff = *file.TagAIFF;
  total += ID3v2Values(aiff.ID3) + aiff.Texts.Count() + aiff.CompressionType.size();
  const bq::TTagAPE& ape = *file.TagAPE;
  for (size_t i = 0; i < ape.Items.size(); ++i) total += ape.DisplayValue(i).size() + ape.Items[i].Key.size();
  total += file.TagVorbis.Pictures.size() + file.TagVorbis.Opus.PreSkip;
  // A few readers on their own, as if the same bytes were another file type's.
  bq::TTagSource source;
  source.OpenMemory(bq::TByteView(data, size));
  bq::TTagAPE apeAtStart;
  apeAtStart.LoadFrom(source);
  total += apeAtStart.Items.size();
  if (size >= 10) total += static_cast<size_t>(bq::TTagAIFF::Extended80(bq::TByteView(data, 10)) > 1);
  // Durations of any size (granule positions and data sizes reach it as well).
  if (size >= 16) {
    uint64_t units = 0, perSecond = 0;
    for (int i = 0; i < 8; ++i) units = units << 8 | data[i], perSecond = perSecond << 8 | data[8 + i];
    total += bq::DurationText(units, perSecond).size();
  }
  // The genre rule and the text decoder on short raw inputs too (frames reach them as well).
  const size_t head = size < 256 ? size : 256;
  total += bq::TTagID3v2::NormalizeGenreText(std::string_view(reinterpret_cast<const char*>(data), head)).size();
  total += bq::TTagID3v2::DecodeFrameText(bq::TByteView(data, head), size ? data[0] & 3 : 0).size();
  // MP4 lines and every picture as the page lists it.
  bq::TNameValueList lines;
  bq::MP4StreamLines(file, lines);
  bq::MP4TagLines(file, lines);
  const auto pictures = bq::AudioPictures(file);
  bq::PictureLines(pictures, lines);
  for (size_t i = 0; i < lines.Count(); ++i) total += lines.Line(i).size();
  total += static_cast<size_t>(bq::ShownPicture(pictures) + 1) + file.TagMP4().Error.size();
  // The picture readers on the bytes themselves.
  const bq::TByteView all(data, size);
  bq::TTagPicture picture;
  total += bq::ReadFlacPicture(all, picture) + picture.Data.size();
  total += bq::ReadVorbisPicture(std::string_view(reinterpret_cast<const char*>(data), size), picture);
  total += bq::ReadApePicture("Cover Art (Front)", all, picture);
  uint32_t w = 0, h = 0;
  total += bq::PictureDimensions(all, w, h) + w + h + bq::SniffPictureMime(all).size();
  return total == static_cast<size_t>(-1);
}
