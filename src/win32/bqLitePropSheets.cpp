#include "win32/bqLitePropSheets.h"

#include <shellapi.h>

#include <new>
#include <string>
#include <vector>

#include "shell/bqLitePropSheets.h"
#include "pages/bqPages.h"
#include "shell/zoxConfig.h"
#include "win32/bqLiteModule.h"
#include "win32/zoxUIWinAPIPropSheets.h"

namespace bq::win32 {

// {6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A61} and neighbours; see bqLiteGuids.h.
const CLSID CLSID_BrisquelLitePropSheets = {0x6E1A4F2B, 0x93C7, 0x4D8E, {0xA5, 0xB2, 0x1F, 0x0C, 0x7D, 0x3E, 0x8A, 0x61}};
const GUID LIBID_BQLite = {0x6E1A4F2B, 0x93C7, 0x4D8E, {0xA5, 0xB2, 0x1F, 0x0C, 0x7D, 0x3E, 0x8A, 0x60}};
const IID IID_IBrisquelLitePropSheets = {0x6E1A4F2B, 0x93C7, 0x4D8E, {0xA5, 0xB2, 0x1F, 0x0C, 0x7D, 0x3E, 0x8A, 0x62}};

namespace {

// Releases the storage medium however Initialize leaves.
struct TMediumGuard {
  STGMEDIUM Medium{};
  bool Held = false;
  ~TMediumGuard() {
    if (Held) ReleaseStgMedium(&Medium);
  }
};

TPBrisquelLiteFactory gFactory;

}  // namespace

TBrisquelLitePropSheets::TBrisquelLitePropSheets() { ModuleAddRef(); }
TBrisquelLitePropSheets::~TBrisquelLitePropSheets() { ModuleRelease(); }

STDMETHODIMP TBrisquelLitePropSheets::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IShellExtInit))
    *object = static_cast<IShellExtInit*>(this);
  else if (IsEqualIID(riid, IID_IShellPropSheetExt))
    *object = static_cast<IShellPropSheetExt*>(this);
  else if (IsEqualIID(riid, IID_IBrisquelLitePropSheets))
    *object = static_cast<IBrisquelLitePropSheets*>(this);
  else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) TBrisquelLitePropSheets::AddRef() { return ++FRefs; }

STDMETHODIMP_(ULONG) TBrisquelLitePropSheets::Release() {
  const ULONG n = --FRefs;
  if (n == 0) delete this;
  return n;
}

STDMETHODIMP TBrisquelLitePropSheets::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
  if (!data) return E_INVALIDARG;
  try {
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    TMediumGuard guard;
    const HRESULT hr = data->GetData(&format, &guard.Medium);
    if (FAILED(hr)) return hr;
    guard.Held = true;
    FSelection = std::make_shared<TSelection>();
    if (guard.Medium.tymed != TYMED_HGLOBAL || !guard.Medium.hGlobal) return S_OK;
    const HDROP drop = static_cast<HDROP>(guard.Medium.hGlobal);
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    if (count == 0) return S_OK;

    std::vector<std::u16string> names;
    names.reserve(count);
    for (UINT i = 0; i < count; ++i) {
      wchar_t buffer[522] = {};
      DragQueryFileW(drop, i, buffer, 522);
      buffer[521] = L'\0';
      names.emplace_back(buffer, buffer + std::char_traits<wchar_t>::length(buffer));  // BuildSelection cuts it
    }
    FSelection = BuildSelection(names, LoadExtensionLists(FindExtensionsIni()));
    return S_OK;
  } catch (const std::bad_alloc&) {
    FSelection.reset();
    return E_OUTOFMEMORY;
  } catch (...) {
    FSelection.reset();
    return E_UNEXPECTED;
  }
}

STDMETHODIMP TBrisquelLitePropSheets::AddPages(LPFNSVADDPROPSHEETPAGE addPage, LPARAM param) {
  try {
    if (!addPage || !FSelection || FSelection->Count() == 0) return S_OK;
    TZOXConfigManager config(SystemRegistry());
    config.Name = ProductName;
    for (const TPageInfo* info : ChoosePages(*FSelection, ModulePages(), config))
      AddPropertyPage(addPage, param, *info, FSelection);
  } catch (...) {
    // Pages already offered stay; the dialog shows what could be added.
  }
  return S_OK;
}

STDMETHODIMP TBrisquelLitePropSheets::ReplacePage(EXPPS, LPFNSVADDPROPSHEETPAGE, LPARAM) { return E_NOTIMPL; }

// The factory is a single static object; its references keep the module loaded.
STDMETHODIMP TPBrisquelLiteFactory::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TPBrisquelLiteFactory::AddRef() {
  ModuleAddRef();
  return 2;
}

STDMETHODIMP_(ULONG) TPBrisquelLiteFactory::Release() {
  ModuleRelease();
  return 1;
}

STDMETHODIMP TPBrisquelLiteFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* handler = new (std::nothrow) TBrisquelLitePropSheets;
  if (!handler) return E_OUTOFMEMORY;
  const HRESULT hr = handler->QueryInterface(riid, object);
  handler->Release();
  return hr;
}

STDMETHODIMP TPBrisquelLiteFactory::LockServer(BOOL lock) {
  if (lock)
    ModuleAddRef();
  else
    ModuleRelease();
  return S_OK;
}

}  // namespace bq::win32

using namespace bq::win32;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_BrisquelLitePropSheets)) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(riid, object);
}

STDAPI DllCanUnloadNow() { return ModuleRefs() == 0 ? S_OK : S_FALSE; }
