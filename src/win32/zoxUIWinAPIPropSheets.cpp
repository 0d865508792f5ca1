#include "win32/zoxUIWinAPIPropSheets.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>

#include "cli/bqRender.h"
#include "hashes/bqViewHashes.h"
#include "platform/bqHost.h"
#include "platform/bqRegistry.h"
#include "shell/zoxTweaks.h"
#include "win32/bqHashCompare.h"
#include "win32/bqLiteModule.h"
#include "win32/bqWinPageView.h"
#include "win32/zoxUIWinAPIHelpers.h"

namespace bq::win32 {

namespace {

constexpr int kLaunchButton = 1112;
constexpr int kLogo = 1110;  // the product page's static bitmap

// What a page window keeps between messages (DWLP_USER), from WM_INITDIALOG to WM_DESTROY.
struct TPageWindow {
  explicit TPageWindow(HWND window, TPropPage* page) : Page(page), View(window) { Page->AddRef(); }
  ~TPageWindow() { Page->Release(); }
  TPageWindow(const TPageWindow&) = delete;
  TPageWindow& operator=(const TPageWindow&) = delete;

  TPropPage* Page;
  TWinPageView View;
  std::shared_ptr<TWorkerLink> Link;  // worker pages
};

struct TWorkerStart {
  TPropPage* Page;  // one reference, released by the worker
  std::shared_ptr<TWorkerLink> Link;
  HMODULE Module;   // one load count, freed as the thread exits
};

// Whether the tweak "FailPage.<setting name>" asks this page to fail: its filling and its
// dialog procedure then throw, which shows that the barriers around them hold (the other pages
// are shown, the host lives).
bool FaultInjected(const TPageInfo& info) {
  bool fail = false;
  return ReadTweak(SystemRegistry(), HostExecutableName(), "FailPage." + info.SettingName, fail) && fail;
}

// Fills the page off the dialog's thread. A worker page sends its rows as they come; any
// other page fills a record of its own and hands it over whole, so the dialog's thread only
// shows it.
DWORD WINAPI WorkerMain(void* parameter) {
  auto* start = static_cast<TWorkerStart*>(parameter);
  const HMODULE module = start->Module;
  try {
    const TPageContext context{start->Page->Selection, &SystemRegistry(), DialogRowLimit(SystemRegistry())};
    if (FaultInjected(start->Page->Info)) throw std::runtime_error("fault injected into the page's worker");
    if (start->Page->Info.Worker) {
      TWorkerPageView view(start->Link);
      start->Page->Info.Fill(context, view);
      view.Flush();
      if (!view.StopRequested()) start->Link->Send([](TWinPageView& v) { v.FinishWorker(); });
    } else {
      TPageRecorder recorder;
      try {
        start->Page->Info.Fill(context, recorder);
      } catch (...) {
        // The page keeps what it had filled.
      }
      TPageRecord record = recorder.TakeRecord();
      start->Link->Send([&record](TWinPageView& v) { v.ShowRecord(std::move(record)); });
    }
  } catch (...) {
    // The page keeps what it had shown.
  }
  start->Page->Release();
  delete start;
  ModuleRelease();
  // The module must outlive the last instruction this thread runs in it.
  FreeLibraryAndExitThread(module, 0);
}

void StartWorker(HWND window, TPageWindow& state) {
  state.Link = std::make_shared<TWorkerLink>();
  state.Link->Page = window;
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&WorkerMain), &module))
    return;
  auto* start = new (std::nothrow) TWorkerStart{state.Page, state.Link, module};
  if (!start) {
    FreeLibrary(module);
    return;
  }
  state.Page->AddRef();
  ModuleAddRef();
  HANDLE thread = CreateThread(nullptr, 0, WorkerMain, start, 0, nullptr);
  if (thread) {
    CloseHandle(thread);
    return;
  }
  ModuleRelease();
  state.Page->Release();
  delete start;
  FreeLibrary(module);
}

