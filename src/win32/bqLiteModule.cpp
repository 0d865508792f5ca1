#include "win32/bqLiteModule.h"

#include <atomic>
#include <mutex>

#include "platform/bqText.h"
#include "shell/bqStrings.h"

namespace bq::win32 {

namespace {
HINSTANCE gInstance = nullptr;
std::atomic<long> gRefs{0};
std::once_flag gActCtxOnce;
HANDLE gActCtx = INVALID_HANDLE_VALUE;

// The module's own string table, as LoadResourceText wants it.
std::string LoadModuleString(int id) {
  wchar_t buffer[1024];
  const int n = LoadStringW(gInstance, static_cast<UINT>(id), buffer, 1024);
  return n > 0 ? Utf8(std::wstring_view(buffer, static_cast<size_t>(n))) : std::string();
}
}  // namespace

HINSTANCE ModuleInstance() { return gInstance; }
void ModuleAddRef() { gRefs.fetch_add(1); }
void ModuleRelease() { gRefs.fetch_sub(1); }
long ModuleRefs() { return gRefs.load(); }

HANDLE ModuleActCtx() {
  std::call_once(gActCtxOnce, [] {
    wchar_t path[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameW(gInstance, path, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return;
    ACTCTXW act{};
    act.cbSize = sizeof act;
    act.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    act.lpSource = path;
    act.hModule = gInstance;
    act.lpResourceName = MAKEINTRESOURCEW(2);
    gActCtx = CreateActCtxW(&act);
  });
  return gActCtx == INVALID_HANDLE_VALUE ? nullptr : gActCtx;
}

TActivationScope::TActivationScope() {
  if (HANDLE ctx = ModuleActCtx()) FActive = ActivateActCtx(ctx, &FCookie) != FALSE;
}

TActivationScope::~TActivationScope() {
  if (FActive) DeactivateActCtx(0, FCookie);
}

std::wstring Wide(std::string_view utf8) {
  const std::u16string w = Utf8ToUtf16(utf8);
  return std::wstring(w.begin(), w.end());
}

std::string Utf8(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

std::wstring ModulePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(gInstance, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace bq::win32

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    bq::win32::gInstance = instance;
    bq::SetResourceLoader(bq::win32::LoadModuleString);
  } else if (reason == DLL_PROCESS_DETACH) {
    bq::SetResourceLoader(nullptr);
    // At process exit other threads are gone and the context goes with the process.
    if (reserved == nullptr && bq::win32::gActCtx != INVALID_HANDLE_VALUE) ReleaseActCtx(bq::win32::gActCtx);
  }
  return TRUE;
}
