// APEv2 (and APEv1) tags: at the end of a file, before an ID3v1 record when both exist, or at
// its start with a header (Monkey's Audio, WavPack, Musepack, MP3).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tags/quTags.h"

namespace bq {

struct TAPEItem {
  std::string Key;
  uint32_t Flags = 0;
  uint8_t Kind = 0;       // bits 1-2 of the flags: 0 UTF-8 text, 1 binary, 2 external locator
  uint64_t Offset = 0;    // of the value in the file
  uint32_t Size = 0;      // of the value
  std::string Text;       // text and locator items; the values of a list joined by "; "
  std::vector<uint8_t> Data;  // binary items (e.g. "Cover Art (Front)")
  bool Binary() const { return Kind == 1; }
};

class TTagAPE : public TTagBase {
public:
  uint32_t Version = 0;   // 1000 or 2000
  uint64_t TagOffset = 0; // of the first item
  uint64_t TagSize = 0;   // items and footer, as the footer says
  bool AtStart = false;
  std::vector<TAPEItem> Items;

  std::string Album() const override { return Text("Album"); }
  std::string Artist() const override { return Text("Artist"); }
  std::string GenreString() const override { return Text("Genre"); }
  std::string Title() const override { return Text("Title"); }
  std::string TrackString() const override { return Text("Track"); }
  std::string TagDescription() const override { return Version == 1000 ? "APEv1" : "APEv2"; }

  bool LoadFromStream(TTagSource& source) override;
  // The value the page shows: the text, or "<binary, N bytes>".
  std::string DisplayValue(size_t i) const;

  static constexpr uint64_t MaxTagSize = 16 * 1024 * 1024;
  static constexpr uint32_t MaxItems = 65536;

private:
  std::string Text(std::string_view key) const;
  bool ReadAt(TTagSource& source, uint64_t footer, bool header);
};

}  // namespace bq
