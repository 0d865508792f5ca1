#include "platform/bqRegistry.h"

#include <algorithm>

#include "platform/bqText.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace bq {

std::optional<uint32_t> TRegValue::AsDword() const {
  if (Type != kRegDword || Data.size() < 4) return std::nullopt;
  return static_cast<uint32_t>(Data[0]) | (static_cast<uint32_t>(Data[1]) << 8) |
         (static_cast<uint32_t>(Data[2]) << 16) | (static_cast<uint32_t>(Data[3]) << 24);
}

static std::u16string Utf16Units(const std::vector<uint8_t>& data) {
  std::u16string units;
  units.reserve(data.size() / 2);
  for (size_t i = 0; i + 1 < data.size(); i += 2)
    units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  return units;
}

std::string TRegValue::AsString() const {
  const std::u16string units = Utf16Units(Data);
  return Utf16ToUtf8(units.substr(0, units.find(u'\0')));
}

std::vector<std::string> TRegValue::AsStringList() const {
  std::vector<std::string> items;
  const std::u16string units = Utf16Units(Data);
  size_t start = 0;
  while (start < units.size()) {
    const size_t end = units.find(u'\0', start);
    const size_t stop = end == std::u16string::npos ? units.size() : end;
    if (stop == start) break;  // the empty string ends the list
    items.push_back(Utf16ToUtf8(units.substr(start, stop - start)));
    start = stop + 1;
  }
  return items;
}

static void AppendUtf16(std::vector<uint8_t>& data, std::string_view utf8) {
  for (char16_t u : Utf8ToUtf16(utf8)) {
    data.push_back(static_cast<uint8_t>(u & 0xFF));
    data.push_back(static_cast<uint8_t>(u >> 8));
  }
  data.push_back(0);
  data.push_back(0);
}

TRegValue TRegValue::Dword(uint32_t v) {
  TRegValue r;
  r.Type = kRegDword;
  r.Data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
  return r;
}

TRegValue TRegValue::String(std::string_view utf8, uint32_t type) {
  TRegValue r;
  r.Type = type;
  AppendUtf16(r.Data, utf8);
  return r;
}

TRegValue TRegValue::MultiString(const std::vector<std::string>& items) {
  TRegValue r;
  r.Type = kRegMultiSz;
  for (const auto& s : items) AppendUtf16(r.Data, s);
  r.Data.push_back(0);
  r.Data.push_back(0);
  return r;
}

std::unique_ptr<TRegistryKey> OpenKeyReadOnly(const TRegistry& registry, TRegRoot root,
                                              std::string_view path, TRegView view) {
  const uint32_t viewFlag = view == TRegView::rv64 ? static_cast<uint32_t>(kKeyWow64_64) : 0u;
  for (uint32_t access : {kKeyRead, kKeyReadNoNotify, kKeyQueryValue}) {
    if (auto key = registry.OpenKey(root, path, access | viewFlag)) return key;
  }
  return nullptr;
}

// ---- in-memory registry ----

namespace {
class TMemoryKey : public TRegistryKey {
public:
  TMemoryKey(const TMemoryRegistry::TKey& key, std::vector<std::string> subKeys)
      : FKey(key), FSubKeys(std::move(subKeys)) {}
  std::optional<TRegValue> ReadValue(std::string_view name) const override {
    auto it = FKey.Values.find(UpperAscii(name));
    if (it == FKey.Values.end()) return std::nullopt;
    return it->second;
  }
  std::vector<std::string> SubKeyNames() const override { return FSubKeys; }

private:
  TMemoryRegistry::TKey FKey;
  std::vector<std::string> FSubKeys;
};
}  // namespace

