// Tag readers of the audio subsystem: the name=value list, the common base and one class per
// tag kind (ID3v1, ID3v2 with the MPEG audio stream after it, Vorbis comments in Ogg and
// FLAC, RIFF INFO), and the tagged file that loads one file into all of them. Text is UTF-8.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bqBytes.h"
#include "tags/quTagList.h"
#include "tags/quTagPictures.h"
#include "tags/quTagSource.h"
#include "tags/zoxFFWAVSimple.h"

namespace bq {

// units / perSecond in milliseconds, rounded half to even, as the stream groups show a
// "Duration"; empty when perSecond is 0 or the result would not fit.
std::string DurationText(uint64_t units, uint64_t perSecond);

// The ID3v1 genres with their extensions; 12 ("Other") stands for the numbers past them.
extern const std::array<const char*, 148> GenreList;
constexpr uint8_t DefaultGenreIndex = 12;

class TTagBase {
public:
  virtual ~TTagBase() = default;

  std::string Comment;
  bool Changed = false;
  std::deque<std::string> ChangeHistory;  // newest first
  bool TagExists = false;

  virtual std::string Album() const { return FAlbum; }
  virtual std::string Artist() const { return FArtist; }
  virtual std::string Filename() const { return FFilename; }
  virtual uint8_t Genre() const { return FGenre; }
  virtual std::string GenreString() const;
  virtual std::string TagDescription() const { return "?"; }
  virtual std::string Title() const { return FTitle; }
  virtual uint32_t TrackCount() const { return FTrackCount; }
  virtual uint32_t TrackNo() const { return FTrackNo; }
  virtual std::string TrackString() const;
  virtual uint32_t Year() const { return FYear; }

  virtual void SetAlbum(const std::string& v) { SetText(FAlbum, v); }
  virtual void SetArtist(const std::string& v) { SetText(FArtist, v); }
  virtual void SetComment(const std::string& v) { SetText(Comment, v); }
  virtual void SetGenre(uint8_t v);
  virtual void SetGenreString(const std::string& v);
  virtual void SetTitle(const std::string& v) { SetText(FTitle, v); }
  virtual void SetTrackCount(uint32_t v) { FTrackCount = v; }
  virtual void SetTrackNo(uint32_t v);
  virtual void SetTrackString(const std::string& v);
  virtual void SetYear(uint32_t v);

  // Reads this reader's tag from the source; true when it was found. Never throws on bad
  // bytes; a failure to allocate is turned into false by LoadFromFile.
  virtual bool LoadFromStream(TTagSource& source) = 0;
  // Nothing in this system writes tags.
  virtual bool SaveToStream(TTagSource&) { return false; }

  // Opens the file on its own and loads it; any failure gives false.
  bool LoadFromFile(const std::string& name);
  // LoadFromStream with every failure turned into false.
  bool LoadFrom(TTagSource& source);

protected:
  void SetText(std::string& field, const std::string& v);
  std::string FAlbum, FArtist, FFilename, FTitle;
  uint8_t FGenre = 0;
  uint32_t FTrackCount = 0, FTrackNo = 0, FYear = 0;

  friend class TTaggedFile;
};

// ---- ID3v1.
extern const std::array<const char*, 7> ID3v1FieldLabels;

class TTagID3v1 : public TTagBase {
public:
  bool ID3v11() const { return FTrackFlag || FTrackNo != 0; }
  std::string TagDescription() const override { return ID3v11() ? "ID3v1.1" : "ID3v1.0"; }
  // The page's values, in the order of ID3v1FieldLabels.
  std::string FieldValue(int i) const;

  void SetTitle(const std::string& v) override;
  void SetArtist(const std::string& v) override;
  void SetAlbum(const std::string& v) override;
  void SetComment(const std::string& v) override;
  void SetTrackNo(uint32_t v) override;

