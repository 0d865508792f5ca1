#include "archive/quArchiveFileList.h"

#include "platform/bqText.h"

namespace bq {

std::string TArchivedFile::CRC32AsString() const { return Hex8(CRC32); }

}  // namespace bq
