// ID3v2.3 and 2.4 tags (TTagID3v2) and the MPEG audio stream after them.
#include <cstring>
#include <iterator>
#include <utility>
#include <unordered_set>

#include "platform/bqText.h"
#include "tags/quTags.h"

namespace bq {

namespace {

enum TFrameKind { fkText, fkURL, fkOther };
struct TID3v2TagInfo { const char* Id; TFrameKind Kind; const char* Description; };

constexpr TID3v2TagInfo ID3v2FrameTable[] = {
    {"TIT1", fkText, "Content group description"},
    {"TIT2", fkText, "Title/Songname/Content description"},
    {"TIT3", fkText, "Subtitle/Description refinement"},
    {"TALB", fkText, "Album/Movie/Show title"},
    {"TOAL", fkText, "Original album/movie/show title"},
    {"TRCK", fkText, "Track number/Position in set"},
    {"TPOS", fkText, "Part of a set"},
    {"TSST", fkText, "Set subtitle"},
    {"TSRC", fkText, "ISRC"},
    {"TPE1", fkText, "Lead artist/Lead performer/Soloist/Performing group"},
    {"TPE2", fkText, "Band/Orchestra/Acoompaniment"},
    {"TPE3", fkText, "Conductor"},
    {"TPE4", fkText, "Interpreted, remixed, or otherwise modified by"},
    {"TOPE", fkText, "Original artist/performer"},
    {"TEXT", fkText, "Lyricist/Text writer"},
    {"TOLY", fkText, "Original lyricist/text writer"},
    {"TCOM", fkText, "Composer"},
    {"TMCL", fkText, "Musician credits list"},
    {"TIPL", fkText, "Involved people list"},
    {"TENC", fkText, "Encoded by"},
    {"TBPM", fkText, "BPM"},
    {"TLEN", fkText, "Length"},
    {"TKEY", fkText, "Initial key"},
    {"TLAN", fkText, "Language"},
    {"TCON", fkText, "Content type"},
    {"TFLT", fkText, "File type"},
    {"TMED", fkText, "Media type"},
    {"TMOO", fkText, "Mood"},
    {"TCOP", fkText, "Copyright message"},
    {"TPRO", fkText, "Produced notice"},
    {"TPUB", fkText, "Publisher"},
    {"TOWN", fkText, "File owner/licensee"},
    {"TRSN", fkText, "Internet radio station name"},
    {"TRSO", fkText, "Internet radio station owner"},
    {"TOFN", fkText, "Original filename"},
    {"TDLY", fkText, "Playlist delay"},
    {"TDEN", fkText, "Encoding time"},
    {"TDOR", fkText, "Original release time"},
    {"TDRC", fkText, "Recording time"},
    {"TDRL", fkText, "Release time"},
    {"TDTG", fkText, "Tagging time"},
    {"TSSE", fkText, "Software/Hardware and settings used for encoding"},
    {"TSOA", fkText, "Album sort order"},
    {"TSOP", fkText, "Performer sort order"},
    {"TSOT", fkText, "Title sort order"},
    {"MCDI", fkOther, "Music CD identifier"},
    {"UFID", fkOther, "Unique file identifier"},
    {"TDAT", fkText, "Date"},
    {"TIME", fkText, "Time"},
    {"TORY", fkText, "Original release year"},
    {"TRDA", fkText, "Recording dates"},
    {"TSIZ", fkText, "Size"},
    {"TYER", fkText, "Year"},
    {"WCOM", fkURL, "Commercial information"},
    {"WCOP", fkURL, "Copyright/Legal information"},
    {"WOAF", fkURL, "Official audio file webpage"},
    {"WOAR", fkURL, "Official artist/performer webpage"},
    {"WOAS", fkURL, "Offical audio source webpage"},
    {"WORS", fkURL, "Official internet radion station homepage"},
    {"WPAY", fkURL, "Payment"},
    {"WPUB", fkURL, "Publishers official webpage"},
};

// ID3v2.2 frame ids and the 2.3 ids they are read and shown as.
constexpr std::pair<const char*, const char*> ID3v22FrameIds[] = {
    {"BUF", "RBUF"}, {"CNT", "PCNT"}, {"COM", "COMM"}, {"CRA", "AENC"}, {"ETC", "ETCO"}, {"GEO", "GEOB"},
    {"IPL", "IPLS"}, {"LNK", "LINK"}, {"MCI", "MCDI"}, {"MLL", "MLLT"}, {"PIC", "APIC"}, {"POP", "POPM"},
    {"REV", "RVRB"}, {"RVA", "RVAD"}, {"SLT", "SYLT"}, {"STC", "SYTC"}, {"TAL", "TALB"}, {"TBP", "TBPM"},
    {"TCM", "TCOM"}, {"TCO", "TCON"}, {"TCP", "TCMP"}, {"TCR", "TCOP"}, {"TDA", "TDAT"}, {"TDY", "TDLY"},
    {"TEN", "TENC"}, {"TFT", "TFLT"}, {"TIM", "TIME"}, {"TKE", "TKEY"}, {"TLA", "TLAN"}, {"TLE", "TLEN"},
    {"TMT", "TMED"}, {"TOA", "TOPE"}, {"TOF", "TOFN"}, {"TOL", "TOLY"}, {"TOR", "TORY"}, {"TOT", "TOAL"},
    {"TP1", "TPE1"}, {"TP2", "TPE2"}, {"TP3", "TPE3"}, {"TP4", "TPE4"}, {"TPA", "TPOS"}, {"TPB", "TPUB"},
    {"TRC", "TSRC"}, {"TRD", "TRDA"}, {"TRK", "TRCK"}, {"TS2", "TSO2"}, {"TSA", "TSOA"}, {"TSC", "TSOC"},
    {"TSI", "TSIZ"}, {"TSP", "TSOP"}, {"TSS", "TSSE"}, {"TST", "TSOT"}, {"TT1", "TIT1"}, {"TT2", "TIT2"},
    {"TT3", "TIT3"}, {"TXT", "TEXT"}, {"TXX", "TXXX"}, {"TYE", "TYER"}, {"UFI", "UFID"}, {"ULT", "USLT"},
    {"WAF", "WOAF"}, {"WAR", "WOAR"}, {"WAS", "WOAS"}, {"WCM", "WCOM"}, {"WCP", "WCOP"}, {"WPB", "WPUB"},
    {"WXX", "WXXX"},
};

// Labels of the frames other than text ones, as the page shows them.
constexpr std::pair<const char*, const char*> ID3v2OtherLabels[] = {
    {"TCMP", "Part of a compilation"}, {"TSO2", "Album artist sort order"}, {"TSOC", "Composer sort order"},
};

uint32_t NonNegative(std::string_view text) {
  int64_t v = 0;
  return IntegerText(text, v) && v >= 0 ? static_cast<uint32_t>(v) : 0;
}

// Four size bytes each taken whole (a syncsafe number when they are below 0x80).
uint64_t SyncSafe(TByteView b, size_t at) {
  return (static_cast<uint64_t>(b[at]) << 21) + (static_cast<uint64_t>(b[at + 1]) << 14) +
         (static_cast<uint64_t>(b[at + 2]) << 7) + b[at + 3];
}

bool IsUtf16(uint8_t encoding) { return encoding == 1 || encoding == 2; }

// Where the string that starts at from ends: the encoding's terminator (one zero byte, or a
// zero unit on a 2-byte boundary for UTF-16). Returns the string's length and sets next to
// the byte after the terminator (the end of the view when there is none).
size_t StringEnd(TByteView b, size_t from, uint8_t encoding, size_t& next) {
  if (IsUtf16(encoding)) {
    for (size_t i = from; i + 1 < b.Size(); i += 2)
      if (b[i] == 0 && b[i + 1] == 0) return next = i + 2, i - from;
  } else {
    const size_t z = b.Find(0, from);
    if (z != TByteView::npos) return next = z + 1, z - from;
  }
  next = b.Size();
  return from < b.Size() ? b.Size() - from : 0;
}

// A value's own byte-order mark (UTF-16 big-endian, UTF-8) is dropped; encoding 1 reads its
// mark in DecodeFrameText.
TByteView DropMark(TByteView b, uint8_t encoding) {
  if (encoding == 2 && b.Equals(0, "\xFE\xFF")) return b.Tail(2);
  if (encoding == 3 && b.Equals(0, "\xEF\xBB\xBF")) return b.Tail(3);
  return b;
}

std::string TrimBelow33(std::string s) {
  size_t a = 0, e = s.size();
  while (a < e && static_cast<unsigned char>(s[a]) < 33) ++a;
  while (e > a && static_cast<unsigned char>(s[e - 1]) < 33) --e;
  return s.substr(a, e - a);
}

std::vector<std::string> SplitAtZero(std::string_view text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t z = text.find('\0', start);
    parts.emplace_back(text.substr(start, z == std::string_view::npos ? std::string_view::npos : z - start));
    if (z == std::string_view::npos) return parts;
    start = z + 1;
  }
}

std::string GenreName(const std::string& part) {
  int64_t n = 0;
  if (IntegerText(part, n) && n >= 0 && n < static_cast<int64_t>(GenreList.size())) return GenreList[static_cast<size_t>(n)];
  return part;
}

// Rounds num / den to the nearest integer, halves to even.
int64_t RoundHalfEven(uint64_t num, uint64_t den) {
  const uint64_t q = num / den, r = num % den;
  if (r * 2 > den || (r * 2 == den && (q & 1))) return static_cast<int64_t>(q + 1);
  return static_cast<int64_t>(q);
}

std::string HexAndDecimal(uint32_t v) { return Hex8(v) + " (" + std::to_string(v) + ")"; }

}  // namespace

