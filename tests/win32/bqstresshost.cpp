// Stress host: many Properties dialogs and long sessions, opened as Explorer opens them (the
// shell's context menu "properties" verb, one thread per dialog). First every file given gets
// its own dialog, all open at once, and every tab of each is visited before all are closed;
// then one file's dialog is opened, visited and closed CYCLES times. The process's handles,
// GDI and USER objects and private bytes after the first cycle and at the end are printed; the
// run fails when the end is not back within 5 % of the first cycle's level, or when the module
// does not answer S_OK to DllCanUnloadNow at the end.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>
#include <shlobj.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long Ms(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

std::string Narrow(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

int gFailures = 0;
void Fail(const std::string& what) {
  std::printf("FAIL %s\n", what.c_str());
  std::fflush(stdout);
  ++gFailures;
}

// Waits while answering what other threads send to this one.
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

// ---- When a page is done: no worker of the module runs and its controls have been quiet.

std::atomic<DWORD> gLastActivity{0};

LRESULT CALLBACK ActivityHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && lParam) {
    switch (reinterpret_cast<const CWPRETSTRUCT*>(lParam)->message) {
      case LVM_INSERTGROUP:
      case LVM_INSERTITEMW:
      case LVM_SETITEMW:
      case LVM_SETITEMCOUNT:
      case LVM_INSERTCOLUMNW:
      case EM_SETTEXTEX:
      case WM_SETTEXT:
      case TVM_INSERTITEMW:
      case PBM_SETPOS:
        gLastActivity = GetTickCount();
        break;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

HMODULE gModule = nullptr;  // BQLite.dll, held loaded by the host once the first dialog has it

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

size_t WorkerThreads() {
  MODULEINFO info{};
  if (!gModule || !GetModuleInformation(GetCurrentProcess(), gModule, &info, sizeof info)) return 0;
  const auto base = reinterpret_cast<uintptr_t>(info.lpBaseOfDll);
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return 0;
  size_t n = 0;
  THREADENTRY32 e{};
  e.dwSize = sizeof e;
  for (BOOL ok = Thread32First(snap, &e); ok; ok = Thread32Next(snap, &e)) {
    if (e.th32OwnerProcessID != GetCurrentProcessId()) continue;
    const uintptr_t start = ThreadStart(e.th32ThreadID);
    n += start >= base && start < base + info.SizeOfImage;
  }
  CloseHandle(snap);
  return n;
}

DWORD gQuietMs = 150;

bool WaitQuiet(int timeoutMs) {
  const auto start = Clock::now();
  while (Ms(start) < timeoutMs) {
    if (GetTickCount() - gLastActivity > gQuietMs && WorkerThreads() == 0) return true;
    PumpSleep(50);
  }
  return false;
}

// ---- One dialog on its own thread.

struct TDialog {
  std::wstring File;
  bool OwnSheet = false;  // the host creates the extension and shows its pages itself
  DWORD ThreadId = 0;
  HANDLE Thread = nullptr;
  HWND Window = nullptr;
  std::atomic<bool> Done{false};
};

HRESULT InvokeProperties(const std::wstring& file) {
  PIDLIST_ABSOLUTE pidl = nullptr;
  HRESULT hr = SHParseDisplayName(file.c_str(), nullptr, &pidl, 0, nullptr);
  if (FAILED(hr)) return hr;
  IShellFolder* folder = nullptr;
  IContextMenu* menu = nullptr;
  PCUITEMID_CHILD child = nullptr;
  hr = SHBindToParent(pidl, IID_IShellFolder, reinterpret_cast<void**>(&folder), &child);
  if (SUCCEEDED(hr))
    hr = folder->GetUIObjectOf(nullptr, 1, &child, IID_IContextMenu, nullptr, reinterpret_cast<void**>(&menu));
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
  CoTaskMemFree(pidl);
  return hr;
}

// What Explorer does for the "properties" verb, done by the host with the documented calls:
// create the extension, initialise it with the file's data object, let it add its pages to a
// property sheet, show the sheet, and release everything once it is closed.
const CLSID kExtension = {0x6E1A4F2B, 0x93C7, 0x4D8E, {0xA5, 0xB2, 0x1F, 0x0C, 0x7D, 0x3E, 0x8A, 0x61}};

BOOL CALLBACK AddSheetPage(HPROPSHEETPAGE page, LPARAM p) {
  reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(p)->push_back(page);
  return TRUE;
}

HRESULT ShowOwnSheet(const std::wstring& file) {
  PIDLIST_ABSOLUTE pidl = nullptr;
  HRESULT hr = SHParseDisplayName(file.c_str(), nullptr, &pidl, 0, nullptr);
  if (FAILED(hr)) return hr;
  IShellFolder* folder = nullptr;
  IDataObject* data = nullptr;
  IShellExtInit* init = nullptr;
  IShellPropSheetExt* ext = nullptr;
  PCUITEMID_CHILD child = nullptr;
  hr = SHBindToParent(pidl, IID_IShellFolder, reinterpret_cast<void**>(&folder), &child);
  if (SUCCEEDED(hr))
    hr = folder->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr, reinterpret_cast<void**>(&data));
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(kExtension, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, reinterpret_cast<void**>(&init));
  if (SUCCEEDED(hr)) hr = init->Initialize(nullptr, data, nullptr);
  if (SUCCEEDED(hr)) hr = init->QueryInterface(IID_IShellPropSheetExt, reinterpret_cast<void**>(&ext));
  std::vector<HPROPSHEETPAGE> pages;
  if (SUCCEEDED(hr)) hr = ext->AddPages(AddSheetPage, reinterpret_cast<LPARAM>(&pages));
  if (SUCCEEDED(hr) && !pages.empty()) {
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_NOAPPLYNOW | PSH_PROPTITLE;
    header.pszCaption = L"stress";
    header.nPages = static_cast<UINT>(pages.size());
    header.phpage = pages.data();
    PropertySheetW(&header);
  }
  if (ext) ext->Release();
  if (init) init->Release();
  if (data) data->Release();
  if (folder) folder->Release();
  CoTaskMemFree(pidl);
  return hr;
}

DWORD WINAPI DialogThread(void* parameter) {
  auto* d = static_cast<TDialog*>(parameter);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, ActivityHook, nullptr, GetCurrentThreadId());
  if (d->OwnSheet) ShowOwnSheet(d->File);
  else InvokeProperties(d->File);
  // Where the shell shows the sheet without blocking, keep its thread's messages flowing.
  MSG msg;
  while (!d->Done && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  if (hook) UnhookWindowsHookEx(hook);
  CoUninitialize();
  d->Done = true;
  return 0;
}

BOOL CALLBACK FindSheet(HWND w, LPARAM p) {
  auto* d = reinterpret_cast<TDialog*>(p);
  wchar_t cls[16] = {};
  GetClassNameW(w, cls, 16);
  if (GetWindowThreadProcessId(w, nullptr) != d->ThreadId || lstrcmpW(cls, L"#32770")) return TRUE;
  if (!SendMessageW(w, PSM_GETTABCONTROL, 0, 0)) return TRUE;
  d->Window = w;
  return FALSE;
}

bool Open(TDialog& d) {
  gLastActivity = GetTickCount();
  d.Thread = CreateThread(nullptr, 0, DialogThread, &d, 0, &d.ThreadId);
  const auto start = Clock::now();
  while (d.Thread && Ms(start) < 30000 && !d.Done) {
    d.Window = nullptr;
    EnumWindows(FindSheet, reinterpret_cast<LPARAM>(&d));
    if (d.Window && IsWindowVisible(d.Window)) break;
    d.Window = nullptr;
    PumpSleep(20);
  }
  if (!d.Window) {
    Fail("no Properties dialog for " + Narrow(d.File));
    return false;
  }
  if (!gModule && GetModuleHandleW(L"BQLite.dll")) {
    // Held by the host too, so that DllCanUnloadNow can be asked at the end.
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(L"BQLite.dll"), path, MAX_PATH);
    gModule = LoadLibraryW(path);
  }
  if (!WaitQuiet(60000)) Fail("the first page of " + Narrow(d.File) + " did not settle within 60 s");
  return true;
}

