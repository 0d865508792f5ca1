#include "tags/quTagMP4.h"

#include <cstring>
#include <iterator>

#include "platform/bqText.h"

namespace bq {

namespace {

constexpr uint32_t FourCC(const char (&s)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24 | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8 | static_cast<uint8_t>(s[3]);
}
constexpr uint32_t Copyright(const char (&s)[4]) {  // "\xA9nam" and its kin
  return 0xA9u << 24 | static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 | static_cast<uint8_t>(s[2]);
}

// An atom type as text; the 0xA9 of iTunes names as "©", other bytes outside ASCII as "?".
std::string TypeText(uint32_t type) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const uint8_t b = static_cast<uint8_t>(type >> shift);
    if (b == 0xA9) s += "\xC2\xA9";
    else s += b >= 32 && b < 127 ? static_cast<char>(b) : '?';
  }
  return s;
}

struct TItemLabel { uint32_t Type; const char* Label; };
constexpr TItemLabel ItemLabels[] = {
    {Copyright("nam"), "Title"},    {Copyright("ART"), "Artist"},     {FourCC("aART"), "Album artist"},
    {Copyright("alb"), "Album"},    {Copyright("day"), "Year"},       {FourCC("trkn"), "Track"},
    {FourCC("disk"), "Disc"},       {Copyright("gen"), "Genre"},      {FourCC("gnre"), "Genre"},
    {Copyright("cmt"), "Comment"},  {Copyright("wrt"), "Composer"},   {Copyright("too"), "Encoder"},
    {FourCC("cpil"), "Compilation"}, {FourCC("tmpo"), "BPM"},         {Copyright("grp"), "Grouping"},
    {Copyright("lyr"), "Lyrics"},   {FourCC("desc"), "Description"},  {FourCC("cprt"), "Copyright"},
    {FourCC("pgap"), "Gapless playback"}};

constexpr uint32_t AacSampleRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};

// MSB-first bits of a view; reads past the end give zeros and clear Ok.
struct TBitReader {
  TByteView View;
  uint64_t Bit = 0;
  bool Ok = true;
  uint32_t Read(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++Bit) {
      const uint64_t byte = Bit / 8;
      if (byte >= View.Size()) { Ok = false; v <<= 1; continue; }
      v = (v << 1) | ((View[static_cast<size_t>(byte)] >> (7 - Bit % 8)) & 1);
    }
    return v;
  }
  uint32_t SampleRate() {
    const uint32_t index = Read(4);
    if (index == 15) return Read(24);
    return index < std::size(AacSampleRates) ? AacSampleRates[index] : 0;
  }
};

// A descriptor's tag and length (1 to 4 bytes of 7 bits); false when it does not fit.
bool Descriptor(TByteView b, size_t& pos, uint8_t& tag, uint32_t& length) {
  if (!b.Has(pos, 1)) return false;
  tag = b[pos++];
  length = 0;
  for (int i = 0; i < 4; ++i) {
    if (!b.Has(pos, 1)) return false;
    const uint8_t v = b[pos++];
    length = (length << 7) | (v & 0x7F);
    if (!(v & 0x80)) break;
  }
  return b.Has(pos, length);
}

std::string Utf8Clean(std::string_view bytes) { return Utf16ToUtf8(Utf8ToUtf16(bytes)); }

std::string Utf16BEText(TByteView b) {
  std::u16string s;
  for (size_t i = 0; i + 1 < b.Size(); i += 2) s.push_back(static_cast<char16_t>(b[i] << 8 | b[i + 1]));
  return Utf16ToUtf8(s);
}

// A big-endian integer of 1, 2, 4 or 8 bytes as text.
std::string IntegerValue(TByteView b, bool isSigned) {
  uint64_t v = 0;
  const size_t n = b.Size();
  if (n != 1 && n != 2 && n != 4 && n != 8) return {};
  for (size_t i = 0; i < n; ++i) v = v << 8 | b[i];
  if (isSigned && n < 8 && (v >> (8 * n - 1)) & 1) v |= ~uint64_t{0} << (8 * n);
  return isSigned ? std::to_string(static_cast<int64_t>(v)) : std::to_string(v);
}

}  // namespace

