#include "win32/zoxUIWinAPIHelpers.h"

#include <initializer_list>

namespace bq::win32 {

namespace {
constexpr UINT kMoveFlags = SWP_NOZORDER | SWP_NOACTIVATE;

// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND parent, HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}
}  // namespace

void WidenPage(HWND page) {
  RECT r{};
  if (!page || !GetWindowRect(page, &r)) return;
  SetWindowPos(page, nullptr, 0, 0, r.right - r.left + 16, r.bottom - r.top, kMoveFlags | SWP_NOMOVE);
}

void FitControl(HWND page, HWND control) {
  RECT client{};
  if (!page || !control || !GetClientRect(page, &client)) return;
  SetWindowPos(control, nullptr, client.left, client.top, client.right - client.left - 2,
               client.bottom - client.top, kMoveFlags);
}

void LayoutHashesPage(HWND page) {
  RECT client{};
  if (!page || !GetClientRect(page, &client)) return;
  const int width = client.right - client.left;
  for (int id : {1000, 1001, 1002}) {
    if (HWND edit = GetDlgItem(page, id)) {
      const RECT r = ChildRect(page, edit);
      SetWindowPos(edit, nullptr, r.left, r.top, width - 16, r.bottom - r.top, kMoveFlags);
    }
  }
  if (HWND about = GetDlgItem(page, 1111)) {
    const RECT r = ChildRect(page, about);
    SetWindowPos(about, nullptr, client.right - 8 - (r.right - r.left), client.bottom - 73, 0, 0,
                 kMoveFlags | SWP_NOSIZE);
  }
  if (HWND logo = GetDlgItem(page, 1110))
    SetWindowPos(logo, nullptr, 8, client.bottom - 73, 0, 0, kMoveFlags | SWP_NOSIZE);
}

void LayoutListProgressPage(HWND page, HWND list, HWND progress) {
  RECT c{};
  if (!page || !GetClientRect(page, &c)) return;
  if (list) SetWindowPos(list, nullptr, c.left, c.top, c.right - c.left - 2, c.bottom - c.top - 14, kMoveFlags);
  if (progress) SetWindowPos(progress, nullptr, c.left, c.bottom - c.top - 14, c.right - c.left - 2, 14, kMoveFlags);
}

}  // namespace bq::win32