void InitPage(HWND window, TPageKind kind, const PROPSHEETPAGEW* sheetPage) {
  auto* page = sheetPage ? reinterpret_cast<TPropPage*>(sheetPage->lParam) : nullptr;
  if (!page) return;
  // A worker's list shows its progress: a template without a bar gets one below the list.
  HWND bar = nullptr;
  if (kind == TPageKind::pkList && page->Info.Worker && page->Info.Fill && !GetDlgItem(window, 1667))
    bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(1667)), ModuleInstance(), nullptr);
  auto* state = new TPageWindow(window, page);
  SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
  state->View.SetCopyForm(page->Info.CopyRow, page->Info.ValueColumn);

  WidenPage(window);
  HWND main = GetDlgItem(window, 1666);
  switch (kind) {
    case TPageKind::pkFields: LayoutHashesPage(window); break;
    case TPageKind::pkListProgress: LayoutListProgressPage(window, main, GetDlgItem(window, 1667)); break;
    default:
      if (HasCompareBox(window)) InitCompareBox(window);
      else FitControl(window, main);
      if (bar) PlaceProgressBelow(window, main, bar);
      break;
  }
  if (HasCompareBox(window)) SetTimer(window, kCompareTimer, 200, nullptr);
  if (page->Info.Fill) StartWorker(window, *state);
}

// Saves what the page shows in a file the user names: CSV, tab-separated text or the page's
// JSON (as bqlite prints it) for lists and trees, the text for the preview.
void SavePage(HWND window, TPageWindow& state) {
  TWinPageView& view = state.View;
  const bool text = view.IsRichEdit();
  int type = 1;
  const std::wstring name = AskSaveName(window, state.Page->Title, text, type);
  if (name.empty()) return;
  // The type is the name's extension where it names one, else the type chosen.
  std::wstring extension = name.substr(std::min(name.size(), name.find_last_of(L'.') + 1));
  CharLowerW(extension.data());
  TExportFormat format = type == 3 ? TExportFormat::efJson : type == 2 ? TExportFormat::efTsv : TExportFormat::efCsv;
  if (extension == L"json") format = TExportFormat::efJson;
  else if (extension == L"csv") format = TExportFormat::efCsv;
  else if (extension == L"txt" || extension == L"tsv") format = TExportFormat::efTsv;
  std::string bytes;
  if (text) {
    bytes = "\xEF\xBB\xBF" + view.Export(TExportFormat::efText, false);
  } else if (format == TExportFormat::efJson) {
    TRenderedPage page;
    page.Info = &state.Page->Info;
    page.WithContent = true;
    page.Record = view.Record();
    bytes = RenderJson(*state.Page->Selection, {page});
  } else {
    bytes = "\xEF\xBB\xBF" + view.Export(format, false);
  }
  const std::wstring error = WriteWholeFile(name, bytes);
  if (!error.empty()) MessageBoxW(window, error.c_str(), state.Page->Title.c_str(), MB_OK | MB_ICONERROR);
}

void PageCommand(HWND window, TPageWindow& state, int id) {
  if (id == kCmdSaveAs) SavePage(window, state);
  else state.View.Command(id);
}

// Opens the first selected file in the desktop application named by its shell command.
void LaunchProgram(HWND window, const TPropPage& page) {
  if (page.Selection->Count() == 0) return;
  const auto program = LaunchProgramPath(SystemRegistry());
  if (!program || program->empty()) return;
  LaunchWithFile(window, Wide(*program), LaunchCommandExpands(SystemRegistry()), Wide(page.Selection->SelectedFiles[0]));
}

// The worker has ended once the page holds the only reference to their link.
bool WorkerDone(const TPageWindow& state) { return !state.Link || state.Link.use_count() == 1; }

// The "Compare:" box follows the values as they arrive, and its own edits.
void CompareMessage(HWND window, UINT message, WPARAM wParam) {
  auto* state = reinterpret_cast<TPageWindow*>(GetWindowLongPtrW(window, DWLP_USER));
  if (!state) return;
  const bool done = WorkerDone(*state);
  if (message == WM_TIMER && wParam == kCompareTimer) {
    UpdateCompare(window, done, state->View);
    if (done) KillTimer(window, kCompareTimer);
  } else if (message == WM_COMMAND && LOWORD(wParam) == kCompareEdit && HIWORD(wParam) == EN_CHANGE) {
    UpdateCompare(window, done, state->View);
  }
}

