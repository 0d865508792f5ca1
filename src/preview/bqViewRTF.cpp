#include "preview/bqViewRTF.h"

#include "preview/zoxFFRTFSyntaxHighlighting.h"

namespace bq {

void FillPreviewPage(const TPageContext& context, TPageView& view) {
  if (!context.Selection || context.Selection->Count() == 0) return;
  const TSelection& selection = *context.Selection;
  TPreviewText preview;
  // A file that cannot be read leaves the control empty.
  if (!LoadPreviewText(selection.SelectedFiles[0], preview)) return;
  const TFileIdentifyTypes types = selection.SelectedTypes.empty() ? TFileIdentifyTypes{} : selection.SelectedTypes[0];
  std::string rtf;
  if (auto highlighter = CreateHighlighter(types)) rtf = HighlightToRtf(*highlighter, preview.Text);
  else if (preview.Text.compare(0, 5, "{\\rtf") == 0) rtf = preview.Text;  // an RTF file shows formatted
  view.SetRichText(rtf, preview.Text);
}

}  // namespace bq
