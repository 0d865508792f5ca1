// Test host: opens the Properties dialog of files the way Explorer does (the shell's context
// menu "properties" verb), drives every Brisquel Lite tab, reads the controls back and writes
// them as the JSON that bqlite prints. A message hook on the dialog's thread records what the
// pages sent that the controls do not keep (list-view groups, rich-edit documents, labels).
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>
#include <shlobj.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/bqRender.h"
#include "platform/bqText.h"
#include "shell/bqLitePropSheets.h"
#include "pages/bqPages.h"
#include "win32/bqWinPageView.h"

namespace {

using namespace bq;
using bq::win32::kCmdCopyAll;
using bq::win32::kCmdSaveAs;
using Clock = std::chrono::steady_clock;

std::string Utf8(const std::wstring& w) { return Utf16ToUtf8(std::u16string(w.begin(), w.end())); }
std::wstring Wide(const std::string& s) {
  const std::u16string w = Utf8ToUtf16(s);
  return std::wstring(w.begin(), w.end());
}

long Ms(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// Waits while answering the messages other threads send to this one: the dialog's thread may
// send to the host's windows and must not be held up by a test that only sleeps.
void PumpSleep(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    const DWORD now = GetTickCount();
    if (static_cast<LONG>(end - now) <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
  }
}

// ---- What the host is doing, so that a crash or a hang says where it was. Every line goes out
// at once (stdout is unbuffered): a host that dies still leaves what it printed.

std::mutex gStageLock;
char gStage[512] = "starting";    // read without the lock by the crash filter
std::atomic<long> gStageAt{0};    // GetTickCount of the last change
std::atomic<DWORD> gMainThread{0}, gDialogThreads[2]{{0}, {0}};

void Stage(const std::string& what) {
  std::lock_guard guard(gStageLock);
  lstrcpynA(gStage, what.c_str(), sizeof gStage);
  gStageAt = static_cast<long>(GetTickCount());
}

// The module holding an address, and the offset into it.
std::string Where(const void* address) {
  HMODULE module = nullptr;
  char name[MAX_PATH] = "?";
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<const char*>(address), &module) && module) {
    GetModuleFileNameA(module, name, MAX_PATH);
    const char* base = std::strrchr(name, '\\');
    char text[MAX_PATH + 64];
    std::snprintf(text, sizeof text, "%s+0x%llx", base ? base + 1 : name,
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(module)));
    return text;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%p", address);
  return text;
}

const char* ThreadRole(DWORD id) {
  if (id == gMainThread) return "host";
  if (id == gDialogThreads[0] || id == gDialogThreads[1]) return "dialog";
  return "other";
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* e) {
  const EXCEPTION_RECORD* r = e ? e->ExceptionRecord : nullptr;
  const DWORD thread = GetCurrentThreadId();
  std::printf("host: CRASH: exception %08lX at %s on thread %lu (%s) while: %s\n",
              r ? static_cast<unsigned long>(r->ExceptionCode) : 0ul, r ? Where(r->ExceptionAddress).c_str() : "?",
              static_cast<unsigned long>(thread), ThreadRole(thread), gStage);
  if (r && r->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && r->NumberParameters >= 2)
    std::printf("host: CRASH: %s of address %p\n", r->ExceptionInformation[0] ? "write" : "read",
                reinterpret_cast<void*>(r->ExceptionInformation[1]));
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

void OnTerminate() {
  std::printf("host: CRASH: std::terminate on thread %lu (%s) while: %s\n",
              static_cast<unsigned long>(GetCurrentThreadId()), ThreadRole(GetCurrentThreadId()), gStage);
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 3);
}

// Says so when the host has made no progress for a long time, before the test's own limit
// traces and kills it.
DWORD WINAPI Watchdog(void*) {
  for (;;) {
    Sleep(5000);
    const long quiet = static_cast<long>(GetTickCount()) - gStageAt;
    if (quiet > 120000) {
      std::lock_guard guard(gStageLock);
      std::printf("host: HANG: no progress for %ld s while: %s\n", quiet / 1000, gStage);
      std::fflush(stdout);
      gStageAt = static_cast<long>(GetTickCount());
    }
  }
}

int gFailures = 0;
void Fail(const std::string& what) {
  std::printf("FAIL %s\n", what.c_str());
  std::fflush(stdout);
  ++gFailures;
}

// ---- What the hook records, per control window.

struct TListShadow {
  std::vector<TPageRecord::TGroup> Groups;
  std::vector<int> RowGroups;  // follows insertions, so rows keep their group when others move
};

std::mutex gHookLock;
std::map<HWND, TListShadow> gLists;
std::map<HWND, std::string> gRichText;
std::vector<HWND> gTextSets;  // statics and edits whose text a page set, in order
std::atomic<long> gLastActivity{0};

long Now() { return static_cast<long>(GetTickCount()); }

std::wstring ClassOf(HWND w) {
  wchar_t name[64] = {};
  GetClassNameW(w, name, 64);
  return name;
}

