// The name=value list that carries tags and stream properties, and the integer text rule.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace bq {

// Ordered name=value lines. The name is the text before the first "="; a line without "=" has
// an empty name and the line less its first character as its value. Names compare
// case-insensitively.
class TNameValueList {
public:
  size_t Count() const { return FLines.size(); }
  bool Empty() const { return FLines.empty(); }
  const std::string& Line(size_t i) const { return FLines[i]; }
  std::string Name(size_t i) const;
  std::string ValueAt(size_t i) const;
  // Index of the first line with that name, or -1.
  int IndexOfName(std::string_view name) const;
  std::string Value(std::string_view name) const;
  // A non-empty value replaces the first line of that name or is appended; an empty value
  // deletes the first line of that name.
  void SetValue(std::string_view name, std::string_view value);
  void Add(std::string line) { FLines.push_back(std::move(line)); }
  void Replace(size_t i, std::string line) { FLines[i] = std::move(line); }
  void Insert(size_t at, std::string line) { FLines.insert(FLines.begin() + static_cast<ptrdiff_t>(at), std::move(line)); }
  void Delete(size_t i) { FLines.erase(FLines.begin() + static_cast<ptrdiff_t>(i)); }
  void Clear() { FLines.clear(); }

private:
  std::vector<std::string> FLines;
};

// Builds a list by a run of SetValue calls in time proportional to their number (a file may
// hold millions of comments): the same lines as SetValue on a TNameValueList would leave.
class TNameValueBuilder {
public:
  void SetValue(std::string_view name, std::string_view value);
  TNameValueList Take();

private:
  std::vector<std::string> FSlots;  // "" = deleted
  std::unordered_map<std::string, size_t> FIndex;  // lower-case name -> slot
};

// Text as an integer: leading blanks, an optional sign, then decimal digits or hexadecimal
// ones after "$", "x" or "0x". Anything else, or no digit, is not a number.
bool IntegerText(std::string_view text, int64_t& value);

}  // namespace bq
