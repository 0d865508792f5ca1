#include "platform/bqStreams.h"

#include <algorithm>

#include "platform/bqText.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace bq {

bool ParseBackupStreamHeader(TByteView bytes, TBackupStreamHeader& header) {
  if (!bytes.Has(0, BackupStreamHeaderSize)) return false;
  TByteCursor c(bytes);
  header.Id = c.U32LE();
  header.Attributes = c.U32LE();
  header.Size = c.U64LE();
  header.NameSize = c.U32LE();
  return c.Ok();
}

bool ParseBackupStreamName(TByteView bytes, uint32_t nameSize, std::string& name) {
  if (nameSize > MaxBackupStreamNameSize || !bytes.Has(0, nameSize)) return false;
  std::u16string units;
  units.reserve(nameSize / 2);
  for (uint32_t i = 0; i + 1 < nameSize; i += 2) {
    uint16_t unit = 0;
    bytes.U16LE(i, unit);
    units.push_back(static_cast<char16_t>(unit));
  }
  name = Utf16ToUtf8(units);
  return true;
}

std::vector<TStreamRecord> ParseBackupRecords(TByteView bytes) {
  std::vector<TStreamRecord> records;
  TByteCursor c(bytes);
  for (;;) {
    TBackupStreamHeader header;
    if (!ParseBackupStreamHeader(bytes.Tail(c.Position()), header)) break;
    c.Skip(BackupStreamHeaderSize);
    TStreamRecord record;
    if (header.NameSize != 0) {
      if (!ParseBackupStreamName(bytes.Tail(c.Position()), header.NameSize, record.Name)) break;
      c.Skip(header.NameSize);
    }
    record.Kind = header.Id;
    record.Size = header.Size;
    record.Attributes = header.Attributes;
    records.push_back(std::move(record));
    if (!c.Skip(header.Size)) break;
  }
  return records;
}

std::vector<std::string> ParseAttributeNames(TByteView list) {
  std::vector<std::string> names;
  uint64_t at = 0;
  while (at < list.Size()) {
    bool ended = false;
    const std::string_view name = list.CString(at, list.Size() - at, &ended);
    if (!ended) break;
    if (!name.empty()) names.emplace_back(name);
    at += name.size() + 1;
  }
  return names;
}

std::vector<TStreamRecord> AttributeRecords(uint64_t fileSize, const std::vector<std::string>& names,
                                            const std::function<std::optional<uint64_t>(const std::string&)>& valueSize) {
  std::vector<TStreamRecord> records;
  records.push_back({"", bsData, fileSize, 0});
  for (const auto& name : names)
    if (const auto size = valueSize(name)) records.push_back({name, bsEaData, *size, 0});
  return records;
}

#ifdef _WIN32

namespace {
std::wstring WideName(const std::string& name) {
  const std::u16string w = Utf8ToUtf16(name);
  return std::wstring(w.begin(), w.end());
}
}  // namespace

// The backup interface first; where it is not supported, FindFirstStreamW; where that fails
// too, one data stream with the file's size.
struct TStreamLister::TImpl {
  enum TMode { mBackup, mFindStreams, mSingle, mDone };
  HANDLE File = INVALID_HANDLE_VALUE;
  void* Context = nullptr;
  HANDLE Find = INVALID_HANDLE_VALUE;
  TMode Mode = mBackup;
  bool Started = false;
  std::wstring Name;

  ~TImpl() {
    if (Context) {
      DWORD got = 0;
      BackupRead(File, nullptr, 0, &got, TRUE, FALSE, &Context);
    }
    if (Find != INVALID_HANDLE_VALUE) FindClose(Find);
    if (File != INVALID_HANDLE_VALUE) CloseHandle(File);
  }

  bool Read(void* buffer, DWORD size, DWORD& got) {
    got = 0;
    return BackupRead(File, static_cast<BYTE*>(buffer), size, &got, FALSE, TRUE, &Context) != 0;
  }