std::string TTagMP4::AacObjectName(uint32_t objectType) {
  switch (objectType) {
    case 1: return "AAC Main";
    case 2: return "AAC LC";
    case 3: return "AAC SSR";
    case 4: return "AAC LTP";
    case 5: return "HE-AAC";
    case 6: return "AAC Scalable";
    case 23: return "AAC LD";
    case 29: return "HE-AACv2";
    case 39: return "AAC ELD";
    case 42: return "xHE-AAC";
    default: return "AAC (object type " + std::to_string(objectType) + ")";
  }
}

void TTagMP4::Damage(const std::string& message) {
  if (Error.empty()) Error = message;
}

bool TTagMP4::Fetch(uint64_t offset, uint64_t count, TByteView& view) {
  return FSource->Fetch(offset, count, FStorage, view);
}

bool TTagMP4::NextAtom(uint64_t pos, uint64_t end, TAtom& atom) {
  if (pos >= end || end - pos < 8) return false;
  TByteView h;
  Fetch(pos, end - pos < 16 ? end - pos : 16, h);
  uint32_t size32 = 0;
  if (!h.U32BE(0, size32) || !h.U32BE(4, atom.Type)) {
    Damage("the file ends inside an atom header");
    return false;
  }
  uint64_t size = size32, header = 8;
  if (size32 == 1) {  // a 64-bit size follows the type
    if (!h.U64BE(8, size)) {
      Damage("the file ends inside an atom header");
      return false;
    }
    header = 16;
  } else if (size32 == 0) {  // to the end of the parent
    size = end - pos;
  }
  if (size < header) {
    Damage("atom " + TypeText(atom.Type) + " has a size below its header's");
    return false;
  }
  if (size > end - pos) {
    Damage("atom " + TypeText(atom.Type) + " runs past its parent");
    return false;
  }
  atom.Start = pos;
  atom.Body = pos + header;
  atom.End = pos + size;
  return true;
}

void TTagMP4::Walk(uint64_t from, uint64_t to, int depth, uint32_t parent, TTrack* track) {
  if (depth > MaxDepth) {
    Damage("atoms nested deeper than " + std::to_string(MaxDepth));
    return;
  }
  TAtom a;
  TByteView v;
  for (uint64_t pos = from; pos < to && NextAtom(pos, to, a); pos = a.End) {
    if (++FAtoms > MaxAtoms) {
      Damage("more than " + std::to_string(MaxAtoms) + " atoms");
      return;
    }
    const uint64_t bodySize = a.End - a.Body;
    switch (a.Type) {
      case FourCC("moov"):
        Walk(a.Body, a.End, depth + 1, a.Type, nullptr);
        break;
      case FourCC("mdat"):
        if (depth == 0) MediaDataSize += bodySize;
        break;
      case FourCC("mvhd"):
      case FourCC("mdhd"): {
        if (a.Type == FourCC("mdhd") && !track) break;
        if (!Fetch(a.Body, bodySize < 32 ? bodySize : 32, v) || v.Empty()) break;
        uint32_t scale = 0, d32 = 0;
        uint64_t duration = 0;
        bool ok;
        if (v[0] == 1) {
          ok = v.U32BE(20, scale) && v.U64BE(24, duration);
        } else {
          ok = v.U32BE(12, scale) && v.U32BE(16, d32);
          duration = d32 == UINT32_MAX ? 0 : d32;  // all ones: unknown
        }
        if (!ok) break;
        if (track) {
          track->Audio.Timescale = scale;
          track->Audio.Duration = duration;
        } else {
          MovieTimescale = scale;
          MovieDuration = duration;
        }
        break;
      }
      case FourCC("trak"): {
        TTrack t;
        Walk(a.Body, a.End, depth + 1, a.Type, &t);
        if (!FTrackTaken && t.Handler == FourCC("soun") && t.EntryRead) {
          Audio = t.Audio;
          StreamRead = FTrackTaken = true;
        }
        break;
      }
      case FourCC("mdia"):
      case FourCC("minf"):
      case FourCC("stbl"):
        if (track) Walk(a.Body, a.End, depth + 1, a.Type, track);
        break;
      case FourCC("hdlr"):
        if (track && parent == FourCC("mdia") && Fetch(a.Body, 12, v)) v.U32BE(8, track->Handler);
        break;
      case FourCC("stsd"): {
        if (!track || track->EntryRead) break;
        TAtom entry;
        if (bodySize >= 8 && NextAtom(a.Body + 8, a.End, entry)) ReadSampleEntry(entry, depth + 1, *track);
        break;
      }
      case FourCC("udta"):
        if (parent == FourCC("moov")) Walk(a.Body, a.End, depth + 1, a.Type, nullptr);
        break;
      case FourCC("meta"): {
        if (parent != FourCC("udta") && parent != FourCC("moov")) break;
        // A full box (version and flags first) in ISO files, a plain container in QuickTime
        // ones: a first word of zero can only be the version and flags.
        uint32_t first = 1;
        const uint64_t body = Fetch(a.Body, 4, v) && v.U32BE(0, first) && first == 0 ? a.Body + 4 : a.Body;
        Walk(body, a.End, depth + 1, a.Type, nullptr);
        break;
      }
      case FourCC("ilst"): {
        if (parent != FourCC("meta")) break;
        TagExists = true;
        TAtom item;
        for (uint64_t p = a.Body; p < a.End && NextAtom(p, a.End, item); p = item.End) {
          if (++FAtoms > MaxAtoms || ++FItems > MaxItems) {
            Damage("too many tag items");
            break;
          }
          ReadItem(item, depth + 1);
        }
        break;
      }
      default:
        break;
    }
  }
}

