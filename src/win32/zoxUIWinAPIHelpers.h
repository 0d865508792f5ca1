// Layout helpers every page uses when it is initialised.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

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
// A 14-pixel progress bar under a list that reaches the page's bottom, the list shortened for it;
// and the list lengthened to the bottom again once the bar is hidden.
void PlaceProgressBelow(HWND page, HWND list, HWND progress);
void ExtendToBottom(HWND page, HWND control);
// Starts program (environment variables expanded first when expand is set) with the file as its
// one quoted argument; when it cannot be started, the system's error text in a message box.
void LaunchWithFile(HWND owner, const std::wstring& program, bool expand, const std::wstring& file);

// Puts a UTF-8 text on the clipboard as Unicode text; false when the clipboard is not to be had.
bool PutOnClipboard(HWND owner, std::string_view text);
// Asks for a file to save a page's content in (a standard save dialog with the CSV, tab-separated
// text and JSON types, or text alone); the chosen name, empty when cancelled, and the type
// index chosen (1-based, in the order offered).
std::wstring AskSaveName(HWND owner, const std::wstring& suggested, bool textOnly, int& typeIndex);
// Writes bytes to a new file; the system's error text when it fails, empty when it worked.
std::wstring WriteWholeFile(const std::wstring& name, std::string_view bytes);

}  // namespace bq::win32
