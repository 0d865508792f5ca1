// Pictures embedded in audio files: the picture record every tag kind fills, the readers of
// the picture containers (FLAC PICTURE block, its base64 form in Vorbis comments, an APEv2
// binary cover item) and the image header sizes (PNG, JPEG, GIF, BMP) the Audio page shows.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bqBytes.h"

namespace bq {

// Pictures larger than this are listed but neither kept in memory nor measured.
constexpr uint64_t MaxPictureBytes = 16 * 1024 * 1024;
// What one reader keeps of all its pictures' bytes; the pictures past it are listed unread.
constexpr uint64_t MaxPictureTotal = 64 * 1024 * 1024;

struct TTagPicture {
  uint8_t PictureType = 0;  // the ID3v2 APIC picture type
  std::string MimeType;
  std::string Description;
  uint64_t Size = 0;          // the picture's byte count as the file gives it
  std::vector<uint8_t> Data;  // empty when Size > MaxPictureBytes
};

// "Front cover", "Back cover"... for the 21 ID3v2 picture types; "Type N" past them.
std::string PictureTypeName(uint8_t type);

// Width and height from a PNG, JPEG, GIF or BMP header (JPEG: its first SOFn marker, looked
// for through at most MaxJpegMarkers segments). False when neither is found.
bool PictureDimensions(TByteView bytes, uint32_t& width, uint32_t& height);
constexpr int MaxJpegMarkers = 4096;

// The MIME type the bytes' signature tells ("" when none).
std::string SniffPictureMime(TByteView bytes);

// A FLAC PICTURE metadata block's body. False on a damaged block.
bool ReadFlacPicture(TByteView block, TTagPicture& picture);
// The base64 text of a METADATA_BLOCK_PICTURE Vorbis comment, decoded and read as a FLAC
// PICTURE block.
bool ReadVorbisPicture(std::string_view base64, TTagPicture& picture);
// Bytes from base64 (line ends and blanks skipped); false on any other character. At most
// maxBytes are decoded.
bool DecodeBase64(std::string_view text, std::vector<uint8_t>& out, size_t maxBytes);

// An APEv2 binary item "Cover Art (...)": its key gives the picture type, its value is a
// description ended by a zero byte and the picture bytes. False for other keys or a value
// without the zero.
bool ReadApePicture(std::string_view key, TByteView value, TTagPicture& picture);

// A picture as the Audio page lists it, whichever tag it came from; Data views bytes held by
// the tag reader (empty when the picture was too large to read).
struct TPictureEntry {
  uint8_t PictureType = 0;
  std::string MimeType;
  uint64_t Size = 0;
  TByteView Data;
};

// The row text: "MIME, W × H, N bytes" (parts left out when unknown).
std::string PictureSummary(const TPictureEntry& picture);
// The one a dialog shows: the first front cover, else the first picture read; -1 for none.
int ShownPicture(const std::vector<TPictureEntry>& pictures);

}  // namespace bq