// Shows every tab in turn, each until it is done; returns how many were shown.
int Visit(TDialog& d) {
  HWND tab = reinterpret_cast<HWND>(SendMessageW(d.Window, PSM_GETTABCONTROL, 0, 0));
  const int count = static_cast<int>(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    gLastActivity = GetTickCount();
    SendMessageW(d.Window, PSM_SETCURSEL, static_cast<WPARAM>(i), 0);
    if (!WaitQuiet(60000)) Fail("tab " + std::to_string(i) + " of " + Narrow(d.File) + " did not settle within 60 s");
  }
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(d.Window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result))
    Fail("the dialog of " + Narrow(d.File) + " does not answer");
  return count;
}

long gClosedMs = 0;
void Close(TDialog& d) {
  if (d.Window) PostMessageW(d.Window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);  // the Cancel button
  const auto start = Clock::now();
  // A sheet's modal loop sees that it ended at its next message: one is sent now and then.
  while (d.Window && IsWindow(d.Window) && Ms(start) < 10000) {
    PumpSleep(20);
    PostMessageW(d.Window, WM_NULL, 0, 0);
  }
  if (d.Window && IsWindow(d.Window)) Fail("the dialog of " + Narrow(d.File) + " did not close");
  gClosedMs = Ms(start);
  if (d.Thread) {
    while (MsgWaitForMultipleObjects(1, &d.Thread, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) PumpSleep(0);
    CloseHandle(d.Thread);
    d.Thread = nullptr;
  }
}

// ---- What the process holds. Where the system does not report a figure (Wine answers 0 for
// the handle count, the GUI resources and the private usage), it is counted another way: the
// process's entries in the system handle list, the used entries of the GDI handle table the
// PEB points to, the process's windows, and the committed private regions of its address space.

struct TUsage {
  DWORD Handles = 0, Gdi = 0, User = 0;
  SIZE_T Private = 0;
};
std::string gSources;  // how each figure was counted, printed once

DWORD CountHandles() {
  DWORD n = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &n) && n) return n;
  using TQuery = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<TQuery>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  struct TEntry {
    ULONG Pid;
    BYTE Type, Flags;
    USHORT Value;
    void* Object;
    ULONG Access;
  };
  std::vector<BYTE> buffer(1 << 20);
  for (int tries = 0; query && tries < 6; ++tries) {
    ULONG needed = 0;
    const LONG status = query(16 /* SystemHandleInformation */, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
      buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
      continue;
    }
    if (status < 0) break;
    const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const TEntry*>(buffer.data() + sizeof(void*));
    const size_t room = (buffer.size() - sizeof(void*)) / sizeof(TEntry);
    for (size_t i = 0; i < count && i < room; ++i) n += entries[i].Pid == GetCurrentProcessId();
    if (gSources.find("handles") == std::string::npos) gSources += " handles: system handle list;";
    return n;
  }
  return 0;
}

