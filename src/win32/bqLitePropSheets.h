// The COM side of the handler: TBrisquelLitePropSheets (IShellExtInit, IShellPropSheetExt,
// IBrisquelLitePropSheets) and its class factory TPBrisquelLiteFactory.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <atomic>

#include "shell/bqViewBase.h"

namespace bq::win32 {

extern const CLSID CLSID_BrisquelLitePropSheets;
extern const IID IID_IBrisquelLitePropSheets;
extern const GUID LIBID_BQLite;

// The type library's interface: it adds nothing to IUnknown.
struct IBrisquelLitePropSheets : public IUnknown {};

inline constexpr const wchar_t* ClassName = L"BrisquelPropSheet";
inline constexpr const wchar_t* ProgId = L"BQLite.BrisquelPropSheet";
inline constexpr const wchar_t* ThreadingModel = L"Apartment";

class TBrisquelLitePropSheets final : public IShellExtInit,
                                      public IShellPropSheetExt,
                                      public IBrisquelLitePropSheets {
public:
  TBrisquelLitePropSheets();
  ~TBrisquelLitePropSheets();

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progIdKey) override;

  STDMETHODIMP AddPages(LPFNSVADDPROPSHEETPAGE addPage, LPARAM param) override;
  STDMETHODIMP ReplacePage(EXPPS pageId, LPFNSVADDPROPSHEETPAGE replaceWith, LPARAM param) override;

private:
  std::atomic<ULONG> FRefs{1};
  // This dialog's selection; its pages keep it after the handler is gone.
  TSelectionRef FSelection;
};

class TPBrisquelLiteFactory final : public IClassFactory {
public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;
};

}  // namespace bq::win32