LRESULT CALLBACK RecordHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && lParam) {
    const auto* c = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    std::lock_guard guard(gHookLock);
    switch (c->message) {
      case LVM_INSERTGROUP: {
        const auto* g = reinterpret_cast<const LVGROUP*>(c->lParam);
        if (g && (g->mask & LVGF_GROUPID)) {
          std::string header = (g->mask & LVGF_HEADER) && g->pszHeader ? Utf8(g->pszHeader) : std::string();
          gLists[c->hwnd].Groups.push_back({g->iGroupId, header});
        }
        gLastActivity = Now();
        break;
      }
      case LVM_INSERTITEMW:
      case LVM_INSERTITEMA: {
        auto& rows = gLists[c->hwnd].RowGroups;
        const auto* it = reinterpret_cast<const LVITEMW*>(c->lParam);
        const int group = it && (it->mask & LVIF_GROUPID) ? it->iGroupId : 0;
        if (c->lResult >= 0 && static_cast<size_t>(c->lResult) <= rows.size())
          rows.insert(rows.begin() + c->lResult, group);
        gLastActivity = Now();
        break;
      }
      case LVM_SETITEMW:
      case LVM_SETITEMA: {
        const auto* it = reinterpret_cast<const LVITEMW*>(c->lParam);
        auto& rows = gLists[c->hwnd].RowGroups;
        if (it && (it->mask & LVIF_GROUPID) && it->iItem >= 0 && static_cast<size_t>(it->iItem) < rows.size())
          rows[static_cast<size_t>(it->iItem)] = it->iGroupId;
        gLastActivity = Now();
        break;
      }
      case LVM_DELETEITEM: {
        auto& rows = gLists[c->hwnd].RowGroups;
        if (c->wParam < rows.size()) rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(c->wParam));
        break;
      }
      case LVM_DELETEALLITEMS: gLists[c->hwnd].RowGroups.clear(); break;
      case EM_SETTEXTEX: {
        const auto* how = reinterpret_cast<const SETTEXTEX*>(c->wParam);
        if (how && c->lParam) {
          std::string doc = how->codepage == 1200 ? Utf8(reinterpret_cast<const wchar_t*>(c->lParam))
                                                  : std::string(reinterpret_cast<const char*>(c->lParam));
          // A long document goes in as pieces added at the end: kept one after another, a line
          // between them.
          std::string& kept = gRichText[c->hwnd];
          if (how->flags & ST_SELECTION) kept += "\n" + doc;
          else kept = std::move(doc);
        }
        gLastActivity = Now();
        break;
      }
      case WM_SETTEXT: {
        const std::wstring cls = ClassOf(c->hwnd);
        if (!lstrcmpiW(cls.c_str(), L"Static") || !lstrcmpiW(cls.c_str(), L"Edit")) gTextSets.push_back(c->hwnd);
        gLastActivity = Now();
        break;
      }
      case EM_STREAMIN:
      case LVM_INSERTCOLUMNW:
      case LVM_ENABLEGROUPVIEW:
      case TVM_INSERTITEMW:
      case PBM_SETPOS:
        gLastActivity = Now();
        break;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// ---- Reading pages back.

std::wstring TextOf(HWND w) {
  const int n = GetWindowTextLengthW(w);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(w, text.data(), n + 1)));
  return text;
}

void ReadFields(HWND page, TPageRecord& r) {
  std::vector<HWND> sets;
  {
    std::lock_guard guard(gHookLock);
    sets = gTextSets;
  }
  for (HWND w : sets) {
    if (GetParent(w) != page || !IsWindow(w)) continue;
    HWND edit = w;
    std::string label;
    bool labelled = false;
    if (!lstrcmpiW(ClassOf(w).c_str(), L"Static")) {
      edit = GetWindow(w, GW_HWNDNEXT);
      if (!edit || lstrcmpiW(ClassOf(edit).c_str(), L"Edit")) continue;
      label = Utf8(TextOf(w));
      labelled = true;
    }
    const int id = GetDlgCtrlID(edit);
    bool known = false;
    for (auto& f : r.Fields) known |= f.Id == id;
    if (known) continue;
    r.Fields.push_back({id, labelled ? label : std::string(), Utf8(TextOf(edit))});
  }
}

void ReadList(HWND list, TPageRecord& r) {
  for (int c = 0;; ++c) {
    wchar_t title[512] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
    column.pszText = title;
    column.cchTextMax = 512;
    if (!SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column))) break;
    const int fmt = column.fmt & LVCFMT_JUSTIFYMASK;
    const int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0));
    r.Columns.push_back({Utf8(title), width, fmt == LVCFMT_RIGHT ? TAlign::alRight : fmt == LVCFMT_CENTER ? TAlign::alCenter : TAlign::alLeft});
  }
  TListShadow shadow;
  {
    std::lock_guard guard(gHookLock);
    shadow = gLists[list];
  }
  r.Groups = shadow.Groups;
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  const size_t columns = std::max<size_t>(1, r.Columns.size());
  // A virtual list draws every line from the page: its groups are header lines, which the page
  // tells apart when asked (a header line's group as -1 - id, a row's as its id).
  const bool virtualList = GetWindowLongPtrW(list, GWL_STYLE) & LVS_OWNERDATA;
  if (virtualList) r.Groups.clear();
  for (int i = 0; i < count; ++i) {
    int group = 0;
    if (virtualList) {
      static const UINT lineGroup = RegisterWindowMessageW(L"BQLite.ListLineGroup");
      const LRESULT line = SendMessageW(GetParent(list), lineGroup, static_cast<WPARAM>(i), 0);
      if (line < 0) {
        std::wstring text(4096, L'\0');
        LVITEMW header{};
        header.pszText = text.data();
        header.cchTextMax = 4096;
        text.resize(static_cast<size_t>(SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&header))));
        r.Groups.push_back({static_cast<int>(-1 - line), Utf8(text)});
        continue;
      }
      group = static_cast<int>(line);
    } else if (static_cast<size_t>(i) < shadow.RowGroups.size()) {
      group = shadow.RowGroups[static_cast<size_t>(i)];
    }
    std::vector<std::string> cells;
    for (size_t c = 0; c < columns; ++c) {
      // Room for the longest cell a page shows (a finding keeps 65,536 characters).
      static std::vector<wchar_t> text(65536 + 2);
      LVITEMW item{};
      item.iSubItem = static_cast<int>(c);
      item.pszText = text.data();
      item.cchTextMax = static_cast<int>(text.size());
      const auto n = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      cells.push_back(Utf8(std::wstring(text.data(), static_cast<size_t>(std::max<LRESULT>(n, 0)))));
    }
    r.Rows.Append(cells, group);
  }
}