DWORD CountGdi() {
  if (const DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return n;
  // The PEB's GdiSharedHandleTable: 24-byte entries, the type in the byte at offset 14.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"  // NtCurrentTeb reads gs:/fs: through a null pointer
  const auto* teb = reinterpret_cast<const BYTE*>(NtCurrentTeb());
#pragma GCC diagnostic pop
#ifdef _WIN64
  const auto* peb = *reinterpret_cast<const BYTE* const*>(teb + 0x60);
  const auto* table = *reinterpret_cast<const BYTE* const*>(peb + 0xF8);
#else
  const auto* peb = *reinterpret_cast<const BYTE* const*>(teb + 0x30);
  const auto* table = *reinterpret_cast<const BYTE* const*>(peb + 0x94);
#endif
  if (!table) return 0;
  DWORD n = 0;
  MEMORY_BASIC_INFORMATION mbi{};
  if (!VirtualQuery(table, &mbi, sizeof mbi)) return 0;
  const size_t bytes = static_cast<size_t>(static_cast<const BYTE*>(mbi.BaseAddress) + mbi.RegionSize - table);
  for (size_t at = 0; at + 24 <= bytes && at < 0x10000 * 24; at += 24) n += table[at + 14] != 0;
  if (gSources.find("GDI") == std::string::npos) gSources += " GDI: used entries of the GDI handle table;";
  return n;
}

BOOL CALLBACK CountChild(HWND, LPARAM p) {
  ++*reinterpret_cast<DWORD*>(p);
  return TRUE;
}
BOOL CALLBACK CountTop(HWND w, LPARAM p) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid != GetCurrentProcessId()) return TRUE;
  ++*reinterpret_cast<DWORD*>(p);
  EnumChildWindows(w, CountChild, p);
  return TRUE;
}

