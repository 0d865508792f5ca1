// DllRegisterServer and DllUnregisterServer: the type library, the class keys and the
// property sheet handler for every file.
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "win32/bqLiteGuids.h"
#include "win32/bqLiteModule.h"
#include "win32/bqLitePropSheets.h"

namespace bq::win32 {

namespace {

const std::wstring kClsid = BQ_CLSID_TEXT;
const std::wstring kClassKey = L"CLSID\\" + kClsid;
const std::wstring kHandlerKey = std::wstring(L"*\\shellex\\PropertySheetHandlers\\") + ClassName;
const std::wstring kDescription;  // the class has an empty description

bool SetKeyValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  const LONG result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

// A key that is already gone counts as deleted.
bool DeleteKey(const std::wstring& path) {
  const LONG result = RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// The 8.3 form of a path with blanks, so that the value needs no quotes.
std::wstring ServerPath(const std::wstring& path) {
  if (path.find(L' ') == std::wstring::npos) return path;
  const DWORD n = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (n == 0) return path;
  std::wstring shortPath(n, L'\0');
  const DWORD got = GetShortPathNameW(path.c_str(), shortPath.data(), n);
  if (got == 0 || got >= n) return path;
  shortPath.resize(got);
  return shortPath;
}

bool RegisterTypeLibrary(const std::wstring& path) {
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library))) return false;
  std::wstring folder = FolderOf(path);
  const HRESULT hr = RegisterTypeLib(library, const_cast<wchar_t*>(path.c_str()), folder.empty() ? nullptr : folder.data());
  library->Release();
  return SUCCEEDED(hr);
}

bool UnregisterTypeLibrary(const std::wstring& path) {
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library))) return false;
  TLIBATTR* attributes = nullptr;
  HRESULT hr = library->GetLibAttr(&attributes);
  if (SUCCEEDED(hr)) {
    hr = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                           attributes->syskind);
    library->ReleaseTLibAttr(attributes);
  }
  library->Release();
  if (SUCCEEDED(hr)) return true;
  // A library that was never registered is already unregistered.
  HKEY key = nullptr;
  const std::wstring libraryKey = std::wstring(L"TypeLib\\") + BQ_LIBID_TEXT;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, libraryKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return true;
  RegCloseKey(key);
  return false;
}

HRESULT Register() {
  const std::wstring path = ModulePath();
  if (path.empty()) return E_FAIL;
  const bool ok = RegisterTypeLibrary(path) &&
                  SetKeyValue(kClassKey, nullptr, kDescription) &&
                  SetKeyValue(kClassKey + L"\\InprocServer32", nullptr, ServerPath(path)) &&
                  SetKeyValue(kClassKey + L"\\InprocServer32", L"ThreadingModel", ThreadingModel) &&
                  SetKeyValue(ProgId, nullptr, kDescription) &&
                  SetKeyValue(std::wstring(ProgId) + L"\\Clsid", nullptr, kClsid) &&
                  SetKeyValue(kClassKey + L"\\ProgID", nullptr, ProgId) &&
                  SetKeyValue(kHandlerKey, nullptr, kClsid);
  return ok ? S_OK : E_FAIL;
}

// Every step runs even after a failure, so that a half-removed server leaves no handler
// behind for the shell to load.
HRESULT Unregister() {
  const std::wstring path = ModulePath();
  bool ok = !path.empty() && UnregisterTypeLibrary(path);
  ok = DeleteKey(kClassKey + L"\\ProgID") && ok;
  ok = DeleteKey(std::wstring(ProgId) + L"\\Clsid") && ok;
  ok = DeleteKey(ProgId) && ok;
  ok = DeleteKey(kClassKey + L"\\InprocServer32") && ok;
  ok = DeleteKey(kClassKey) && ok;
  ok = DeleteKey(kHandlerKey) && ok;
  return ok ? S_OK : E_FAIL;
}

}  // namespace
}  // namespace bq::win32

STDAPI DllRegisterServer() {
  try {
    return bq::win32::Register();
  } catch (...) {
    return E_FAIL;
  }
}

STDAPI DllUnregisterServer() {
  try {
    return bq::win32::Unregister();
  } catch (...) {
    return E_FAIL;
  }
}
