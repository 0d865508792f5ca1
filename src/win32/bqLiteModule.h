// What the whole DLL shares: its instance handle, the count that keeps it loaded, its
// activation context, and text conversions for the W API.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace bq::win32 {

HINSTANCE ModuleInstance();

// Every live handler, factory reference, server lock, page and worker holds one count;
// DllCanUnloadNow answers S_OK only at zero.
void ModuleAddRef();
void ModuleRelease();
long ModuleRefs();

// The activation context of the module's manifest (common controls version 6); null when the
// system has none. Created on first use, never inside DllMain.
HANDLE ModuleActCtx();

// Activates the module's context for a scope, so controls and pages get version-6 classes.
class TActivationScope {
public:
  TActivationScope();
  ~TActivationScope();
  TActivationScope(const TActivationScope&) = delete;
  TActivationScope& operator=(const TActivationScope&) = delete;

private:
  ULONG_PTR FCookie = 0;
  bool FActive = false;
};

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The module's full path (empty on failure).
std::wstring ModulePath();

}  // namespace bq::win32
