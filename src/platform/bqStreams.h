// The streams a file system keeps for one file. On Windows: the records that the backup
// interface returns (data, alternate streams, security, ...), with two fallbacks for systems
// that lack it. On Linux: the file's data, then each extended attribute.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/bqBytes.h"

namespace bq {

// Backup stream ids (dwStreamId of WIN32_STREAM_ID).
enum TBackupStreamId : uint32_t {
  bsInvalid = 0, bsData = 1, bsEaData = 2, bsSecurityData = 3, bsAlternateData = 4,
  bsLink = 5, bsPropertyData = 6, bsObjectId = 7, bsReparseData = 8, bsSparseBlock = 9,
};

// Error codes, with their Windows values on every platform.
inline constexpr uint32_t StreamErrorFileNotFound = 2;
inline constexpr uint32_t StreamErrorInvalidHandle = 6;
inline constexpr uint32_t StreamErrorOutOfMemory = 14;
inline constexpr uint32_t StreamErrorNoMoreFiles = 18;
inline constexpr uint32_t StreamErrorReadFault = 30;
inline constexpr uint32_t StreamErrorBadFileType = 222;  // not a regular file

struct TStreamRecord {
  std::string Name;  // UTF-8; empty for the unnamed data stream
  uint32_t Kind = bsInvalid;
  uint64_t Size = 0;
  uint32_t Attributes = 0;
};

// WIN32_STREAM_ID up to its name: id, attributes, 64-bit size, name size in bytes (LE).
struct TBackupStreamHeader {
  uint32_t Id = 0;
  uint32_t Attributes = 0;
  uint64_t Size = 0;
  uint32_t NameSize = 0;
};
inline constexpr size_t BackupStreamHeaderSize = 20;
// Longest stream name taken, in bytes (NTFS names are at most 255 units plus ":" and a type).
inline constexpr uint32_t MaxBackupStreamNameSize = 4096;

// False when fewer than 20 bytes are there.
bool ParseBackupStreamHeader(TByteView bytes, TBackupStreamHeader& header);
// The name of nameSize bytes of UTF-16LE at the start of bytes; false when fewer bytes are
// there or the size is above MaxBackupStreamNameSize.
bool ParseBackupStreamName(TByteView bytes, uint32_t nameSize, std::string& name);
// Every record of a backup byte sequence (header, name, data, in turn). The listing ends at
// a header or name cut short; a record whose data is cut short is the last one.
std::vector<TStreamRecord> ParseBackupRecords(TByteView bytes);

// Extended attribute names as listxattr gives them, each ended by a zero byte; an unended
// last name and empty names are left out.
std::vector<std::string> ParseAttributeNames(TByteView list);
// The Linux listing: the data stream ("", fileSize, 0), then each attribute whose value size
// valueSize gives (unreadable ones, nullopt, are left out), as bsEaData.
std::vector<TStreamRecord> AttributeRecords(uint64_t fileSize, const std::vector<std::string>& names,
                                            const std::function<std::optional<uint64_t>(const std::string&)>& valueSize);

// Up to maxBytes of the content of a named stream of a file: an alternate data stream on
// Windows (record name ":name:$DATA"), an extended attribute elsewhere. False when it cannot
// be read, or for other kinds of streams.
bool ReadStreamContent(const std::string& fileName, const TStreamRecord& record, size_t maxBytes,
                       std::vector<uint8_t>& content);

// Lists the streams of one regular file, opened by name (UTF-16 on Windows) for reading,
// others reading and writing it too. Open, Next until it answers false, Close.
class TStreamLister {
public:
  TStreamLister();
  ~TStreamLister();
  TStreamLister(const TStreamLister&) = delete;
  TStreamLister& operator=(const TStreamLister&) = delete;

  bool Open(const std::string& fileName);
  // The next stream; false at the end (StreamErrorNoMoreFiles) or on failure (LastError).
  bool Next(TStreamRecord& record);
  void Close();
  bool IsOpen() const;
  uint32_t LastError() const { return FError; }

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
  uint32_t FError = 0;
};

}  // namespace bq
