#include "tags/quTagList.h"

#include "platform/bqText.h"

namespace bq {

namespace {
std::string_view NameOf(std::string_view line) {
  const size_t eq = line.find('=');
  return eq == std::string_view::npos ? std::string_view() : line.substr(0, eq);
}
std::string_view ValueOf(std::string_view line) {
  const size_t eq = line.find('=');
  if (eq != std::string_view::npos) return line.substr(eq + 1);
  return line.empty() ? line : line.substr(1);
}
}  // namespace

std::string TNameValueList::Name(size_t i) const { return std::string(NameOf(FLines[i])); }
std::string TNameValueList::ValueAt(size_t i) const { return std::string(ValueOf(FLines[i])); }

int TNameValueList::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < FLines.size(); ++i)
    if (SameTextI(NameOf(FLines[i]), name)) return static_cast<int>(i);
  return -1;
}

std::string TNameValueList::Value(std::string_view name) const {
  const int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueAt(static_cast<size_t>(i));
}

void TNameValueList::SetValue(std::string_view name, std::string_view value) {
  const int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(static_cast<size_t>(i));
    return;
  }
  std::string line;
  line.reserve(name.size() + 1 + value.size());
  line.append(name).append("=").append(value);
  if (i >= 0)
    FLines[static_cast<size_t>(i)] = std::move(line);
  else
    FLines.push_back(std::move(line));
}

void TNameValueBuilder::SetValue(std::string_view name, std::string_view value) {
  const std::string key = LowerAscii(name);
  const auto it = FIndex.find(key);
  if (value.empty()) {
    if (it != FIndex.end()) {
      FSlots[it->second].clear();
      FIndex.erase(it);
    }
    return;
  }
  std::string line;
  line.reserve(name.size() + 1 + value.size());
  line.append(name).append("=").append(value);
  if (it != FIndex.end()) {
    FSlots[it->second] = std::move(line);
  } else {
    FIndex.emplace(key, FSlots.size());
    FSlots.push_back(std::move(line));
  }
}

TNameValueList TNameValueBuilder::Take() {
  TNameValueList list;
  for (auto& line : FSlots)
    if (!line.empty()) list.Add(std::move(line));
  FSlots.clear();
  FIndex.clear();
  return list;
}

bool IntegerText(std::string_view text, int64_t& value) {
  size_t p = 0;
  while (p < text.size() && text[p] == ' ') ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  unsigned base = 10;
  if (p < text.size() && (text[p] == '$' || text[p] == 'x' || text[p] == 'X')) {
    base = 16;
    ++p;
  } else if (p + 1 < text.size() && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X')) {
    base = 16;
    p += 2;
  }
  if (p >= text.size()) return false;
  uint64_t v = 0;
  for (; p < text.size(); ++p) {
    const char c = text[p];
    unsigned d;
    if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
    else return false;
    v = v * base + d;
    if (v > 0xFFFFFFFFull) return false;  // past any 32-bit field
  }
  value = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
  return true;
}

}  // namespace bq
