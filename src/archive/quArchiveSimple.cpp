#include "archive/quArchiveSimple.h"

#include <cstring>

#include "archive/zoxFFCabSimple.h"
#include "archive/zoxFFChmWindows.h"
#include "archive/zoxFFNSISSimple.h"
#include "archive/zoxFFRarSimple.h"
#include "archive/zoxFFRar5Simple.h"
#include "archive/zoxFFIsoSimple.h"
#include "archive/zoxFFTarSimple.h"
#include "archive/zoxFFZipSimple.h"
#include "archive/zoxFF7zSimple.h"
#include "archive/bqXz.h"
#include "platform/bqFile.h"
#include "platform/bqText.h"
#include "shell/zoxFFIdentifier.h"

namespace bq {

uint64_t TArchiveFileSource::Size() const { return FFile.Size() < 0 ? 0 : static_cast<uint64_t>(FFile.Size()); }

bool TArchiveFileSource::ReadRange(uint64_t offset, uint64_t count, std::vector<uint8_t>& buffer) {
  return ReadFileRange(FFile, offset, count, buffer);
}

bool TArchiveMemorySource::ReadRange(uint64_t offset, uint64_t count, std::vector<uint8_t>& buffer) {
  const TByteView part = FBytes.Clamp(offset, count);
  buffer.assign(part.Data(), part.Data() + part.Size());
  return part.Size() == count;
}

bool TSimpleArchive::LoadFromFile(const std::string& name) {
  TFileReader file;
  if (!file.Open(name)) {
    Files.Clear();
    return Fail(file.Error());
  }
  FileName = name;
  TArchiveFileSource source(file);
  return LoadFromStream(source);
}

namespace {
template <class T>
std::unique_ptr<TSimpleArchive> Make() { return std::make_unique<T>(); }

std::vector<TSimpleArchiveEntry> BuildRegistry() {
  std::vector<TSimpleArchiveEntry> r;
  auto add = [&](const char* ext, TArchiveFactory create, TArchiveRecognise recognise, const char* cls) {
    r.push_back({ext, create, recognise, cls});
  };
  add(".cab", Make<TSimpleCab>, TSimpleCab::Recognise, "TSimpleCab");
  add(".zip", Make<TSimpleZip>, TSimpleZip::Recognise, "TSimpleZip");
  add(".chm", Make<TWindowsChm>, TWindowsChm::Recognise, "TWindowsChm");
  add(".exe", Make<TSimpleNSIS>, TSimpleNSIS::Recognise, "TSimpleNSIS");
  add(".rar", Make<TSimpleRar>, TSimpleRar::Recognise, "TSimpleRar");
  // RAR 5 shares the extension: the signature's seventh byte (0 or 1) picks the reader.
  add(".rar", Make<TSimpleRar5>, TSimpleRar5::Recognise, "TSimpleRar5");
  add(".iso", Make<TSimpleIso>, TSimpleIso::Recognise, "TSimpleIso");
  // A compressed file lists as the tar it holds, else as one row: xz too goes through the tar
  // reader, so that .tar.xz needs no name of its own.
  for (const char* ext : {".tar", ".tgz", ".gz", ".tbz2", ".tbz", ".bz2", ".txz", ".xz"})
    add(ext, Make<TSimpleTar>, TSimpleTar::Recognise, "TSimpleTar");
  add(".7z", Make<TSimple7z>, TSimple7z::Recognise, "TSimple7z");
  return r;
}
}  // namespace

const std::vector<TSimpleArchiveEntry>& ArchiveClasses() {
  static const std::vector<TSimpleArchiveEntry> registry = BuildRegistry();
  return registry;
}

bool TAnyArchive::Open(const std::string& fileName) {
  Archive.reset();
  Recognised = false;
  TFileReader file;
  if (!file.Open(fileName)) return false;  // no reader, as for a file no reader knows
  TArchiveFileSource source(file);
  const bool ok = Open(fileName, source);
  if (Archive) Archive->FileName = fileName;
  return ok;
}

bool TAnyArchive::Open(const std::string& fileName, TArchiveSource& source) {
  Archive.reset();
  Recognised = false;
  const std::string ext = FileExtension(fileName);
  const auto& rows = ArchiveClasses();
  const TSimpleArchiveEntry* byExtension = nullptr;
  for (const auto& row : rows)
    if (SameTextI(row.Extension, ext)) {
      byExtension = &row;
      break;
    }
  const TSimpleArchiveEntry* chosen = nullptr;
  if (byExtension && byExtension->Recognise(source)) chosen = byExtension;
  // A reader registered for several extensions is tested once.
  auto tested = [&](size_t i) {
    if (byExtension && rows[i].Recognise == byExtension->Recognise) return true;
    for (size_t k = 0; k < i; ++k)
      if (rows[k].Recognise == rows[i].Recognise) return true;
    return false;
  };
  for (size_t i = 0; !chosen && i < rows.size(); ++i)
    if (!tested(i) && rows[i].Recognise(source)) chosen = &rows[i];
  Recognised = chosen != nullptr;
  if (!chosen) chosen = byExtension;
  if (!chosen) return false;
  Archive = chosen->Create();
  Archive->ListFiles = true;
  Archive->FileName = fileName;
  return Archive->LoadFromStream(source);
}

}  // namespace bq