// ---- Text.

std::string TTagID3v2::DecodeFrameText(TByteView bytes, uint8_t encoding) {
  std::string text;
  if ((encoding == 1 && bytes.Size() >= 2) || encoding == 2) {
    bool bigEndian = encoding == 2;
    size_t start = 0;
    if (encoding == 1) {
      if (bytes[0] == 0xFF && bytes[1] == 0xFE) start = 2;
      else if (bytes[0] == 0xFE && bytes[1] == 0xFF) start = 2, bigEndian = true;
    }
    std::u16string units;
    units.reserve((bytes.Size() - start) / 2);
    for (size_t i = start; i + 1 < bytes.Size(); i += 2)
      units.push_back(static_cast<char16_t>(bigEndian ? (bytes[i] << 8) | bytes[i + 1] : (bytes[i + 1] << 8) | bytes[i]));
    text = Utf16ToUtf8(units);
  } else if (encoding == 3) {
    text = Utf16ToUtf8(Utf8ToUtf16(bytes.Chars()));
  } else {
    text = AnsiToUtf8(bytes.Chars());
  }
  return TrimBelow33(std::move(text));
}

std::vector<uint8_t> TTagID3v2::RemoveUnsynchronisation(TByteView bytes, bool wholeTag) {
  std::vector<uint8_t> out;
  out.reserve(bytes.Size());
  const size_t n = bytes.Size();
  for (size_t i = 0; i < n; ++i) {
    out.push_back(bytes[i]);
    if (bytes[i] != 0xFF || i + 1 >= n || bytes[i + 1] != 0) continue;
    const bool drop = i + 2 < n ? bytes[i + 2] == 0 || bytes[i + 2] >= 0xE0 : wholeTag;
    if (drop) ++i;  // the 00 goes; the byte after it is looked at afresh
  }
  return out;
}

