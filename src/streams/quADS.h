// Enumeration of a file's streams, one at a time, with the kind names the Streams page shows.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/bqStreams.h"

namespace bq {

struct TFindStreamData {
  std::unique_ptr<TStreamLister> Lister;  // the open file and its listing state; empty when closed
  uint16_t WantedKinds = 0;  // bit i = stream id i; 0 = every kind
  uint32_t Attributes = 0;   // of the stream found
  uint8_t Kind = 0;
  std::string Name;          // UTF-8; empty for unnamed streams
  uint64_t Size = 0;
  uint32_t LastError = 0;    // why the last call answered false (Windows error codes)
};

// Opens the file and finds the first wanted stream. Finding none closes the file again, with
// StreamErrorFileNotFound when the listing simply ended.
bool StreamFindFirst(const std::string& fileName, uint16_t wantedKinds, TFindStreamData& data);
bool StreamFindNext(TFindStreamData& data);
void StreamFindClose(TFindStreamData& data);

// "Invalid", "Standard", "Extended Attribute", ... for kinds 0 to 9 (resource strings 1541 to
// 1550); "" for others.
std::string StreamKindName(uint8_t kind);

}  // namespace bq