std::string TMemoryRegistry::Normalize(std::string_view path) {
  std::string p = UpperAscii(path);
  for (char& c : p)
    if (c == '/') c = '\\';
  std::string out;
  for (char c : p) {
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out.push_back(c);
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

std::string TMemoryRegistry::Id(TRegRoot root, std::string_view path, std::optional<TRegView> view) const {
  std::string id = std::to_string(static_cast<int>(root));
  id += view ? (*view == TRegView::rv64 ? "/64|" : "/32|") : "/*|";
  return id + Normalize(path);
}

void TMemoryRegistry::AddKey(TRegRoot root, std::string_view path, std::optional<TRegView> view) {
  FKeys[Id(root, path, view)];
}

void TMemoryRegistry::SetValue(TRegRoot root, std::string_view path, std::string_view name,
                               TRegValue value, std::optional<TRegView> view) {
  FKeys[Id(root, path, view)].Values[UpperAscii(name)] = std::move(value);
}

void TMemoryRegistry::DenyAccess(TRegRoot root, std::string_view path, uint32_t deniedBits) {
  FKeys[Id(root, path, std::nullopt)].DeniedBits = deniedBits;
}

std::unique_ptr<TRegistryKey> TMemoryRegistry::OpenKey(TRegRoot root, std::string_view path,
                                                       uint32_t access) const {
  FAccessLog.push_back(access);
  const TRegView view = (access & kKeyWow64_64) ? TRegView::rv64 : TRegView::rv32;
  auto it = FKeys.find(Id(root, path, view));
  if (it == FKeys.end()) it = FKeys.find(Id(root, path, std::nullopt));
  static const TKey kEmptyRoot;
  const bool isRoot = Normalize(path).empty();
  if (it == FKeys.end() && !isRoot) return nullptr;
  const TKey& key = it == FKeys.end() ? kEmptyRoot : it->second;
  if (key.DeniedBits & access & ~kKeyWow64_64) return nullptr;
  // Sub-keys: the next path component of every key stored below this one, in any view.
  const std::string rootId = std::to_string(static_cast<int>(root)) + "/";
  const std::string below = isRoot ? std::string() : Normalize(path) + "\\";
  std::vector<std::string> subKeys;
  for (const auto& [id, unused] : FKeys) {
    if (id.compare(0, rootId.size(), rootId) != 0) continue;
    const std::string keyPath = id.substr(id.find('|') + 1);
    if (keyPath.compare(0, below.size(), below) != 0 || keyPath.size() == below.size()) continue;
    std::string rest = keyPath.substr(below.size());
    rest = rest.substr(0, rest.find('\\'));
    if (std::find(subKeys.begin(), subKeys.end(), rest) == subKeys.end()) subKeys.push_back(rest);
  }
  return std::make_unique<TMemoryKey>(key, std::move(subKeys));
}

// ---- the system registry ----

#ifdef _WIN32

namespace {
std::wstring WideOf(std::string_view utf8) {
  const std::u16string w = Utf8ToUtf16(utf8);
  return std::wstring(w.begin(), w.end());
}

class TWinKey : public TRegistryKey {
public:
  explicit TWinKey(HKEY key) : FKey(key) {}
  ~TWinKey() override { RegCloseKey(FKey); }
  std::optional<TRegValue> ReadValue(std::string_view name) const override {
    const std::wstring wname = WideOf(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(FKey, wname.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    TRegValue v;
    v.Type = type;
    v.Data.resize(size);
    if (size && RegQueryValueExW(FKey, wname.c_str(), nullptr, &type, v.Data.data(), &size) != ERROR_SUCCESS)
      return std::nullopt;
    v.Data.resize(size);
    v.Type = type;
    return v;
  }
  std::vector<std::string> SubKeyNames() const override {
    std::vector<std::string> names;
    wchar_t buffer[256];
    for (DWORD i = 0; i < 100000; ++i) {
      DWORD n = 256;
      if (RegEnumKeyExW(FKey, i, buffer, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.push_back(Utf16ToUtf8(std::u16string(buffer, buffer + n)));
    }
    return names;
  }

private:
  HKEY FKey;
};

class TWinRegistry : public TRegistry {
public:
  std::unique_ptr<TRegistryKey> OpenKey(TRegRoot root, std::string_view path, uint32_t access) const override {
    HKEY base = root == TRegRoot::rrClassesRoot   ? HKEY_CLASSES_ROOT
                : root == TRegRoot::rrCurrentUser ? HKEY_CURRENT_USER
                : root == TRegRoot::rrLocalMachine ? HKEY_LOCAL_MACHINE
                                                   : HKEY_USERS;
    while (!path.empty() && (path.front() == '\\' || path.front() == '/')) path.remove_prefix(1);
    HKEY key = nullptr;
    if (RegOpenKeyExW(base, WideOf(path).c_str(), 0, access, &key) != ERROR_SUCCESS) return nullptr;
    return std::make_unique<TWinKey>(key);
  }
};
}  // namespace

const TRegistry& SystemRegistry() {
  static const TWinRegistry registry;
  return registry;
}

#else

const TRegistry& SystemRegistry() {
  static const TMemoryRegistry registry;
  return registry;
}

#endif

}  // namespace bq