void TTagMP4::ReadSampleEntry(const TAtom& entry, int depth, TTrack& track) {
  TByteView v;
  const uint64_t bodySize = entry.End - entry.Body;
  if (!Fetch(entry.Body, bodySize < 48 ? bodySize : 48, v) || v.Size() < 28) return;
  track.EntryRead = true;
  auto& audio = track.Audio;
  uint16_t version = 0, channels = 0;
  uint32_t rate = 0;
  v.U16BE(8, version);
  v.U16BE(16, channels);
  v.U32BE(24, rate);
  audio.Channels = channels;
  audio.SampleRate = rate >> 16;  // 16.16 fixed point
  uint64_t children = 28;
  if (version == 1) {
    children += 16;
  } else if (version == 2) {  // QuickTime: the rate as a double and the channel count after
    children += 36;
    uint64_t bits = 0;
    uint32_t ch = 0;
    if (v.U64BE(32, bits) && v.U32BE(40, ch)) {
      double d;
      std::memcpy(&d, &bits, sizeof d);
      if (d > 0 && d < 1e7) audio.SampleRate = static_cast<uint32_t>(d + 0.5);
      audio.Channels = ch;
    }
  }
  switch (entry.Type) {
    case FourCC("mp4a"): audio.Codec = "AAC"; break;
    case FourCC("alac"): audio.Codec = "ALAC"; break;
    default: audio.Codec = TypeText(entry.Type); break;
  }
  if (children > bodySize || depth > MaxDepth) return;
  // The codec's configuration: esds or alac, directly or inside a QuickTime "wave" atom.
  uint64_t from = entry.Body + children, to = entry.End;
  TAtom a;
  for (int level = 0; level < 2; ++level) {
    uint64_t wave = 0, waveEnd = 0;
    for (uint64_t p = from; p < to && NextAtom(p, to, a); p = a.End) {
      if (++FAtoms > MaxAtoms) return;
      if (a.Type == FourCC("esds")) {
        ReadEsds(a, track);
      } else if (a.Type == FourCC("alac") && entry.Type == FourCC("alac")) {
        // Its average bitrate is often the uncompressed one: the page takes the media data's.
        if (!Fetch(a.Body, 28, v) || v.Size() < 28) continue;
        uint32_t sampleRate = 0;
        v.U32BE(24, sampleRate);
        audio.Channels = v[13];
        if (sampleRate) audio.SampleRate = sampleRate;
      } else if (a.Type == FourCC("wave")) {
        wave = a.Body;
        waveEnd = a.End;
      }
    }
    if (!wave) break;
    from = wave;
    to = waveEnd;
  }
}

