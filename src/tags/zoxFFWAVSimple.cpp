#include "tags/zoxFFWAVSimple.h"

#include <vector>

#include "platform/bqText.h"

namespace bq {

bool TSimpleWave::Load(TTagSource& source, std::string& error) {
  static const char* const kNotWave = "This is not a valid RIFF/WAVE file!";
  const uint64_t size = source.Size();
  std::vector<uint8_t> storage;
  TByteView v;
  uint64_t pos = 0, infoEnd = 0, infoPads = 0;
  bool first = true, inInfo = false;
  DataSize = 0;
  DataFound = false;
  TNameValueBuilder tags;
  struct TKeep {  // entries read before a failure stay
    TNameValueBuilder& From;
    TNameValueList& To;
    ~TKeep() { To = From.Take(); }
  } keep{tags, Tags};
  for (size_t n = 0; pos < size && n < MaxChunks; ++n) {
    if (inInfo && pos >= infoEnd) inInfo = false;
    // A header that does not fit in the last bytes ends the walk.
    if (!source.Fetch(pos, 8, storage, v)) {
      if (first) return error = kNotWave, false;
      break;
    }
    std::string id;
    uint32_t chunkSize = 0;
    v.Bytes(0, 4, id);
    v.U32LE(4, chunkSize);
    if (id == "RIFF" || id == "LIST") {
      std::string form;
      if (!source.Fetch(pos + 8, 4, storage, v) || !v.Bytes(0, 4, form)) {
        if (first) return error = kNotWave, false;
        break;
      }
      if (first && (id != "RIFF" || form != "WAVE")) return error = kNotWave, false;
      first = false;
      // The walk goes on inside the list; a RIFF size (0xFFFFFFFF from streaming writers)
      // is never used. The INFO context ends with the list's declared size, or the file.
      inInfo = id == "LIST" && form == "INFO";
      if (inInfo) infoEnd = pos + 8 + chunkSize < size ? pos + 8 + chunkSize : size;
      infoPads = 0;
      pos += 12;
      continue;
    }
    if (first) return error = kNotWave, false;
    if (id == "fmt ") {
      if (chunkSize < 16) return error = "RIFF/WAVE/fmt has an unknown size!", false;
      if (!source.Fetch(pos + 8, 16, storage, v)) return error = "RIFF/WAVE/fmt runs past the end of the file!", false;
      uint16_t tag = 0;
      v.U16LE(0, tag);
      auto& p = AudioProperties;
      p.Coding = tag == 1 ? acPCM : tag == 2 ? acMuLaw : tag == 0x55 ? acMP3 : acUnknown;
      v.U16LE(2, p.Channels);
      v.U32LE(4, p.SamplingRate);
      v.U32LE(8, p.BytesPerSecond);
      v.U16LE(12, p.BlockAlignment);
      v.U16LE(14, p.BitsPerSample);
    } else if (inInfo) {
      // Writers often leave the entries' pad bytes out of the list's size: an entry may end
      // past the list by the pads before it. Anything more, or past the file, is damage.
      if (!FitsIn(pos + 8, chunkSize, size) || (!FitsIn(pos + 8, chunkSize, infoEnd + infoPads))) {
        error = "RIFF/WAVE/LIST INFO entry runs past its list!";
        break;
      }
      if (pos + 8 + chunkSize > infoEnd) infoEnd = pos + 8 + chunkSize;
      infoPads += chunkSize & 1;
      const uint32_t keep = chunkSize < MaxInfoValue ? chunkSize : MaxInfoValue;
      if (!source.Fetch(pos + 8, keep, storage, v)) {
        error = "RIFF/WAVE read failed!";
        break;
      }
      tags.SetValue(TrimControls(id), TrimControls(v.Chars()));
    } else if (id == "data" && !DataFound) {
      DataFound = true;
      const uint64_t rest = size - (pos + 8 < size ? pos + 8 : size);
      DataSize = chunkSize < rest ? chunkSize : rest;
    }
    // Any other chunk ("data" among them) is skipped by its size and pad byte; one that runs
    // past the file ends the walk there.
    pos += 8 + static_cast<uint64_t>(chunkSize) + (chunkSize & 1);
  }
  if (first) return error = kNotWave, false;  // an empty file
  return true;
}

}  // namespace bq
