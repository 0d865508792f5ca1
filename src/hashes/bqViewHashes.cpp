#include "hashes/bqViewHashes.h"

#include <algorithm>

#include "hashes/bqChecksumFiles.h"
#include "hashes/zoxChkHashes.h"
#include "platform/bqHost.h"
#include "platform/bqFile.h"
#include "platform/bqText.h"

namespace bq {

std::string HashListRowText(const TRowTable::TRow& row) { return ChecksumLine(row[1], row[0]); }

void FillHashesPage(const TPageContext& context, TPageView& view) {
  view.AddField(idCRC32Edit, "CRC 32:");
  view.AddField(idMD5Edit, "MD5:");
  view.AddField(idSHA1Edit, "SHA 1:");
  view.AddField(idCheckEdit, "Check:");
  const int ids[3] = {idCRC32Edit, idMD5Edit, idSHA1Edit};
  const TDigestKind kinds[3] = {dkCRC32, dkMD5, dkSHA1};
  for (int id : ids) view.SetField(id, "Computing\u2026");
  const TSelection& selection = *context.Selection;

  // Progress over the whole selection, by bytes.
  std::vector<uint64_t> sizes(selection.Count(), 0);
  uint64_t total = 0, before = 0;
  for (size_t i = 0; i < selection.Count(); ++i) {
    TFileReader probe;
    if (probe.Open(selection.SelectedFiles[i])) total += sizes[i] = static_cast<uint64_t>(probe.Size());
  }
  view.SetProgress(0);

  // Each box shows the distinct values in the order they were first met; a file that
  // cannot be read adds nothing.
  std::vector<std::string> lists[3];
  std::string checks;
  for (size_t i = 0; i < selection.Count(); ++i) {
    if (view.StopRequested()) return;
    TChecksumGenerator generator;
    generator.DoCRC32 = generator.DoMD5 = generator.DoSHA1 = true;
    generator.FileName = selection.SelectedFiles[i];
    int lastPercent = -1;
    generator.OnProgress = [&](uint64_t done, uint64_t) {
      const uint64_t at = before + std::min(done, sizes[i]);
      const int percent = total ? static_cast<int>(at * 100 / total) : 100;
      if (percent != lastPercent) view.SetProgress(lastPercent = percent);
      return !view.StopRequested();
    };
    const bool ok = generator.Generate();
    if (view.StopRequested()) return;
    before += sizes[i];
    if (!ok) continue;
    const std::string texts[3] = {generator.CRC32Text(), generator.MD5Text(), generator.SHA1Text()};
    std::vector<std::string> values(DigestKindCount);
    for (int k = 0; k < 3; ++k) {
      if (std::find(lists[k].begin(), lists[k].end(), texts[k]) == lists[k].end()) lists[k].push_back(texts[k]);
      values[kinds[k]] = texts[k];
    }
    // What the checksum files beside the file say about these three values.
    const std::vector<TExpectation> expectations = ExpectationsFor(selection.SelectedFiles[i]);
    for (int k = 0; k < 3 && !expectations.empty(); ++k) {
      const std::string check = CheckText(expectations, kinds[k], values);
      if (check.empty()) continue;
      if (!checks.empty()) checks += "; ";
      if (selection.Count() > 1) checks += FileNameOnly(selection.SelectedFiles[i]) + ": ";
      checks += std::string(DigestName(kinds[k])) + " " + check;
    }
  }
  for (int k = 0; k < 3; ++k) {
    std::string joined;
    for (const auto& v : lists[k]) joined += (joined.empty() ? "" : ",") + v;
    view.SetField(ids[k], joined);
  }
  view.SetField(idCheckEdit, checks);
  view.SetProgress(100);
}

namespace {
// Group headers, in the order of the digest kinds; group ids are the kind plus one.
constexpr const char* kGroupHeaders[DigestKindCount] = {
    "CRC-32: Cyclic redundancy check, 32 bit",
    "MD4: Message-Digest algorithm 4",
    "MD5: Message-Digest algorithm 5",
    "SHA1: US Secure Hash Algorithm 1",
    "RipeMD-128: RACE Integrity Primitives Evaluation MD",
    "RipeMD-160: RACE Integrity Primitives Evaluation MD",
    "RipeMD-256: RACE Integrity Primitives Evaluation MD",
    "RipeMD-320: RACE Integrity Primitives Evaluation MD",
    "SHA-256: Secure Hash Algorithm 2, 256 bit",
    "SHA-512: Secure Hash Algorithm 2, 512 bit",
    "SHA3-256: Secure Hash Algorithm 3, 256 bit",
    "BLAKE3: BLAKE3 hash, 256 bit",
};
}  // namespace

const char* HashGroupHeader(TDigestKind kind) {
  return kind >= 0 && kind < DigestKindCount ? kGroupHeaders[kind] : "";
}

void FillHashListPage(const TPageContext& context, TPageView& view) {
  const std::vector<TDigestKind> kinds = HashAlgorithmsTweak(context.Registry, HostExecutableName());
  view.EnableGroupView(true);
  view.AddColumn("Filename", 128, TAlign::alLeft);
  view.AddColumn("Hash Value", 193, TAlign::alLeft);
  view.AddColumn("Check", 160, TAlign::alLeft);
  for (TDigestKind k : kinds) view.AddGroup(k + 1, kGroupHeaders[k]);

  const TSelection& selection = *context.Selection;
  // Progress over the whole selection, by bytes (sizes as found when each file is read).
  uint64_t before = 0;
  std::vector<uint64_t> sizes(selection.Count(), 0);
  for (size_t i = 0; i < selection.Count(); ++i) {
    TFileReader probe;
    if (probe.Open(selection.SelectedFiles[i])) sizes[i] = static_cast<uint64_t>(probe.Size());
  }
  uint64_t total = 0;
  for (auto s : sizes) total += s;

  for (size_t i = 0; i < selection.Count(); ++i) {
    if (view.StopRequested()) return;
    const std::vector<TExpectation> expectations = ExpectationsFor(selection.SelectedFiles[i]);
    TChecksumGenerator generator;
    generator.MoreDigests = kinds;
    generator.FileName = selection.SelectedFiles[i];
    int lastPercent = -1;
    generator.OnProgress = [&](uint64_t done, uint64_t) {
      const uint64_t at = before + std::min(done, sizes[i]);
      const int percent = total ? static_cast<int>(at * 100 / total) : 100;
      if (percent != lastPercent) view.SetProgress(lastPercent = percent);
      return !view.StopRequested();
    };
    const bool ok = generator.Generate();
    before += sizes[i];
    if (!ok) continue;  // no rows for a file that cannot be read; the others go on

    std::vector<std::string> values(DigestKindCount);
    for (TDigestKind k : kinds) {
      const std::vector<uint8_t> digest = generator.Digest(k);
      values[k] = HexBytes(digest.data(), digest.size(), true);
    }
    const std::string name = FileNameOnly(selection.SelectedFiles[i]);
    for (TDigestKind k : kinds) {
      const int row = view.InsertRow(static_cast<int>(i) * HashRowStride + k, name);
      if (row < 0) continue;
      view.SetCell(row, 1, values[k]);
      const std::string check = CheckText(expectations, k, values);
      if (!check.empty()) view.SetCell(row, 2, check);
      view.SetRowGroup(row, k + 1);
    }
  }
  view.SetProgress(100);
}

std::optional<std::string> ReadLaunchCommand(const TRegistry& registry) {
  auto key = OpenKeyReadOnly(registry, TRegRoot::rrClassesRoot, "\\*\\shell\\brisquel\\command\\", TRegView::rv32);
  if (!key) return std::nullopt;
  const auto value = key->ReadValue("");
  if (!value) return std::nullopt;
  switch (value->Type) {
    case kRegSz:
    case kRegExpandSz:
      return value->AsString();
    case kRegMultiSz: {
      std::string joined;
      for (const auto& s : value->AsStringList()) joined += (joined.empty() ? "" : " ") + s;
      return joined;
    }
    default:
      return std::nullopt;
  }
}

bool LaunchCommandExpands(const TRegistry& registry) {
  auto key = OpenKeyReadOnly(registry, TRegRoot::rrClassesRoot, "\\*\\shell\\brisquel\\command\\", TRegView::rv32);
  if (!key) return false;
  const auto value = key->ReadValue("");
  return value && value->Type == kRegExpandSz;
}

std::string ProgramPathOf(std::string_view commandLine) {
  if (!commandLine.empty() && commandLine.front() == '"') {
    commandLine.remove_prefix(1);
    return std::string(commandLine.substr(0, commandLine.find('"')));
  }
  return std::string(commandLine.substr(0, commandLine.find(' ')));
}

std::optional<std::string> LaunchProgramPath(const TRegistry& registry) {
  const auto command = ReadLaunchCommand(registry);
  if (!command) return std::nullopt;
  std::string path = ProgramPathOf(*command);
  if (path.empty()) return std::nullopt;
  return path;
}

}  // namespace bq