std::string TTagID3v2::NormalizeGenreText(std::string_view text) {
  // Each leading "(ref)" of a part becomes a part of its own; the names of one part follow
  // its remaining text, the last reference first: (17)(4)Live gives Live, Disco, Rock.
  std::vector<std::string> parts;
  for (const std::string& whole : SplitAtZero(text)) {
    std::string_view rest = whole;
    std::vector<std::string> names;
    while (rest.size() >= 3 && rest[0] == '(' && rest[1] != '(') {
      const size_t close = rest.find(')');
      if (close == std::string_view::npos || close < 2) break;
      const std::string ref(rest.substr(1, close - 1));
      names.push_back(ref == "RX" ? "Remix" : ref == "CR" ? "Cover" : GenreName(ref));
      rest.remove_prefix(close + 1);
    }
    if (!rest.empty()) parts.emplace_back(rest);
    parts.insert(parts.end(), std::make_move_iterator(names.rbegin()), std::make_move_iterator(names.rend()));
  }
  std::vector<std::string> unique;
  std::unordered_set<std::string> seen;
  for (auto& part : parts) {
    part = GenreName(part);
    if (seen.insert(LowerAscii(part)).second) unique.push_back(std::move(part));
  }
  std::string out;
  for (size_t i = 0; i < unique.size(); ++i) {
    if (i) out += ';';
    const std::string& p = unique[i];
    if (p.find_first_of(";\"") == std::string::npos) {
      out += p;
      continue;
    }
    out += '"';
    for (char c : p) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    out += '"';
  }
  return out;
}

std::string TTagID3v2::FrameDescription(std::string_view id) {
  for (const auto& row : ID3v2FrameTable)
    if (row.Kind == fkText && id == row.Id) return row.Description;
  return std::string(id);
}

std::string TTagID3v2::FrameLabel(std::string_view id) {
  for (const auto& row : ID3v2FrameTable)
    if (id == row.Id) return row.Description;
  for (const auto& [frame, label] : ID3v2OtherLabels)
    if (id == frame) return label;
  return std::string(id);
}

std::string TTagID3v2::MapFrameId22(std::string_view id) {
  for (const auto& [old, now] : ID3v22FrameIds)
    if (id == old) return now;
  return std::string(id);
}

std::string TTagID3v2::LyricsDisplay(const std::string& text) {
  std::string out;
  out.reserve(text.size() < MaxLyricsShown ? text.size() : MaxLyricsShown);
  for (size_t i = 0; i < text.size(); ++i) {
    if (out.size() >= MaxLyricsShown) {
      // Cut on a character boundary.
      while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80) out.pop_back();
      if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xC0) out.pop_back();
      break;
    }
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// ---- Accessors.

uint32_t TTagID3v2::TrackNo() const {
  const std::string track = StringTags.Value("TRCK");
  return NonNegative(track.substr(0, track.find('/')));
}

uint32_t TTagID3v2::Year() const {
  int64_t v = 0;
  return IntegerText(StringTags.Value("TYER"), v) && v >= 0 ? static_cast<uint32_t>(v) : FYear;
}

