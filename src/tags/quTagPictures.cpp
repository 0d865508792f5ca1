#include "tags/quTagPictures.h"

#include <array>

#include "platform/bqText.h"

namespace bq {

namespace {
constexpr std::array<const char*, 21> PictureTypeNames = {
    "Other", "File icon", "Other file icon", "Front cover", "Back cover", "Leaflet page", "Media",
    "Lead artist", "Artist", "Conductor", "Band", "Composer", "Lyricist", "Recording location",
    "During recording", "During performance", "Movie screen capture", "Bright coloured fish",
    "Illustration", "Band logotype", "Publisher logotype"};

// The APEv2 cover item keys, by picture type.
constexpr std::array<const char*, 21> ApeCoverKeys = {
    "Other", "Icon", "Other Icon", "Front", "Back", "Leaflet", "Media", "Lead Artist", "Artist",
    "Conductor", "Band", "Composer", "Lyricist", "Recording Location", "During Recording",
    "During Performance", "Video Capture", "Fish", "Illustration", "Band Logotype", "Publisher Logotype"};

bool JpegDimensions(TByteView b, uint32_t& width, uint32_t& height) {
  size_t pos = 2;
  for (int n = 0; n < MaxJpegMarkers; ++n) {
    if (!b.Has(pos, 2) || b[pos] != 0xFF) return false;
    while (b.Has(pos + 1, 1) && b[pos + 1] == 0xFF) ++pos;  // fill bytes
    uint8_t marker = 0;
    if (!b.U8(pos + 1, marker)) return false;
    pos += 2;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0xD9 || marker == 0xDA) return false;  // end of image, or entropy-coded data
    uint16_t length = 0;
    if (!b.U16BE(pos, length) || length < 2) return false;
    const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (sof) {
      uint16_t h = 0, w = 0;
      if (!b.U16BE(pos + 3, h) || !b.U16BE(pos + 5, w)) return false;
      width = w;
      height = h;
      return true;
    }
    pos += length;
  }
  return false;
}
}  // namespace

std::string PictureTypeName(uint8_t type) {
  return type < PictureTypeNames.size() ? PictureTypeNames[type] : "Type " + std::to_string(type);
}

bool PictureDimensions(TByteView b, uint32_t& width, uint32_t& height) {
  if (b.Equals(0, "\x89PNG\r\n\x1A\n") && b.Equals(12, "IHDR"))
    return b.U32BE(16, width) && b.U32BE(20, height);
  if (b.Equals(0, "\xFF\xD8")) return JpegDimensions(b, width, height);
  if (b.Equals(0, "GIF87a") || b.Equals(0, "GIF89a")) {
    uint16_t w = 0, h = 0;
    if (!b.U16LE(6, w) || !b.U16LE(8, h)) return false;
    width = w;
    height = h;
    return true;
  }
  if (b.Equals(0, "BM")) {
    uint32_t header = 0;
    if (!b.U32LE(14, header)) return false;
    if (header == 12) {  // the OS/2 core header: 16-bit sizes
      uint16_t w = 0, h = 0;
      if (!b.U16LE(18, w) || !b.U16LE(20, h)) return false;
      width = w;
      height = h;
      return true;
    }
    uint32_t w = 0, h = 0;
    if (header < 40 || !b.U32LE(18, w) || !b.U32LE(22, h)) return false;
    const int32_t sh = static_cast<int32_t>(h);  // negative: rows from the top
    width = w;
    height = sh < 0 ? 0u - static_cast<uint32_t>(sh) : h;
    return static_cast<int32_t>(w) >= 0;
  }
  return false;
}

std::string SniffPictureMime(TByteView b) {
  if (b.Equals(0, "\x89PNG")) return "image/png";
  if (b.Equals(0, "\xFF\xD8\xFF")) return "image/jpeg";
  if (b.Equals(0, "GIF8")) return "image/gif";
  if (b.Equals(0, "BM")) return "image/bmp";
  return {};
}

bool ReadFlacPicture(TByteView block, TTagPicture& picture) {
  TByteCursor c(block);
  const uint32_t type = c.U32BE();
  const uint32_t mimeLength = c.U32BE();
  if (!c.Ok() || mimeLength > c.Remaining()) return false;
  const TByteView mime = c.Bytes(mimeLength);
  const uint32_t descLength = c.U32BE();
  if (!c.Ok() || descLength > c.Remaining()) return false;
  const TByteView desc = c.Bytes(descLength);
  c.Skip(16);  // width, height, depth, colours as the writer claims them
  const uint32_t dataLength = c.U32BE();
  if (!c.Ok() || dataLength > c.Remaining()) return false;
  const TByteView data = c.Bytes(dataLength);
  picture.PictureType = type > 255 ? 255 : static_cast<uint8_t>(type);
  picture.MimeType = TrimControls(AnsiToUtf8(mime.Chars()));
  picture.Description = Utf16ToUtf8(Utf8ToUtf16(desc.Chars()));
  picture.Size = dataLength;
  picture.Data.clear();
  if (dataLength <= MaxPictureBytes) picture.Data.assign(data.Data(), data.Data() + data.Size());
  return true;
}