void ClosePage(HWND window) {
  // The bitmap a static control loads from the template is not always destroyed with it (one
  // GDI object a dialog); taken out of the control, it is this page's to delete.
  if (HWND logo = GetDlgItem(window, kLogo)) {
    if (HGDIOBJ bitmap = reinterpret_cast<HGDIOBJ>(SendMessageW(logo, STM_SETIMAGE, IMAGE_BITMAP, 0))) DeleteObject(bitmap);
  }
  auto* state = reinterpret_cast<TPageWindow*>(GetWindowLongPtrW(window, DWLP_USER));
  if (!state) return;
  SetWindowLongPtrW(window, DWLP_USER, 0);
  if (state->Link) state->Link->Close();
  delete state;
}

INT_PTR PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, TPageKind kind) noexcept {
  try {
    switch (message) {
      case WM_INITDIALOG: {
        const auto* sheetPage = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
        InitPage(window, kind, sheetPage);
        if (sheetPage && sheetPage->lParam && FaultInjected(reinterpret_cast<TPropPage*>(sheetPage->lParam)->Info))
          throw std::runtime_error("fault injected into the page's dialog procedure");
        break;
      }
      case WM_BQ_PAGECALL: {
        auto* state = reinterpret_cast<TPageWindow*>(GetWindowLongPtrW(window, DWLP_USER));
        // Only the worker of this very page may call, and only while the page lives.
        if (state && state->Link && reinterpret_cast<WPARAM>(state->Link.get()) == wParam && lParam)
          (*reinterpret_cast<const TPageCall*>(lParam))(state->View);
        break;
      }
      case WM_TIMER: {
        auto* state = reinterpret_cast<TPageWindow*>(GetWindowLongPtrW(window, DWLP_USER));
        if (!state || !state->View.OnTimer(wParam)) CompareMessage(window, message, wParam);
        break;
      }
      case WM_COMMAND: {
        auto* state = reinterpret_cast<TPageWindow*>(GetWindowLongPtrW(window, DWLP_USER));
        if (!state) break;
        if (kind == TPageKind::pkList) CompareMessage(window, message, wParam);
        if (kind == TPageKind::pkFields && LOWORD(wParam) == kLaunchButton && HIWORD(wParam) == BN_CLICKED)
          LaunchProgram(window, *state->Page);
        else if (state->View.HasMenu() && HIWORD(wParam) == 0 && LOWORD(wParam) >= kCmdCopy && LOWORD(wParam) <= kCmdCopyValue)
          PageCommand(window, *state, LOWORD(wParam));
        break;
      }
      case WM_CONTEXTMENU: {
        auto* state = reinterpret_cast<TPageWindow*>(GetWindowLongPtrW(window, DWLP_USER));
        if (!state || !state->View.HasMenu()) break;
        const int command = state->View.ContextMenu(reinterpret_cast<HWND>(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        if (command) PageCommand(window, *state, command);
        return TRUE;
      }
      case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        auto* state = reinterpret_cast<TPageWindow*>(GetWindowLongPtrW(window, DWLP_USER));
        if (header && header->code == static_cast<UINT>(PSN_QUERYCANCEL)) {
          if (state && state->Link) state->Link->Stop = true;
        } else if (header && state) {
          LRESULT result = 0;
          if (state->View.OnNotify(*header, result)) {
            SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
            return TRUE;
          }
        }
        break;
      }
      case WM_DESTROY:
        ClosePage(window);
        break;
      default:
        if (message == LineGroupMessage()) {
          auto* state = reinterpret_cast<TPageWindow*>(GetWindowLongPtrW(window, DWLP_USER));
          SetWindowLongPtrW(window, DWLP_MSGRESULT, state ? state->View.LineGroup(wParam) : LONG_MIN);
          return TRUE;
        }
        break;
    }
  } catch (...) {
    // Nothing may leave a dialog procedure.
  }
  return 0;
}

INT_PTR CALLBACK FieldsPageProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return PageProc(w, m, wp, lp, TPageKind::pkFields); }
INT_PTR CALLBACK ListPageProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return PageProc(w, m, wp, lp, TPageKind::pkList); }
INT_PTR CALLBACK TreePageProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return PageProc(w, m, wp, lp, TPageKind::pkTree); }
INT_PTR CALLBACK RichEditPageProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return PageProc(w, m, wp, lp, TPageKind::pkRichEdit); }
INT_PTR CALLBACK ListProgressPageProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  return PageProc(w, m, wp, lp, TPageKind::pkListProgress);
}

