// Byte pattern search over a seekable source (Boyer-Moore-Horspool over 4 KiB blocks).
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace bq {

// A seekable byte source.
class TByteSource {
public:
  virtual ~TByteSource() = default;
  virtual int64_t Size() const = 0;
  virtual int64_t Position() const = 0;
  virtual bool Seek(int64_t position) = 0;
  virtual size_t Read(void* buffer, size_t count) = 0;
};

// A byte source over memory it does not own.
class TMemorySource : public TByteSource {
public:
  explicit TMemorySource(std::string_view bytes) : FBytes(bytes) {}
  int64_t Size() const override { return static_cast<int64_t>(FBytes.size()); }
  int64_t Position() const override { return FPosition; }
  bool Seek(int64_t position) override;
  size_t Read(void* buffer, size_t count) override;
  // Bytes handed out by Read so far.
  uint64_t BytesRead() const { return FBytesRead; }

private:
  std::string_view FBytes;
  int64_t FPosition = 0;
  uint64_t FBytesRead = 0;
};

class TJsTextSearch {
public:
  static constexpr size_t BlockSize = 4096;

  std::string Pattern;
  std::function<void(int64_t)> OnFound;  // optional: called with each occurrence's offset
  TByteSource* Source = nullptr;
  std::array<size_t, 256> SkipTable{};
  bool StopAtFirst = false;
  int64_t FoundPosition = -1;  // first occurrence, -1 when none
  int64_t Limit = 0;           // 0 = the whole source

  // Seeks the source to 0 and reports the occurrences in increasing order; with StopAtFirst,
  // stops after the first. Returns FoundPosition.
  int64_t Search();
};

}  // namespace bq
