// The bytes of one audio file as the tag readers see them: the file is opened once, its head
// and its last bytes are read in one go each, and every other range is read on demand through
// the same handle. A memory buffer can stand in for the file (tests, fuzzing).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/bqBytes.h"

namespace bq {

class TFileReader;

class TTagSource {
public:
  static constexpr size_t HeadSize = 64 * 1024;
  static constexpr size_t TailSize = 128;

  TTagSource();
  ~TTagSource();
  TTagSource(const TTagSource&) = delete;
  TTagSource& operator=(const TTagSource&) = delete;

  // Opens a file (UTF-8 name; UTF-16 on Windows) and reads its head and tail.
  bool Open(const std::string& name);
  // The bytes themselves; they must outlive the source.
  void OpenMemory(TByteView bytes);

  bool IsOpen() const { return FOpen; }
  uint64_t Size() const { return FSize; }

  // The bytes [offset, offset + count) clamped to the file: a view into the cached head or
  // tail when they hold the range, otherwise read into storage. Returns false when the range
  // was cut by the end of the file or a read failed; the view then holds what was there.
  bool Fetch(uint64_t offset, uint64_t count, std::vector<uint8_t>& storage, TByteView& out);

private:
  std::unique_ptr<TFileReader> FFile;
  TByteView FMemory;  // the whole "file" when it is a memory buffer
  std::vector<uint8_t> FHead, FTail;
  uint64_t FTailOffset = 0;
  uint64_t FSize = 0;
  bool FOpen = false;
};

}  // namespace bq
