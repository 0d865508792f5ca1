#include "tags/quTags.h"

#include "platform/bqText.h"
#include "tags/quTagAIFF.h"
#include "tags/quTagAPE.h"
#include "tags/quTagMP4.h"

namespace bq {

const std::array<const char*, 148> GenreList = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop",
    "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game",
    "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative",
    "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial",
    "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta",
    "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave",
    "Psychedelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka",
    "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk", "Folk-Rock", "National Folk", "Swing",
    "Fast Fusion", "Bebob", "Latin", "Revival", "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock",
    "Progressive Rock", "Psychedelic Rock", "Symphonic Rock", "Slow Rock", "Big Band", "Chorus",
    "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson", "Opera", "Chamber Music", "Sonata",
    "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba",
    "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo",
    "Acapella", "Euro-House", "Dance Hall", "Goa", "Drum", "Club-House", "Hardcore", "Terror", "Indie",
    "Britpop", "Negerpunk", "Polsk Punk", "Beat", "Christian Gangsta", "Heavy Metal", "Black Metal",
    "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa", "Trash Metal", "Anime",
    "JPop", "SynthPop"};

const std::array<const char*, 7> ID3v1FieldLabels = {"Artist", "Title", "Album", "Track", "Year", "Genre", "Comment"};

namespace {
// A number read by the integer text rule, 0 when the text is not a non-negative one.
uint32_t NonNegative(std::string_view text) {
  int64_t v = 0;
  return IntegerText(text, v) && v >= 0 ? static_cast<uint32_t>(v) : 0;
}
std::string BeforeSlash(const std::string& s) { return s.substr(0, s.find('/')); }

// Text cut to at most n characters (UTF-8 sequences count as one).
std::string FirstChars(const std::string& s, size_t n) {
  size_t count = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;
    if (count++ == n) return s.substr(0, i);
  }
  return s;
}
}  // namespace

std::string DurationText(uint64_t units, uint64_t perSecond) {
  if (perSecond == 0) return {};
  const uint64_t whole = units / perSecond, rest = units % perSecond;
  if (whole > UINT64_MAX / 1000 - 1 || rest > UINT64_MAX / 1000) return {};
  const uint64_t num = rest * 1000, q = num / perSecond, r = num % perSecond;
  const uint64_t fraction = r > perSecond - r || (r == perSecond - r && (q & 1)) ? q + 1 : q;
  return std::to_string(whole * 1000 + fraction);
}

// ---- TTagBase.

std::string TTagBase::GenreString() const {
  const uint8_t g = Genre();
  return GenreList[g < GenreList.size() ? g : DefaultGenreIndex];
}

std::string TTagBase::TrackString() const {
  std::string s = std::to_string(TrackNo());
  if (TrackCount() != 0) s += "/" + std::to_string(TrackCount());
  return s;
}

void TTagBase::SetText(std::string& field, const std::string& v) {
  if (field == v) return;
  field = v;
  Changed = TagExists = true;
}

void TTagBase::SetGenre(uint8_t v) {
  if (FGenre == v) return;
  FGenre = v;
  Changed = TagExists = true;
}

void TTagBase::SetGenreString(const std::string& v) {
  if (v == GenreString()) return;
  FGenre = DefaultGenreIndex;
  for (size_t i = 0; i < GenreList.size(); ++i)
    if (v == GenreList[i]) FGenre = static_cast<uint8_t>(i);
  Changed = TagExists = true;
}

void TTagBase::SetTrackNo(uint32_t v) {
  if (FTrackNo == v) return;
  FTrackNo = v;
  Changed = TagExists = true;
}

void TTagBase::SetTrackString(const std::string& v) {
  const size_t slash = v.find('/');
  int64_t n = 0;
  if (IntegerText(v.substr(0, slash), n)) FTrackNo = static_cast<uint32_t>(n);
  if (slash != std::string::npos && IntegerText(v.substr(slash + 1), n)) FTrackCount = static_cast<uint32_t>(n);
}

void TTagBase::SetYear(uint32_t v) {
  if (FYear == v) return;
  FYear = v;
  Changed = TagExists = true;
}

bool TTagBase::LoadFrom(TTagSource& source) {
  try {
    return LoadFromStream(source);
  } catch (...) {  // only a failed allocation can get here
    return false;
  }
}

