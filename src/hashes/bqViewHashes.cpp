#include "hashes/bqViewHashes.h"

#include <algorithm>

#include "hashes/zoxChkHashes.h"
#include "platform/bqFile.h"
#include "platform/bqText.h"

namespace bq {

void FillHashesPage(const TPageContext& context, TPageView& view) {
  view.AddField(idCRC32Edit, "CRC 32:");
  view.AddField(idMD5Edit, "MD5:");
  view.AddField(idSHA1Edit, "SHA 1:");
  const TSelection& selection = *context.Selection;

  // Each box shows the distinct values in the order they were first met; a file that
  // cannot be read adds nothing.
  std::vector<std::string> lists[3];
  for (const auto& name : selection.SelectedFiles) {
    TChecksumGenerator generator;
    generator.DoCRC32 = generator.DoMD5 = generator.DoSHA1 = true;
    generator.FileName = name;
    if (!generator.Generate()) continue;
    const std::string texts[3] = {generator.CRC32Text(), generator.MD5Text(), generator.SHA1Text()};
    for (int k = 0; k < 3; ++k)
      if (std::find(lists[k].begin(), lists[k].end(), texts[k]) == lists[k].end()) lists[k].push_back(texts[k]);
  }
  const int ids[3] = {idCRC32Edit, idMD5Edit, idSHA1Edit};
  for (int k = 0; k < 3; ++k) {
    std::string joined;
    for (const auto& v : lists[k]) joined += (joined.empty() ? "" : ",") + v;
    view.SetField(ids[k], joined);
  }
}

namespace {
struct TAlgorithm {
  TDigestKind Kind;
  const char* Header;
};
constexpr TAlgorithm kCatalogue[] = {
    {TDigestKind::dkCRC32, "CRC-32: Cyclic redundancy check, 32 bit"},
    {TDigestKind::dkMD4, "MD4: Message-Digest algorithm 4"},
    {TDigestKind::dkMD5, "MD5: Message-Digest algorithm 5"},
    {TDigestKind::dkSHA1, "SHA1: US Secure Hash Algorithm 1"},
    {TDigestKind::dkRipeMD128, "RipeMD-128: RACE Integrity Primitives Evaluation MD"},
    {TDigestKind::dkRipeMD160, "RipeMD-160: RACE Integrity Primitives Evaluation MD"},
    {TDigestKind::dkRipeMD256, "RipeMD-256: RACE Integrity Primitives Evaluation MD"},
    {TDigestKind::dkRipeMD320, "RipeMD-320: RACE Integrity Primitives Evaluation MD"},
};
constexpr int kRowStride = 9;  // the groups plus one
}  // namespace

void FillHashListPage(const TPageContext& context, TPageView& view) {
  view.EnableGroupView(true);
  view.AddColumn("Filename", 128, TAlign::alLeft);
  view.AddColumn("Hash Value", 193, TAlign::alLeft);
  for (int g = 0; g < 8; ++g) view.AddGroup(g + 1, kCatalogue[g].Header);

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
    TChecksumGenerator generator;
    generator.DoCRC32 = generator.DoMD5 = generator.DoSHA1 = true;
    generator.MoreDigests = {TDigestKind::dkMD4, TDigestKind::dkRipeMD128, TDigestKind::dkRipeMD160,
                             TDigestKind::dkRipeMD256, TDigestKind::dkRipeMD320};
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

    const std::string name = FileNameOnly(selection.SelectedFiles[i]);
    for (int k = 0; k < 8; ++k) {
      const std::vector<uint8_t> digest = generator.Digest(kCatalogue[k].Kind);
      const std::string value = kCatalogue[k].Kind == TDigestKind::dkCRC32 ? generator.CRC32Text()
                                                                            : HexBytes(digest.data(), digest.size(), true);
      const int row = view.InsertRow(static_cast<int>(i) * kRowStride + k, name);
      if (row < 0) continue;
      view.SetCell(row, 1, value);
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
