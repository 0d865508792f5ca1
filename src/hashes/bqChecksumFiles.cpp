#include "hashes/bqChecksumFiles.h"

#include <algorithm>

#include "hashes/zoxChkHashes.h"
#include "platform/bqFile.h"
#include "platform/bqText.h"
#include "shell/zoxTweaks.h"

namespace bq {

namespace {

constexpr const char* kTweakNames[DigestKindCount] = {
    "crc32",     "md4",       "md5",    "sha1",   "ripemd128", "ripemd160",
    "ripemd256", "ripemd320", "sha256", "sha512", "sha3-256",  "blake3"};

// The digests a value of this many hex digits may be, the likeliest first.
std::vector<TDigestKind> KindsOfLength(size_t digits) {
  switch (digits) {
    case 8: return {dkCRC32};
    case 32: return {dkMD5, dkMD4, dkRipeMD128};
    case 40: return {dkSHA1, dkRipeMD160};
    case 64: return {dkSHA256, dkBLAKE3, dkSHA3_256, dkRipeMD256};
    case 80: return {dkRipeMD320};
    case 128: return {dkSHA512};
    default: return {};
  }
}

bool IsHex(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

// The kinds of a value, given what the format or the file's name says.
std::vector<TDigestKind> KindsOf(std::string_view value, std::optional<TDigestKind> known) {
  if (known) {
    if (DigestSize(*known) * 2 == value.size()) return {*known};
    return {};
  }
  return KindsOfLength(value.size());
}

// BSD tags as coreutils, OpenSSL, rhash and b3sum write them, folded to upper case without
// dashes and underscores.
std::optional<TDigestKind> KindFromTag(std::string_view tag) {
  std::string t;
  for (char c : tag)
    if (c != '-' && c != '_') t.push_back(c);
  t = UpperAscii(t);
  static constexpr struct {
    const char* Tag;
    TDigestKind Kind;
  } kTags[] = {{"CRC32", dkCRC32},         {"MD4", dkMD4},           {"MD5", dkMD5},
               {"SHA1", dkSHA1},           {"RIPEMD128", dkRipeMD128}, {"RIPEMD160", dkRipeMD160},
               {"RMD160", dkRipeMD160},    {"RIPEMD256", dkRipeMD256}, {"RIPEMD320", dkRipeMD320},
               {"SHA256", dkSHA256},       {"SHA512", dkSHA512},       {"SHA3256", dkSHA3_256},
               {"SHA2256", dkSHA256},      {"SHA2512", dkSHA512},      {"BLAKE3", dkBLAKE3}};
  for (const auto& e : kTags)
    if (t == e.Tag) return e.Kind;
  return std::nullopt;
}

// GNU escapes of a name whose line starts with a backslash: "\\", "\n", "\r".
std::optional<std::string> Unescape(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out.push_back(s[i]);
      continue;
    }
    if (++i == s.size()) return std::nullopt;
    switch (s[i]) {
      case '\\': out.push_back('\\'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      default: return std::nullopt;
    }
  }
  return out;
}

bool ParseBsd(std::string_view line, bool escaped, TChecksumEntry& entry) {
  // TAG (NAME) = HEX, or OpenSSL's TAG(NAME)= HEX.
  const size_t open = line.find('(');
  const size_t close = line.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) return false;
  std::string_view tag = line.substr(0, open);
  if (!tag.empty() && tag.back() == ' ') tag.remove_suffix(1);
  const auto kind = KindFromTag(tag);
  if (!kind) return false;
  std::string_view rest = line.substr(close + 1);
  if (rest.starts_with(" = ")) rest.remove_prefix(3);
  else if (rest.starts_with("= ")) rest.remove_prefix(2);
  else return false;
  if (!IsHex(rest)) return false;
  auto name = escaped ? Unescape(line.substr(open + 1, close - open - 1))
                      : std::optional<std::string>(line.substr(open + 1, close - open - 1));
  if (!name || name->empty()) return false;
  entry.Kinds = KindsOf(rest, kind);
  if (entry.Kinds.empty()) return false;
  entry.Name = std::move(*name);
  entry.Value = LowerAscii(rest);
  return true;
}

bool ParseGnu(std::string_view line, bool escaped, std::optional<TDigestKind> hint, TChecksumEntry& entry) {
  const size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return false;
  const std::string_view value = line.substr(0, blank);
  if (!IsHex(value)) return false;
  std::string_view rest = line.substr(blank + 1);
  if (!rest.empty() && (rest[0] == ' ' || rest[0] == '*')) rest.remove_prefix(1);
  if (rest.empty()) return false;
  auto name = escaped ? Unescape(rest) : std::optional<std::string>(rest);
  if (!name) return false;
  entry.Kinds = KindsOf(value, hint && DigestSize(*hint) * 2 == value.size() ? hint : std::nullopt);
  if (entry.Kinds.empty()) return false;
  entry.Name = std::move(*name);
  entry.Value = LowerAscii(value);
  return true;
}

bool ParseSfv(std::string_view line, TChecksumEntry& entry) {
  const size_t blank = line.find_last_of(" \t");
  if (blank == std::string_view::npos) return false;
  const std::string_view value = line.substr(blank + 1);
  if (value.size() != 8 || !IsHex(value)) return false;
  std::string_view name = line.substr(0, blank);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  if (name.empty()) return false;
  entry.Name = std::string(name);
  entry.Value = LowerAscii(value);
  entry.Kinds = {dkCRC32};
  return true;
}

bool EndsWithI(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && SameTextI(s.substr(s.size() - suffix.size()), suffix);
}

bool SameFileName(std::string_view a, std::string_view b) {
#ifdef _WIN32
  return SameTextI(a, b);
#else
  return a == b;
#endif
}

// The name of a listed entry relative to the checksum file's folder, or empty when it names
// something in another folder.
std::string_view LocalName(std::string_view listed) {
  while (listed.starts_with("./") || listed.starts_with(".\\")) listed.remove_prefix(2);
  if (listed.find('/') != std::string_view::npos) return {};
#ifdef _WIN32
  if (listed.find('\\') != std::string_view::npos) return {};
#endif
  return listed;
}

}  // namespace