bool TTagBase::LoadFromFile(const std::string& name) {
  FFilename = name;
  TTagSource source;
  return source.Open(name) && LoadFrom(source);
}

// ---- TTagID3v1.

namespace {
std::string RecordText(TByteView record, size_t offset, size_t size) {
  std::string_view field = record.Clamp(offset, size).Chars();
  while (!field.empty() && (field.back() == ' ' || field.back() == '\0')) field.remove_suffix(1);
  if (field.empty() || field[0] == '\0') return {};
  field = field.substr(0, field.find('\0'));
  return AnsiToUtf8(field);
}
}  // namespace

std::string TTagID3v1::FieldValue(int i) const {
  switch (i) {
    case 0: return Artist();
    case 1: return Title();
    case 2: return Album();
    case 3: return std::to_string(TrackNo());
    case 4: {  // a year that is not a number is shown as written
      int64_t year = 0;
      return IntegerText(FYearText, year) && year >= 0 ? std::to_string(Year()) : FYearText;
    }
    case 5: return std::to_string(Genre());
    case 6: return Comment;
    default: return {};
  }
}

void TTagID3v1::SetTitle(const std::string& v) { TTagBase::SetTitle(FirstChars(v, 30)); }
void TTagID3v1::SetArtist(const std::string& v) { TTagBase::SetArtist(FirstChars(v, 30)); }
void TTagID3v1::SetAlbum(const std::string& v) { TTagBase::SetAlbum(FirstChars(v, 30)); }
// Only an ID3v1.1 record gives up the last two comment bytes to the track number.
void TTagID3v1::SetComment(const std::string& v) { TTagBase::SetComment(FirstChars(v, ID3v11() ? 28 : 30)); }

void TTagID3v1::SetTrackNo(uint32_t v) {
  TTagBase::SetTrackNo(v);
  if (FTrackFlag != (v != 0)) Changed = true;
  FTrackFlag = v != 0;
}

bool TTagID3v1::LoadFromStream(TTagSource& source) {
  TagExists = false;
  FTrackFlag = false;
  FYearText.clear();
  if (source.Size() < 128) return false;
  std::vector<uint8_t> storage;
  TByteView r;
  if (!source.Fetch(source.Size() - 128, 128, storage, r) || !r.Equals(0, "TAG")) return false;
  if (r[125] == 0 && r[126] != 0) {  // ID3v1.1: the track number ends the comment
    FTrackFlag = true;
    FTrackNo = r[126];
  }
  SetAlbum(RecordText(r, 63, 30));
  SetArtist(RecordText(r, 33, 30));
  SetComment(RecordText(r, 97, 30));
  SetTitle(RecordText(r, 3, 30));
  SetGenre(r[127]);
  FYearText = RecordText(r, 93, 4);
  int64_t year = 0;
  SetYear(IntegerText(FYearText, year) && year >= 0 ? static_cast<uint32_t>(year) : 0);
  TagExists = true;
  Changed = false;
  return true;
}

// ---- TTagVorbis.

uint32_t TTagVorbis::TrackNo() const { return NonNegative(BeforeSlash(TrackString())); }
uint32_t TTagVorbis::Year() const { return NonNegative(StringTags.Value("DATE")); }

namespace {
std::string Utf8Clean(std::string_view bytes) { return Utf16ToUtf8(Utf8ToUtf16(bytes)); }
// A Q7.8 gain in dB: "-3.5 dB", "0 dB".
std::string GainText(int16_t q78) {
  const int32_t v = q78;
  const uint32_t magnitude = static_cast<uint32_t>(v < 0 ? -v : v);
  std::string text = (v < 0 ? "-" : "") + std::to_string(magnitude >> 8);
  uint32_t fraction = magnitude & 0xFF;
  if (fraction != 0) {
    text += '.';
    // 1/256 steps have at most 8 decimals; trailing zeros are dropped.
    uint64_t digits = static_cast<uint64_t>(fraction) * 390625;  // fraction / 256 * 10^8
    std::string d = std::to_string(digits);
    d.insert(0, 8 - d.size(), '0');
    while (!d.empty() && d.back() == '0') d.pop_back();
    text += d;
  }
  return text + " dB";
}
}  // namespace

