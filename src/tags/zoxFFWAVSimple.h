// RIFF WAVE chunk walk: the "fmt " values and the LIST INFO entries.
#pragma once
#include <cstdint>
#include <string>

#include "tags/quTagList.h"
#include "tags/quTagSource.h"

namespace bq {

enum TWaveAudioCoding { acUnknown, acPCM, acMuLaw, acMP3 };

struct TGenericAudioProperties {
  TWaveAudioCoding Coding = acUnknown;
  uint16_t Channels = 0;
  uint32_t SamplingRate = 0;
  uint16_t BlockAlignment = 0;
  uint16_t SampleResolution = 0;  // never set
  uint16_t BitsPerSample = 0;
  uint32_t BytesPerSecond = 0;
};

class TSimpleWave {
public:
  std::string Filename;
  TGenericAudioProperties AudioProperties;
  TNameValueList Tags;  // INFO id = value, 8-bit text as in the file
  // The first "data" chunk's size, cut to what the file holds (streaming writers leave
  // 0xFFFFFFFF); DataFound tells whether there was one.
  uint64_t DataSize = 0;
  bool DataFound = false;

  // Walks the chunks from offset 0. Returns false with a message for a file that is not
  // RIFF/WAVE or whose "fmt " chunk is damaged. A damaged INFO list ends the walk with a
  // message but true: the format and the entries read before the damage stay.
  bool Load(TTagSource& source, std::string& error);

  static constexpr size_t MaxChunks = 65536;
  static constexpr uint32_t MaxInfoValue = 1024 * 1024;  // longer INFO values are cut here
};

}  // namespace bq