void ReadTree(HWND tree, HTREEITEM first, std::vector<TPageRecord::TNode>& out) {
  for (HTREEITEM item = first; item;
       item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
    wchar_t text[1024] = {};
    TVITEMW it{};
    it.mask = TVIF_TEXT;
    it.hItem = item;
    it.pszText = text;
    it.cchTextMax = 1024;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
    TPageRecord::TNode node{Utf8(text), {}};
    ReadTree(tree, reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item))),
             node.Children);
    out.push_back(std::move(node));
  }
}

// Texts whose first occurrence in the rich edit is probed for its character format (--probe).
std::vector<std::wstring> gProbes;

// The rich edit's text in UTF-16 (EM_GETTEXTEX: WM_GETTEXT of the ANSI class RichEdit20A goes
// through the ANSI code page), with every line end as CR LF (the control keeps a paragraph end
// as CR), and the format at each probe.
void ReadRichEdit(HWND rich, TPageRecord& r) {
  GETTEXTLENGTHEX length{GTL_NUMCHARS | GTL_PRECISE, 1200};
  const auto n = SendMessageW(rich, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
  std::wstring shown(static_cast<size_t>(n < 0 ? 0 : n) * 2 + 2, L'\0');
  GETTEXTEX how{static_cast<DWORD>(shown.size() * sizeof(wchar_t)), GT_DEFAULT, 1200, nullptr, nullptr};
  shown.resize(static_cast<size_t>(SendMessageW(rich, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&how), reinterpret_cast<LPARAM>(shown.data()))));
  std::wstring text;
  for (size_t i = 0; i < shown.size(); ++i) {
    text.push_back(shown[i]);
    if (shown[i] == L'\r' && (i + 1 >= shown.size() || shown[i + 1] != L'\n')) text.push_back(L'\n');
  }
  r.PlainText = Utf8(text);
  for (const auto& probe : gProbes) {
    FINDTEXTEXW find{};
    find.chrg = {0, -1};
    find.lpstrText = probe.c_str();
    const auto at = SendMessageW(rich, EM_FINDTEXTEXW, FR_DOWN | FR_MATCHCASE, reinterpret_cast<LPARAM>(&find));
    if (at < 0) {
      std::printf("probe \"%s\": not found\n", Utf8(probe).c_str());
      continue;
    }
    CHARRANGE range{static_cast<LONG>(at), static_cast<LONG>(at) + 1};
    SendMessageW(rich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_COLOR | CFM_FACE | CFM_SIZE;
    SendMessageW(rich, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    const COLORREF c = format.crTextColor;
    std::printf("probe \"%s\": at %ld bold=%d italic=%d color=%02X%02X%02X face=%s size=%ld\n", Utf8(probe).c_str(),
                static_cast<long>(at), (format.dwEffects & CFE_BOLD) ? 1 : 0, (format.dwEffects & CFE_ITALIC) ? 1 : 0,
                GetRValue(c), GetGValue(c), GetBValue(c), Utf8(format.szFaceName).c_str(), static_cast<long>(format.yHeight));
  }
  CHARRANGE none{0, 0};
  SendMessageW(rich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
  std::fflush(stdout);
}

// Library nodes start collapsed: a root that shows its children is a fault of the page.
void CheckRootsCollapsed(HWND tree) {
  for (HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)); item;
       item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
    const auto state = SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED);
    if (state & TVIS_EXPANDED) {
      Fail("tree: a root node is expanded");
      return;
    }
  }
}

TPageRecord ReadPage(HWND page, TPageKind kind) {
  TPageRecord r;
  HWND main = GetDlgItem(page, 1666);
  switch (kind) {
    case TPageKind::pkFields: ReadFields(page, r); break;
    case TPageKind::pkList:
    case TPageKind::pkListProgress:
      if (main) ReadList(main, r);
      break;
    case TPageKind::pkTree:
      if (main) {
        ReadTree(main, reinterpret_cast<HTREEITEM>(SendMessageW(main, TVM_GETNEXTITEM, TVGN_ROOT, 0)), r.Tree);
        CheckRootsCollapsed(main);
      }
      break;
    case TPageKind::pkRichEdit: {
      {
        std::lock_guard guard(gHookLock);
        r.RichText = gRichText[main];
      }
      if (main) ReadRichEdit(main, r);
      break;
    }
  }
  return r;
}

// ---- Screenshots: the dialog's pixels as a 24-bit BMP.

bool SaveShot(HWND dialog, const std::wstring& file) {
  RECT rc{};
  if (!GetWindowRect(dialog, &rc)) return false;
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  if (w <= 0 || h <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap && bits) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    GdiFlush();
    SelectObject(memory, old);
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + stride * static_cast<DWORD>(h);
    std::ofstream out(file.c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&fh), sizeof fh);
    out.write(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof bi.bmiHeader);
    out.write(static_cast<const char*>(bits), static_cast<std::streamsize>(stride * static_cast<DWORD>(h)));
    ok = out.good();
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