const char* DigestTweakName(TDigestKind kind) {
  return kind >= 0 && kind < DigestKindCount ? kTweakNames[kind] : "";
}

std::optional<TDigestKind> DigestKindFromTweakName(std::string_view name) {
  for (int k = 0; k < DigestKindCount; ++k)
    if (SameTextI(name, kTweakNames[k])) return TDigestKind(k);
  return std::nullopt;
}

std::vector<TDigestKind> ParseHashAlgorithms(std::string_view list) {
  std::vector<TDigestKind> kinds;
  while (!list.empty()) {
    const size_t comma = list.find(',');
    const std::string name = TrimControls(list.substr(0, comma));
    if (const auto k = DigestKindFromTweakName(name); k && std::find(kinds.begin(), kinds.end(), *k) == kinds.end())
      kinds.push_back(*k);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  if (kinds.empty())
    for (int k = 0; k < DigestKindCount; ++k) kinds.push_back(TDigestKind(k));
  std::sort(kinds.begin(), kinds.end());
  return kinds;
}

std::vector<TDigestKind> HashAlgorithmsTweak(const TRegistry* registry, std::string_view hostExecutable) {
  std::string list;
  if (registry) ReadStringTweak(*registry, hostExecutable, "HashAlgorithms", list);
  return ParseHashAlgorithms(list);
}

std::optional<TDigestKind> DigestKindFromSumFileName(std::string_view fileName) {
  static constexpr struct {
    const char* Suffix;
    TDigestKind Kind;
  } kNames[] = {{".sha256", dkSHA256}, {".sha512", dkSHA512}, {".sha1", dkSHA1},   {".md5", dkMD5},
                {".sfv", dkCRC32},     {".b3", dkBLAKE3},     {"SHA256SUMS", dkSHA256}, {"SHA512SUMS", dkSHA512},
                {"SHA1SUMS", dkSHA1},  {"MD5SUMS", dkMD5},    {"B3SUMS", dkBLAKE3}};
  for (const auto& n : kNames)
    if (EndsWithI(fileName, n.Suffix)) return n.Kind;
  return std::nullopt;
}

std::optional<TChecksumList> ParseChecksumText(std::string_view text, std::optional<TDigestKind> hint) {
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  TChecksumList list;
  const bool sfv = hint == dkCRC32;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (TrimControls(line).empty() || line[0] == '#' || line[0] == ';') continue;
    const bool escaped = line[0] == '\\';
    const std::string_view body = escaped ? line.substr(1) : line;
    TChecksumEntry entry;
    const bool ok = sfv ? ParseSfv(line, entry) || ParseBsd(body, escaped, entry) || ParseGnu(body, escaped, hint, entry)
                        : ParseBsd(body, escaped, entry) || ParseGnu(body, escaped, hint, entry) ||
                              (!escaped && ParseSfv(line, entry));
    if (ok)
      list.Entries.push_back(std::move(entry));
    else
      ++list.BadLines;
  }
  return list;
}

