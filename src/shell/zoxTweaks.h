// Tweaks for a named host process.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/bqRegistry.h"

namespace bq {

// The host-specific key "\SOFTWARE\Marrowgate\Tweaks\<host>" first, then the common
// "\SOFTWARE\Marrowgate\Tweaks\", under HKEY_LOCAL_MACHINE in the 32-bit view; a REG_DWORD counts
// by its lowest byte. True when found.
bool ReadTweak(const TRegistry& registry, std::string_view hostExecutable, std::string_view valueName,
               bool& value);
// The same for a REG_SZ or REG_EXPAND_SZ tweak, taken as stored.
bool ReadStringTweak(const TRegistry& registry, std::string_view hostExecutable, std::string_view valueName,
                     std::string& value);
// The same, for a REG_DWORD taken whole.
bool ReadTweakDword(const TRegistry& registry, std::string_view hostExecutable, std::string_view valueName,
                    uint32_t& value);

}  // namespace bq

namespace bq {

// Whether the Imports page uses its tree view on this host: the tweak "DisableImportsXPView" is
// read for the host's executable name from the given registry.
bool ImportsTreeViewTweak(const TRegistry& registry, std::string_view hostExecutable);

}  // namespace bq