// ---- Opening a dialog: one thread per dialog, as the shell gives each its own.

struct TDialogRun {
  std::vector<std::wstring> Files;
  DWORD ThreadId = 0;
  HANDLE Thread = nullptr;
  std::atomic<bool> Done{false};
  HRESULT Result = E_PENDING;
};

// The "properties" verb of the files' context menu (all files in one folder).
HRESULT InvokeProperties(const std::vector<std::wstring>& files) {
  std::vector<PIDLIST_ABSOLUTE> absolute;
  HRESULT hr = S_OK;
  for (const auto& f : files) {
    PIDLIST_ABSOLUTE pidl = nullptr;
    hr = SHParseDisplayName(f.c_str(), nullptr, &pidl, 0, nullptr);
    if (FAILED(hr)) break;
    absolute.push_back(pidl);
  }
  IShellFolder* folder = nullptr;
  IContextMenu* menu = nullptr;
  if (SUCCEEDED(hr) && !absolute.empty()) {
    PCUITEMID_CHILD first = nullptr;
    hr = SHBindToParent(absolute[0], IID_IShellFolder, reinterpret_cast<void**>(&folder), &first);
    if (SUCCEEDED(hr)) {
      std::vector<PCUITEMID_CHILD> children;
      for (auto pidl : absolute) children.push_back(ILFindLastID(pidl));
      hr = folder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(), IID_IContextMenu,
                                 nullptr, reinterpret_cast<void**>(&menu));
    }
  }
  if (SUCCEEDED(hr) && menu) {
    HMENU popup = CreatePopupMenu();
    menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL);
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = "properties";
    info.nShow = SW_SHOWNORMAL;
    hr = menu->InvokeCommand(&info);
    DestroyMenu(popup);
  }
  if (menu) menu->Release();
  if (folder) folder->Release();
  for (auto pidl : absolute) CoTaskMemFree(pidl);
  return hr;
}

DWORD WINAPI OpenerMain(void* parameter) {
  auto* run = static_cast<TDialogRun*>(parameter);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, RecordHook, nullptr, GetCurrentThreadId());
  run->Result = InvokeProperties(run->Files);
  // Where the shell shows the sheet without blocking, keep its thread's messages flowing.
  MSG msg;
  while (!run->Done && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  if (hook) UnhookWindowsHookEx(hook);
  CoUninitialize();
  run->Done = true;
  return 0;
}

struct TFindDialog {
  DWORD ThreadId;
  HWND Found;
};

BOOL CALLBACK FindSheet(HWND w, LPARAM p) {
  auto* find = reinterpret_cast<TFindDialog*>(p);
  if (GetWindowThreadProcessId(w, nullptr) != find->ThreadId || ClassOf(w) != L"#32770") return TRUE;
  if (!SendMessageW(w, PSM_GETTABCONTROL, 0, 0)) return TRUE;
  find->Found = w;
  return FALSE;
}

HWND WaitForDialog(const TDialogRun& run, int timeoutMs) {
  const auto start = Clock::now();
  while (Ms(start) < timeoutMs && !run.Done) {
    TFindDialog find{run.ThreadId, nullptr};
    EnumWindows(FindSheet, reinterpret_cast<LPARAM>(&find));
    if (find.Found && IsWindowVisible(find.Found)) return find.Found;
    PumpSleep(100);
  }
  return nullptr;
}

std::vector<std::wstring> TabTitles(HWND dialog) {
  std::vector<std::wstring> titles;
  HWND tab = reinterpret_cast<HWND>(SendMessageW(dialog, PSM_GETTABCONTROL, 0, 0));
  const int count = static_cast<int>(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    titles.push_back(text);
  }
  return titles;
}

// Where a thread started (0 when the system does not say).
uintptr_t ThreadStart(DWORD id) {
  using TQuery = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<TQuery>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
  HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, id);
  uintptr_t start = 0;
  if (thread && query) query(thread, 9 /* ThreadQuerySetWin32StartAddress */, &start, sizeof start, nullptr);
  if (thread) CloseHandle(thread);
  return start;
}

// The threads of this process that run code of BQLite.dll: the pages' workers.
std::set<DWORD> WorkerThreads() {
  std::set<DWORD> ids;
  HMODULE module = GetModuleHandleW(L"BQLite.dll");
  MODULEINFO info{};
  if (!module || !GetModuleInformation(GetCurrentProcess(), module, &info, sizeof info)) return ids;
  const auto base = reinterpret_cast<uintptr_t>(info.lpBaseOfDll);
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return ids;
  THREADENTRY32 e{};
  e.dwSize = sizeof e;
  for (BOOL ok = Thread32First(snap, &e); ok; ok = Thread32Next(snap, &e)) {
    if (e.th32OwnerProcessID != GetCurrentProcessId()) continue;
    const uintptr_t start = ThreadStart(e.th32ThreadID);
    if (start >= base && start < base + info.SizeOfImage) ids.insert(e.th32ThreadID);
  }
  CloseHandle(snap);
  return ids;
}

// A page is complete when no worker of the module is alive and its controls have been quiet
// for a moment.
bool WaitForPage(int timeoutMs) {
  const auto start = Clock::now();
  while (Ms(start) < timeoutMs) {
    if (WorkerThreads().empty() && Now() - gLastActivity > 400) return true;
    PumpSleep(100);
  }
  return false;
}

const TPageInfo* PageByTitle(const std::wstring& title) {
  for (const auto& p : ModulePages().Pages())
    if (Wide(p.Title) == title) return &p;
  return nullptr;
}