std::string TTagID3v2::TagDescription() const {
  switch (ID3v2Version) {
    case id3v22: return "ID3v2.2";
    case id3v23: return "ID3v2.3";
    case id3v24: return "ID3v2.4";
    default: return "ID3v2.?";
  }
}

void TTagID3v2::SetYear(uint32_t v) {
  const std::string text = std::to_string(v);
  // While the frames are read the first "TYER" line is known, so many TYER frames cost no
  // search each.
  const bool known = FYearLine >= 0;
  const std::string old = known ? StringTags.ValueAt(static_cast<size_t>(FYearLine)) : StringTags.Value("TYER");
  if (old != text) ChangeHistory.push_front("TYER=" + old + "=>" + text);
  FYear = v;
  if (known)
    StringTags.Replace(static_cast<size_t>(FYearLine), StringTags.Name(static_cast<size_t>(FYearLine)) + "=" + text);
  else
    StringTags.SetValue("TYER", text);
  Changed = TagExists = true;
}

// ---- Reading.

void TTagID3v2::Reset() {
  TagExists = Changed = false;
  ID3v2Version = id3v2Unknown;
  StringTags.Clear();
  URLTags.Clear();
  UserStringTags.Clear();
  UserURLTags.Clear();
  Pictures.clear();
  Comments.clear();
  UnsyncLyrics.clear();
  UnknownData.clear();
  Popularimeters.clear();
  PrivateOwners.clear();
  FAlbum.clear(); FArtist.clear(); FTitle.clear(); Comment.clear();
  FGenre = 0;
  FTrackCount = FTrackNo = FYear = 0;
  TagOffset = TagSize = 0;
  Unsynchronisation = ExtendedHeader = Experimental = Footer = TagUnread = false;
  MPEG = {};
  FYearLine = -1;
}

void TTagID3v2::ReadFrame(std::string_view id, TByteView payload) {
  const uint8_t encoding = payload.Empty() ? 0 : payload[0];
  if (id[0] == 'T' && id != "TXXX") {  // every text row of the frame table starts with T
    const bool hasEncoding = !payload.Empty() && payload[0] < 4;
    const std::string text = DecodeFrameText(hasEncoding ? payload.Tail(1) : payload, hasEncoding ? encoding : 0);
    // A year that is a number is written back in its plain form over the first numeric TYER
    // line; other text ("2004-05", "") stays as it is.
    int64_t year = 0;
    const bool numericYear = id == "TYER" && IntegerText(text, year) && year >= 0;
    if (FYearLine < 0 && numericYear) FYearLine = static_cast<int>(StringTags.Count());
    StringTags.Add(std::string(id) + "=" + text);
    if (id == "TALB") SetAlbum(text);
    else if (id == "TIT2") SetTitle(text);
    else if (id == "TPE1") SetArtist(text);
    else if (numericYear) SetYear(static_cast<uint32_t>(year));
    else if (id == "TRCK") {
      const size_t slash = text.find('/');
      FTrackNo = NonNegative(text.substr(0, slash));
      int64_t count = 0;
      if (slash != std::string::npos && IntegerText(text.substr(slash + 1), count)) FTrackCount = static_cast<uint32_t>(count);
    }
  } else if (id == "TXXX" || id == "WXXX") {
    size_t next = 0;
    const size_t length = StringEnd(payload, 1, encoding, next);
    const std::string description = DecodeFrameText(payload.Clamp(1, length), encoding);
    const TByteView rest = payload.Tail(next);
    if (id == "TXXX")
      UserStringTags.Add(description + "=" + DecodeFrameText(DropMark(rest, encoding), encoding));
    else
      UserURLTags.Add(description + "=" + TrimControls(AnsiToUtf8(rest.Chars())));
  } else if (id[0] == 'W') {
    const bool hasEncoding = !payload.Empty() && payload[0] < 4;
    URLTags.Add(std::string(id) + "=" + DecodeFrameText(hasEncoding ? payload.Tail(1) : payload, hasEncoding ? encoding : 0));
  } else if (id == "APIC") {
    TID3v2Picture picture;
    size_t next = 0;
    const size_t mimeLength = StringEnd(payload, 1, 0, next);
    picture.MimeType = AnsiToUtf8(payload.Clamp(1, mimeLength).Chars());
    if (next < payload.Size()) picture.PictureType = payload[next++];
    const size_t at = next;
    const size_t descLength = StringEnd(payload, at, encoding, next);
    picture.Description = DecodeFrameText(payload.Clamp(at, descLength), encoding);
    const TByteView data = payload.Tail(next).Clamp(0, MaxPictureSize);
    picture.Data.assign(data.Data(), data.Data() + data.Size());
    Pictures.push_back(std::move(picture));
  } else if (id == "PIC") {  // ID3v2.2: a 3-character image format in place of the MIME type
    TID3v2Picture picture;
    const std::string format = UpperAscii(AnsiToUtf8(payload.Clamp(1, 3).Chars()));
    picture.MimeType = format == "JPG" ? "image/jpeg" : format == "PNG" ? "image/png" : "image/" + LowerAscii(format);
    if (payload.Size() > 4) picture.PictureType = payload[4];
    size_t next = 0;
    const size_t descLength = StringEnd(payload, 5, encoding, next);
    picture.Description = DecodeFrameText(payload.Clamp(5, descLength), encoding);
    const TByteView data = payload.Tail(next).Clamp(0, MaxPictureSize);
    picture.Data.assign(data.Data(), data.Data() + data.Size());
    Pictures.push_back(std::move(picture));
  } else if (id == "POPM") {  // e-mail, rating 0-255, an optional play counter of any length
    TID3v2Popularimeter p;
    size_t next = 0;
    const size_t length = StringEnd(payload, 0, 0, next);
    p.Email = AnsiToUtf8(payload.Clamp(0, length).Chars());
    if (next < payload.Size()) p.Rating = payload[next++];
    for (size_t i = next; i < payload.Size(); ++i) {
      if (p.Counter >> 56) {  // more than 64 bits
        p.Counter = UINT64_MAX;
        break;
      }
      p.Counter = p.Counter << 8 | payload[i];
      p.CounterPresent = true;
    }
    Popularimeters.push_back(std::move(p));
  } else if (id == "PRIV") {
    size_t next = 0;
    const size_t length = StringEnd(payload, 0, 0, next);
    PrivateOwners.push_back(AnsiToUtf8(payload.Clamp(0, length).Chars()));
  } else if (id == "USLT" || id == "COMM") {
    TID3v2Text item;
    if (payload.Size() >= 6) {
      item.Language = AnsiToUtf8(payload.Clamp(1, 3).Chars());
      size_t next = 0;
      const size_t length = StringEnd(payload, 4, encoding, next);
      item.ContentDescriptor = DecodeFrameText(payload.Clamp(4, length), encoding);
      item.Text = DecodeFrameText(payload.Tail(next), encoding);
    }
    (id == "COMM" ? Comments : UnsyncLyrics).push_back(std::move(item));
  } else {
    UnknownData.push_back({std::string(id), std::vector<uint8_t>(payload.Data(), payload.Data() + payload.Size())});
  }
}