bool DecodeBase64(std::string_view text, std::vector<uint8_t>& out, size_t maxBytes) {
  out.clear();
  out.reserve(std::min(text.size() / 4 * 3 + 3, maxBytes));
  uint32_t bits = 0;
  int count = 0;
  size_t pads = 0;
  for (char ch : text) {
    int v;
    if (ch >= 'A' && ch <= 'Z') v = ch - 'A';
    else if (ch >= 'a' && ch <= 'z') v = ch - 'a' + 26;
    else if (ch >= '0' && ch <= '9') v = ch - '0' + 52;
    else if (ch == '+') v = 62;
    else if (ch == '/') v = 63;
    else if (ch == '=') { ++pads; continue; }
    else if (ch == '\r' || ch == '\n' || ch == ' ' || ch == '\t') continue;
    else return false;
    if (pads) return false;  // data after padding
    bits = (bits << 6) | static_cast<uint32_t>(v);
    if (++count == 4) {
      if (out.size() + 3 > maxBytes) return false;
      out.push_back(static_cast<uint8_t>(bits >> 16));
      out.push_back(static_cast<uint8_t>(bits >> 8));
      out.push_back(static_cast<uint8_t>(bits));
      bits = 0;
      count = 0;
    }
  }
  if (count == 1) return false;
  if (out.size() + 2 > maxBytes && count > 1) return false;
  if (count == 2) out.push_back(static_cast<uint8_t>(bits >> 4));
  if (count == 3) {
    out.push_back(static_cast<uint8_t>(bits >> 10));
    out.push_back(static_cast<uint8_t>(bits >> 2));
  }
  return true;
}

bool ReadVorbisPicture(std::string_view base64, TTagPicture& picture) {
  std::vector<uint8_t> block;
  // The block holds the picture and a few short strings besides.
  if (!DecodeBase64(base64, block, MaxPictureBytes + 64 * 1024)) return false;
  return ReadFlacPicture(TByteView(block), picture);
}

bool ReadApePicture(std::string_view key, TByteView value, TTagPicture& picture) {
  constexpr std::string_view prefix = "Cover Art (";
  if (key.size() <= prefix.size() + 1 || !SameTextI(key.substr(0, prefix.size()), prefix) || key.back() != ')')
    return false;
  const std::string_view kind = key.substr(prefix.size(), key.size() - prefix.size() - 1);
  int type = -1;
  for (size_t i = 0; i < ApeCoverKeys.size(); ++i)
    if (SameTextI(kind, ApeCoverKeys[i])) type = static_cast<int>(i);
  if (type < 0) return false;
  const size_t zero = value.Find(0);
  if (zero == TByteView::npos) return false;
  const TByteView data = value.Tail(zero + 1);
  picture.PictureType = static_cast<uint8_t>(type);
  picture.Description = Utf16ToUtf8(Utf8ToUtf16(value.Clamp(0, zero).Chars()));
  picture.MimeType = SniffPictureMime(data);
  picture.Size = data.Size();
  picture.Data.clear();
  if (data.Size() <= MaxPictureBytes) picture.Data.assign(data.Data(), data.Data() + data.Size());
  return true;
}

std::string PictureSummary(const TPictureEntry& picture) {
  std::string s = picture.MimeType;
  uint32_t w = 0, h = 0;
  if (picture.Size <= MaxPictureBytes && PictureDimensions(picture.Data, w, h))
    s += (s.empty() ? "" : ", ") + std::to_string(w) + " \xC3\x97 " + std::to_string(h);
  s += (s.empty() ? "" : ", ") + std::to_string(picture.Size) + " bytes";
  return s;
}

int ShownPicture(const std::vector<TPictureEntry>& pictures) {
  int first = -1;
  for (size_t i = 0; i < pictures.size(); ++i) {
    if (pictures[i].Data.Empty()) continue;
    if (pictures[i].PictureType == 3) return static_cast<int>(i);
    if (first < 0) first = static_cast<int>(i);
  }
  return first;
}

}  // namespace bq