  bool LoadFromStream(TTagSource& source) override;

private:
  bool FTrackFlag = false;
  std::string FYearText;  // the record's year field as written
};

// ---- ID3v2 and the MPEG audio stream after it.
enum TTagID3v2Version { id3v2Unknown, id3v22, id3v23, id3v24 };

// The first frame's "Xing" (VBR), "Info" (CBR) or "VBRI" (VBR) header.
struct TXingInfo {
  bool Found = false, FramesPresent = false, BytesPresent = false, TOCPresent = false, QualityPresent = false;
  bool Info = false, VBRI = false;
  uint32_t Frames = 0, Bytes = 0, Quality = 0;
};

struct TMPEGAudioInfo {
  int Version = 0;     // 0 MPEG-1, 1 MPEG-2
  int LayerIndex = 0;  // 0..2 MPEG-1 Layer I..III, 3..5 MPEG-2 Layer I..III
  uint16_t Bitrate = 0;      // kbit/s
  uint32_t SampleRate = 0;   // Hz
  int ChannelMode = 0;       // stereo, joint stereo, dual channel, mono
  int Emphasis = 0;
  bool Found = false;        // a header with valid bitrate and sample-rate indexes
  uint32_t FrameStart = 0;
  uint32_t TagEnd = 0;
  uint32_t Searched = 0;     // bytes looked at for a sync after TagEnd
  int64_t FileSize = 0;
  uint64_t AudioEnd = 0;     // the file's size less a final ID3v1 record
  TXingInfo Xing;
  // Without a Xing/Info/VBRI frame count, the frames walked from FrameStart within the first
  // FrameWalk bytes: their number, the sum of their bitrates and whether those differ.
  uint32_t WalkedFrames = 0;
  uint64_t WalkedBitrateSum = 0;
  bool BitratesDiffer = false;
};

// Looks for the first valid MPEG audio frame header at or after start (at most 4096 bytes are
// examined for it) and reads its Xing/Info/VBRI header; without a frame count there, walks the
// frames of the first FrameWalk bytes.
TMPEGAudioInfo ScanMPEGAudio(TTagSource& source, uint64_t start);
constexpr uint64_t FrameWalk = 4 * 1024 * 1024;
TMPEGAudioInfo ScanMPEGAudio(TTagSource& source, uint64_t start);

struct TID3v2Text {
  std::string ContentDescriptor;
  std::string Language;  // three 8-bit characters
  std::string Text;
};
struct TID3v2Picture {
  std::string Description;
  uint8_t PictureType = 0;
  std::string MimeType;
  std::vector<uint8_t> Data;
};
struct TID3v2Popularimeter {
  std::string Email;
  uint8_t Rating = 0;
  bool CounterPresent = false;
  uint64_t Counter = 0;  // UINT64_MAX when it does not fit
};
struct TID3v2UnknownData {
  std::string FrameId;
  std::vector<uint8_t> Data;
};

class TTagID3v2 : public TTagBase {
public:
  TTagID3v2Version ID3v2Version = id3v2Unknown;
  std::vector<TID3v2Text> Comments;
  std::vector<TID3v2Picture> Pictures;
  TNameValueList StringTags;      // frame id = text
  std::vector<TID3v2Text> UnsyncLyrics;
  TNameValueList URLTags;         // frame id = URL
  TNameValueList UserStringTags;  // TXXX: description = value
  TNameValueList UserURLTags;     // WXXX: description = URL
  std::vector<TID3v2UnknownData> UnknownData;
  std::vector<TID3v2Popularimeter> Popularimeters;  // POPM
  std::vector<std::string> PrivateOwners;           // PRIV: the owner identifiers

  bool Unsynchronisation = false, ExtendedHeader = false, Experimental = false, Footer = false;
  // An ID3v2 header whose tag was not read (another revision, an unknown flag, a damaged
  // extended header): the stream is still looked for after its declared size.
  bool TagUnread = false;
  uint64_t TagOffset = 0, TagSize = 0;
  TMPEGAudioInfo MPEG;