bool TTagID3v2::LoadFromStream(TTagSource& source) {
  Reset();
  std::vector<uint8_t> headerStorage, tagStorage;
  TByteView h;
  if (!source.Fetch(0, 10, headerStorage, h)) return false;
  if (!h.Equals(0, "ID3")) {
    MPEG = ScanMPEGAudio(source, 0);
    return false;
  }
  const uint64_t tagSize = SyncSafe(h, 6);
  // A tag that lies in the file but cannot be read still tells where the audio starts.
  const auto unread = [&] {
    ID3v2Version = id3v2Unknown;
    if (!FitsIn(10, tagSize, source.Size())) return false;
    TagUnread = true;
    TagSize = tagSize;
    MPEG = ScanMPEGAudio(source, 10 + tagSize);
    return false;
  };
  if (h[3] == 2 && h[4] == 0) ID3v2Version = id3v22;
  else if (h[3] == 3 && h[4] == 0) ID3v2Version = id3v23;
  else if (h[3] == 4 && h[4] == 0) ID3v2Version = id3v24;
  else return unread();
  const bool v24 = ID3v2Version == id3v24, v22 = ID3v2Version == id3v22;
  const uint8_t flags = h[5];
  // ID3v2.2's bit 6 is compression, which has no defined method: such a tag is not read.
  if (flags & (v24 ? 0x0F : v22 ? 0x7F : 0x1F)) return unread();
  Unsynchronisation = flags & 0x80;
  ExtendedHeader = flags & 0x40;
  Experimental = flags & 0x20;
  Footer = v24 && (flags & 0x10);

  // The tag must lie in the file before anything is read into memory.
  TByteView tag;
  if (!FitsIn(10, tagSize, source.Size()) || !source.Fetch(10, tagSize, tagStorage, tag)) {
    ID3v2Version = id3v2Unknown;
    return false;
  }
  // The tag size counts the extended header: the frames are what follows it.
  uint64_t extended = 0;
  if (ExtendedHeader) {
    if (tag.Size() < 4) extended = UINT64_MAX;
    else if (v24) extended = SyncSafe(tag, 0);
    else extended = 4 + static_cast<uint64_t>((tag[0] << 24) | (tag[1] << 16) | (tag[2] << 8) | tag[3]);
    if (extended > tagSize) {
      Unsynchronisation = ExtendedHeader = Experimental = Footer = false;
      return unread();
    }
  }
  TByteView frames = tag.Tail(extended);
  std::vector<uint8_t> resynced;
  if (!v24 && Unsynchronisation) {
    resynced = RemoveUnsynchronisation(frames, true);
    frames = TByteView(resynced);
  }

  const size_t total = frames.Size();
  size_t pos = 0;
  const size_t headerSize = v22 ? 6 : 10;
  while (pos + 1 < total && total - pos >= headerSize) {
    if (frames[pos] == 0) break;  // padding
    std::string id;
    frames.Bytes(pos, v22 ? 3 : 4, id);
    uint64_t size = 0;
    if (v22) {
      uint32_t be = 0;
      frames.U24BE(pos + 3, be);
      size = be;
      pos += 6;
      const bool last = size > total - pos;
      const std::string raw = AnsiToUtf8(id);
      // Every frame is read as its 2.3 form, but for the picture frame's own layout.
      ReadFrame(raw == "PIC" ? raw : MapFrameId22(raw), frames.Clamp(pos, size));
      if (last) break;
      pos += static_cast<size_t>(size);
      continue;
    }
    if (v24) {
      size = SyncSafe(frames, pos + 4);
    } else {
      uint32_t be = 0;
      frames.U32BE(pos + 4, be);
      size = be;
    }
    uint32_t le = 0;
    frames.U32LE(pos + 4, le);
    if (size > tagSize && le < tagSize) size = tagSize;
    const uint8_t format = frames[pos + 9];
    pos += 10;
    const bool last = size > total - pos;
    TByteView payload = frames.Clamp(pos, size);
    std::vector<uint8_t> frameResynced;
    if (v24) {
      if (format & 0x01) payload = payload.Tail(4);  // the data-length indicator
      if (Unsynchronisation || (format & 0x02)) {
        frameResynced = RemoveUnsynchronisation(payload, false);
        payload = TByteView(frameResynced);
      }
    }
    ReadFrame(AnsiToUtf8(id), payload);
    if (last) break;
    pos += static_cast<size_t>(size);
  }

  FYearLine = -1;
  TagExists = true;
  Changed = false;
  TagOffset = 0;
  TagSize = tagSize;
  const std::string genre = StringTags.Value("TCON");
  if (!genre.empty()) StringTags.SetValue("TCON", NormalizeGenreText(genre));
  MPEG = ScanMPEGAudio(source, 10 + tagSize + (Footer ? 10 : 0));
  return true;
}

