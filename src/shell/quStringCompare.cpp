#include "shell/quStringCompare.h"

#include <cstring>
#include <vector>

namespace bq {

bool TMemorySource::Seek(int64_t position) {
  if (position < 0) return false;
  FPosition = position;
  return true;
}

size_t TMemorySource::Read(void* buffer, size_t count) {
  const int64_t size = Size();
  if (FPosition >= size) return 0;
  const size_t n = static_cast<size_t>(size - FPosition) < count ? static_cast<size_t>(size - FPosition) : count;
  std::memcpy(buffer, FBytes.data() + FPosition, n);
  FPosition += static_cast<int64_t>(n);
  FBytesRead += n;
  return n;
}

int64_t TJsTextSearch::Search() {
  FoundPosition = -1;
  const size_t m = Pattern.size();
  if (!Source || m == 0) return -1;

  SkipTable.fill(m);
  for (size_t i = 1; i <= m; ++i) SkipTable[static_cast<unsigned char>(Pattern[i - 1])] = m - i;

  if (!Source->Seek(0)) return -1;
  const int64_t size = Source->Size();
  const int64_t end = Limit > 0 && Limit <= size ? Limit : size;
  const auto* pattern = reinterpret_cast<const unsigned char*>(Pattern.data());
  std::vector<unsigned char> block(BlockSize);

  while (Source->Position() < end) {
    const int64_t blockStart = Source->Position();
    const size_t got = Source->Read(block.data(), BlockSize);
    if (got == 0) break;
    // Horspool: align the pattern's last byte with block[pos + m - 1].
    size_t pos = 0;
    while (got >= m && pos <= got - m) {
      const unsigned char last = block[pos + m - 1];
      size_t k = m;
      while (k > 0 && block[pos + k - 1] == pattern[k - 1]) --k;
      if (k == 0) {
        const int64_t at = blockStart + static_cast<int64_t>(pos);
        if (FoundPosition < 0) FoundPosition = at;
        if (OnFound) OnFound(at);
        if (StopAtFirst) return FoundPosition;
      }
      const size_t shift = SkipTable[last];
      pos += shift == 0 ? 1 : shift;
    }
    const int64_t next = Source->Position();
    if (next >= size) break;
    // Step back so an occurrence that spans two blocks is seen whole in the next one.
    if (m > 1 && got >= m) Source->Seek(next - static_cast<int64_t>(m - 1));
  }
  return FoundPosition;
}

}  // namespace bq