  static void FromFindData(const WIN32_FIND_STREAM_DATA& found, TStreamRecord& record) {
    const wchar_t* w = found.cStreamName;
    size_t length = 0;
    while (length < MAX_PATH + 36 && w[length]) ++length;
    const std::string name = Utf16ToUtf8(std::u16string(w, w + length));
    const bool data = name == "::$DATA";
    record.Name = data ? "" : name;
    record.Kind = data ? bsData : bsAlternateData;
    record.Size = static_cast<uint64_t>(found.StreamSize.QuadPart);
    record.Attributes = 0;
  }

  bool Single(TStreamRecord& record, uint32_t& error) {
    LARGE_INTEGER size{};
    Mode = mDone;
    if (!GetFileSizeEx(File, &size)) {
      error = GetLastError();
      return false;
    }
    record = {"", bsData, static_cast<uint64_t>(size.QuadPart), 0};
    return true;
  }

  bool Next(TStreamRecord& record, uint32_t& error) {
    const bool first = !Started;
    Started = true;
    switch (Mode) {
      case mBackup: {
        uint8_t header[BackupStreamHeaderSize];
        DWORD got = 0;
        if (!Read(header, sizeof header, got)) {
          if (first) {
            WIN32_FIND_STREAM_DATA found{};
            Find = FindFirstStreamW(Name.c_str(), FindStreamInfoStandard, &found, 0);
            if (Find == INVALID_HANDLE_VALUE) return Single(record, error);
            Mode = mFindStreams;
            FromFindData(found, record);
            return true;
          }
          error = StreamErrorReadFault;
          return false;
        }
        if (got == 0) {
          error = StreamErrorNoMoreFiles;
          return false;
        }
        TBackupStreamHeader h;
        if (!ParseBackupStreamHeader(TByteView(header, got), h)) {  // a header cut short ends the listing
          error = StreamErrorReadFault;
          return false;
        }
        record = {};
        if (h.NameSize != 0) {
          if (h.NameSize > MaxBackupStreamNameSize) {
            error = StreamErrorOutOfMemory;
            return false;
          }
          std::vector<uint8_t> name(h.NameSize);
          if (!Read(name.data(), h.NameSize, got) || !ParseBackupStreamName(TByteView(name.data(), got), h.NameSize, record.Name)) {
            error = StreamErrorReadFault;
            return false;
          }
        }
        record.Kind = h.Id;
        record.Size = h.Size;
        record.Attributes = h.Attributes;
        if (h.Size != 0) {
          DWORD low = 0, high = 0;
          if (!BackupSeek(File, static_cast<DWORD>(h.Size), static_cast<DWORD>(h.Size >> 32), &low, &high, &Context)) {
            error = StreamErrorReadFault;
            return false;
          }
        }
        return true;
      }
      case mFindStreams: {
        WIN32_FIND_STREAM_DATA found{};
        if (!FindNextStreamW(Find, &found)) {
          error = StreamErrorNoMoreFiles;
          return false;
        }
        FromFindData(found, record);
        return true;
      }
      case mSingle:
        return Single(record, error);
      case mDone:
        break;
    }
    error = StreamErrorNoMoreFiles;
    return false;
  }
};

