// The pattern search over any bytes: fed whole and fed in pieces of pseudo-random sizes (seeded
// by the first byte), it must make the same findings.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "patterns/zoxSearchPattern.h"

namespace {
using TFindings = std::vector<std::tuple<int, std::string, uint64_t, int>>;

TFindings Run(const uint8_t* data, size_t size, uint32_t seed) {
  bq::TPatternSearch search;
  TFindings found;
  search.OnFound = [&](bq::TPatternCategory c, std::string_view text, uint64_t offset, bq::TPatternEncoding e) {
    if (text.size() > bq::MaxFindingChars) std::abort();
    found.emplace_back(c, std::string(text), offset, e);
  };
  search.Begin();
  size_t at = 0;
  while (at < size) {
    size_t piece = size - at;
    if (seed != 0) {
      seed = seed * 1103515245u + 12345u;
      piece = std::min<size_t>(piece, 1 + (seed >> 16) % 97);
    }
    search.Feed(bq::TByteView(data + at, piece));
    at += piece;
  }
  search.End();
  for (int c = 0; c < bq::PatternCategoryCount; ++c)
    for (const auto& line : search.Lists[c])
      if (line.find('=') == std::string::npos) std::abort();
  return found;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t seed = data[0] | 0x100u;
  if (Run(data + 1, size - 1, 0) != Run(data + 1, size - 1, seed)) std::abort();
  return 0;
}
