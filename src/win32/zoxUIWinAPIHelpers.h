// Layout helpers every page uses when it is initialised.
#pragma once
#include <windows.h>

namespace bq::win32 {

// Makes the page window 16 pixels wider, keeping its position, height and Z-order.
void WidenPage(HWND page);
// Moves the control to the top-left corner of the page's client area and sizes it to the
// client width minus 2 pixels and the full client height.
void FitControl(HWND page, HWND control);
// The layout of the "HASHES" page: edit boxes to the client width minus 16, the bitmap and the
// product text 73 pixels above the bottom.
void LayoutHashesPage(HWND page);
// The layout of the "BQPATTERNS" page: the list above a 14-pixel progress bar.
void LayoutListProgressPage(HWND page, HWND list, HWND progress);

}  // namespace bq::win32