bool TTagVorbis::ReadCommentBlock(TByteView block) {
  TByteCursor c(block);
  const uint32_t vendorLength = c.U32LE();
  if (!c.Ok() || vendorLength > c.Remaining()) return false;
  const TByteView vendor = c.Bytes(vendorLength);
  const uint32_t count = c.U32LE();
  if (!c.Ok() || count > c.Remaining() / 4) return false;  // each comment needs its length
  std::vector<TByteView> comments;
  comments.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t length = c.U32LE();
    if (!c.Ok() || length > c.Remaining()) return false;
    comments.push_back(c.Bytes(length));
  }
  // The Ogg framing byte that follows is not needed.
  Vendor = Utf8Clean(vendor.Chars());
  TNameValueBuilder tags;
  for (const TByteView& comment : comments) {
    const std::string_view text = comment.Chars();
    const size_t eq = text.find('=');
    // A picture goes to the Pictures group rather than a row of base64 text.
    if (eq != std::string_view::npos && SameTextI(text.substr(0, eq), "METADATA_BLOCK_PICTURE")) {
      TTagPicture picture;
      if (ReadVorbisPicture(text.substr(eq + 1), picture)) {
        Pictures.push_back(std::move(picture));
        continue;
      }
    }
    if (eq == std::string_view::npos)
      tags.SetValue("", Utf8Clean(text));
    else
      tags.SetValue(UpperAscii(Utf8Clean(text.substr(0, eq))), Utf8Clean(text.substr(eq + 1)));
  }
  StringTags = tags.Take();
  return true;
}

bool TTagVorbis::LoadFromStream(TTagSource& source) {
  TagExists = StreamRead = GranuleFound = false;
  LastGranule = 0;
  Pictures.clear();
  FileSize = source.Size();
  FileFormat = vffUnknown;
  Codec = ocUnknown;
  FlacHeaders = 0;
  std::vector<uint8_t> storage;
  TByteView v;
  if (!source.Fetch(0, 4, storage, v)) return false;
  if (v.Equals(0, "fLaC")) {
    FileFormat = vffNativeFlac;
    TagExists = ReadFlac(source);
  } else if (v.Equals(0, "OggS")) {
    FileFormat = vffOgg;
    TagExists = ReadOgg(source);
    if (StreamRead) FindLastGranule(source);
  }
  return TagExists;
}

// Packets of the first page's stream are assembled across pages ("OggS" checked on each),
// each at most MaxPacketSize and what the file holds; pages of other streams are passed over.
// Packet 0 tells the codec: Vorbis (comment header in packet 1), Opus ("OpusTags" in packet
// 1) or FLAC (STREAMINFO in the mapping header, then one metadata block per header packet).
bool TTagVorbis::ReadOgg(TTagSource& source) {
  std::vector<uint8_t> storage, packet;
  TByteView v;
  uint64_t pos = 0;
  int packetNo = 0;
  bool result = false;
  for (int pages = 0; pages < 100000; ++pages) {
    if (!source.Fetch(pos, 27, storage, v) || !v.Equals(0, "OggS")) return result;
    uint32_t serial = 0;
    v.U32LE(14, serial);
    if (pos == 0) FSerial = serial;
    const uint8_t segments = v[26];
    if (!source.Fetch(pos + 27, segments, storage, v)) return result;
    const std::vector<uint8_t> lacing(v.Data(), v.Data() + v.Size());
    uint64_t dataSize = 0;
    for (uint8_t lace : lacing) dataSize += lace;
    const uint64_t data = pos + 27 + segments;
    pos = data + dataSize;
    if (serial != FSerial) continue;
    if (!source.Fetch(data, dataSize, storage, v)) return result;
    size_t at = 0;
    for (uint8_t lace : lacing) {
      if (packet.size() + lace > MaxPacketSize) return result;
      packet.insert(packet.end(), v.Data() + at, v.Data() + at + lace);
      at += lace;
      if (lace == 255) continue;  // the packet goes on
      if (!OggPacket(packetNo++, TByteView(packet), result)) return result;
      packet.clear();
    }
  }
  return result;
}

