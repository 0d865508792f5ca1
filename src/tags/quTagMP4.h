// MP4/M4A files (ISO base media, QuickTime): the first audio track's codec and properties and
// the iTunes-style tags of moov/udta/meta/ilst, with "covr" pictures. Atoms are walked through
// the tag source by their headers; only the boxes that are read come into memory.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tags/quTagPictures.h"
#include "tags/quTags.h"

namespace bq {

struct TMP4AudioInfo {
  std::string Codec;  // "AAC LC", "HE-AAC", "ALAC", or the sample entry's type
  uint32_t Channels = 0;
  uint32_t SampleRate = 0;
  uint64_t AverageBitrate = 0;  // esds avgBitrate, bit/s
  uint64_t Duration = 0, Timescale = 0;  // mdhd of the track
};

class TTagMP4 : public TTagBase {
public:
  static constexpr int MaxDepth = 16;
  static constexpr int MaxAtoms = 100000;
  static constexpr int MaxItems = 4096;
  static constexpr uint64_t MaxTextBytes = 1024 * 1024;  // a longer text value is left out

  bool StreamRead = false;   // an audio track's sample entry was read
  TMP4AudioInfo Audio;
  uint64_t MovieDuration = 0, MovieTimescale = 0;  // mvhd
  uint64_t MediaDataSize = 0;                      // the payloads of the top-level mdat atoms
  TNameValueList Tags;                             // label = value, in ilst order
  std::vector<TTagPicture> Pictures;               // covr
  std::string Error;                               // the first damage met, if any

  std::string Album() const override { return Tags.Value("Album"); }
  std::string Artist() const override { return Tags.Value("Artist"); }
  std::string GenreString() const override { return Tags.Value("Genre"); }
  std::string Title() const override { return Tags.Value("Title"); }
  std::string TrackString() const override { return Tags.Value("Track"); }
  std::string TagDescription() const override { return "MP4"; }

  bool LoadFromStream(TTagSource& source) override;
  // The "MP4 stream" lines.
  void AddStreamInformation(TNameValueList& list) const;

  // The codec name of an MPEG-4 AudioSpecificConfig's object type.
  static std::string AacObjectName(uint32_t objectType);

private:
  struct TAtom {
    uint32_t Type = 0;
    uint64_t Start = 0, Body = 0, End = 0;  // header start, payload start, end
  };
  struct TTrack {
    uint32_t Handler = 0;
    bool EntryRead = false;
    TMP4AudioInfo Audio;
  };
  bool NextAtom(uint64_t pos, uint64_t end, TAtom& atom);
  void Walk(uint64_t from, uint64_t to, int depth, uint32_t parent, TTrack* track);
  void ReadSampleEntry(const TAtom& entry, int depth, TTrack& track);
  void ReadEsds(const TAtom& esds, TTrack& track);
  void ReadItem(const TAtom& item, int depth);
  bool Fetch(uint64_t offset, uint64_t count, TByteView& view);
  void Damage(const std::string& message);

  TTagSource* FSource = nullptr;
  std::vector<uint8_t> FStorage;
  int FAtoms = 0, FItems = 0;
  uint64_t FPictureBytes = 0;  // covr bytes kept so far
  bool FTrackTaken = false;
};

}  // namespace bq
