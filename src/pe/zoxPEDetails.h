// TPEDetails: what the Details page tells of a PE file beyond its raw headers: machine,
// subsystem and flags by name, time stamp, checksum, overlay, entropy; the Rich header; the
// imports' counts, imphash and delay-load libraries; the debug directory; TLS callbacks; the
// version resource, the Authenticode signature, the .NET header and the manifest.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pe/zoxPESimple.h"
#include "platform/bqBytes.h"

namespace bq {

struct TPEDetailRow {
  std::string Field, Value;
};

// The groups in page order; a group without rows is not shown.
enum TPEDetailGroup : int {
  dgFile, dgVersion, dgSignature, dgRich, dgImports, dgDotNet, dgDebug, dgTls, dgManifest, dgCount
};

struct TPEDetails {
  std::vector<TPEDetailRow> Groups[dgCount];
  std::vector<std::string> Problems;  // damage met on the way, one message each
};

// The details of a file whose headers, section table, imports and resource tree the reader has
// read. The file's bytes are read again in bounded chunks (entropy, checksum, Authenticode
// digest); currentYear bounds plausible dates. fileName, when given, is the file the system's
// trust check looks at (Windows only). Once stop returns true, nothing more is read: the rows
// that need the rest of the file are left out.
TPEDetails ReadPEDetailsFromFile(const TPEReader& reader, const std::string& fileName, int currentYear,
                                  const std::function<bool()>& stop = {});
TPEDetails ReadPEDetailsFromBytes(const TPEReader& reader, TByteView bytes, int currentYear,
                                  const std::string& fileName = {}, const std::function<bool()>& stop = {});

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
