// The preview's decoding and every highlighter over the same bytes. The document must be pure
// ASCII with braces that balance and close only at its end.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "preview/hlxTableSyntax.h"
#include "preview/zoxFFRTFSyntaxHighlighting.h"

namespace {

void CheckDocument(const std::string& doc) {
  int depth = 0;
  for (size_t i = 0; i < doc.size(); ++i) {
    const auto c = static_cast<unsigned char>(doc[i]);
    if (c >= 0x80) std::abort();
    if (c == '\\') {
      ++i;  // an escaped character or the first letter of a control word
    } else if (c == '{') {
      ++depth;
    } else if (c == '}') {
      if (--depth < 0 || (depth == 0 && i + 1 != doc.size())) std::abort();
    }
  }
  if (depth != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace bq;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // A small bound, so that cutting is exercised too.
  const TPreviewText preview = PreviewTextOf(bytes, size + (size & 1), 1 + size / 2);
  static std::unique_ptr<ThlxRTFSyntax> (*const kAll[])() = {
      CreatePasRTF, CreateDFMRTF, CreateSQLRTF, CreateVBRTF, CreateVBScriptRTF,
      CreateJScriptRTF, CreatePHPRTF, CreateXMLRTF, CreateHTMLRTF};
  const std::string text = JoinLines(DecodeText(bytes));
  for (auto create : kAll) CheckDocument(HighlightToRtf(*create(), text));
  // Raw bytes (zeros, broken UTF-8, lone CR and LF) and the cut text, through one of them.
  auto create = kAll[size ? data[0] % 9 : 0];
  CheckDocument(HighlightToRtf(*create(), bytes));
  CheckDocument(HighlightToRtf(*create(), preview.Text));
  return 0;
}
