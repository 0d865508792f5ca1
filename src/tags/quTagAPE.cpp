#include "tags/quTagAPE.h"

#include "platform/bqText.h"

namespace bq {

namespace {
constexpr uint32_t kHasHeader = 0x80000000u, kIsHeader = 0x20000000u;
}  // namespace

std::string TTagAPE::Text(std::string_view key) const {
  for (const auto& item : Items)
    if (!item.Binary() && LowerAscii(item.Key) == LowerAscii(key)) return item.Text;
  return {};
}

std::string TTagAPE::DisplayValue(size_t i) const {
  const TAPEItem& item = Items[i];
  return item.Binary() ? "<binary, " + std::to_string(item.Size) + " bytes>" : item.Text;
}

// The 32-byte footer (or header) at at: "APETAGEX", version, size (items and footer), item
// count, flags. The items lie before a footer, or after a header.
bool TTagAPE::ReadAt(TTagSource& source, uint64_t at, bool header) {
  std::vector<uint8_t> storage;
  TByteView v;
  if (!source.Fetch(at, 32, storage, v) || !v.Equals(0, "APETAGEX")) return false;
  uint32_t version = 0, size = 0, count = 0, flags = 0;
  v.U32LE(8, version);
  v.U32LE(12, size);
  v.U32LE(16, count);
  v.U32LE(20, flags);
  if ((version != 1000 && version != 2000) || size < 32 || size > MaxTagSize) return false;
  if (header != ((flags & kIsHeader) != 0 && version == 2000)) return false;
  const uint64_t itemsSize = size - 32;
  const uint64_t first = header ? at + 32 : at >= itemsSize ? at - itemsSize : UINT64_MAX;
  if (first == UINT64_MAX || !FitsIn(first, itemsSize, source.Size())) return false;
  if (count > MaxItems || count > itemsSize / 10) return false;  // an item takes 10 bytes at least
  if (!source.Fetch(first, itemsSize, storage, v)) return false;
  Version = version;
  TagOffset = first;
  TagSize = size;
  AtStart = header;
  TByteCursor c(v);
  for (uint32_t i = 0; i < count; ++i) {
    TAPEItem item;
    item.Size = c.U32LE();
    item.Flags = c.U32LE();
    if (!c.Ok()) break;
    bool ended = false;
    const std::string_view key = v.CString(c.Position(), 256, &ended);
    if (!ended) break;
    item.Key = AnsiToUtf8(key);
    c.Skip(key.size() + 1);
    item.Offset = first + c.Position();
    if (item.Size > c.Remaining()) break;
    const TByteView value = c.Bytes(item.Size);
    item.Kind = version == 1000 ? 0 : static_cast<uint8_t>((item.Flags >> 1) & 3);
    if (item.Binary()) {
      item.Data.assign(value.Data(), value.Data() + value.Size());
    } else {
      // A list's values are separated by zero bytes.
      std::string text = Utf16ToUtf8(Utf8ToUtf16(value.Chars()));
      while (!text.empty() && text.back() == '\0') text.pop_back();
      std::string joined;
      for (char ch : text) {
        if (ch == '\0') joined += "; ";
        else joined += ch;
      }
      item.Text = std::move(joined);
    }
    Items.push_back(std::move(item));
  }
  return true;
}

bool TTagAPE::LoadFromStream(TTagSource& source) {
  TagExists = false;
  Items.clear();
  Version = 0;
  TagOffset = TagSize = 0;
  AtStart = false;
  const uint64_t size = source.Size();
  std::vector<uint8_t> storage;
  TByteView v;
  // At the end, or before an ID3v1 record; else a header at the start.
  bool found = size >= 32 && ReadAt(source, size - 32, false);
  if (!found && size >= 128 + 32 && source.Fetch(size - 128, 3, storage, v) && v.Equals(0, "TAG"))
    found = ReadAt(source, size - 128 - 32, false);
  if (!found) found = ReadAt(source, 0, true);
  TagExists = found;
  return found;
}

}  // namespace bq
