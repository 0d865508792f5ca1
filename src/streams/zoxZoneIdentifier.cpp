#include "streams/zoxZoneIdentifier.h"

#include <array>

#include "platform/bqText.h"

namespace bq {

namespace {

// The stream as UTF-8: UTF-16LE after its byte-order mark, UTF-8 as it is (its mark dropped),
// anything else as 8-bit text.
std::string StreamText(TByteView bytes) {
  bytes = bytes.Clamp(0, MaxZoneStreamBytes);
  const std::string_view chars = bytes.Chars();
  if (chars.size() >= 2 && chars[0] == '\xFF' && chars[1] == '\xFE') {
    std::u16string units;
    for (size_t i = 2; i + 1 < chars.size(); i += 2)
      units.push_back(static_cast<char16_t>(static_cast<uint8_t>(chars[i]) | static_cast<uint8_t>(chars[i + 1]) << 8));
    return Utf16ToUtf8(units);
  }
  if (chars.substr(0, 3) == "\xEF\xBB\xBF") return std::string(chars.substr(3));
  return IsValidUtf8(chars) ? std::string(chars) : AnsiToUtf8(chars);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string ZoneIdText(std::string_view value) {
  static constexpr std::array<const char*, 5> kZones = {"Local machine", "Local intranet", "Trusted sites", "Internet",
                                                        "Restricted sites"};
  if (value.size() == 1 && value[0] >= '0' && value[0] <= '4')
    return std::string(value) + " (" + kZones[static_cast<size_t>(value[0] - '0')] + ")";
  return std::string(value);
}

TZoneRows ParseZoneIdentifier(TByteView bytes) {
  static constexpr std::array<const char*, 3> kKeys = {"ZoneId", "ReferrerUrl", "HostUrl"};
  const std::string text = StreamText(bytes);
  std::array<std::string, 3> values;
  std::array<bool, 3> found{};
  bool inSection = false;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = Trim(std::string_view(text).substr(start, end - start));
    start = end + 1;
    if (!line.empty() && line.front() == '[') {
      inSection = SameTextI(line, "[ZoneTransfer]");
      continue;
    }
    const size_t equals = line.find('=');
    if (!inSection || equals == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, equals));
    for (size_t k = 0; k < kKeys.size(); ++k)
      if (!found[k] && SameTextI(key, kKeys[k])) {
        found[k] = true;
        values[k] = std::string(Trim(line.substr(equals + 1)));
      }
  }
  TZoneRows rows;
  for (size_t k = 0; k < kKeys.size(); ++k)
    if (found[k]) rows.emplace_back(kKeys[k], k == 0 ? ZoneIdText(values[k]) : values[k]);
  return rows;
}

std::string StreamContentText(TByteView bytes) {
  if (bytes.Size() > MaxContentBytes) return "";
  std::string_view chars = bytes.Chars();
  while (!chars.empty() && chars.back() == '\0') chars.remove_suffix(1);  // attributes often end in one
  if (!IsValidUtf8(chars)) return "";
  std::string text;
  for (char c : chars) {
    const auto u = static_cast<uint8_t>(c);
    if (c == '\t' || c == '\r' || c == '\n') {
      text += ' ';
    } else if (u < 32 || u == 127) {
      return "";
    } else {
      text += c;
    }
  }
  return std::string(Trim(text));
}

}  // namespace bq
