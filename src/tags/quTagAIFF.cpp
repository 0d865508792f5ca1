#include "tags/quTagAIFF.h"

#include <cmath>
#include <cstdio>

#include "platform/bqText.h"

namespace bq {

double TTagAIFF::Extended80(TByteView b) {
  if (b.Size() < 10) return 0;
  const int exponent = ((b[0] & 0x7F) << 8) | b[1];
  uint64_t mantissa = 0;
  b.U64BE(2, mantissa);
  if ((b[0] & 0x80) || exponent == 0x7FFF || mantissa == 0) return 0;
  // value = mantissa * 2^(exponent - 16383 - 63); rates sit far inside a double's range.
  const int shift = exponent - 16383 - 63;
  if (shift > 960 || shift < -1100) return 0;
  return std::ldexp(static_cast<double>(mantissa), shift);
}

namespace {
// Chunk text is 8-bit; text that decodes as UTF-8 is taken for it.
std::string ChunkText(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\0'));
  std::string s = IsValidUtf8(bytes) ? std::string(bytes) : AnsiToUtf8(bytes);
  size_t a = 0, e = s.size();
  while (a < e && static_cast<unsigned char>(s[a]) <= ' ') ++a;
  while (e > a && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(a, e - a);
}
const char* TextCaption(std::string_view id) {
  if (id == "NAME") return "Name";
  if (id == "AUTH") return "Author";
  if (id == "ANNO") return "Annotation";
  if (id == "(c) ") return "Copyright";
  return nullptr;
}
}  // namespace

// Chunks are reached by their declared sizes plus the pad byte of an odd size, inside the
// FORM's size and the file; a chunk that runs past them ends the walk.
bool TTagAIFF::LoadFromStream(TTagSource& source) {
  TagExists = CommonRead = IsAIFC = false;
  Texts.Clear();
  std::vector<uint8_t> storage;
  TByteView v;
  if (!source.Fetch(0, 12, storage, v) || !v.Equals(0, "FORM")) return false;
  if (v.Equals(8, "AIFC")) IsAIFC = true;
  else if (!v.Equals(8, "AIFF")) return false;
  uint32_t formSize = 0;
  v.U32BE(4, formSize);
  uint64_t end = 8 + static_cast<uint64_t>(formSize);
  if (end > source.Size()) end = source.Size();
  uint64_t pos = 12;
  for (int n = 0; n < MaxChunks && pos + 8 <= end; ++n) {
    if (!source.Fetch(pos, 8, storage, v)) break;
    std::string id;
    v.Bytes(0, 4, id);
    uint32_t size = 0;
    v.U32BE(4, size);
    pos += 8;
    const bool whole = FitsIn(pos, size, end);
    if (id == "COMM" && size >= 18) {
      if (!source.Fetch(pos, size < 18 + 4 + 256 ? size : 18 + 4 + 256, storage, v)) break;
      TByteCursor c(v);
      Channels = c.U16BE();
      SampleFrames = c.U32BE();
      SampleSize = c.U16BE();
      SampleRate = Extended80(c.Bytes(10));
      CompressionType.clear();
      CompressionName.clear();
      if (IsAIFC && c.Remaining() >= 4) {
        CompressionType = c.String(4);
        const uint8_t length = c.U8();
        if (c.Ok()) CompressionName = ChunkText(c.View().Clamp(c.Position(), length).Chars());
      }
      CommonRead = true;
    } else if (const char* caption = TextCaption(id)) {
      source.Fetch(pos, size < MaxTextSize ? size : MaxTextSize, storage, v);
      const std::string text = ChunkText(v.Chars());
      if (!text.empty()) Texts.Add(std::string(caption) + "=" + text);
    } else if ((id == "ID3 " || id == "id3 ") && !ID3.TagExists && size <= MaxID3Size) {
      if (source.Fetch(pos, size, storage, v)) {
        TTagSource inner;
        inner.OpenMemory(v);
        ID3.LoadFrom(inner);
        ID3.MPEG = {};  // the chunk holds no audio
      }
    }
    if (!whole) break;
    pos += size + (size & 1);
  }
  TagExists = !Texts.Empty() || ID3.TagExists;
  return CommonRead || TagExists;
}

void TTagAIFF::AddStreamInformation(TNameValueList& list) const {
  if (!CommonRead) return;
  list.Add(std::string("Container=") + (IsAIFC ? "AIFF-C" : "AIFF"));
  list.Add("Channels=" + std::to_string(Channels));
  list.Add("Sample frames=" + std::to_string(SampleFrames));
  list.Add("Sample size=" + std::to_string(SampleSize) + " bits");
  // Whole rates as integers, others with up to three decimals.
  char rate[64] = "";
  if (SampleRate > 0 && SampleRate < 1e15) {
    if (SampleRate == std::floor(SampleRate)) std::snprintf(rate, sizeof rate, "%.0f Hz", SampleRate);
    else std::snprintf(rate, sizeof rate, "%.3f Hz", SampleRate);
    list.Add(std::string("Samplerate=") + rate);
  }
  if (IsAIFC && !CompressionType.empty()) {
    std::string type = TrimControls(AnsiToUtf8(CompressionType));
    if (!CompressionName.empty()) type += " (" + CompressionName + ")";
    list.Add("Compression type=" + type);
  }
  // Duration: frames / rate in milliseconds, rounded.
  if (SampleRate >= 1 && SampleRate < 1e15) {
    const double ms = static_cast<double>(SampleFrames) * 1000.0 / SampleRate;
    if (SampleRate == std::floor(SampleRate)) {
      const std::string d = DurationText(SampleFrames, static_cast<uint64_t>(SampleRate));
      if (!d.empty()) list.Add("Duration=" + d);
    } else {
      list.Add("Duration=" + std::to_string(static_cast<uint64_t>(std::llround(ms))));
    }
  }
}

}  // namespace bq
