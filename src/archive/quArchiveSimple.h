// The archive reader base, the registry of readers by extension and the dispatcher.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/quArchiveFileList.h"
#include "platform/bqBytes.h"

namespace bq {

class TFileReader;

// The bytes of an archive: a file or a buffer. Readers take ranges out of it and parse them
// with the bounded byte reader; nothing larger than the source is ever read.
class TArchiveSource {
public:
  virtual ~TArchiveSource() = default;
  virtual uint64_t Size() const = 0;
  // [offset, offset + count) clamped to the size; false when the range was cut or a read failed.
  virtual bool ReadRange(uint64_t offset, uint64_t count, std::vector<uint8_t>& buffer) = 0;
};

class TArchiveFileSource : public TArchiveSource {
public:
  explicit TArchiveFileSource(TFileReader& file) : FFile(file) {}
  uint64_t Size() const override;
  bool ReadRange(uint64_t offset, uint64_t count, std::vector<uint8_t>& buffer) override;

private:
  TFileReader& FFile;
};

class TArchiveMemorySource : public TArchiveSource {
public:
  explicit TArchiveMemorySource(TByteView bytes) : FBytes(bytes) {}
  uint64_t Size() const override { return FBytes.Size(); }
  bool ReadRange(uint64_t offset, uint64_t count, std::vector<uint8_t>& buffer) override;

private:
  TByteView FBytes;
};

class TSimpleArchive {
public:
  virtual ~TSimpleArchive() = default;

  std::string FileName;
  TArchivedFilesList Files;
  bool ListFiles = true;   // false: a reader that honours it (CAB) reads only the header
  bool HasCRC = false;     // the format records CRC-32s: the single-archive page shows the column
  bool HasSizes = false;   // it records sizes (unpacked at least): the page shows both size columns
  std::string Error;       // why the listing ended early ("" when it did not)
  bool NamesEncrypted = false;  // the names are encrypted: nothing could be listed
  bool HeadersEncrypted = false;  // every header after the signature is encrypted (RAR 5)

  // Opens the file (reading, others may read) and reads it through LoadFromStream.
  virtual bool LoadFromFile(const std::string& name);
  // Clears Files and lists the archive; true when the format's signature was recognised (even
  // with no entries). Entries read before any damage stay, with Error saying what ended it.
  virtual bool LoadFromStream(TArchiveSource& source) = 0;

protected:
  bool Fail(std::string message) {
    if (Error.empty()) Error = std::move(message);
    return false;
  }
};

using TArchiveFactory = std::unique_ptr<TSimpleArchive> (*)();
// The format's signature test, used when the extension names no reader or the wrong one.
using TArchiveRecognise = bool (*)(TArchiveSource& source);

struct TSimpleArchiveEntry {
  std::string Extension;  // with its dot, e.g. ".zip"
  TArchiveFactory Create = nullptr;
  TArchiveRecognise Recognise = nullptr;
  const char* ClassName = "";
};

// The readers in registration order: ".cab", ".zip", ".chm", ".exe", ".rar", then one row per
// extension of the tar reader (".tar", ".tgz", ".gz", ".tbz2", ".tbz", ".bz2").
const std::vector<TSimpleArchiveEntry>& ArchiveClasses();

class TAnyArchive {
public:
  std::unique_ptr<TSimpleArchive> Archive;
  bool Recognised = false;  // the reader's signature test passed (not a fallback by extension)

  // Chooses a reader and lists the file. The extension's reader is taken when it recognises
  // the file; otherwise the first reader, in registration order, whose signature test passes;
  // otherwise the extension's reader all the same. False when no reader was chosen, the file
  // cannot be read or the reader did not recognise it.
  bool Open(const std::string& fileName);
  // The same over bytes in memory, given the name the file would have.
  bool Open(const std::string& fileName, TArchiveSource& source);
};

}  // namespace bq
