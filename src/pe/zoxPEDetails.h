// TPEDetails: what the Details page tells of a PE file beyond its raw headers: machine,
// subsystem and flags by name, time stamp, checksum, overlay, entropy; the Rich header; the
// imports' counts, imphash and delay-load libraries; the debug directory; TLS callbacks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pe/zoxPESimple.h"
#include "platform/bqBytes.h"

namespace bq {

struct TPEDetailRow {
  std::string Field, Value;
};

// The groups in page order; a group without rows is not shown.
enum TPEDetailGroup : int { dgFile, dgRich, dgImports, dgDebug, dgTls, dgCount };

struct TPEDetails {
  std::vector<TPEDetailRow> Groups[dgCount];
};

// The details of a file whose headers, section table and imports the reader has read. The file's bytes
// are read again in bounded chunks (entropy, checksum); currentYear bounds plausible dates.
TPEDetails ReadPEDetailsFromFile(const TPEReader& reader, const std::string& fileName, int currentYear);
TPEDetails ReadPEDetailsFromBytes(const TPEReader& reader, TByteView bytes, int currentYear);

// The standard PE image checksum of the bytes, the stored checksum at checksumOffset left out.
class TPEChecksum {
public:
  explicit TPEChecksum(uint64_t checksumOffset) : FSkip(checksumOffset) {}
  void Update(const uint8_t* data, size_t n);
  uint32_t Final() const;

private:
  uint64_t FSkip, FPosition = 0, FSum = 0;
};

// Shannon entropy in bits per byte of the counted bytes.
double Entropy(const uint64_t (&counts)[256], uint64_t total);

}  // namespace bq