DWORD CountUser() {
  if (const DWORD n = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)) return n;
  DWORD n = 0;
  EnumWindows(CountTop, reinterpret_cast<LPARAM>(&n));
  for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w; w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr))
    CountTop(w, reinterpret_cast<LPARAM>(&n));
  if (gSources.find("USER") == std::string::npos) gSources += " USER: the process's windows;";
  return n;
}

SIZE_T CountPrivate() {
  PROCESS_MEMORY_COUNTERS_EX m{};
  m.cb = sizeof m;
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m) && m.PrivateUsage)
    return m.PrivateUsage;
  SIZE_T n = 0;
  MEMORY_BASIC_INFORMATION mbi{};
  for (const BYTE* at = nullptr; VirtualQuery(at, &mbi, sizeof mbi); at = static_cast<const BYTE*>(mbi.BaseAddress) + mbi.RegionSize) {
    if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) n += mbi.RegionSize;
    if (static_cast<const BYTE*>(mbi.BaseAddress) + mbi.RegionSize < at) break;
  }
  if (gSources.find("private") == std::string::npos) gSources += " private: committed private regions;";
  return n;
}

TUsage Measure() {
  const auto start = Clock::now();
  while (WorkerThreads() && Ms(start) < 30000) PumpSleep(50);
  PumpSleep(300);  // closed windows' last messages
  TUsage u;
  u.Handles = CountHandles();
  u.Gdi = CountGdi();
  u.User = CountUser();
  u.Private = CountPrivate();
  return u;
}

HRESULT CanUnloadNow() {
  using TCanUnload = HRESULT(WINAPI*)();
  const auto canUnload =
      gModule ? reinterpret_cast<TCanUnload>(reinterpret_cast<void*>(GetProcAddress(gModule, "DllCanUnloadNow"))) : nullptr;
  return canUnload ? canUnload() : E_NOTIMPL;
}

void Print(const char* when, const TUsage& u) {
  std::printf("stress: %-12s handles %lu, GDI objects %lu, USER objects %lu, private %.1f MB; DllCanUnloadNow 0x%08lX\n",
              when, static_cast<unsigned long>(u.Handles), static_cast<unsigned long>(u.Gdi),
              static_cast<unsigned long>(u.User), static_cast<double>(u.Private) / (1024.0 * 1024.0),
              static_cast<unsigned long>(CanUnloadNow()));
  std::fflush(stdout);
}