// ---- MPEG audio.

namespace {

constexpr uint16_t kBitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
constexpr uint32_t kRates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};
constexpr uint32_t kSamplesPerFrame[] = {384, 1152, 1152, 384, 1152, 576};

// A frame header's fields; false for no sync, MPEG-2.5, a reserved layer, a free-format or
// invalid bitrate, or a reserved sample rate.
struct TFrameHeader {
  int Version = 0, LayerIndex = 0, RateIndex = 0;
  uint16_t Bitrate = 0;
  uint32_t SampleRate = 0;
  bool Padding = false;
};
bool ReadFrameHeader(uint8_t b0, uint8_t b1, uint8_t b2, TFrameHeader& h) {
  if (b0 != 0xFF || (b1 & 0xF0) != 0xF0 || ((b1 >> 1) & 3) == 0) return false;
  h.Version = (b1 & 0x08) ? 0 : 1;
  h.LayerIndex = h.Version * 3 + (3 - ((b1 >> 1) & 3));
  const int bitrateIndex = b2 >> 4;
  h.RateIndex = (b2 >> 2) & 3;
  if (bitrateIndex < 1 || bitrateIndex > 14 || h.RateIndex > 2) return false;
  h.Bitrate = kBitrates[h.Version][h.LayerIndex % 3][bitrateIndex];
  h.SampleRate = kRates[h.Version][h.RateIndex];
  h.Padding = (b2 & 2) != 0;
  return true;
}
// The frame's length in bytes, header included.
uint64_t FrameLength(const TFrameHeader& h) {
  const uint64_t bits = static_cast<uint64_t>(h.Bitrate) * 1000;
  if (h.LayerIndex % 3 == 0) return (12 * bits / h.SampleRate + h.Padding) * 4;
  const uint64_t perFrame = h.LayerIndex == 5 ? 72 : 144;  // MPEG-2 Layer III: half the samples
  return perFrame * bits / h.SampleRate + h.Padding;
}

// Frames of the same version, layer and sample rate one after the other from the first, in
// the first FrameWalk bytes of the audio; a byte run that is not such a header ends the walk.
void WalkFrames(TTagSource& source, TMPEGAudioInfo& info, const TFrameHeader& first) {
  if (info.AudioEnd <= info.FrameStart) return;
  const uint64_t span = info.AudioEnd - info.FrameStart;
  std::vector<uint8_t> storage;
  TByteView w;
  source.Fetch(info.FrameStart, span < FrameWalk ? span : FrameWalk, storage, w);
  uint16_t low = UINT16_MAX, high = 0;
  for (uint64_t pos = 0; pos + 4 <= w.Size();) {
    TFrameHeader h;
    if (!ReadFrameHeader(w[pos], w[pos + 1], w[pos + 2], h) || h.Version != first.Version ||
        h.LayerIndex != first.LayerIndex || h.RateIndex != first.RateIndex)
      break;
    ++info.WalkedFrames;
    info.WalkedBitrateSum += h.Bitrate;
    if (h.Bitrate < low) low = h.Bitrate;
    if (h.Bitrate > high) high = h.Bitrate;
    pos += FrameLength(h);
  }
  info.BitratesDiffer = info.WalkedFrames > 0 && low != high;
}

}  // namespace

