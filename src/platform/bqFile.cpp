#include "platform/bqFile.h"

#include <cerrno>
#include <cstring>

#include "platform/bqText.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

namespace bq {

#ifdef _WIN32

static std::wstring Wide(const std::string& name) {
  const std::u16string w = Utf8ToUtf16(name);
  return std::wstring(w.begin(), w.end());
}

static std::string LastErrorText() {
  const DWORD code = GetLastError();
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (n && buffer) text = TrimControls(Utf16ToUtf8(std::u16string(buffer, buffer + n)));
  if (buffer) LocalFree(buffer);
  if (text.empty()) text = "error " + std::to_string(code);
  return text;
}

TFileReader::~TFileReader() { Close(); }

bool TFileReader::Open(const std::string& name) {
  Close();
  FFailed = false;
  FError.clear();
  HANDLE h = CreateFileW(Wide(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    FError = LastErrorText();
    FFailed = true;
    return false;
  }
  // Only files on disk: no pipes, consoles or other devices.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    FError = "Is a device, not a regular file";
    CloseHandle(h);
    FFailed = true;
    return false;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h, &size)) {
    FError = LastErrorText();
    CloseHandle(h);
    FFailed = true;
    return false;
  }
  FHandle = h;
  FSize = size.QuadPart;
  FPosition = 0;
  return true;
}

void TFileReader::Close() {
  if (FHandle) CloseHandle(static_cast<HANDLE>(FHandle));
  FHandle = nullptr;
}

bool TFileReader::IsOpen() const { return FHandle != nullptr; }

size_t TFileReader::Read(void* buffer, size_t count) {
  if (!FHandle) return 0;
  size_t total = 0;
  auto* p = static_cast<char*>(buffer);
  while (total < count) {
    const DWORD chunk = static_cast<DWORD>(count - total > 0x40000000 ? 0x40000000 : count - total);
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(FHandle), p + total, chunk, &got, nullptr)) {
      FError = LastErrorText();
      FFailed = true;
      break;
    }
    if (got == 0) break;
    total += got;
  }
  FPosition += static_cast<int64_t>(total);
  return total;
}

bool TFileReader::Seek(int64_t position) {
  if (!FHandle || position < 0) return false;
  LARGE_INTEGER to{};
  to.QuadPart = position;
  if (!SetFilePointerEx(static_cast<HANDLE>(FHandle), to, nullptr, FILE_BEGIN)) {
    FError = LastErrorText();
    return false;
  }
  FPosition = position;
  return true;
}

uint32_t VolumeClusterSize(const std::string& name) {
  // The root given by the first two characters (a drive letter and colon); UNC and relative
  // names fall back to the volume of the full path.
  std::wstring root;
  if (name.size() >= 2 && name[1] == ':') {
    root = Wide(name.substr(0, 2)) + L"\\";
  } else {
    wchar_t buffer[MAX_PATH + 1];
    const std::wstring w = Wide(name);
    if (!GetVolumePathNameW(w.c_str(), buffer, MAX_PATH)) return 0;
    root = buffer;
  }
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
    return 0;
  const uint64_t size = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
  return size > 0 && size <= (64u << 20) ? static_cast<uint32_t>(size) : 0;
}

