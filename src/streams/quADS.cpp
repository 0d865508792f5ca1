#include "streams/quADS.h"

#include "shell/bqStrings.h"

namespace bq {

namespace {
bool FindStream(TFindStreamData& data) {
  TStreamRecord record;
  while (data.Lister->Next(record)) {
    if (data.WantedKinds != 0 && (record.Kind >= 16 || !(data.WantedKinds & (1u << record.Kind)))) continue;
    data.Kind = static_cast<uint8_t>(record.Kind);
    data.Name = std::move(record.Name);
    data.Size = record.Size;
    data.Attributes = record.Attributes;
    return true;
  }
  data.LastError = data.Lister->LastError();
  return false;
}
}  // namespace

bool StreamFindFirst(const std::string& fileName, uint16_t wantedKinds, TFindStreamData& data) {
  data.Lister = std::make_unique<TStreamLister>();
  data.WantedKinds = wantedKinds;
  if (!data.Lister->Open(fileName)) {
    data.LastError = data.Lister->LastError();
    data.Lister.reset();
    return false;
  }
  if (FindStream(data)) return true;
  data.Lister.reset();
  if (data.LastError == StreamErrorNoMoreFiles) data.LastError = StreamErrorFileNotFound;
  return false;
}

bool StreamFindNext(TFindStreamData& data) {
  if (!data.Lister) {
    data.LastError = StreamErrorInvalidHandle;
    return false;
  }
  return FindStream(data);
}

void StreamFindClose(TFindStreamData& data) { data.Lister.reset(); }

std::string StreamKindName(uint8_t kind) { return kind <= 9 ? LoadResourceText(1541 + kind) : std::string(); }

}  // namespace bq