TMPEGAudioInfo ScanMPEGAudio(TTagSource& source, uint64_t start) {
  static constexpr size_t kSearch = 4096;
  static constexpr size_t kWindow = 1048576;
  TMPEGAudioInfo info;
  info.LayerIndex = 2;
  info.FileSize = static_cast<int64_t>(source.Size());
  info.TagEnd = static_cast<uint32_t>(start);
  info.AudioEnd = source.Size();
  {
    std::vector<uint8_t> storage;
    TByteView t;
    if (source.Size() >= start + 128 && source.Fetch(source.Size() - 128, 3, storage, t) && t.Equals(0, "TAG"))
      info.AudioEnd -= 128;
    // An APEv2 tag before it (or at the end) is not audio either: its footer gives its size,
    // and a header flag 32 bytes more.
    uint32_t apeSize = 0, apeFlags = 0;
    if (info.AudioEnd >= start + 32 && source.Fetch(info.AudioEnd - 32, 32, storage, t) && t.Equals(0, "APETAGEX") &&
        t.U32LE(12, apeSize) && t.U32LE(20, apeFlags)) {
      const uint64_t whole = static_cast<uint64_t>(apeSize) + ((apeFlags & 0x80000000u) ? 32 : 0);
      if (whole <= info.AudioEnd - start) info.AudioEnd -= whole;
    }
  }
  // Only the search's 4096 bytes and what a header and a Xing header after them need are read.
  const uint64_t rest = source.Size() > start ? source.Size() - start : 0;
  const uint64_t window = rest < kWindow ? rest : kWindow;
  std::vector<uint8_t> storage;
  TByteView w;
  source.Fetch(start, window < kSearch + 256 ? window : kSearch + 256, storage, w);

  // A header that is not valid (reserved fields, free format) does not end the search.
  size_t p = 0, examined = 0;
  bool inRun = false, synced = false;
  TFrameHeader header;
  while (examined < kSearch && p < window && p < w.Size()) {
    const uint8_t b = w[p++];
    ++examined;
    if (!inRun) {
      info.FrameStart = static_cast<uint32_t>(start + p - 1);
      inRun = b == 0xFF;
      continue;
    }
    if (b == 0xFF) continue;  // a run of 0xFF: the frame starts at its first byte
    inRun = false;
    if (p < w.Size() && ReadFrameHeader(0xFF, b, w[p], header)) {
      synced = true;
      break;
    }
  }
  info.Searched = static_cast<uint32_t>(examined);
  if (!synced) {
    if (examined >= kSearch) info.FrameStart = 0;
    return info;
  }
  TByteCursor c(w, p);
  c.Skip(1);
  const uint8_t fourth = c.U8();
  if (!c.Ok()) return info;
  info.Found = true;
  info.Version = header.Version;
  info.LayerIndex = header.LayerIndex;
  info.Bitrate = header.Bitrate;
  info.SampleRate = header.SampleRate;
  info.ChannelMode = fourth >> 6;
  info.Emphasis = fourth & 3;

  // "Xing"/"Info" follow the side information; "VBRI" is always 32 bytes after the header.
  TXingInfo& x = info.Xing;
  const size_t headerAt = p - 2;
  TByteCursor vbri(w, headerAt + 36);
  if (vbri.Bytes(4).Equals(0, "VBRI")) {
    vbri.Skip(6);  // version, delay, quality
    x.Bytes = vbri.U32BE();
    x.Frames = vbri.U32BE();
    x.Found = x.VBRI = x.BytesPresent = x.FramesPresent = vbri.Ok();
  }
  const bool mono = info.ChannelMode == 3;
  c.Skip(info.Version == 0 ? (mono ? 17 : 32) : (mono ? 9 : 17));
  const TByteView xing = c.Bytes(8);
  if (!x.Found && c.Ok() && (xing.Equals(0, "Xing") || xing.Equals(0, "Info"))) {
    x.Found = true;
    x.Info = xing.Equals(0, "Info");
    const uint8_t flags = xing[7];
    x.FramesPresent = flags & 1;
    x.BytesPresent = flags & 2;
    x.TOCPresent = flags & 4;
    x.QualityPresent = flags & 8;
    if (x.FramesPresent) x.Frames = c.U32BE();
    if (x.BytesPresent) x.Bytes = c.U32BE();
    if (x.TOCPresent) c.Skip(100);
    if (x.QualityPresent) x.Quality = c.U32BE();
    if (!c.Ok()) x = {};  // cut short by the end of the file
  }
  if (!(x.Found && x.FramesPresent && x.Frames > 0)) WalkFrames(source, info, header);
  return info;
}