bool FileExists(const std::string& name) {
  const DWORD a = GetFileAttributesW(Wide(name).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> ListFolderFiles(const std::string& folder, size_t maxEntries) {
  std::vector<std::string> names;
  std::wstring pattern = Wide(folder.empty() ? std::string(".") : folder);
  if (pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return names;
  size_t seen = 0;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      const std::wstring w(data.cFileName);
      names.push_back(Utf16ToUtf8(std::u16string(w.begin(), w.end())));
    }
  } while (++seen < maxEntries && FindNextFileW(h, &data));
  FindClose(h);
  return names;
}

#else

static std::string NotRegularText(mode_t mode) {
  const char* what = S_ISDIR(mode) ? "a directory" : S_ISFIFO(mode) ? "a FIFO" : S_ISSOCK(mode) ? "a socket"
                     : S_ISCHR(mode) || S_ISBLK(mode) ? "a device" : "not a regular file";
  return std::string("Is ") + what + ", not a regular file";
}

TFileReader::~TFileReader() { Close(); }

bool TFileReader::Open(const std::string& name) {
  Close();
  FFailed = false;
  FError.clear();
  // Only regular files are read: a FIFO would block the open and a device read without end.
  // The name is checked first, and the opened file again (non-blocking, in case the name
  // changed in between).
  struct stat st {};
  if (::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    FError = NotRegularText(st.st_mode);
    FFailed = true;
    return false;
  }
  int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    FError = std::strerror(errno);
    FFailed = true;
    return false;
  }
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    FError = S_ISREG(st.st_mode) ? std::strerror(errno) : NotRegularText(st.st_mode);
    ::close(fd);
    FFailed = true;
    return false;
  }
  // O_NONBLOCK stays: it means nothing for a regular file.
  FHandle = fd;
  FSize = st.st_size;
  FPosition = 0;
#ifdef POSIX_FADV_SEQUENTIAL
  // A wider read-ahead pays for files read through; small ones are read in a call or two.
  if (st.st_size > (1 << 20)) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  return true;
}

void TFileReader::Close() {
  if (FHandle >= 0) ::close(FHandle);
  FHandle = -1;
}

bool TFileReader::IsOpen() const { return FHandle >= 0; }

size_t TFileReader::Read(void* buffer, size_t count) {
  if (FHandle < 0) return 0;
  size_t total = 0;
  auto* p = static_cast<char*>(buffer);
  while (total < count) {
    const ssize_t got = ::pread(FHandle, p + total, count - total, static_cast<off_t>(FPosition + static_cast<int64_t>(total)));
    if (got < 0) {
      if (errno == EINTR) continue;
      FError = std::strerror(errno);
      FFailed = true;
      break;
    }
    if (got == 0) break;
    total += static_cast<size_t>(got);
  }
  FPosition += static_cast<int64_t>(total);
  return total;
}

bool TFileReader::Seek(int64_t position) {
  // Reads go to FPosition with pread, so a seek is only the new position.
  if (FHandle < 0 || position < 0) return false;
  FPosition = position;
  return true;
}

uint32_t VolumeClusterSize(const std::string& name) {
  struct statvfs vfs {};
  if (statvfs(name.c_str(), &vfs) != 0) return 0;
  const unsigned long size = vfs.f_bsize;
  return size > 0 && size <= (64ul << 20) ? static_cast<uint32_t>(size) : 0;
}

bool FileExists(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

#endif

bool TFileReader::ReadExact(void* buffer, size_t count) { return Read(buffer, count) == count; }

bool ReadFileHead(const std::string& name, size_t maxBytes, std::string& head, std::string* error) {
  head.clear();
  TFileReader file;
  if (!file.Open(name)) {
    if (error) *error = file.Error();
    return false;
  }
  const int64_t size = file.Size();
  const size_t want = size < 0 ? 0 : (static_cast<uint64_t>(size) < maxBytes ? static_cast<size_t>(size) : maxBytes);
  head.resize(want);
  const size_t got = file.Read(head.data(), want);
  head.resize(got);
  if (file.Failed()) {
    if (error) *error = file.Error();
    return false;
  }
  return true;
}

#ifndef _WIN32
std::vector<std::string> ListFolderFiles(const std::string& folder, size_t maxEntries) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return names;
  size_t seen = 0;
  while (seen++ < maxEntries) {
    const dirent* e = readdir(dir);
    if (!e) break;
    if (e->d_type == DT_DIR) continue;
    names.emplace_back(e->d_name);
  }
  closedir(dir);
  return names;
}
#endif

}  // namespace bq
