#include "win32/zoxUIWinAPIHelpers.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>

#include "win32/bqLiteModule.h"

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
// The system's text for an error code ("Error N" when it has none).
std::wstring SystemErrorText(DWORD code) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = text ? text : L"Error " + std::to_wstring(code);
  if (text) LocalFree(text);
  return message;
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
  for (int id : {1000, 1001, 1002, 1003, 1667}) {
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

void PlaceProgressBelow(HWND page, HWND list, HWND progress) {
  RECT c{};
  if (!page || !list || !progress || !GetClientRect(page, &c)) return;
  const RECT r = ChildRect(page, list);
  SetWindowPos(list, nullptr, r.left, r.top, r.right - r.left, c.bottom - 14 - r.top, kMoveFlags);
  SetWindowPos(progress, nullptr, r.left, c.bottom - 14, r.right - r.left, 14, kMoveFlags);
}

void ExtendToBottom(HWND page, HWND control) {
  RECT c{};
  if (!page || !control || !GetClientRect(page, &c)) return;
  const RECT r = ChildRect(page, control);
  SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, c.bottom - r.top, kMoveFlags);
}

bool PutOnClipboard(HWND owner, std::string_view text) {
  const std::wstring wide = Wide(text);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (wide.size() + 1) * sizeof(wchar_t));
  if (!memory) return false;
  if (void* to = GlobalLock(memory)) {
    std::memcpy(to, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
  }
  if (!OpenClipboard(owner)) {
    GlobalFree(memory);
    return false;
  }
  EmptyClipboard();
  const bool put = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
  CloseClipboard();
  if (!put) GlobalFree(memory);
  return put;
}

std::wstring AskSaveName(HWND owner, const std::wstring& suggested, bool textOnly, int& typeIndex) {
  wchar_t name[MAX_PATH * 2] = {};
  lstrcpynW(name, suggested.c_str(), MAX_PATH);
  static const wchar_t kAll[] =
      L"CSV, comma-separated (*.csv)\0*.csv\0Tab-separated text (*.txt)\0*.txt;*.tsv\0JSON (*.json)\0*.json\0";
  static const wchar_t kText[] = L"Text (*.txt)\0*.txt\0";
  OPENFILENAMEW how{};
  how.lStructSize = sizeof how;
  how.hwndOwner = owner;
  how.lpstrFilter = textOnly ? kText : kAll;
  how.nFilterIndex = 1;
  how.lpstrFile = name;
  how.nMaxFile = MAX_PATH * 2;
  how.lpstrDefExt = textOnly ? L"txt" : L"csv";
  how.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER | OFN_HIDEREADONLY;
  if (!GetSaveFileNameW(&how)) return {};
  typeIndex = static_cast<int>(how.nFilterIndex);
  return name;
}

std::wstring WriteWholeFile(const std::wstring& name, std::string_view bytes) {
  HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  for (size_t done = 0; !error && done < bytes.size();) {
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
    if (!WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) error = GetLastError();
    done += wrote;
  }
  if (file != INVALID_HANDLE_VALUE && !CloseHandle(file) && !error) error = GetLastError();
  if (!error) return {};
  if (file != INVALID_HANDLE_VALUE) DeleteFileW(name.c_str());
  return SystemErrorText(error);
}

void LaunchWithFile(HWND owner, const std::wstring& program, bool expand, const std::wstring& file) {
  std::wstring path = program;
  if (expand) {
    const DWORD n = ExpandEnvironmentStringsW(program.c_str(), nullptr, 0);
    if (n > 0) {
      std::wstring expanded(n, L'\0');
      if (ExpandEnvironmentStringsW(program.c_str(), expanded.data(), n) == n) {
        expanded.resize(n - 1);
        path = expanded;
      }
    }
  }
  // One argument, quoted; backslashes before the closing quote are doubled so that they stay
  // backslashes for the program's command-line parser.
  std::wstring argument = L"\"" + file;
  size_t trailing = 0;
  while (trailing < file.size() && file[file.size() - 1 - trailing] == L'\\') ++trailing;
  argument.append(trailing, L'\\');
  argument += L'"';

  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.hwnd = owner;
  info.lpVerb = L"open";
  info.lpFile = path.c_str();
  info.lpParameters = argument.c_str();
  info.nShow = SW_SHOW;
  if (ShellExecuteExW(&info)) return;
  const std::wstring message = path + L"\n\n" + SystemErrorText(GetLastError());
  MessageBoxW(owner, message.c_str(), L"Brisquel Lite", MB_OK | MB_ICONERROR);
}

}  // namespace bq::win32
