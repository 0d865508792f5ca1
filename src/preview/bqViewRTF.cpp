#include "preview/bqViewRTF.h"

#include "preview/zoxFFRTFSyntaxHighlighting.h"

namespace bq {

void FillPreviewPage(const TPageContext& context, TPageView& view) {
  if (!context.Selection || context.Selection->Count() == 0) return;
  const TSelection& selection = *context.Selection;
  TPreviewText preview;
  std::string error;
  if (!LoadPreviewText(selection.SelectedFiles[0], preview, PreviewByteLimit, &error)) {
    view.SetRichText({}, "The file could not be read: " + (error.empty() ? std::string("unknown error") : error) + "\r\n");
    return;
  }
  const TFileIdentifyTypes types = selection.SelectedTypes.empty() ? TFileIdentifyTypes{} : selection.SelectedTypes[0];
  const TFileIdentifyTypes nameTypes = selection.NameTypes.empty() ? TFileIdentifyTypes{} : selection.NameTypes[0];
  std::string rtf;
  if (auto highlighter = CreateHighlighter(types, nameTypes)) rtf = HighlightToRtf(*highlighter, preview.Text);
  else rtf = std::move(preview.Rtf);  // an RTF file shows formatted, from its own bytes
  view.SetRichText(rtf, preview.Text);
}

}  // namespace bq