bool Responsive(HWND dialog) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &result) != 0;
}

bool WaitClosed(TDialogRun& run, HWND dialog, int timeoutMs) {
  const auto start = Clock::now();
  while (Ms(start) < timeoutMs) {
    if (!IsWindow(dialog)) return true;
    PumpSleep(20);
  }
  return false;
}

bool WorkersGone(int timeoutMs) {
  const auto start = Clock::now();
  while (Ms(start) < timeoutMs) {
    if (WorkerThreads().empty()) return true;
    PumpSleep(20);
  }
  return false;
}

// Puts text on the clipboard, as a user copying a published checksum would.
bool SetClipboardText(const std::wstring& text) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  bool ok = false;
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
    if (auto* p = static_cast<wchar_t*>(GlobalLock(memory))) {
      memcpy(p, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
      GlobalUnlock(memory);
      ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    }
    if (!ok) GlobalFree(memory);
  }
  CloseClipboard();
  return ok;
}

struct TFindBox {
  DWORD ThreadId;
  HWND Sheet;
  HWND Found;
};

BOOL CALLBACK FindMessageBox(HWND w, LPARAM p) {
  auto* find = reinterpret_cast<TFindBox*>(p);
  if (w == find->Sheet || GetWindowThreadProcessId(w, nullptr) != find->ThreadId || ClassOf(w) != L"#32770") return TRUE;
  if (!IsWindowVisible(w) || SendMessageW(w, PSM_GETTABCONTROL, 0, 0)) return TRUE;
  find->Found = w;
  return FALSE;
}

// Adds a static control's text to the string at p (an enumeration callback).
BOOL CALLBACK AppendStaticText(HWND child, LPARAM p) {
  if (ClassOf(child) == L"Static") *reinterpret_cast<std::wstring*>(p) += TextOf(child);
  return TRUE;
}

// Presses the first page's launch button; reports the message box it brings up, if any, and
// closes it.
void PressLaunch(TDialogRun& run, HWND dialog) {
  const auto titles = TabTitles(dialog);
  for (size_t i = 0; i < titles.size(); ++i)
    if (titles[i] == L"Brisquel") SendMessageW(dialog, PSM_SETCURSEL, i, 0);
  PumpSleep(300);
  HWND page = reinterpret_cast<HWND>(SendMessageW(dialog, PSM_GETCURRENTPAGEHWND, 0, 0));
  HWND button = page ? GetDlgItem(page, 1112) : nullptr;
  if (!button) {
    Fail("launch: no button");
    return;
  }
  PostMessageW(page, WM_COMMAND, MAKEWPARAM(1112, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  const auto start = Clock::now();
  while (Ms(start) < 8000) {
    TFindBox find{run.ThreadId, dialog, nullptr};
    EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&find));
    if (find.Found) {
      std::wstring text;
      EnumChildWindows(find.Found, AppendStaticText, reinterpret_cast<LPARAM>(&text));
      for (auto& c : text)
        if (c == L'\r' || c == L'\n') c = L' ';
      std::printf("launch: message box '%s': '%s'\n", Utf8(TextOf(find.Found)).c_str(), Utf8(text).c_str());
      PostMessageW(find.Found, WM_COMMAND, IDOK, 0);
      PumpSleep(300);
      return;
    }
    PumpSleep(100);
  }
  std::printf("launch: no message box\n");
}

struct TOptions {
  std::wstring Out, OutB, Shots, CancelOn, Clipboard, Name = L"dialog";
  bool Launch = false;
  bool Lock = false, Pair = false;
  std::vector<std::wstring> Files;
  std::wstring ExportDir;                // --export DIR: copy and save these pages there
  std::vector<std::wstring> ExportPages;  // --export-page TITLE
  std::vector<std::wstring> SortPages;    // --sort TITLE:COLUMN, clicked before the page is read
  bool ReadRows = true;                   // --no-rows: time the pages, read no rows
};
const TOptions* gOptions = nullptr;

// ---- Watching a page fill: when its first rows and its last arrived, and the longest the
// dialog took to answer meanwhile (the work done on its thread).

size_t ItemCount(HWND page) {
  HWND main = GetDlgItem(page, 1666);
  if (!main) return 0;
  const std::wstring cls = ClassOf(main);
  if (cls == WC_LISTVIEWW) return static_cast<size_t>(SendMessageW(main, LVM_GETITEMCOUNT, 0, 0));
  if (cls == WC_TREEVIEWW) return static_cast<size_t>(SendMessageW(main, TVM_GETCOUNT, 0, 0));
  return static_cast<size_t>(GetWindowTextLengthW(main));
}

struct TPageTiming {
  long Shown = 0, First = -1, TenThousand = -1, Last = -1, LongestAnswer = 0;
  size_t Items = 0;
};

