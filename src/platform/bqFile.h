// Read-only file access shared with other readers and writers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bq {

class TFileReader {
public:
  TFileReader() = default;
  ~TFileReader();
  TFileReader(const TFileReader&) = delete;
  TFileReader& operator=(const TFileReader&) = delete;

  // Opens a UTF-8 name for reading; others may go on reading and writing the file.
  // On Windows the name is opened as UTF-16. Returns false and sets Error() on failure.
  bool Open(const std::string& name);
  void Close();
  bool IsOpen() const;

  // Reads up to count bytes at the current position; returns the bytes read (0 at the end
  // or on error; Failed() tells which).
  size_t Read(void* buffer, size_t count);
  // Reads exactly count bytes or fails.
  bool ReadExact(void* buffer, size_t count);
  bool Seek(int64_t position);
  int64_t Position() const { return FPosition; }
  int64_t Size() const { return FSize; }
  bool Failed() const { return FFailed; }
  const std::string& Error() const { return FError; }

private:
#ifdef _WIN32
  void* FHandle = nullptr;
#else
  int FHandle = -1;
#endif
  int64_t FPosition = 0;
  int64_t FSize = 0;
  bool FFailed = false;
  std::string FError;
};

// Reads at most maxBytes from the start of a file. Returns false when the file cannot be read.
bool ReadFileHead(const std::string& name, size_t maxBytes, std::string& head, std::string* error = nullptr);

// Bytes per cluster of the volume that holds the file, or 0 when it cannot be had.
uint32_t VolumeClusterSize(const std::string& name);

// True when the name exists as a regular file.
bool FileExists(const std::string& name);

// The names (UTF-8, without the folder) of the files in a folder, in the order the file system
// gives them; at most maxEntries entries are looked at. Empty when the folder cannot be read.
std::vector<std::string> ListFolderFiles(const std::string& folder, size_t maxEntries);

}  // namespace bq
