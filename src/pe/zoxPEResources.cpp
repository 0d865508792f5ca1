#include "pe/zoxPEResources.h"

#include <vector>

#include "pe/zoxPESimple.h"
#include "platform/bqText.h"

namespace bq {

std::string ResourceTypeName(uint32_t id) {
  static const char* const kNames[] = {
      nullptr,          "RT_CURSOR",     "RT_BITMAP",  "RT_ICON",         "RT_MENU",        "RT_DIALOG",
      "RT_STRING",      "RT_FONTDIR",    "RT_FONT",    "RT_ACCELERATOR",  "RT_RCDATA",      "RT_MESSAGETABLE",
      "RT_GROUP_CURSOR", nullptr,        "RT_GROUP_ICON", nullptr,        "RT_VERSION",     "RT_DLGINCLUDE",
      nullptr,          "RT_PLUGPLAY",   "RT_VXD",     "RT_ANICURSOR",    "RT_ANIICON",     "RT_HTML",
      "RT_MANIFEST"};
  if (id < std::size(kNames) && kNames[id]) return kNames[id];
  return std::to_string(id);
}

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr int kMaxDepth = 32;

struct TResourceWalk {
  TResourceWalk(TByteView copy, const TPEReader& reader, std::vector<TResourceEntry>& out)
      : Copy(copy), Reader(reader), Out(out) {}
  TByteView Copy;
  const TPEReader& Reader;  // maps each data entry's RVA through its own section
  std::vector<TResourceEntry>& Out;
  // Walk state: the type and name current when a leaf is reached.
  std::string TypeName, Name;
  uint32_t TypeId = 0, NameId = 0;
  std::vector<uint32_t> Open;  // positions of the directories being walked
  uint64_t EntriesLeft = 0;    // no honest tree has more entries than its bytes hold (8 each)
  uint64_t TextLeft = 0;       // names copied into leaves

  // A string name: a 16-bit count and that many UTF-16 units, cut at the end of the copy.
  std::string StringName(uint32_t position) const {
    uint16_t count = 0;
    if (!Copy.U16LE(position, count)) return {};
    std::u16string units;
    for (uint32_t i = 0; i < count; ++i) {
      uint16_t unit = 0;
      if (!Copy.U16LE(static_cast<uint64_t>(position) + 2 + 2ull * i, unit)) break;
      units.push_back(static_cast<char16_t>(unit));
    }
    return Utf16ToUtf8(units);
  }

  void Walk(uint32_t position, int level) {
    for (uint32_t open : Open)
      if (open == position) throw TPEError("PEReader: Resource directory loops back to itself!");
    if (level > kMaxDepth) throw TPEError("PEReader: Resource directories nest too deep!");
    uint16_t named = 0, ids = 0;
    if (!Copy.Has(position, 16) || !Copy.U16LE(position + 12ull, named) || !Copy.U16LE(position + 14ull, ids))
      throw TPEError("PEReader: Could not read PE Resource Directory!");
    const uint32_t count = static_cast<uint32_t>(named) + ids;
    const uint64_t first = static_cast<uint64_t>(position) + 16;
    if (!Copy.Has(first, 8ull * count)) throw TPEError("PEReader: Could not read PE Resource Directory Entry!");
    Open.push_back(position);
    for (uint32_t i = 0; i < count; ++i) {
      if (EntriesLeft == 0) throw TPEError("PEReader: Resource tree has more entries than its bytes hold!");
      --EntriesLeft;
      uint32_t nameField = 0, target = 0;
      Copy.U32LE(first + 8ull * i, nameField);
      Copy.U32LE(first + 8ull * i + 4, target);
      const bool subdirectory = (target & kHighBit) != 0;
      std::string name;
      if (nameField & kHighBit) name = StringName(nameField & ~kHighBit);
      else if (level == 0 && subdirectory) name = ResourceTypeName(nameField);
      else name = std::to_string(nameField);
      const uint32_t id = (nameField & kHighBit) ? 0 : nameField;
      if (subdirectory) {
        if (level == 0) {
          TypeName = std::move(name);
          TypeId = id;
        } else if (level == 1) {
          Name = std::move(name);
          NameId = id;
        }
        Walk(target & ~kHighBit, level + 1);
      } else {
        uint32_t dataRva = 0, size = 0, codePage = 0;
        if (!Copy.Has(target, 16) || !Copy.U32LE(target, dataRva) || !Copy.U32LE(target + 4ull, size) ||
            !Copy.U32LE(target + 8ull, codePage))
          throw TPEError("PEReader: Could not read PE Resource Data Entry!");
        const size_t text = TypeName.size() + Name.size();
        if (text > TextLeft) throw TPEError("PEReader: Resource names outgrow the table!");
        TextLeft -= text;
        TResourceEntry e;
        e.TypeName = TypeName;
        e.Name = Name;
        e.TypeId = TypeId;
        e.NameId = NameId;
        e.Offset = Reader.RvaToFileOffset(dataRva);
        e.Size = size;
        e.CodePage = codePage;
        e.Language = nameField;
        Out.push_back(std::move(e));
      }
    }
    Open.pop_back();
  }
};

}  // namespace

void TPEReader::ReadResources(TPESource& source) {
  const TDirectoryLocation where = DirectoryToFileOffset(2);
  if (!where.Found || where.FileOffset > source.Size()) return;
  std::vector<uint8_t> bytes;
  source.ReadAt(where.FileOffset, where.Available, bytes);
  TResourceWalk walk(TByteView(bytes), *this, FResources);
  walk.EntriesLeft = bytes.size() / 8;
  walk.TextLeft = 4 * static_cast<uint64_t>(bytes.size()) + (1u << 20);
  walk.Walk(0, 0);
}

}  // namespace bq