bool WatchPage(HWND dialog, size_t index, TPageTiming& t, int timeoutMs) {
  const auto start = Clock::now();
  SendMessageW(dialog, PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
  t.Shown = Ms(start);
  t.LongestAnswer = t.Shown;
  size_t last = 0;
  while (Ms(start) < timeoutMs) {
    const auto asked = Clock::now();
    DWORD_PTR result = 0;
    SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
    t.LongestAnswer = std::max(t.LongestAnswer, Ms(asked));
    HWND page = reinterpret_cast<HWND>(SendMessageW(dialog, PSM_GETCURRENTPAGEHWND, 0, 0));
    const size_t items = page ? ItemCount(page) : 0;
    if (items != last) {
      last = items;
      t.Last = Ms(start);
      if (t.First < 0) t.First = t.Last;
      if (t.TenThousand < 0 && items >= 10000) t.TenThousand = t.Last;
    }
    if (WorkerThreads().empty() && Now() - gLastActivity > 400) {
      t.Items = last;
      if (t.First < 0) t.First = t.Last = t.Shown;
      return true;
    }
    PumpSleep(20);
  }
  t.Items = last;
  return false;
}

// ---- Copy and Save as, driven as a user would: the page's commands, the keys, the save dialog.

std::string ClipboardText() {
  std::string text;
  for (int attempt = 0; attempt < 50 && !OpenClipboard(nullptr); ++attempt) PumpSleep(20);
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* w = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = Utf8(w);
      GlobalUnlock(data);
    }
  }
  EmptyClipboard();
  CloseClipboard();
  return text;
}

void WriteText(const std::wstring& file, const std::string& text) {
  std::ofstream(file.c_str(), std::ios::binary) << text;
}

// Presses Ctrl+key in a control of the dialog's thread.
void ControlKey(HWND control, WPARAM key) {
  const DWORD other = GetWindowThreadProcessId(control, nullptr);
  AttachThreadInput(GetCurrentThreadId(), other, TRUE);
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  SendMessageW(control, WM_KEYDOWN, key, 0);
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  AttachThreadInput(GetCurrentThreadId(), other, FALSE);
}

struct TFindSave {
  DWORD ThreadId;
  HWND Sheet, Found;
};

BOOL CALLBACK FindSaveDialog(HWND w, LPARAM p) {
  auto* find = reinterpret_cast<TFindSave*>(p);
  if (w == find->Sheet || GetWindowThreadProcessId(w, nullptr) != find->ThreadId || ClassOf(w) != L"#32770" ||
      !IsWindowVisible(w))
    return TRUE;
  find->Found = w;
  return FALSE;
}

// Save as… through the standard dialog: the name typed, OK pressed.
bool SaveAs(HWND dialog, HWND page, const std::wstring& file) {
  DeleteFileW(file.c_str());
  PostMessageW(page, WM_COMMAND, MAKEWPARAM(kCmdSaveAs, 0), 0);
  TFindSave find{GetWindowThreadProcessId(dialog, nullptr), dialog, nullptr};
  for (int i = 0; i < 300 && !find.Found; ++i) {
    PumpSleep(50);
    EnumWindows(FindSaveDialog, reinterpret_cast<LPARAM>(&find));
  }
  if (!find.Found) return false;
  PumpSleep(200);
  // The file name box: the combo box of the Explorer-style dialog, or the older edit.
  if (!SetDlgItemTextW(find.Found, 1148, file.c_str())) SetDlgItemTextW(find.Found, 1152, file.c_str());
  PostMessageW(find.Found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(find.Found, IDOK)));
  for (int i = 0; i < 300; ++i) {
    PumpSleep(50);
    if (!IsWindow(find.Found) && GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  }
  return false;
}

