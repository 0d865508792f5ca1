#include "win32/bqHashCompare.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "hashes/bqChecksumFiles.h"
#include "platform/bqHost.h"
#include "platform/bqRegistry.h"
#include "platform/bqText.h"
#include "win32/bqWinPageView.h"

namespace bq::win32 {

namespace {

constexpr int kList = 1666;
constexpr int kValueColumn = 1, kCheckColumn = 2;
constexpr std::string_view kMatches = "matches";

std::wstring WideOf(const std::string& s) {
  const std::u16string w = Utf8ToUtf16(s);
  return std::wstring(w.begin(), w.end());
}
std::string Utf8Of(const std::wstring& w) { return Utf16ToUtf8(std::u16string(w.begin(), w.end())); }

std::wstring TextOf(HWND w) {
  const int n = GetWindowTextLengthW(w);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(w, text.data(), n + 1)));
  return text;
}

// A single hexadecimal value of a digest's length on the clipboard, if there is one.
std::wstring ClipboardValue(HWND owner) {
  std::wstring value;
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT)) return value;
  // Another program (a clipboard manager, Wine's own bridge to X) may hold it for a moment
  // after a copy: a few tries, some 40 ms at most.
  bool open = false;
  for (int attempt = 0; attempt < 5 && !(open = OpenClipboard(owner) != FALSE); ++attempt) Sleep(10);
  if (!open) return value;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    const SIZE_T bytes = GlobalSize(data);
    if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
      // A digest with blanks is far below 1 KiB; longer text is no single value.
      const size_t limit = bytes / sizeof(wchar_t) < 1024 ? bytes / sizeof(wchar_t) : 0;
      std::wstring copy(text, wcsnlen(text, limit));
      GlobalUnlock(data);
      if (const auto hex = NormalizePastedHex(Utf8Of(copy))) value = WideOf(*hex);
    }
  }
  CloseClipboard();
  return value;
}

}  // namespace

bool HasCompareBox(HWND page) { return GetDlgItem(page, kCompareEdit) != nullptr; }

void InitCompareBox(HWND page) {
  RECT client{};
  if (!GetClientRect(page, &client)) return;
  const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  auto rectOf = [page](HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  HWND edit = GetDlgItem(page, kCompareEdit), result = GetDlgItem(page, kCompareResult), list = GetDlgItem(page, kList);
  if (edit) {
    const RECT r = rectOf(edit);
    SetWindowPos(edit, nullptr, r.left, r.top, client.right - r.left - 2, r.bottom - r.top, flags);
  }
  if (result) {
    const RECT r = rectOf(result);
    SetWindowPos(result, nullptr, r.left, r.top, client.right - r.left - 2, r.bottom - r.top, flags);
  }
  if (list) {
    const RECT r = rectOf(list);
    SetWindowPos(list, nullptr, 0, r.top, client.right - 2, client.bottom - r.top, flags);
  }
  const std::wstring value = ClipboardValue(page);
  if (edit && !value.empty()) SetWindowTextW(edit, value.c_str());
}

void UpdateCompare(HWND page, bool allIn, TWinPageView& view) {
  HWND edit = GetDlgItem(page, kCompareEdit), result = GetDlgItem(page, kCompareResult);
  if (!edit || !result) return;
  const std::string key = CompareKey(Utf8Of(TextOf(edit)));
  std::string line;
  // The page's own rows, whatever order the list shows them in; a row's group is its digest.
  const TRowTable& rows = view.Record().Rows;
  for (size_t row = 0; row < rows.size(); ++row) {
    const auto r = rows[row];
    const bool match = !key.empty() && LowerAscii(r[kValueColumn]) == key;
    const std::string_view check = r[kCheckColumn];
    // The box's own marks come and go with its text; a checksum file's verdict stays.
    if (match && check.empty()) view.SetCell(static_cast<int>(row), kCheckColumn, kMatches);
    else if (!match && check == kMatches) view.SetCell(static_cast<int>(row), kCheckColumn, "");
    if (match && line.empty() && r.Group() >= 1)
      line = CompareMatchLine(rows[row][0], static_cast<TDigestKind>(rows[row].Group() - 1));
  }
  if (line.empty() && allIn && !key.empty()) line = "No match";
  const std::wstring wide = WideOf(line);
  if (TextOf(result) != wide) SetWindowTextW(result, wide.c_str());
}

}  // namespace bq::win32