bool ReadStreamContent(const std::string& fileName, const TStreamRecord& record, size_t maxBytes,
                       std::vector<uint8_t>& content) {
  content.clear();
  if (record.Kind != bsAlternateData || record.Name.size() < 2 || record.Name[0] != ':') return false;
  // ":name:$DATA" is opened as "file:name".
  std::string name = record.Name;
  const size_t type = name.rfind(':');
  if (type > 0) name.resize(type);
  HANDLE file = CreateFileW(WideName(fileName + name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  content.resize(maxBytes);
  size_t total = 0;
  bool ok = true;
  while (total < maxBytes) {
    DWORD got = 0;
    const DWORD ask = static_cast<DWORD>(std::min<size_t>(maxBytes - total, 1 << 20));
    if (!ReadFile(file, content.data() + total, ask, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    total += got;
  }
  CloseHandle(file);
  content.resize(total);
  return ok;
}

bool TStreamLister::Open(const std::string& fileName) {
  Close();
  auto impl = std::make_unique<TImpl>();
  impl->Name = WideName(fileName);
  impl->File = CreateFileW(impl->Name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (impl->File == INVALID_HANDLE_VALUE) {
    FError = GetLastError();
    return false;
  }
  // Backup semantics open folders too; only regular files are listed.
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(impl->File) != FILE_TYPE_DISK || !GetFileInformationByHandle(impl->File, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    FError = StreamErrorBadFileType;
    return false;
  }
  FImpl = std::move(impl);
  FError = 0;
  return true;
}

bool TStreamLister::Next(TStreamRecord& record) {
  if (!FImpl) {
    FError = StreamErrorInvalidHandle;
    return false;
  }
  return FImpl->Next(record, FError);
}

#else

bool ReadStreamContent(const std::string& fileName, const TStreamRecord& record, size_t maxBytes,
                       std::vector<uint8_t>& content) {
  content.clear();
  if (record.Kind != bsEaData || record.Name.empty()) return false;
  // A value can change size between the two calls; values are at most 64 KiB.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const ssize_t need = ::getxattr(fileName.c_str(), record.Name.c_str(), nullptr, 0);
    if (need < 0) return false;
    content.resize(static_cast<size_t>(need));
    const ssize_t got = ::getxattr(fileName.c_str(), record.Name.c_str(), content.data(), content.size());
    if (got >= 0) {
      content.resize(std::min(static_cast<size_t>(got), maxBytes));
      return true;
    }
    if (errno != ERANGE) break;
  }
  content.clear();
  return false;
}

struct TStreamLister::TImpl {
  int File = -1;
  std::vector<TStreamRecord> Records;
  size_t Next = 0;
  ~TImpl() {
    if (File >= 0) ::close(File);
  }
};

bool TStreamLister::Open(const std::string& fileName) {
  Close();
  // Only regular files: a FIFO would block the open, a device would be read.
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0) {
    FError = errno == ENOENT ? StreamErrorFileNotFound : StreamErrorReadFault;
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    FError = StreamErrorBadFileType;
    return false;
  }
  auto impl = std::make_unique<TImpl>();
  impl->File = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (impl->File < 0 || ::fstat(impl->File, &st) != 0 || !S_ISREG(st.st_mode)) {
    FError = impl->File < 0 && errno == ENOENT ? StreamErrorFileNotFound : StreamErrorBadFileType;
    return false;
  }
  const int fd = impl->File;

  // The names, each ended by a zero byte; the list may change between the two calls.
  std::vector<uint8_t> list;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const ssize_t need = ::flistxattr(fd, nullptr, 0);
    if (need <= 0) {
      list.clear();
      break;  // none, or a file system without attributes
    }
    list.resize(static_cast<size_t>(need));
    const ssize_t got = ::flistxattr(fd, reinterpret_cast<char*>(list.data()), list.size());
    if (got >= 0) {
      list.resize(static_cast<size_t>(got));
      break;
    }
    list.clear();
    if (errno != ERANGE) break;
  }
  impl->Records = AttributeRecords(static_cast<uint64_t>(st.st_size), ParseAttributeNames(TByteView(list)),
                                   [fd](const std::string& name) -> std::optional<uint64_t> {
                                     const ssize_t size = ::fgetxattr(fd, name.c_str(), nullptr, 0);
                                     if (size < 0) return std::nullopt;
                                     return static_cast<uint64_t>(size);
                                   });
  FImpl = std::move(impl);
  FError = 0;
  return true;
}

bool TStreamLister::Next(TStreamRecord& record) {
  if (!FImpl) {
    FError = StreamErrorInvalidHandle;
    return false;
  }
  if (FImpl->Next >= FImpl->Records.size()) {
    FError = StreamErrorNoMoreFiles;
    return false;
  }
  record = FImpl->Records[FImpl->Next++];
  return true;
}

#endif

TStreamLister::TStreamLister() = default;
TStreamLister::~TStreamLister() = default;
void TStreamLister::Close() { FImpl.reset(); }
bool TStreamLister::IsOpen() const { return FImpl != nullptr; }

}  // namespace bq