// Releases the page's reference when the sheet destroys the page (or never used it).
UINT CALLBACK PageCallback(HWND, UINT message, PROPSHEETPAGEW* sheetPage) noexcept {
  if (message == PSPCB_RELEASE && sheetPage && sheetPage->lParam) {
    reinterpret_cast<TPropPage*>(sheetPage->lParam)->Release();
    sheetPage->lParam = 0;
  }
  return 1;
}

HICON PageIcon() {
  static const HICON icon = static_cast<HICON>(LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(112), IMAGE_ICON,
                                                          GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                          LR_SHARED));
  return icon;
}

void LoadRichEditOnce() {
  static std::once_flag once;
  std::call_once(once, [] { LoadLibraryW(L"riched20.dll"); });
}

}  // namespace

TPropPage::TPropPage(const TPageInfo& info, TSelectionRef selection)
    : Info(info), Selection(std::move(selection)), TemplateName(Wide(info.TemplateName)), Title(Wide(info.Title)) {
  ModuleAddRef();
}

TPropPage::~TPropPage() { ModuleRelease(); }

DLGPROC PageDialogProc(TPageKind kind) {
  switch (kind) {
    case TPageKind::pkFields: return FieldsPageProc;
    case TPageKind::pkList: return ListPageProc;
    case TPageKind::pkTree: return TreePageProc;
    case TPageKind::pkRichEdit: return RichEditPageProc;
    case TPageKind::pkListProgress: return ListProgressPageProc;
  }
  return ListPageProc;
}

bool AddPropertyPage(LPFNADDPROPSHEETPAGE addPage, LPARAM param, const TPageInfo& info, TSelectionRef selection) {
  if (!addPage || !selection) return true;
  if (info.Kind == TPageKind::pkRichEdit) LoadRichEditOnce();
  auto* page = new TPropPage(info, std::move(selection));

  PROPSHEETPAGEW sheetPage{};
  sheetPage.dwSize = sizeof sheetPage;
  sheetPage.dwFlags = PSP_USETITLE | PSP_USECALLBACK;
  sheetPage.hInstance = ModuleInstance();
  sheetPage.pszTemplate = page->TemplateName.c_str();
  // One shared icon for every page of every dialog: with an icon id the sheet loads a new icon
  // per page and never destroys it (three GDI objects a page, a dialog after another).
  if (HICON icon = PageIcon()) {
    sheetPage.dwFlags |= PSP_USEHICON;
    sheetPage.hIcon = icon;
  }
  sheetPage.pszTitle = page->Title.c_str();
  sheetPage.pfnDlgProc = PageDialogProc(info.Kind);
  sheetPage.lParam = reinterpret_cast<LPARAM>(page);
  sheetPage.pfnCallback = PageCallback;
  if (HANDLE context = ModuleActCtx()) {
    sheetPage.dwFlags |= PSP_USEFUSIONCONTEXT;
    sheetPage.hActCtx = context;
  }

  HPROPSHEETPAGE handle;
  {
    TActivationScope scope;
    handle = CreatePropertySheetPageW(&sheetPage);
  }
  if (!handle) {
    page->Release();
    return true;
  }
  // A refused page is destroyed; its callback releases the page object.
  if (!addPage(handle, param)) DestroyPropertySheetPage(handle);
  return true;
}

}  // namespace bq::win32