bool TTagVorbis::OggPacket(int number, TByteView p, bool& result) {
  if (number == 0) {
    if (p.Equals(0, "\x01vorbis") && p.Size() >= 7 + 23) {
      Codec = ocVorbis;
      TByteCursor c(p, 7);
      auto& id = Identification;
      id.Version = c.U32LE();
      id.Channels = c.U8();
      id.SampleRate = c.U32LE();
      id.BitrateMaximum = static_cast<int32_t>(c.U32LE());
      id.BitrateNominal = static_cast<int32_t>(c.U32LE());
      id.BitrateMinimum = static_cast<int32_t>(c.U32LE());
      id.BlockSizes = c.U8();
      id.Framing = c.U8();
    } else if (p.Equals(0, "OpusHead") && p.Size() >= 19) {
      Codec = ocOpus;
      TByteCursor c(p, 8);
      Opus.Version = c.U8();
      Opus.Channels = c.U8();
      Opus.PreSkip = c.U16LE();
      Opus.InputSampleRate = c.U32LE();
      Opus.OutputGain = static_cast<int16_t>(c.U16LE());
      Opus.MappingFamily = c.U8();
    } else if (p.Equals(0, "\x7F" "FLAC") && p.Size() >= 13 + 4 + 34 && p.Equals(9, "fLaC") && (p[13] & 0x7F) == 0) {
      // Mapping header: version 1.x, the number of header packets after it, then "fLaC" and
      // the STREAMINFO block.
      Codec = ocFlac;
      FlacHeaders = static_cast<uint32_t>((p[7] << 8) | p[8]);
      if (!ReadStreamInfo(p.Tail(17))) return false;
      return FlacHeaders != 0 || (p[13] & 0x80) == 0;  // 0: not known, read until the last block
    } else {
      return false;
    }
    StreamRead = true;
    return true;
  }
  switch (Codec) {
    case ocVorbis:
      result = p.Equals(0, "\x03vorbis") && ReadCommentBlock(p.Tail(7));
      return false;
    case ocOpus:
      result = p.Equals(0, "OpusTags") && ReadCommentBlock(p.Tail(8));
      return false;
    case ocFlac: {
      if (p.Size() < 4) return false;
      const bool last = (p[0] & 0x80) != 0;
      if ((p[0] & 0x7F) == 4) {
        uint32_t length = 0;
        p.U24BE(1, length);
        result = ReadCommentBlock(p.Clamp(4, length));
        return false;
      }
      return !last && (FlacHeaders == 0 ? number < 64 : static_cast<uint32_t>(number) < FlacHeaders);
    }
    default:
      return false;
  }
}

// The last page header of the first page's stream in the file's last bytes whose granule
// position is set (all ones: no packet ends on that page).
void TTagVorbis::FindLastGranule(TTagSource& source) {
  const uint64_t size = source.Size();
  const uint64_t span = size < OggTailSearch ? size : OggTailSearch;
  std::vector<uint8_t> storage;
  TByteView v;
  source.Fetch(size - span, span, storage, v);
  for (size_t i = v.Size() < 27 ? 0 : v.Size() - 27 + 1; i-- > 0;) {
    if (!v.Equals(i, "OggS") || v[i + 4] != 0) continue;
    uint32_t serial = 0, low = 0, high = 0;
    v.U32LE(i + 14, serial);
    v.U32LE(i + 6, low);
    v.U32LE(i + 10, high);
    if (serial != FSerial || (low == UINT32_MAX && high == UINT32_MAX)) continue;
    LastGranule = (static_cast<uint64_t>(high) << 32) | low;
    GranuleFound = true;
    return;
  }
}

bool TTagVorbis::ReadStreamInfo(TByteView v) {
  if (v.Size() < 34) return false;
  auto& s = FlacStreamInformation;
  s.SampleRate = (static_cast<uint32_t>(v[10]) << 12) | (static_cast<uint32_t>(v[11]) << 4) | (v[12] >> 4);
  s.Channels = static_cast<uint8_t>(((v[12] >> 1) & 7) + 1);
  s.BitsPerSample = static_cast<uint8_t>((((v[12] & 1) << 4) | (v[13] >> 4)) + 1);
  s.TotalSamples = (static_cast<uint64_t>(v[13] & 0x0F) << 32) | (static_cast<uint64_t>(v[14]) << 24) |
                   (static_cast<uint64_t>(v[15]) << 16) | (static_cast<uint64_t>(v[16]) << 8) | v[17];
  s.MD5 = HexBytes(v.Data() + 18, 16, true);
  StreamRead = true;
  return true;
}

