#include "archive/quArchiveFileList.h"

#include "archive/quDate.h"
#include "platform/bqText.h"

namespace bq {

std::string TArchivedFile::CRC32AsString() const { return CRC32 ? Hex8(*CRC32) : std::string(); }

std::string TArchivedFile::TimestampAsString() const { return Timestamp ? TimestampText(*Timestamp) : std::string(); }

}  // namespace bq
