// What the streams of a downloaded file say. Windows writes a "Zone.Identifier" stream beside a
// file that came from another security zone: INI text with a [ZoneTransfer] section holding
// ZoneId, ReferrerUrl and HostUrl. Browsers on Linux write the addresses as the attributes
// user.xdg.origin.url and user.xdg.referrer.url instead.
#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/bqBytes.h"

namespace bq {

// The most bytes of such a stream that are read.
inline constexpr size_t MaxZoneStreamBytes = 64 * 1024;
// Streams up to this size that hold text show it.
inline constexpr size_t MaxContentBytes = 256;

using TZoneRows = std::vector<std::pair<std::string, std::string>>;

// The ZoneId, ReferrerUrl and HostUrl of the [ZoneTransfer] section (keys and section names
// without regard to case; 8-bit text, UTF-8, or UTF-16LE after its byte-order mark), in that
// order, each once; ZoneId shown with its zone's name ("3 (Internet)"). Only the first
// MaxZoneStreamBytes count.
TZoneRows ParseZoneIdentifier(TByteView bytes);

// "Local machine", "Local intranet", "Trusted sites", "Internet", "Restricted sites" for 0 to 4.
std::string ZoneIdText(std::string_view value);

// The text of a short stream for its row: "" when it is longer than MaxContentBytes or is not
// text (UTF-8 without control characters but tab and line ends, which become blanks).
std::string StreamContentText(TByteView bytes);

}  // namespace bq
