// AIFF and AIFF-C files: the COMM chunk's stream values, the text chunks (NAME, AUTH, ANNO,
// "(c) ") and an ID3v2 tag held in an "ID3 " chunk.
#pragma once
#include <cstdint>
#include <string>

#include "tags/quTags.h"

namespace bq {

class TTagAIFF : public TTagBase {
public:
  bool IsAIFC = false;
  bool CommonRead = false;  // a COMM chunk was read
  uint16_t Channels = 0;
  uint32_t SampleFrames = 0;
  uint16_t SampleSize = 0;
  double SampleRate = 0;           // from the 80-bit extended number
  std::string CompressionType;     // AIFC: four characters
  std::string CompressionName;
  TNameValueList Texts;            // caption = text, in file order
  TTagID3v2 ID3;                   // the "ID3 " chunk's tag

  std::string Title() const override { return Texts.Value("Name"); }
  std::string Artist() const override { return Texts.Value("Author"); }
  std::string TagDescription() const override { return IsAIFC ? "AIFF-C" : "AIFF"; }

  bool LoadFromStream(TTagSource& source) override;
  // The "AIFF stream" lines.
  void AddStreamInformation(TNameValueList& list) const;

  // An 80-bit IEEE 754 extended number (big-endian); 0 for what is not a finite positive one.
  static double Extended80(TByteView b);

  static constexpr int MaxChunks = 100000;
  static constexpr uint64_t MaxTextSize = 64 * 1024;
  static constexpr uint64_t MaxID3Size = 16 * 1024 * 1024;
};

}  // namespace bq