  std::string Album() const override { return StringTags.Value("TALB"); }
  std::string Artist() const override { return StringTags.Value("TPE1"); }
  std::string GenreString() const override { return StringTags.Value("TCON"); }
  std::string Title() const override { return StringTags.Value("TIT2"); }
  std::string TrackString() const override { return StringTags.Value("TRCK"); }
  std::string Language() const { return StringTags.Value("TLAN"); }
  uint32_t TrackNo() const override;
  uint32_t Year() const override;
  std::string TagDescription() const override;
  void SetYear(uint32_t v) override;

  bool LoadFromStream(TTagSource& source) override;
  // The "MPEG stream" lines. Without an ID3v2 tag only a Layer III header at offset 0 counts.
  void AddStreamInformation(TNameValueList& list) const;

  static std::string FrameDescription(std::string_view id);
  // The label the page shows for a frame id of any kind (its description, else the id).
  static std::string FrameLabel(std::string_view id);
  // The ID3v2.3 id of an ID3v2.2 one (the id itself when it has none).
  static std::string MapFrameId22(std::string_view id);
  // Lyrics as the page shows them: the first MaxLyricsShown bytes, CR LF and CR as LF.
  static std::string LyricsDisplay(const std::string& text);
  static constexpr size_t MaxLyricsShown = 4096;
  static constexpr size_t MaxPictureSize = 16 * 1024 * 1024;
  static std::string NormalizeGenreText(std::string_view text);
  static std::string DecodeFrameText(TByteView bytes, uint8_t encoding);
  // Drops the 00 of FF 00 before 00 or E0..FF. Whole-tag mode also drops a final FF 00.
  static std::vector<uint8_t> RemoveUnsynchronisation(TByteView bytes, bool wholeTag);

private:
  void Reset();
  void ReadFrame(std::string_view id, TByteView payload);
  int FYearLine = -1;  // the first "TYER" line while the frames are read
};

// ---- Vorbis comments in Ogg and native FLAC.
enum TVorbisFileFormat { vffUnknown, vffOgg, vffNativeFlac };

struct TNaticeFlacStreamInformation {
  uint32_t SampleRate = 0;
  uint8_t Channels = 0;
  uint8_t BitsPerSample = 0;
  uint64_t TotalSamples = 0;
  std::string MD5;
};

// The codec of an Ogg stream's first packet.
enum TOggCodec { ocUnknown, ocVorbis, ocOpus, ocFlac };

// "OpusHead": the Opus identification header.
struct TOpusHead {
  uint8_t Version = 0, Channels = 0, MappingFamily = 0;
  uint16_t PreSkip = 0;        // samples at 48 kHz
  uint32_t InputSampleRate = 0;
  int16_t OutputGain = 0;      // dB in Q7.8
};

struct TVorbisIdentification {
  uint32_t Version = 0;
  uint8_t Channels = 0;
  uint32_t SampleRate = 0;
  int32_t BitrateMaximum = 0, BitrateNominal = 0, BitrateMinimum = 0;
  uint8_t BlockSizes = 0, Framing = 0;
};

class TTagVorbis : public TTagBase {
public:
  TNaticeFlacStreamInformation FlacStreamInformation;
  TVorbisFileFormat FileFormat = vffUnknown;
  std::string Vendor;
  TNameValueList StringTags;  // NAME in upper case = value
  TVorbisIdentification Identification;
  TOggCodec Codec = ocUnknown;  // Ogg only
  TOpusHead Opus;
  // The identification header or STREAMINFO was read: the stream lines can be shown even
  // without a comment block.
  bool StreamRead = false;
  // Ogg: the granule position (samples) of the stream's last page, looked for in the last
  // OggTailSearch bytes; the file's size for the average bitrate.
  uint64_t LastGranule = 0;
  bool GranuleFound = false;
  uint64_t FileSize = 0;