void TTagMP4::ReadEsds(const TAtom& esds, TTrack& track) {
  TByteView b;
  const uint64_t size = esds.End - esds.Body;
  if (!Fetch(esds.Body, size < 4096 ? size : 4096, b)) return;
  size_t pos = 4;  // version and flags
  uint8_t tag = 0;
  uint32_t length = 0;
  if (!Descriptor(b, pos, tag, length) || tag != 3 || length < 3) return;
  const size_t esEnd = pos + length;
  const uint8_t flags = b[pos + 2];
  pos += 3;
  if (flags & 0x80) pos += 2;
  if (flags & 0x40) pos += b.Has(pos, 1) ? 1 + b[pos] : 1;
  if (flags & 0x20) pos += 2;
  if (pos > esEnd) return;
  const TByteView es = b.Clamp(0, esEnd);
  if (!Descriptor(es, pos, tag, length) || tag != 4 || length < 13) return;
  const size_t configEnd = pos + length;
  auto& audio = track.Audio;
  const uint8_t objectType = es[pos];
  uint32_t avg = 0;
  es.U32BE(pos + 9, avg);
  audio.AverageBitrate = avg;
  switch (objectType) {
    case 0x66: audio.Codec = "AAC Main"; return;
    case 0x67: audio.Codec = "AAC LC"; return;
    case 0x68: audio.Codec = "AAC SSR"; return;
    case 0x69: case 0x6B: audio.Codec = "MP3"; return;
    case 0xA5: audio.Codec = "AC-3"; return;
    case 0xA6: audio.Codec = "E-AC-3"; return;
    case 0xAD: audio.Codec = "Opus"; return;
    case 0xDD: audio.Codec = "Vorbis"; return;
    case 0x40: break;
    default: return;
  }
  pos += 13;
  const TByteView config = es.Clamp(0, configEnd);
  if (!Descriptor(config, pos, tag, length) || tag != 5) return;
  TBitReader bits{config.Clamp(pos, length)};
  uint32_t aot = bits.Read(5);
  if (aot == 31) aot = 32 + bits.Read(6);
  uint32_t rate = bits.SampleRate();
  uint32_t channelConfig = bits.Read(4);
  if (aot == 5 || aot == 29) rate = bits.SampleRate();  // SBR: the output rate
  if (!bits.Ok) return;
  audio.Codec = AacObjectName(aot);
  if (rate) audio.SampleRate = rate;
  if (channelConfig >= 1 && channelConfig <= 6) audio.Channels = channelConfig;
  else if (channelConfig == 7) audio.Channels = 8;
  if (aot == 29 && audio.Channels == 1) audio.Channels = 2;  // parametric stereo
}