std::vector<std::string> SumFileCandidates(const std::string& file) {
  const std::string folder = FolderOf(file);
  const std::string name = FileNameOnly(file);
  // A bounded look at the folder: a folder of a million files is not walked to its end.
  const std::vector<std::string> present = ListFolderFiles(folder, 100000);
  std::vector<std::string> chosen;
  auto take = [&](std::string_view candidate) {
    if (chosen.size() >= MaxSumFiles || SameFileName(candidate, name)) return;
    for (const auto& c : chosen)
      if (SameFileName(c, candidate)) return;
    for (const auto& p : present)
      if (SameFileName(p, candidate)) {
        chosen.push_back(p);
        return;
      }
  };
  for (const char* ext : {".sha256", ".sha512", ".sha1", ".md5", ".sfv", ".b3"}) take(name + ext);
  for (const char* sums : {"SHA256SUMS", "SHA512SUMS", "SHA1SUMS", "MD5SUMS", "B3SUMS"}) take(sums);
  for (const char* ext : {".sha256", ".md5", ".sfv"})
    for (const auto& p : present)
      if (EndsWithI(p, ext)) take(p);
  std::vector<std::string> paths;
  for (const auto& c : chosen) paths.push_back(JoinPath(folder, c));
  return paths;
}

std::vector<TExpectation> ExpectationsFor(const std::string& file) {
  std::vector<TExpectation> found;
  const std::string name = FileNameOnly(file);
  for (const std::string& sumFile : SumFileCandidates(file)) {
    std::string text;
    if (!ReadFileHead(sumFile, MaxSumFileSize + 1, text) || text.size() > MaxSumFileSize) continue;
    const std::string sumName = FileNameOnly(sumFile);
    const auto list = ParseChecksumText(text, DigestKindFromSumFileName(sumName));
    if (!list) continue;
    for (const auto& e : list->Entries)
      if (SameFileName(LocalName(e.Name), name)) found.push_back({sumName, e});
  }
  return found;
}

std::string CheckText(const std::vector<TExpectation>& expectations, TDigestKind kind,
                      const std::vector<std::string>& values) {
  auto valueOf = [&](TDigestKind k) {
    return k >= 0 && static_cast<size_t>(k) < values.size() ? LowerAscii(values[k]) : std::string();
  };
  const std::string mine = valueOf(kind);
  if (mine.empty()) return {};
  for (const auto& e : expectations)
    if (std::find(e.Entry.Kinds.begin(), e.Entry.Kinds.end(), kind) != e.Entry.Kinds.end() && e.Entry.Value == mine)
      return "matches " + e.SumFile;
  // A value that matches none of the digests it may be differs on the row of the likeliest
  // one that was computed.
  for (const auto& e : expectations) {
    const auto& kinds = e.Entry.Kinds;
    if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) continue;
    bool matched = false;
    TDigestKind first = kind;
    bool haveFirst = false;
    for (TDigestKind k : kinds) {
      const std::string v = valueOf(k);
      if (v.empty()) continue;
      if (!haveFirst) first = k, haveFirst = true;
      matched |= v == e.Entry.Value;
    }
    if (!matched && first == kind) return "DIFFERS from " + e.SumFile + ", expected " + UpperAscii(e.Entry.Value);
  }
  return {};
}