  std::string Album() const override { return StringTags.Value("ALBUM"); }
  std::string Artist() const override { return StringTags.Value("ARTIST"); }
  std::string GenreString() const override { return StringTags.Value("GENRE"); }
  std::string Title() const override { return StringTags.Value("TITLE"); }
  std::string TrackString() const override { return StringTags.Value("TRACKNUMBER"); }
  uint32_t TrackNo() const override;
  uint32_t Year() const override;
  std::string TagDescription() const override { return "Vorbis"; }

  bool LoadFromStream(TTagSource& source) override;
  void AddStreamInformation(TNameValueList& list) const;

  // METADATA_BLOCK_PICTURE comments and FLAC PICTURE blocks, in file order.
  std::vector<TTagPicture> Pictures;

  // A comment block (Ogg comment packet after "\3vorbis" or "OpusTags", FLAC VORBIS_COMMENT
  // block).
  bool ReadCommentBlock(TByteView block);
  // FLAC's STREAMINFO block body (34 bytes), native or in Ogg.
  bool ReadStreamInfo(TByteView body);

  static constexpr uint64_t MaxPacketSize = 16 * 1024 * 1024;
  static constexpr uint64_t OggTailSearch = 64 * 1024;

private:
  bool ReadOgg(TTagSource& source);
  // One complete Ogg packet of the first stream; false ends the walk.
  bool OggPacket(int number, TByteView p, bool& result);
  uint32_t FlacHeaders = 0;  // Ogg FLAC: the header packets the mapping announces
  void FindLastGranule(TTagSource& source);
  uint32_t FSerial = 0;  // the first page's stream serial number
  bool ReadFlac(TTagSource& source);
};

// ---- RIFF INFO and the wave format.
class TTagWave : public TTagBase {
public:
  TSimpleWave Wave;

  size_t TagCount() const { return Wave.Tags.Count(); }
  std::string TagName(size_t i) const;
  std::string TagValue(size_t i) const;

  std::string Album() const override { return Info("IPRD"); }
  std::string Artist() const override { return Info("IART"); }
  std::string GenreString() const override { return Info("IGNR"); }
  std::string Title() const override { return Info("INAM"); }
  std::string TrackString() const override { return Info("itrk"); }
  uint32_t TrackNo() const override;
  uint32_t Year() const override;
  std::string TagDescription() const override { return "Wave"; }

  bool LoadFromStream(TTagSource& source) override;
  void AddStreamInformation(TNameValueList& list) const;

private:
  std::string Info(std::string_view id) const;
};

class TTagAIFF;
class TTagAPE;

// ---- One audio file with one reader of each kind.
class TTagMP4;

class TTaggedFile {
public:
  TTaggedFile();
  ~TTaggedFile();
  TTaggedFile(const TTaggedFile&) = delete;
  TTaggedFile& operator=(const TTaggedFile&) = delete;

  std::string Filename;
  std::string Extension;
  TNameValueList StreamInformation;
  TTagID3v1 TagID3v1;
  TTagID3v2 TagID3v2;
  TTagVorbis TagVorbis;
  TTagWave TagWave;
  std::unique_ptr<TTagAIFF> TagAIFF;  // AIFF/AIFC: COMM, text chunks, "ID3 " chunk
  std::unique_ptr<TTagAPE> TagAPE;    // APEv2 at the end or start

  // MP4/M4A (quTagMP4.h).
  TTagMP4& TagMP4() { return *FMP4; }
  const TTagMP4& TagMP4() const { return *FMP4; }

  uint16_t TagCount() const;
  // Opens the file once and loads every reader from the same bytes; reports nothing.
  void LoadFromFile(const std::string& name);
  // The same over bytes in memory.
  void LoadFromMemory(const std::string& name, TByteView bytes);

private:
  void LoadAll(TTagSource& source);
  std::unique_ptr<TTagMP4> FMP4;
};

}  // namespace bq