void TTagMP4::ReadItem(const TAtom& item, int depth) {
  if (depth > MaxDepth) return;
  const bool cover = item.Type == FourCC("covr");
  std::string label, mean, name;
  std::vector<std::string> values;
  for (const auto& row : ItemLabels)
    if (row.Type == item.Type) label = row.Label;
  TAtom a;
  TByteView v;
  for (uint64_t p = item.Body; p < item.End && NextAtom(p, item.End, a); p = a.End) {
    if (++FAtoms > MaxAtoms) return;
    const uint64_t size = a.End - a.Body;
    if (a.Type == FourCC("mean") || a.Type == FourCC("name")) {
      if (size < 4 || size > MaxTextBytes || !Fetch(a.Body + 4, size - 4, v)) continue;
      (a.Type == FourCC("mean") ? mean : name) = Utf8Clean(v.Chars());
      continue;
    }
    if (a.Type != FourCC("data") || size < 8 || !Fetch(a.Body, 8, v)) continue;
    uint32_t type = 0;
    v.U32BE(0, type);
    type &= 0xFFFFFF;
    const uint64_t valueSize = size - 8;
    if (cover) {
      if (Pictures.size() >= static_cast<size_t>(MaxItems)) continue;
      TTagPicture picture;
      picture.PictureType = 3;  // covr holds cover art
      picture.Size = valueSize;
      if (valueSize <= MaxPictureBytes && FPictureBytes + valueSize <= MaxPictureTotal && Fetch(a.Body + 8, valueSize, v)) {
        picture.Data.assign(v.Data(), v.Data() + v.Size());
        FPictureBytes += valueSize;
      }
      picture.MimeType = type == 13 ? "image/jpeg" : type == 14 ? "image/png" : type == 27 ? "image/bmp"
                                                                             : SniffPictureMime(TByteView(picture.Data));
      Pictures.push_back(std::move(picture));
      continue;
    }
    if (valueSize > MaxTextBytes || !Fetch(a.Body + 8, valueSize, v)) continue;
    std::string text;
    if (item.Type == FourCC("trkn") || item.Type == FourCC("disk")) {
      uint16_t n = 0, total = 0;
      if (!v.U16BE(2, n)) continue;
      v.U16BE(4, total);
      text = std::to_string(n) + (total ? "/" + std::to_string(total) : "");
    } else if (item.Type == FourCC("gnre")) {
      uint16_t g = 0;
      if (!v.U16BE(0, g)) continue;
      text = g >= 1 && g <= GenreList.size() ? GenreList[g - 1] : std::to_string(g);
    } else if (item.Type == FourCC("cpil") || item.Type == FourCC("pgap")) {
      if (v.Empty()) continue;
      text = v[0] ? "Yes" : "No";
    } else if (type == 1) {
      text = Utf8Clean(v.Chars());
    } else if (type == 2) {
      text = Utf16BEText(v);
    } else if (type == 21 || type == 22 || (type == 0 && item.Type == FourCC("tmpo"))) {
      text = IntegerValue(v, type == 21);
      if (text.empty()) continue;
    } else {
      text = std::to_string(valueSize) + " bytes";
    }
    values.push_back(std::move(text));
  }
  if (cover || values.empty()) return;
  if (item.Type == FourCC("----")) label = name.empty() ? "----" : name;
  if (label.empty()) label = TypeText(item.Type);
  for (char& ch : label)
    if (ch == '=') ch = '-';  // the list's name ends at the first "="
  std::string joined;
  for (const auto& s : values) joined += (joined.empty() ? "" : "; ") + s;
  Tags.Add(label + "=" + joined);
}

bool TTagMP4::LoadFromStream(TTagSource& source) {
  TagExists = StreamRead = FTrackTaken = false;
  Audio = {};
  MovieDuration = MovieTimescale = MediaDataSize = 0;
  Tags.Clear();
  Pictures.clear();
  Error.clear();
  FAtoms = FItems = 0;
  FPictureBytes = 0;
  FSource = &source;
  TByteView v;
  if (source.Fetch(4, 4, FStorage, v) && (v.Equals(0, "ftyp") || v.Equals(0, "moov")))
    Walk(0, source.Size(), 0, 0, nullptr);
  FSource = nullptr;
  FStorage.clear();
  FStorage.shrink_to_fit();
  return TagExists;
}

void TTagMP4::AddStreamInformation(TNameValueList& list) const {
  if (!StreamRead) return;
  list.Add("Codec=" + Audio.Codec);
  list.Add("Channels=" + std::to_string(Audio.Channels));
  list.Add("Samplerate=" + std::to_string(Audio.SampleRate) + " Hz");
  uint64_t duration = Audio.Duration, scale = Audio.Timescale;
  if (scale == 0 || duration == 0) duration = MovieDuration, scale = MovieTimescale;
  // kbit/s, as the MPEG group gives it: the esds (or ALAC) average, else the media data
  // over the duration.
  uint64_t bitrate = Audio.AverageBitrate;
  if (bitrate == 0 && duration > 0 && scale > 0) {
    const double average = static_cast<double>(MediaDataSize) * 8 * static_cast<double>(scale) / static_cast<double>(duration);
    if (average < 1e15) bitrate = static_cast<uint64_t>(average + 0.5);
  }
  if (bitrate) list.Add("Bitrate=" + std::to_string((bitrate + 500) / 1000));
  const std::string ms = DurationText(duration, scale);
  if (!ms.empty()) list.Add("Duration=" + ms);
}

}  // namespace bq