// Within 5 % of the reference, or within SLACK of it where 5 % of a small count is less than
// one dialog's ordinary churn (a handle or object that the system itself caches).
void Within(const char* what, double first, double end, double slack, const char* unit) {
  const double allowed = std::max(first * 0.05, slack);
  if (end > first + allowed)
    Fail(std::string(what) + ": " + std::to_string(static_cast<long long>(end)) + unit + " at the end, " +
         std::to_string(static_cast<long long>(first)) + unit + " after the first cycle (allowed +" +
         std::to_string(static_cast<long long>(allowed)) + unit + ")");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> files;
  std::wstring cycleFile;
  int cycles = 200, ownCycles = 3;
  for (int i = 1; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (a == L"--cycles" && i + 1 < argc) cycles = _wtoi(argv[++i]);
    else if (a == L"--cycle-file" && i + 1 < argc) cycleFile = argv[++i];
    else if (a == L"--quiet-ms" && i + 1 < argc) gQuietMs = static_cast<DWORD>(_wtoi(argv[++i]));
    else if (a == L"--own-cycles" && i + 1 < argc) ownCycles = _wtoi(argv[++i]);
    else files.push_back(a);
  }
  if (files.empty() || cycles < 1) {
    std::fputs("usage: bqstresshost [--cycles N] [--own-cycles N] [--cycle-file FILE] [--quiet-ms MS] FILE...\n", stderr);
    return 2;
  }
  if (cycleFile.empty()) cycleFile = files[0];
  InitCommonControls();
  const auto began = Clock::now();
  Print("start", Measure());

  // The extension's references alone: the host plays Explorer's part, so that nothing else
  // holds one, and DllCanUnloadNow must answer S_OK once the sheets are closed.
  for (int c = 1; c <= ownCycles; ++c) {
    TDialog d;
    d.File = cycleFile;
    d.OwnSheet = true;
    if (Open(d)) Visit(d);
    Close(d);
  }
  if (ownCycles) {
    Print("own sheets", Measure());
    const HRESULT hr = CanUnloadNow();
    if (hr != S_OK) Fail("DllCanUnloadNow does not return S_OK after the host's own sheets closed");
    else std::printf("stress: %d sheets shown by the host and closed: DllCanUnloadNow returns S_OK\n", ownCycles);
  }

  // Every file's dialog, all open at once. They are opened one after another, each once its
  // first page has settled: Wine's text shaping is not safe when edit controls on two threads
  // lay out text at the same moment.
  std::vector<std::unique_ptr<TDialog>> open;
  for (const auto& f : files) {
    auto d = std::make_unique<TDialog>();
    d->File = f;
    if (Open(*d)) open.push_back(std::move(d));
  }
  int tabs = 0;
  for (auto& d : open) tabs += Visit(*d);
  std::printf("stress: %zu dialogs open at once, %d tabs visited in %ld ms\n", open.size(), tabs, Ms(began));
  for (auto& d : open) Close(*d);
  open.clear();
  Print("many", Measure());

  TUsage first{};
  const auto cyclesBegan = Clock::now();
  const int failedBefore = gFailures;
  for (int c = 1; c <= cycles && gFailures == failedBefore; ++c) {
    TDialog d;
    d.File = cycleFile;
    const auto t0 = Clock::now();
    const bool opened = Open(d);
    const long open = Ms(t0);
    if (opened) Visit(d);
    const long visit = Ms(t0);
    Close(d);
    if (c <= 3) std::printf("stress: cycle %d: open %ld ms, visited %ld ms, closed %ld ms (window gone after %ld ms)\n", c, open, visit, Ms(t0), gClosedMs);
    if (c == 1) Print("first cycle", first = Measure());
  }
  const TUsage end = Measure();
  Print("end", end);
  std::printf("stress: %d cycles in %ld ms (%ld ms a cycle)\n", cycles, Ms(cyclesBegan), Ms(cyclesBegan) / cycles);

  std::printf("stress: allowed growth over the first cycle: 5 %%, at least 16 handles or objects (5 %% of a few dozen is"
              " less than one dialog's churn of cached system objects); private bytes 5 %%\n");
  Within("handles", first.Handles, end.Handles, 16, "");
  Within("GDI objects", first.Gdi, end.Gdi, 16, "");
  Within("USER objects", first.User, end.User, 16, "");
  Within("private bytes", static_cast<double>(first.Private), static_cast<double>(end.Private), 0, " B");

  if (!gModule) {
    Fail("BQLite.dll was never loaded");
  } else {
    const HRESULT hr = CanUnloadNow();
    std::printf("stress: DllCanUnloadNow returns 0x%08lX\n", static_cast<unsigned long>(hr));
    // Wine's shell releases the extensions it creates for the verb only in part: one reference
    // each stays (the host's own sheets above show the module's count returns to zero).
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (hr != S_OK && wine)
      std::printf("stress: under Wine the shell keeps a reference to each extension it created; not a fault of the module\n");
    else if (hr != S_OK)
      Fail("DllCanUnloadNow does not return S_OK after every dialog closed");
  }
  if (!gSources.empty()) std::printf("stress: counted where the system reports none:%s\n", gSources.c_str());
  std::printf("stress: %d failure(s) in %ld ms\n", gFailures, Ms(began));
  std::fflush(stdout);
  ExitProcess(gFailures ? 1 : 0);
}