void TTagID3v2::AddStreamInformation(TNameValueList& list) const {
  static const char* const kContainers[] = {"MPEG-1 Layer 1", "MPEG-1 Layer 2", "MPEG-1 Layer 3",
                                            "MPEG-2 Layer 1", "MPEG-2 Layer 2", "MPEG-2 Layer 3"};
  static const char* const kModes[] = {"Stereo", "Joint Stereo", "Dual channel", "Mono"};
  const TMPEGAudioInfo& m = MPEG;
  if (!TagExists && !TagUnread) {
    // Without a tag, only a valid header at the very start of the file is taken for a stream.
    if (!m.Found || m.FrameStart != 0 || m.TagEnd != 0) return;
  } else if (!m.Found) {
    list.SetValue("X:TagEnd", HexAndDecimal(m.TagEnd));
    list.SetValue("X:Gap", "no frame found in the first " + std::to_string(m.Searched) + " bytes after the tag");
    return;
  }
  if (!m.Found) return;  // no valid header at all
  if (m.LayerIndex != 2 && m.LayerIndex != 5) return;

  // Bitrate: with a frame count, the average over the stream's bytes; otherwise the average
  // of the walked frames. Duration: from the frame count, else from the size at that bitrate,
  // an estimate when the walked frames' bitrates differ.
  const TXingInfo& x = m.Xing;
  const uint32_t samples = kSamplesPerFrame[m.LayerIndex];
  std::string bitrate = std::to_string(m.Bitrate), mode, duration;
  if (x.Found) mode = x.Info ? "CBR" : "VBR";
  if (x.Found && x.FramesPresent && x.Frames > 0 && m.SampleRate > 0) {
    duration = std::to_string(RoundHalfEven(static_cast<uint64_t>(x.Frames) * samples * 1000, m.SampleRate));
    const uint64_t bytes = x.BytesPresent && x.Bytes > 0 ? x.Bytes : m.AudioEnd > m.FrameStart ? m.AudioEnd - m.FrameStart : 0;
    const double seconds = static_cast<double>(x.Frames) * samples / m.SampleRate;
    const double average = static_cast<double>(bytes) * 8 / seconds / 1000;
    if (bytes > 0 && average < 1e9) bitrate = std::to_string(static_cast<int64_t>(average + 0.5));
  } else if (m.WalkedFrames > 0) {
    const uint64_t average = (m.WalkedBitrateSum + m.WalkedFrames / 2) / m.WalkedFrames;
    bitrate = std::to_string(average);
    if (!x.Found) mode = m.BitratesDiffer ? "VBR" : "CBR";
    if (m.BitratesDiffer && m.AudioEnd > m.FrameStart)
      duration = std::to_string(RoundHalfEven((m.AudioEnd - m.FrameStart) * 8, average)) + " (estimated)";
  }
  // From the size at the header's bitrate: the bytes from the tag to the audio's end (the file
  // less an ID3v1 record and an APEv2 tag at its end).
  if (duration.empty() && m.FileSize > 0 && m.Bitrate > 0 && m.AudioEnd >= m.TagEnd)
    duration = std::to_string(RoundHalfEven((m.AudioEnd - m.TagEnd) * 8, m.Bitrate));

  list.SetValue("Container", kContainers[m.LayerIndex]);
  list.SetValue("Samplerate", std::to_string(m.SampleRate) + " Hz");
  list.SetValue("Bitrate", bitrate);
  if (!mode.empty()) list.SetValue("Bitrate mode", mode);
  list.SetValue("Channel Mode", kModes[m.ChannelMode]);
  if (m.Emphasis == 1) list.SetValue("Emphasis", "50/15 ms");
  if (m.Emphasis == 3) list.SetValue("Emphasis", "xCCITT j.17");
  if (m.FrameStart != m.TagEnd) {
    list.SetValue("X:TagEnd", HexAndDecimal(m.TagEnd));
    list.SetValue("X:FrameStart", HexAndDecimal(m.FrameStart));
    list.SetValue("X:Gap", std::to_string(static_cast<int64_t>(m.FrameStart) - static_cast<int64_t>(m.TagEnd)));
  }
  if (TagExists && Unsynchronisation) list.SetValue("Unsynchronisation", "+++");
  if (x.Found && x.FramesPresent) list.SetValue("Framecount", std::to_string(x.Frames));
  if (!duration.empty()) list.SetValue("Duration", duration);
  if (x.Found && x.BytesPresent) list.SetValue("Bytecount", std::to_string(x.Bytes));
  if (x.Found && x.QualityPresent) list.SetValue("Quality", std::to_string(x.Quality));
}

}  // namespace bq
