// Any bytes as a checksum file (each name hint), as a pasted value, and as data for the
// newer digests fed in two pieces.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "hashes/bqChecksumFiles.h"
#include "hashes/quBLAKE3.h"
#include "hashes/quSHA2.h"
#include "hashes/quSHA3.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const int hint = data[0] % (bq::DigestKindCount + 1);
  const auto list = bq::ParseChecksumText(
      text, hint == bq::DigestKindCount ? std::nullopt : std::optional<bq::TDigestKind>(bq::TDigestKind(hint)));
  if (list) {
    std::vector<bq::TExpectation> expectations;
    for (const auto& e : list->Entries) {
      if (e.Kinds.empty() || e.Value.size() != bq::DigestSize(e.Kinds.front()) * 2) __builtin_trap();
      expectations.push_back({"x.sum", e});
    }
    std::vector<std::string> values(bq::DigestKindCount);
    for (const auto& e : expectations) values[e.Entry.Kinds.front()] = e.Entry.Value;
    for (int k = 0; k < bq::DigestKindCount; ++k) bq::CheckText(expectations, bq::TDigestKind(k), values);
  }
  bq::NormalizePastedHex(text);
  // The digests' block and chunk boundaries all lie within the first few KiB.
  size = size < 5000 ? size : 5000;
  const size_t cut = data[0] * size / 256;
  uint8_t out[64];
  bq::TSHA256 a;
  bq::TSHA512 b;
  bq::TSHA3_256 c;
  bq::TBLAKE3 d;
  a.Update(data, cut), a.Update(data + cut, size - cut), a.Final(out);
  b.Update(data, cut), b.Update(data + cut, size - cut), b.Final(out);
  c.Update(data, cut), c.Update(data + cut, size - cut), c.Final(out);
  d.Update(data, cut), d.Update(data + cut, size - cut), d.Final(out);
  return 0;
}
