#include "platform/bqHost.h"

#include "platform/bqText.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#include <climits>
#include <filesystem>
#endif

namespace bq {

#ifdef _WIN32

static std::string ModulePath(HMODULE module) {
  std::wstring buffer(1024, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
  return Utf16ToUtf8(std::u16string(buffer.begin(), buffer.end()));
}

std::string HostExecutableName() { return FileNameOnly(ModulePath(nullptr)); }

std::string ModuleFolder() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ModuleFolder), &self);
  return FolderOf(ModulePath(self));
}

std::string CurrentFolder() {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return {};
  std::wstring buffer(n, L'\0');
  const DWORD got = GetCurrentDirectoryW(n, buffer.data());
  buffer.resize(got);
  return Utf16ToUtf8(std::u16string(buffer.begin(), buffer.end()));
}

#else

static std::string ExecutablePath() {
  std::error_code ec;
  const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

std::string HostExecutableName() { return FileNameOnly(ExecutablePath()); }

std::string ModuleFolder() { return FolderOf(ExecutablePath()); }

std::string CurrentFolder() {
  std::error_code ec;
  const auto p = std::filesystem::current_path(ec);
  return ec ? std::string() : p.string();
}

#endif

}  // namespace bq
