// Checksum files (GNU "HEX  NAME", BSD "ALGO (NAME) = HEX", SFV "NAME CRC32"), the digest
// names of the HashAlgorithms tweak, and matching computed values against expected ones.
#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hashes/quMultiDigest.h"
#include "platform/bqRegistry.h"

namespace bq {

// The tweak names: "crc32", "md4", "md5", "sha1", "ripemd128", ..., "sha3-256", "blake3".
const char* DigestTweakName(TDigestKind kind);
std::optional<TDigestKind> DigestKindFromTweakName(std::string_view name);
// A comma-separated list of tweak names; unknown names are ignored, duplicates dropped, and an
// empty result means every digest (in enumeration order).
std::vector<TDigestKind> ParseHashAlgorithms(std::string_view list);
// The "HashAlgorithms" REG_SZ tweak of the host, parsed; every digest when it is absent.
std::vector<TDigestKind> HashAlgorithmsTweak(const TRegistry* registry, std::string_view hostExecutable);

// One line of a checksum file. Kinds lists the digests the value may be, the likeliest first:
// one when the format or the file's name tells, else those of the value's length.
struct TChecksumEntry {
  std::string Name;   // as listed, unescaped
  std::string Value;  // lower-case hex
  std::vector<TDigestKind> Kinds;
};

struct TChecksumList {
  std::vector<TChecksumEntry> Entries;
  size_t BadLines = 0;  // non-blank, non-comment lines that are none of the formats
};

// The digest a checksum file's name implies ("x.sha256", "SHA256SUMS", "x.sfv", ...), if any.
std::optional<TDigestKind> DigestKindFromSumFileName(std::string_view fileName);
// Parses checksum text. Nothing when the text is not text (it holds a NUL byte).
std::optional<TChecksumList> ParseChecksumText(std::string_view text, std::optional<TDigestKind> hint);

// Checksum files are read up to this size; a longer one is skipped.
constexpr size_t MaxSumFileSize = 1 << 20;
// At most this many candidate files are read beside a file.
constexpr size_t MaxSumFiles = 64;

// Candidate checksum files for a file, in the order they are read: NAME.sha256, NAME.sha512,
// NAME.sha1, NAME.md5, NAME.sfv, NAME.b3, then SHA256SUMS, SHA512SUMS, SHA1SUMS, MD5SUMS,
// B3SUMS and the folder's other *.sha256, *.md5 and *.sfv files; only those that exist.
std::vector<std::string> SumFileCandidates(const std::string& file);

// A value a checksum file expects for a file.
struct TExpectation {
  std::string SumFile;  // the checksum file's name, without its folder
  TChecksumEntry Entry;
};
// What the checksum files beside the file say about it. Names match without regard to case on
// Windows; a file that cannot be read, is too long or is not text is skipped.
std::vector<TExpectation> ExpectationsFor(const std::string& file);

// The text of the "Check" cell of a file's row for one digest: "matches X.sha256",
// "DIFFERS from X.sha256\nexpected: HEX", or empty. values[k] is the upper- or lower-case hex of
// digest k or empty when not computed.
std::string CheckText(const std::vector<TExpectation>& expectations, TDigestKind kind,
                      const std::vector<std::string>& values);

// A pasted value: 8, 32, 40, 64, 80 or 128 hex digits once blanks and a "0x" prefix are gone,
// as lower-case hex; nothing otherwise.
std::optional<std::string> NormalizePastedHex(std::string_view text);

// What the Hashes page's "Compare:" box holds, as compared: blanks and a "0x" prefix dropped,
// lower case.
std::string CompareKey(std::string_view text);
// The digest of the Hashes page's row-th row when every file read gives one row per chosen
// kind, in kind order (files that cannot be read give none).
TDigestKind HashListRowKind(const std::vector<TDigestKind>& kinds, size_t row);
// The line under the "Compare:" box: "Matches NAME (SHA-256)".
std::string CompareMatchLine(std::string_view fileName, TDigestKind kind);

// The GNU checksum line of a value: "value *name" (the value in lower case).
std::string ChecksumLine(std::string_view value, std::string_view name);

// A name as a checksum line lists it: in a name with a backslash or a line end, "\\", "\n" and
// "\r" stand for them, and escaped tells that the line must then start with a backslash.
std::string EscapeListedName(std::string_view name, bool& escaped);
// The GNU line "value  name" that sha256sum and its kin write (lower case, escapes as they do).
std::string SumLine(std::string_view value, std::string_view name);

// Checking the files a checksum file lists, as sha256sum -c does.
struct TVerifyResult {
  enum TStatus { vrOK, vrFailed, vrUnreadable };
  std::string Name;  // as listed
  TStatus Status = vrFailed;
  std::string Error;  // why a file could not be read
};
struct TVerifySummary {
  size_t Lines = 0, Ok = 0, Failed = 0, Unreadable = 0, BadLines = 0;
};
// Checksum files given to be checked are read up to this size.
constexpr size_t MaxCheckFileSize = 64u << 20;
// Reads the checksum file, then computes each listed file (names relative to the checksum
// file's folder) and reports it. False with error when the checksum file cannot be read.
bool VerifySumFile(const std::string& sumFile, const std::function<void(const TVerifyResult&)>& onResult,
                   TVerifySummary& summary, std::string& error);

// The Hashes page's rows: file index i, digest kind k.
constexpr int HashRowStride = DigestKindCount + 1;

}  // namespace bq