// Blocks are reached by their declared lengths; a block that runs past the file ends the walk.
bool TTagVorbis::ReadFlac(TTagSource& source) {
  const uint64_t size = source.Size();
  std::vector<uint8_t> storage;
  TByteView v;
  uint64_t pos = 4;
  bool result = false, streamInfoSeen = false;
  uint64_t pictureBytes = 0;
  for (int n = 0; n < 4096 && pos + 8 < size; ++n) {
    if (!source.Fetch(pos, 4, storage, v)) break;
    const bool last = (v[0] & 0x80) != 0;
    const uint8_t type = v[0] & 0x7F;
    uint32_t length = 0;
    v.U24BE(1, length);
    pos += 4;
    if (!FitsIn(pos, length, size)) break;
    if (type == 0 && !streamInfoSeen) {
      streamInfoSeen = true;
      if (source.Fetch(pos, 34, storage, v) && length >= 34) ReadStreamInfo(v);
    } else if (type == 4) {
      if (!source.Fetch(pos, length, storage, v)) break;
      result = ReadCommentBlock(v);
    } else if (type == 6 && pictureBytes + length <= MaxPictureTotal) {  // PICTURE
      TTagPicture picture;
      pictureBytes += length;
      if (source.Fetch(pos, length, storage, v) && ReadFlacPicture(v, picture)) Pictures.push_back(std::move(picture));
    }
    pos += length;
    if (last) break;
  }
  return result;
}

void TTagVorbis::AddStreamInformation(TNameValueList& list) const {
  if (!StreamRead) return;
  static const char* const kContainers[] = {"Unknown", "Ogg container", "Native flac"};
  list.SetValue("Container", kContainers[FileFormat]);
  const auto flac = [&] {
    const auto& s = FlacStreamInformation;
    list.SetValue("Channels", std::to_string(s.Channels));
    list.SetValue("Samplerate", std::to_string(s.SampleRate) + " Hz");
    list.SetValue("Bits/sample", std::to_string(s.BitsPerSample));
    if (s.SampleRate != 0) list.SetValue("Length", std::to_string(s.TotalSamples / s.SampleRate) + " seconds");
    list.SetValue("MD5", s.MD5);
  };
  if (FileFormat == vffOgg && Codec == ocOpus) {
    // Opus always decodes at 48 kHz; the first PreSkip samples of the granule count are not
    // played.
    list.SetValue("Codec", "Opus");
    list.SetValue("Channels", std::to_string(Opus.Channels));
    list.SetValue("Input samplerate", std::to_string(Opus.InputSampleRate) + " Hz");
    list.SetValue("Pre-skip", std::to_string(Opus.PreSkip));
    list.SetValue("Output gain", GainText(Opus.OutputGain));
    if (GranuleFound && LastGranule >= Opus.PreSkip) {
      const std::string duration = DurationText(LastGranule - Opus.PreSkip, 48000);
      if (!duration.empty()) list.SetValue("Duration", duration);
    }
  } else if (FileFormat == vffOgg && Codec == ocFlac) {
    list.SetValue("Codec", "FLAC");
    flac();
    const std::string duration = GranuleFound ? DurationText(LastGranule, FlacStreamInformation.SampleRate) : std::string();
    if (!duration.empty()) list.SetValue("Duration", duration);
  } else if (FileFormat == vffOgg) {
    list.SetValue("Channels", std::to_string(Identification.Channels));
    list.SetValue("Samplerate", std::to_string(Identification.SampleRate) + " Hz");
    // An unset nominal bitrate (0, or negative from some writers) gives way to the average
    // over the file's size and duration.
    const uint32_t rate = Identification.SampleRate;
    if (Identification.BitrateNominal > 0) {
      list.SetValue("Bitrate (nominal)", std::to_string(Identification.BitrateNominal));
    } else if (GranuleFound && LastGranule > 0 && rate > 0) {
      const double average = static_cast<double>(FileSize) * 8 * rate / static_cast<double>(LastGranule);
      if (average < 1e12) list.SetValue("Bitrate (average)", std::to_string(static_cast<int64_t>(average + 0.5)));
    }
    const std::string duration = GranuleFound ? DurationText(LastGranule, rate) : std::string();
    if (!duration.empty()) list.SetValue("Duration", duration);
  } else if (FileFormat == vffNativeFlac) {
    flac();
  }
}

// ---- TTagWave.

