// Read-only registry access, as the settings readers need it: a root, a key path, an access
// mask, a 32-bit or 64-bit view, and typed values. The Windows build reads the real registry;
// TMemoryRegistry stands in for it elsewhere and in tests.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace bq {

enum class TRegRoot { rrClassesRoot, rrCurrentUser, rrLocalMachine, rrUsers };
enum class TRegView { rv32, rv64 };

// Value types and access rights as the registry defines them.
enum : uint32_t {
  kRegNone = 0, kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7,
};
enum : uint32_t {
  kKeyQueryValue = 0x0001, kKeyEnumerateSubKeys = 0x0008, kKeyRead = 0x20019,
  kKeyReadNoNotify = 0x20009, kKeyWow64_64 = 0x0100,
};

struct TRegValue {
  uint32_t Type = kRegNone;
  std::vector<uint8_t> Data;  // raw bytes as stored; strings are UTF-16LE with their NULs

  std::optional<uint32_t> AsDword() const;  // REG_DWORD with at least 4 bytes
  // REG_SZ / REG_EXPAND_SZ up to the first NUL; REG_MULTI_SZ as its list of strings.
  std::string AsString() const;
  std::vector<std::string> AsStringList() const;

  static TRegValue Dword(uint32_t v);
  static TRegValue String(std::string_view utf8, uint32_t type = kRegSz);
  static TRegValue MultiString(const std::vector<std::string>& items);
};

class TRegistryKey {
public:
  virtual ~TRegistryKey() = default;
  virtual std::optional<TRegValue> ReadValue(std::string_view name) const = 0;
  virtual std::vector<std::string> SubKeyNames() const = 0;
};

class TRegistry {
public:
  virtual ~TRegistry() = default;
  // Opens an existing key with the given access mask (kKeyWow64_64 selects the 64-bit view);
  // null when the key is missing or the access is refused. The path may start with "\".
  virtual std::unique_ptr<TRegistryKey> OpenKey(TRegRoot root, std::string_view path,
                                                uint32_t access) const = 0;
};

// Opens a key read-only: KEY_READ, then 0x20009, then KEY_QUERY_VALUE, in the chosen view.
std::unique_ptr<TRegistryKey> OpenKeyReadOnly(const TRegistry& registry, TRegRoot root,
                                              std::string_view path, TRegView view);

// The registry of this machine: the real one on Windows, an empty one elsewhere.
const TRegistry& SystemRegistry();

// An in-memory registry. Paths are matched without regard to case; the two views are kept
// apart only for keys stored with an explicit view.
class TMemoryRegistry : public TRegistry {
public:
  void SetValue(TRegRoot root, std::string_view path, std::string_view name, TRegValue value,
                std::optional<TRegView> view = std::nullopt);
  void AddKey(TRegRoot root, std::string_view path, std::optional<TRegView> view = std::nullopt);
  // Refuses every open of the key whose access mask includes any bit of deniedBits.
  void DenyAccess(TRegRoot root, std::string_view path, uint32_t deniedBits);
  // The access masks that OpenKey was asked for, in order.
  const std::vector<uint32_t>& AccessLog() const { return FAccessLog; }

  std::unique_ptr<TRegistryKey> OpenKey(TRegRoot root, std::string_view path,
                                        uint32_t access) const override;

  struct TKey {
    std::map<std::string, TRegValue> Values;  // names upper-cased
    uint32_t DeniedBits = 0;
  };

private:
  static std::string Normalize(std::string_view path);
  std::string Id(TRegRoot root, std::string_view path, std::optional<TRegView> view) const;
  std::map<std::string, TKey> FKeys;
  mutable std::vector<uint32_t> FAccessLog;
};

}  // namespace bq
