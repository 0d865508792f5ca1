// libFuzzer target for TPEReader: headers, sections, imports (by name and by ordinal), exports
// (named, by ordinal only, forwarded) and the resource tree, then every header text line, from
// arbitrary bytes; then the Details page's reading of the same bytes (version resource,
// Authenticode certificate table and its PKCS#7 through libcrypto, CLR header, manifest), and
// the same bytes taken as a PKCS#7 signature themselves.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pe/zoxPEDetails.h"
#include "pe/zoxPEResources.h"
#include "pe/zoxPESimple.h"
#include "platform/bqAuthenticode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bq::TPEReader reader;
  reader.SetReadImportTable(true);
  reader.SetReadExportTable(true);
  reader.SetReadResourceTable(true);
  try {
    reader.ReadFromBytes(bq::TByteView(data, size));
  } catch (const bq::TPEError&) {
  }
  std::vector<std::string> lines;
  bq::MZHeaderToStrings(reader, lines);
  bq::PEHeaderToStrings(reader, lines);
  bq::OptionalHeaderToStrings(reader, lines);
  for (const auto& e : reader.ResourceEntries()) lines.push_back(bq::LanguageName(e.Language));
  // The names are views into the reader's copies of the tables: read every byte of them.
  for (const auto& l : reader.ImportTable()) lines.push_back(l.Text());
  for (const auto& e : reader.ExportTable()) lines.emplace_back(e.Name);
  for (const auto& e : reader.Exports()) {
    lines.emplace_back(e.Name);
    lines.emplace_back(e.Forward);
  }
  lines.push_back(reader.ImportTableError + reader.ExportTableError + reader.ResourceTableError);
  for (size_t d = 0; d < bq::TPEReader::DirectoryCount; ++d) (void)reader.DirectoryToFileOffset(d);
  const bq::TPEDetails details = bq::ReadPEDetailsFromBytes(reader, bq::TByteView(data, size), 2030);
  for (const auto& group : details.Groups)
    for (const auto& row : group) lines.push_back(row.Field + row.Value);
  for (const auto& problem : details.Problems) lines.push_back(problem);
  bq::TAuthenticodeInfo info;
  std::string error;
  if (bq::ParseAuthenticode(bq::TByteView(data, size), info, error)) lines.push_back(info.Signer + info.Issuer + info.DigestOid);
  return 0;
}