namespace {
struct TWaveTagInfo { const char* Id; const char* Caption; };
constexpr TWaveTagInfo RIFFInfoCaptions[] = {
    {"INAM", "Title"}, {"IART", "Artist"}, {"IPRD", "Album"}, {"IGNR", "Genre"}, {"ICMT", "Comment"},
    {"IAAR", "Album artist"}, {"itrk", "Track number"}, {"ICRD", "Year"}, {"ICOP", "Copyright"}};
}  // namespace

namespace {
// INFO text is 8-bit in the ANSI code page, or UTF-8 from newer writers: text that decodes as
// UTF-8 is taken for it (ASCII reads the same either way).
std::string InfoText(std::string_view bytes) { return IsValidUtf8(bytes) ? std::string(bytes) : AnsiToUtf8(bytes); }
}  // namespace

std::string TTagWave::Info(std::string_view id) const { return InfoText(Wave.Tags.Value(id)); }
uint32_t TTagWave::TrackNo() const { return NonNegative(Info("itrk")); }
uint32_t TTagWave::Year() const { return NonNegative(Info("ICRD")); }

std::string TTagWave::TagName(size_t i) const {
  const std::string id = Wave.Tags.Name(i);
  for (const auto& row : RIFFInfoCaptions)
    if (id == row.Id) return row.Caption;
  return InfoText(id);
}

std::string TTagWave::TagValue(size_t i) const { return InfoText(Wave.Tags.ValueAt(i)); }

bool TTagWave::LoadFromStream(TTagSource& source) {
  std::string error;
  TagExists = Wave.Load(source, error);
  return TagExists;
}

void TTagWave::AddStreamInformation(TNameValueList& list) const {
  if (!TagExists) return;
  const auto& p = Wave.AudioProperties;
  list.Add("Channels=" + std::to_string(p.Channels));
  list.Add("Samplerate=" + std::to_string(p.SamplingRate) + " Hz");
  list.Add("Bits/sample=" + std::to_string(p.BitsPerSample));
  const std::string duration = Wave.DataFound ? DurationText(Wave.DataSize, p.BytesPerSecond) : std::string();
  if (!duration.empty()) list.Add("Duration=" + duration);
}

// ---- TTaggedFile.

TTaggedFile::TTaggedFile()
    : TagAIFF(std::make_unique<TTagAIFF>()), TagAPE(std::make_unique<TTagAPE>()), FMP4(std::make_unique<TTagMP4>()) {}
TTaggedFile::~TTaggedFile() = default;

uint16_t TTaggedFile::TagCount() const {
  return static_cast<uint16_t>(TagID3v1.TagExists + TagID3v2.TagExists + TagVorbis.TagExists + TagAIFF->TagExists +
                               TagAPE->TagExists);
}

void TTaggedFile::LoadAll(TTagSource& source) {
  for (TTagBase* tag : {static_cast<TTagBase*>(&TagID3v1), static_cast<TTagBase*>(&TagID3v2),
                        static_cast<TTagBase*>(&TagVorbis), static_cast<TTagBase*>(&TagWave),
                        static_cast<TTagBase*>(TagAIFF.get()), static_cast<TTagBase*>(TagAPE.get())}) {
    tag->FFilename = Filename;
    tag->LoadFrom(source);
  }
  FMP4->FFilename = Filename;
  FMP4->LoadFrom(source);
  try {
    TagID3v2.AddStreamInformation(StreamInformation);
    TagVorbis.AddStreamInformation(StreamInformation);
    TagWave.AddStreamInformation(StreamInformation);
    TagAIFF->AddStreamInformation(StreamInformation);
    FMP4->AddStreamInformation(StreamInformation);
  } catch (...) {
  }
}

namespace {
std::string ExtensionOf(const std::string& name) {
  const size_t dot = name.rfind('.');
  const size_t sep = name.find_last_of("\\:/");
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return {};
  return name.substr(dot);
}
}  // namespace

void TTaggedFile::LoadFromFile(const std::string& name) {
  StreamInformation.Clear();
  Filename = name;
  TTagSource source;
  if (source.Open(name)) LoadAll(source);
  Extension = ExtensionOf(name);
}

void TTaggedFile::LoadFromMemory(const std::string& name, TByteView bytes) {
  StreamInformation.Clear();
  Filename = name;
  TTagSource source;
  source.OpenMemory(bytes);
  LoadAll(source);
  Extension = ExtensionOf(name);
}

}  // namespace bq
