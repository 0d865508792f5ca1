// The leaves of a PE resource tree and the names of the predefined resource types.
#pragma once
#include <cstdint>
#include <string>

namespace bq {

struct TResourceEntry {
  std::string TypeName;  // name of the level-0 entry above the leaf
  std::string Name;      // name of the level-1 entry above the leaf
  uint32_t TypeId = 0;   // 0 when the type is named by a string
  uint32_t NameId = 0;   // 0 when the resource is named by a string
  uint64_t Offset = 0;   // file offset of the data, through the section that holds its RVA
  uint32_t Size = 0;
  uint32_t CodePage = 0;
  uint32_t Language = 0;  // id of the entry that points at the data entry
};

// "RT_CURSOR" ... "RT_MANIFEST" for the predefined ids, the id in decimal otherwise.
std::string ResourceTypeName(uint32_t id);

// The English name of a locale id ("English (United States)"), or "<unknown>" when the id is
// not a specific supported locale (0 and language-only ids included). One table, built in, so
// that every front end prints the same text.
std::string LanguageName(uint32_t lcid);

}  // namespace bq
