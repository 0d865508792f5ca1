// The RTF font table's entry from GDI: the text metrics of the face on the screen. Installed
// into the core while the module loads. When the system lacks the face (GDI then selects a
// substitute), the query fails and the core's Western values hold.
#include <windows.h>

#include <string>

#include "preview/hlxRichSyntax.h"
#include "win32/bqLiteModule.h"

namespace bq::win32 {

namespace {

bool GdiFontInfo(std::string_view faceName, TRtfFontInfo& info) {
  LOGFONTW font{};
  const std::wstring face = Wide(faceName);
  if (face.size() >= LF_FACESIZE) return false;
  face.copy(font.lfFaceName, face.size());
  font.lfCharSet = DEFAULT_CHARSET;
  HFONT handle = CreateFontIndirectW(&font);
  if (!handle) return false;
  bool ok = false;
  if (HDC screen = GetDC(nullptr)) {
    HGDIOBJ old = SelectObject(screen, handle);
    TEXTMETRICW metrics{};
    wchar_t selected[LF_FACESIZE] = {};
    // A substitute for a face the system lacks has other metrics: those are not the face's.
    if (GetTextFaceW(screen, LF_FACESIZE, selected) && lstrcmpiW(selected, face.c_str()) == 0 &&
        GetTextMetricsW(screen, &metrics)) {
      info.PitchAndFamily = metrics.tmPitchAndFamily;
      info.CharSet = metrics.tmCharSet;
      ok = true;
    }
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
  }
  DeleteObject(handle);
  return ok;
}

const bool kInstalled = (SetRtfFontQuery(GdiFontInfo), true);

}  // namespace

}  // namespace bq::win32
