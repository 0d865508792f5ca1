// A picture's bytes decoded by the Windows Imaging Component into a small bitmap for a page.
#pragma once
#include <windows.h>

#include <string_view>

namespace bq::win32 {

// The picture scaled to fit in maxSide × maxSide pixels (its proportions kept) as a 32-bit
// top-down DIB section the caller deletes; null when WIC cannot decode the bytes.
HBITMAP DecodeThumbnail(std::string_view bytes, int maxSide);

}  // namespace bq::win32