std::optional<std::string> NormalizePastedHex(std::string_view text) {
  std::string digits;
  std::string_view t = text;
  while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ') t.remove_prefix(1);
  if (t.starts_with("0x") || t.starts_with("0X")) t.remove_prefix(2);
  for (char c : t) {
    if (static_cast<unsigned char>(c) <= ' ') continue;
    if (!IsHex(std::string_view(&c, 1))) return std::nullopt;
    if (digits.size() > 128) return std::nullopt;
    digits.push_back(c);
  }
  if (KindsOfLength(digits.size()).empty()) return std::nullopt;
  return LowerAscii(digits);
}

std::string CompareKey(std::string_view text) {
  std::string key;
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  for (char c : text)
    if (static_cast<unsigned char>(c) > ' ') key.push_back(c);
  return LowerAscii(key);
}

TDigestKind HashListRowKind(const std::vector<TDigestKind>& kinds, size_t row) {
  return kinds.empty() ? dkCRC32 : kinds[row % kinds.size()];
}

std::string CompareMatchLine(std::string_view fileName, TDigestKind kind) {
  return "Matches " + std::string(fileName) + " (" + DigestName(kind) + ")";
}

std::string ChecksumLine(std::string_view value, std::string_view name) {
  return LowerAscii(value) + " *" + std::string(name);
}

std::string EscapeListedName(std::string_view name, bool& escaped) {
  escaped = name.find_first_of("\\\n\r") != std::string_view::npos;
  if (!escaped) return std::string(name);
  std::string out;
  for (char c : name) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out.push_back(c);
  }
  return out;
}

std::string SumLine(std::string_view value, std::string_view name) {
  bool escaped = false;
  const std::string listed = EscapeListedName(name, escaped);
  return (escaped ? "\\" : "") + LowerAscii(value) + "  " + listed;
}

bool VerifySumFile(const std::string& sumFile, const std::function<void(const TVerifyResult&)>& onResult,
                   TVerifySummary& summary, std::string& error) {
  std::string text;
  if (!ReadFileHead(sumFile, MaxCheckFileSize + 1, text, &error)) return false;
  if (text.size() > MaxCheckFileSize) {
    error = "checksum file too long";
    return false;
  }
  const auto list = ParseChecksumText(text, DigestKindFromSumFileName(FileNameOnly(sumFile)));
  if (!list) {
    error = "not a text file";
    return false;
  }
  summary.BadLines += list->BadLines;
  summary.Lines += list->Entries.size();
  const std::string folder = FolderOf(sumFile);
  for (const TChecksumEntry& e : list->Entries) {
    TVerifyResult r;
    r.Name = e.Name;
    const bool absolute = e.Name.starts_with('/') || e.Name.starts_with('\\') ||
                          (e.Name.size() > 1 && e.Name[1] == ':');
    TChecksumGenerator generator;
    generator.FileName = absolute ? e.Name : JoinPath(folder, e.Name);
    generator.MoreDigests = e.Kinds;
    if (!generator.Generate()) {
      r.Status = TVerifyResult::vrUnreadable;
      r.Error = generator.Error();
      ++summary.Unreadable;
    } else {
      r.Status = TVerifyResult::vrFailed;
      for (TDigestKind k : e.Kinds) {
        const auto d = generator.Digest(k);
        if (HexBytes(d.data(), d.size(), false) == e.Value) r.Status = TVerifyResult::vrOK;
      }
      ++(r.Status == TVerifyResult::vrOK ? summary.Ok : summary.Failed);
    }
    onResult(r);
  }
  return true;
}

}  // namespace bq
