// The preview's decoding and every highlighter over the same bytes. The document, and each
// piece it is split into, must be pure ASCII with braces that balance and close only at its end.
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
      CreateJScriptRTF, CreatePHPRTF, CreateXMLRTF, CreateHTMLRTF, CreateCppRTF, CreateCSharpRTF,
      CreateJavaRTF, CreatePythonRTF, CreateJSONRTF, CreateCSSRTF, CreatePowerShellRTF, CreateBatchRTF,
      CreateShellRTF, CreateIniRTF, CreateMarkdownRTF, CreateYAMLRTF};
  constexpr size_t kCount = sizeof(kAll) / sizeof(kAll[0]);
  // One highlighter an input, chosen by its first byte: every one of them is reached, and a run
  // costs one highlighting rather than twenty-one.
  auto create = kAll[size ? data[0] % kCount : 0];
  const std::string document = HighlightToRtf(*create(), JoinLines(DecodeText(bytes)));
  CheckDocument(document);
  // Its pieces, as the dialog inserts them, are documents too.
  for (const auto& piece : SplitRtfDocument(document, 64)) CheckDocument(piece);
  // An RTF file's own bytes, split the same way: whatever they hold, every piece starts as
  // the file does.
  const std::string file = "{\\rtf1" + std::string(bytes);
  for (const auto& piece : SplitRtfDocument(file, 32))
    if (piece.compare(0, 6, "{\\rtf1") != 0) std::abort();
  // Raw bytes (zeros, broken UTF-8, lone CR and LF) and the cut text, through the same one.
  CheckDocument(HighlightToRtf(*create(), bytes));
  CheckDocument(HighlightToRtf(*create(), preview.Text));
  // An RTF document cut at the bound stays balanced when the input was.
  if (!preview.Rtf.empty()) {
    const std::string cut = RtfDocumentOf(bytes, size + 1, size / 2 + 1);
    if (cut.compare(0, 5, "{\\rtf") != 0) std::abort();
  }
  return 0;
}