void ExportPage(HWND dialog, HWND page, const std::string& name, const std::wstring& title) {
  const std::wstring base = gOptions->ExportDir + L"\\" + Wide(name) + L"-" + title;
  Stage(name + ": copying page " + Utf8(title));
  SendMessageW(page, WM_COMMAND, MAKEWPARAM(kCmdCopyAll, 0), 0);
  WriteText(base + L".copy-all.txt", ClipboardText());
  HWND main = GetDlgItem(page, 1666);
  if (main && ClassOf(main) == WC_TREEVIEWW) {
    SendMessageW(main, TVM_SELECTITEM, TVGN_CARET, SendMessageW(main, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  } else if (main) {
    ControlKey(main, 'A');
  }
  if (main) {
    ControlKey(main, 'C');
    WriteText(base + L".keys.txt", ClipboardText());
    // "Copy value", where the page offers it: the selected rows' values.
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(bq::win32::kCmdCopyValue, 0), 0);
    WriteText(base + L".copy-value.txt", ClipboardText());
  }
  for (const wchar_t* extension : {L".csv", L".txt", L".json"}) {
    Stage(name + ": saving page " + Utf8(title) + " as " + Utf8(extension));
    if (!SaveAs(dialog, page, base + extension)) Fail(name + ": Save as " + Utf8(extension) + " of " + Utf8(title) + " did not save");
  }
}

void StartRun(TDialogRun& run) {
  Stage("opening the Properties dialog");
  run.Thread = CreateThread(nullptr, 0, OpenerMain, &run, 0, &run.ThreadId);
  gDialogThreads[gDialogThreads[0] ? 1 : 0] = run.ThreadId;
}

// Reads every Brisquel Lite tab of one dialog; writes its JSON and screenshots.
void ReadDialog(TDialogRun& run, HWND dialog, const std::wstring& out, const std::wstring& shots, const std::string& name) {
  const auto titles = TabTitles(dialog);
  std::string list;
  for (const auto& t : titles) list += (list.empty() ? "" : "|") + Utf8(t);
  std::printf("%s tabs: %s\n", name.c_str(), list.c_str());
  // Where the shell loaded the server from (the installer test checks it is the installed one).
  wchar_t loaded[MAX_PATH] = L"", full[MAX_PATH] = L"";
  if (HMODULE module = GetModuleHandleW(L"BQLite.dll")) GetModuleFileNameW(module, loaded, MAX_PATH);
  if (!GetLongPathNameW(loaded, full, MAX_PATH)) lstrcpynW(full, loaded, MAX_PATH);
  std::printf("%s module: %s\n", name.c_str(), Utf8(full).c_str());

  std::vector<TRenderedPage> pages;
  for (size_t i = 0; i < titles.size(); ++i) {
    const TPageInfo* info = PageByTitle(titles[i]);
    if (!info) continue;
    Stage(name + ": showing page " + info->Title);
    gLastActivity = Now();
    TPageTiming timing;
    if (!WatchPage(dialog, i, timing, 120000)) Fail(name + ": page " + info->Title + " did not finish within 120 s");
    const std::string tenThousand = timing.TenThousand >= 0 ? "10000 items after " + std::to_string(timing.TenThousand) + " ms, " : "";
    std::printf("timing: %s: %s: shown after %ld ms, first items after %ld ms, %sall %zu after %ld ms; the dialog answered within %ld ms\n",
                name.c_str(), info->Title.c_str(), timing.Shown, timing.First, tenThousand.c_str(), timing.Items, timing.Last,
                timing.LongestAnswer);
    HWND page = reinterpret_cast<HWND>(SendMessageW(dialog, PSM_GETCURRENTPAGEHWND, 0, 0));
    for (const auto& sort : gOptions->SortPages) {
      const size_t colon = sort.find(L':');
      if (page && sort.substr(0, colon) == titles[i] && colon != std::wstring::npos) {
        // A click on the column's header, as the list view reports it.
        NMLISTVIEW click{};
        click.hdr.hwndFrom = GetDlgItem(page, 1666);
        click.hdr.idFrom = 1666;
        click.hdr.code = LVN_COLUMNCLICK;
        click.iItem = -1;
        click.iSubItem = _wtoi(sort.c_str() + colon + 1);
        SendMessageW(page, WM_NOTIFY, 1666, reinterpret_cast<LPARAM>(&click));
      }
    }
    TRenderedPage rendered;
    rendered.Info = info;
    rendered.WithContent = true;
    Stage(name + ": reading page " + info->Title);
    if (!page) Fail(name + ": page " + info->Title + " has no window");
    if (page && gOptions->ReadRows) rendered.Record = ReadPage(page, info->Kind);
    if (page && !gOptions->ExportDir.empty())
      for (const auto& e : gOptions->ExportPages)
        if (e == titles[i]) ExportPage(dialog, page, name, titles[i]);
    // A worker page's progress bar goes away when its work is done.
    HWND bar = page && (info->Kind == TPageKind::pkListProgress || info->Kind == TPageKind::pkFields)
                   ? GetDlgItem(page, 1667) : nullptr;
    if (bar && IsWindowVisible(bar)) Fail(name + ": the progress bar of " + info->Title + " is still shown");
    pages.push_back(std::move(rendered));
    // The Hashes page's "Compare:" box and the line under it.
    if (HWND box = page ? GetDlgItem(page, 1668) : nullptr)
      std::printf("%s compare: box '%s' result '%s'\n", name.c_str(), Utf8(TextOf(box)).c_str(),
                  Utf8(TextOf(GetDlgItem(page, 1669))).c_str());
    if (!shots.empty()) {
      Stage(name + ": screenshot of page " + info->Title);
      SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
      RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      PumpSleep(150);
      const std::wstring file = shots + L"\\" + Wide(name) + L"-" + std::to_wstring(i) + L"-" + titles[i] + L".bmp";
      if (!SaveShot(dialog, file)) Fail(name + ": no screenshot of " + info->Title);
    }
  }
  // The dialog stays usable: every tab can be shown again and it answers messages.
  Stage(name + ": showing every tab again");
  for (size_t i = 0; i < titles.size(); ++i) SendMessageW(dialog, PSM_SETCURSEL, static_cast<WPARAM>(i), 0);
  if (!Responsive(dialog)) Fail(name + ": dialog does not answer");

  std::vector<std::string> names;
  for (const auto& f : run.Files) names.push_back(Utf8(f));
  Stage(name + ": writing the JSON");
  const auto selection = BuildSelection(names, LoadExtensionLists(FindExtensionsIni()));
  std::ofstream(out.c_str(), std::ios::binary) << RenderJson(*selection, pages);
}

bool CloseDialog(TDialogRun& run, HWND dialog, const std::string& name) {
  Stage(name + ": closing the dialog");
  PostMessageW(dialog, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
  if (!WaitClosed(run, dialog, 10000)) {
    Fail(name + ": dialog did not close");
    return false;
  }
  WaitForSingleObject(run.Thread, 10000);
  return true;
}

int Run(const TOptions& o) {
  if (o.Pair) {
    if (o.Files.size() != 2) return 2;
    TDialogRun a, b;
    a.Files = {o.Files[0]};
    b.Files = {o.Files[1]};
    // The second dialog opens once the first has settled, and both stay open until each has
    // been read. Wine's text shaping (usp10) is not safe when edit controls on two threads lay
    // out text at the same moment, so the two dialogs must not fill their edit boxes at once.
    StartRun(a);
    HWND da = WaitForDialog(a, 30000);
    if (da) WaitForPage(10000);
    StartRun(b);
    HWND db = da ? WaitForDialog(b, 30000) : nullptr;
    if (db) WaitForPage(10000);
    if (!da || !db) {
      Fail("pair: both dialogs must open");
      return 1;
    }
    std::printf("pair: two dialogs on threads %lu and %lu\n", a.ThreadId, b.ThreadId);
    const std::string name = Utf8(o.Name);
    ReadDialog(a, da, o.Out, o.Shots, name + "-a");
    ReadDialog(b, db, o.OutB, o.Shots, name + "-b");
    CloseDialog(a, da, name + "-a");
    CloseDialog(b, db, name + "-b");
    return gFailures ? 1 : 0;
  }

  HANDLE locked = INVALID_HANDLE_VALUE;
  if (o.Lock) {
    locked = CreateFileW(o.Files[0].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (locked == INVALID_HANDLE_VALUE) Fail("could not lock the first file");
  }
  if (!o.Clipboard.empty() && !SetClipboardText(o.Clipboard)) Fail("could not set the clipboard");
  TDialogRun run;
  run.Files = o.Files;
  const auto invoked = Clock::now();
  StartRun(run);
  Stage("waiting for the Properties dialog");
  HWND dialog = WaitForDialog(run, 30000);
  if (!dialog) {
    Fail("no Properties dialog appeared (verb result " + std::to_string(run.Result) + ")");
    return 1;
  }
  std::printf("dialog appeared %ld ms after the verb\n", Ms(invoked));

  // The shell may still be busy with its own page; start once the dialog answers.
  const auto shown = Clock::now();
  if (!Responsive(dialog)) Fail("the dialog does not answer after it appeared");
  std::printf("dialog answered %ld ms after it appeared\n", Ms(shown));

  if (!o.CancelOn.empty()) {
    const auto titles = TabTitles(dialog);
    size_t index = titles.size();
    for (size_t i = 0; i < titles.size(); ++i)
      if (titles[i] == o.CancelOn) index = i;
    if (index == titles.size()) {
      Fail("no tab " + Utf8(o.CancelOn));
      return 1;
    }
    SendMessageW(dialog, PSM_SETCURSEL, index, 0);
    PumpSleep(500);
    // What the first page's boxes and bar show while it computes.
    if (HWND current = reinterpret_cast<HWND>(SendMessageW(dialog, PSM_GETCURRENTPAGEHWND, 0, 0))) {
      if (HWND md5 = GetDlgItem(current, 1001)) {
        HWND bar = GetDlgItem(current, 1667);
        std::printf("cancel: MD5 box '%s', progress bar %s\n", Utf8(TextOf(md5)).c_str(),
                    bar && IsWindowVisible(bar) ? "shown" : "hidden");
      }
    }
    const size_t workers = WorkerThreads().size();
    std::printf("cancel: %zu worker thread(s) running when cancelled\n", workers);
    HMODULE module = GetModuleHandleW(L"BQLite.dll");
    auto canUnload = module ? reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow"))) : nullptr;
    if (workers && (!canUnload || canUnload() != S_FALSE)) Fail("cancel: DllCanUnloadNow must answer S_FALSE while a worker runs");
    const auto start = Clock::now();
    PostMessageW(dialog, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    if (!WaitClosed(run, dialog, 10000)) Fail("cancel: dialog still open after 10 s");
    std::printf("cancel: closed in %ld ms\n", Ms(start));
    WaitForSingleObject(run.Thread, 10000);
    if (!WorkersGone(30000)) Fail("cancel: worker still running 30 s after the dialog closed");
    else std::printf("cancel: workers ended %ld ms after the cancel\n", Ms(start));
    return gFailures ? 1 : 0;
  }

  if (o.Launch) PressLaunch(run, dialog);
  ReadDialog(run, dialog, o.Out, o.Shots, Utf8(o.Name));
  CloseDialog(run, dialog, Utf8(o.Name));
  if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);
  return gFailures ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  TOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::wstring a = argv[i];
    auto value = [&]() { return i + 1 < argc ? std::wstring(argv[++i]) : std::wstring(); };
    if (a == L"--out") o.Out = value();
    else if (a == L"--out-b") o.OutB = value();
    else if (a == L"--shots") o.Shots = value();
    else if (a == L"--cancel-on") o.CancelOn = value();
    else if (a == L"--name") o.Name = value();
    else if (a == L"--clipboard") o.Clipboard = value();
    else if (a == L"--launch") o.Launch = true;
    else if (a == L"--lock") o.Lock = true;
    else if (a == L"--pair") o.Pair = true;
    else if (a == L"--probe") gProbes.push_back(value());
    else if (a == L"--export") o.ExportDir = value();
    else if (a == L"--export-page") o.ExportPages.push_back(value());
    else if (a == L"--sort") o.SortPages.push_back(value());
    else if (a == L"--no-rows") o.ReadRows = false;
    else o.Files.push_back(a);
  }
  if (o.Files.empty() || (o.Out.empty() && o.CancelOn.empty())) {
    std::fputs("usage: bqdialoghost [--name NAME] [--lock] [--shots DIR] [--cancel-on TAB] [--pair --out-b FILE] [--probe TEXT]... [--clipboard TEXT] [--launch] --out FILE FILE...\n", stderr);
    return 2;
  }
  gOptions = &o;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  gMainThread = GetCurrentThreadId();
  gStageAt = static_cast<long>(GetTickCount());
  SetUnhandledExceptionFilter(OnCrash);
  std::set_terminate(OnTerminate);
  if (HANDLE watchdog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr)) CloseHandle(watchdog);
  InitCommonControls();
  try {
    const int rc = Run(o);
    Stage("leaving");
    std::printf("host: %d failure(s)\n", gFailures);
    std::fflush(stdout);
    // Leave at once: a worker still winding down must not hold the test up.
    ExitProcess(static_cast<UINT>(rc));
  } catch (const std::exception& e) {
    std::printf("FAIL host: %s\n", e.what());
    return 1;
  }
}
