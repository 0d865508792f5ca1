#include "win32/zoxUIWinAPIPropSheets.h"

#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <mutex>
#include <new>

#include "hashes/bqViewHashes.h"
#include "platform/bqRegistry.h"
#include "win32/bqLiteModule.h"
#include "win32/bqWinPageView.h"
#include "win32/zoxUIWinAPIHelpers.h"

namespace bq::win32 {

namespace {

constexpr int kLaunchButton = 1112;

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

DWORD WINAPI WorkerMain(void* parameter) {
  auto* start = static_cast<TWorkerStart*>(parameter);
  const HMODULE module = start->Module;
  try {
    TWorkerPageView view(start->Link);
    const TPageContext context{start->Page->Selection, &SystemRegistry()};
    start->Page->Info.Fill(context, view);
    view.Flush();
    if (!view.StopRequested()) start->Link->Send([](TWinPageView& v) { v.FinishWorker(); });
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
  auto* state = new TPageWindow(window, page);
  SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(state));

  WidenPage(window);
  HWND main = GetDlgItem(window, 1666);
  switch (kind) {
    case TPageKind::pkFields: LayoutHashesPage(window); break;
    case TPageKind::pkListProgress: LayoutListProgressPage(window, main, GetDlgItem(window, 1667)); break;
    default: FitControl(window, main); break;
  }
  const TPageInfo& info = page->Info;
  if (!info.Fill) return;
  if (info.Worker) {
    StartWorker(window, *state);
    return;
  }
  const TPageContext context{page->Selection, &SystemRegistry()};
  try {
    info.Fill(context, state->View);
  } catch (...) {
    // The page keeps what it had shown.
  }
}

// Opens the first selected file in the desktop application named by its shell command.
void LaunchProgram(const TPropPage& page) {
  if (page.Selection->Count() == 0) return;
  const auto program = LaunchProgramPath(SystemRegistry());
  if (!program || program->empty()) return;
  ShellExecuteW(nullptr, L"open", Wide(*program).c_str(), Wide(page.Selection->SelectedFiles[0]).c_str(), nullptr,
                SW_SHOW);
}

void ClosePage(HWND window) {
  auto* state = reinterpret_cast<TPageWindow*>(GetWindowLongPtrW(window, DWLP_USER));
  if (!state) return;
  SetWindowLongPtrW(window, DWLP_USER, 0);
  if (state->Link) state->Link->Close();
  delete state;
}

INT_PTR PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, TPageKind kind) noexcept {
  try {
    switch (message) {
      case WM_INITDIALOG:
        InitPage(window, kind, reinterpret_cast<const PROPSHEETPAGEW*>(lParam));
        break;
      case WM_BQ_PAGECALL: {
        auto* state = reinterpret_cast<TPageWindow*>(GetWindowLongPtrW(window, DWLP_USER));
        // Only the worker of this very page may call, and only while the page lives.
        if (state && state->Link && reinterpret_cast<WPARAM>(state->Link.get()) == wParam && lParam)
          (*reinterpret_cast<const TPageCall*>(lParam))(state->View);
        break;
      }
      case WM_COMMAND:
        if (kind == TPageKind::pkFields && LOWORD(wParam) == kLaunchButton && HIWORD(wParam) == BN_CLICKED) {
          if (auto* state = reinterpret_cast<TPageWindow*>(GetWindowLongPtrW(window, DWLP_USER)))
            LaunchProgram(*state->Page);
        }
        break;
      case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header && header->code == static_cast<UINT>(PSN_QUERYCANCEL)) {
          auto* state = reinterpret_cast<TPageWindow*>(GetWindowLongPtrW(window, DWLP_USER));
          if (state && state->Link) state->Link->Stop = true;
        }
        break;
      }
      case WM_DESTROY:
        ClosePage(window);
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
  sheetPage.dwFlags = PSP_USEICONID | PSP_USETITLE | PSP_USECALLBACK;
  sheetPage.hInstance = ModuleInstance();
  sheetPage.pszTemplate = page->TemplateName.c_str();
  sheetPage.pszIcon = MAKEINTRESOURCEW(112);
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
