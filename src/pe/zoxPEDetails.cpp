#include "pe/zoxPEDetails.h"

#include <functional>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>

#include "hashes/quMD5.h"
#include "hashes/quSHA1.h"
#include "hashes/quSHA2.h"
#include "platform/bqAuthenticode.h"
#include "platform/bqFile.h"
#include "platform/bqText.h"

namespace bq {

namespace {

constexpr uint64_t kChunk = 1u << 20;          // bytes read at a time for entropy and checksum
constexpr size_t kMaxEntropySections = 96;      // sections given an entropy row
constexpr uint64_t kRichArea = 64 * 1024;       // where a Rich header is looked for: 0x80 on
constexpr size_t kMaxRichEntries = 512;
constexpr size_t kMaxDelayLibraries = 256;     // delay-import descriptors read
constexpr size_t kMaxLibraryName = 256;
constexpr size_t kMaxDebugEntries = 64;
constexpr uint32_t kMaxCodeView = 4096;        // bytes of a CodeView record read
constexpr size_t kMaxTlsCallbacks = 1024;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16; }
uint32_t Rol32(uint32_t v, unsigned n) {
  n &= 31;
  return n ? v << n | v >> (32 - n) : v;
}

std::string Hex(uint64_t v, int digits) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%0*llX", digits, static_cast<unsigned long long>(v));
  return buf;
}

// The bytes of the file or of the buffer, read through a bounded view.
class TBytesSource {
public:
  explicit TBytesSource(TByteView bytes) : FBytes(bytes), FSize(bytes.Size()) {}
  explicit TBytesSource(TFileReader& file) : FFile(&file), FSize(file.Size() < 0 ? 0 : static_cast<uint64_t>(file.Size())) {}
  uint64_t Size() const { return FSize; }
  // [offset, offset + count) clamped to the source; false when cut or unreadable.
  bool ReadAt(uint64_t offset, uint64_t count, std::vector<uint8_t>& out) {
    out.clear();
    if (Stop && Stop()) return false;  // the page is closing: whole-file passes end here
    if (offset >= FSize) return count == 0;
    const uint64_t available = std::min(count, FSize - offset);
    if (FFile) {
      if (!ReadFileRange(*FFile, offset, available, out)) out.clear();
    } else {
      const TByteView part = FBytes.Clamp(offset, available);
      out.assign(part.Data(), part.Data() + part.Size());
    }
    return out.size() == count;
  }

  std::function<bool()> Stop;

private:
  TByteView FBytes;
  TFileReader* FFile = nullptr;
  uint64_t FSize = 0;
};

struct TFlagName {
  uint16_t Bit;
  const char* Name;
};

std::string FlagNames(uint16_t value, std::initializer_list<TFlagName> names) {
  std::string text;
  for (const auto& n : names) {
    if (!(value & n.Bit)) continue;
    if (!text.empty()) text += ", ";
    text += n.Name;
    value = static_cast<uint16_t>(value & ~n.Bit);
  }
  if (value) text += (text.empty() ? "" : ", ") + Hex(value, 4);
  return text.empty() ? "none" : text;
}

std::string MachineText(uint16_t m) {
  const char* name = nullptr;
  switch (m) {
    case 0x014C: name = "x86"; break;
    case 0x8664: name = "x64"; break;
    case 0xAA64: name = "ARM64"; break;
    case 0xA641: name = "ARM64EC"; break;
    case 0xA64E: name = "ARM64X"; break;
    case 0x01C0: name = "ARM"; break;
    case 0x01C2: name = "ARM Thumb"; break;
    case 0x01C4: name = "ARM"; break;
    case 0x0200: name = "Itanium"; break;
    case 0x0EBC: name = "EFI Byte Code"; break;
    case 0x5032: name = "RISC-V 32"; break;
    case 0x5064: name = "RISC-V 64"; break;
    case 0x5128: name = "RISC-V 128"; break;
    case 0x6232: name = "LoongArch 32"; break;
    case 0x6264: name = "LoongArch 64"; break;
    case 0x0166: name = "MIPS"; break;
    case 0x01F0: name = "PowerPC"; break;
    case 0x01F1: name = "PowerPC FP"; break;
    case 0x0000: name = "Unknown"; break;
    default: name = "Unknown"; break;
  }
  return std::string(name) + " (" + Hex(m, 4) + ")";
}

std::string SubsystemText(uint16_t s) {
  const char* name = "Unknown";
  switch (s) {
    case 1: name = "Native"; break;
    case 2: name = "Windows GUI"; break;
    case 3: name = "Windows CUI"; break;
    case 5: name = "OS/2 CUI"; break;
    case 7: name = "POSIX CUI"; break;
    case 8: name = "Native Win9x Driver"; break;
    case 9: name = "Windows CE GUI"; break;
    case 10: name = "EFI Application"; break;
    case 11: name = "EFI Boot Service Driver"; break;
    case 12: name = "EFI Runtime Driver"; break;
    case 13: name = "EFI ROM"; break;
    case 14: name = "Xbox"; break;
    case 16: name = "Windows Boot Application"; break;
    default: break;
  }
  return std::string(name) + " (" + std::to_string(s) + ")";
}

// Seconds since 1970 as "YYYY-MM-DD hh:mm:ss UTC"; the year goes to *year.
std::string UtcText(uint32_t seconds, int* year) {
  int64_t days = seconds / 86400;
  const uint32_t rest = seconds % 86400;
  // Civil date from a day count (proleptic Gregorian, eras of 400 years).
  days += 719468;
  const int64_t era = days / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int y = static_cast<int>(yoe + era * 400 + (m <= 2));
  *year = y;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02u:%02u:%02u UTC", y, m, d, rest / 3600, rest / 60 % 60, rest % 60);
  return buf;
}

std::string TimeStampText(uint32_t stamp, int currentYear) {
  int year = 0;
  const std::string text = UtcText(stamp, &year);
  if (stamp == 0 || year > currentYear + 1) return Hex(stamp, 8);
  return text;
}

// Two decimals; data this close to random is most likely packed or compressed.
std::string EntropyText(double e, const std::string& section = "") {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.2f", e);
  return buf + (section.empty() ? "" : " (" + section + ")") + (e > 7.2 ? " packed or compressed?" : "");
}

// Counts the bytes [offset, offset + size) clamped to the file, chunk by chunk; false when
// the file could not be read.
bool CountBytes(TBytesSource& source, uint64_t offset, uint64_t size, uint64_t (&counts)[256], uint64_t& total,
                TPEChecksum* checksum) {
  std::vector<uint8_t> chunk;
  const uint64_t end = offset >= source.Size() ? offset : offset + std::min(size, source.Size() - offset);
  for (uint64_t at = offset; at < end; at += chunk.size()) {
    if (!source.ReadAt(at, std::min(kChunk, end - at), chunk) || chunk.empty()) return false;
    for (uint8_t b : chunk) ++counts[b];
    total += chunk.size();
    if (checksum) checksum->Update(chunk.data(), chunk.size());
  }
  return true;
}

void AddFileGroup(const TPEReader& reader, TBytesSource& source, int currentYear, std::vector<TPEDetailRow>& rows) {
  const auto& pe = reader.PEHeader();
  const auto& opt = reader.OptionalHeader();
  const bool hasOptional = reader.SizeOfOptionalHeader() >= 72 && opt.size() >= 72;
  rows.push_back({"Machine", MachineText(Get16(&pe[4]))});
  if (hasOptional) rows.push_back({"Subsystem", SubsystemText(Get16(&opt[68]))});
  rows.push_back({"Characteristics", FlagNames(Get16(&pe[22]), {{0x0001, "Relocations Stripped"},
                                                                {0x0002, "Executable"},
                                                                {0x0004, "Line Numbers Stripped"},
                                                                {0x0008, "Local Symbols Stripped"},
                                                                {0x0010, "Aggressive Working Set Trim"},
                                                                {0x0020, "Large Address Aware"},
                                                                {0x0080, "Bytes Reversed Lo"},
                                                                {0x0100, "32-Bit Machine"},
                                                                {0x0200, "Debug Stripped"},
                                                                {0x0400, "Removable Run From Swap"},
                                                                {0x0800, "Net Run From Swap"},
                                                                {0x1000, "System"},
                                                                {0x2000, "DLL"},
                                                                {0x4000, "Uniprocessor Only"},
                                                                {0x8000, "Bytes Reversed Hi"}})});
  if (hasOptional)
    rows.push_back({"DLL Characteristics", FlagNames(Get16(&opt[70]), {{0x0040, "ASLR (Dynamic Base)"},
                                                                       {0x0020, "High Entropy VA"},
                                                                       {0x0100, "DEP (NX Compatible)"},
                                                                       {0x0080, "Force Integrity"},
                                                                       {0x4000, "Control Flow Guard"},
                                                                       {0x0400, "No SEH"},
                                                                       {0x0200, "No Isolation"},
                                                                       {0x0800, "No Bind"},
                                                                       {0x1000, "AppContainer"},
                                                                       {0x2000, "WDM Driver"},
                                                                       {0x8000, "Terminal Server Aware"}})});
  rows.push_back({"Time Date Stamp", TimeStampText(Get32(&pe[8]), currentYear)});
  if (hasOptional) rows.push_back({"Linker Version", std::to_string(opt[2]) + "." + std::to_string(opt[3])});

  // One pass over the file: its entropy and checksum.
  uint64_t counts[256] = {};
  uint64_t total = 0;
  TPEChecksum checksum(uint64_t{reader.PEHeaderPointer()} + 24 + 64);
  const bool whole = CountBytes(source, 0, source.Size(), counts, total, &checksum);
  if (hasOptional) {
    const uint32_t stored = Get32(&opt[64]);
    std::string text;
    if (!whole)
      text = stored ? Hex(stored, 8) : "not set";
    else if (stored == 0)
      text = "not set";
    else if (stored == checksum.Final())
      text = Hex(stored, 8) + " (valid)";
    else
      text = Hex(stored, 8) + " (wrong: " + Hex(checksum.Final(), 8) + ")";
    rows.push_back({"Checksum", text});

    const uint32_t entry = Get32(&opt[16]);
    std::string where = "none";
    if (entry)
      for (const auto& s : reader.Sections()) {
        const uint32_t span = std::max(s.VirtualSize, s.SizeOfRawData);
        if (entry >= s.VirtualAddress && entry - s.VirtualAddress < span) {
          where = s.NameText();
          break;
        }
      }
    rows.push_back({"Entry Point Section", where});
    const uint32_t image = Get32(&opt[56]);
    rows.push_back({"Image Size", Hex(image, 8) + " (" + std::to_string(image) + " bytes)"});
  }

  // The overlay: after the last section's raw data, and after the certificate table when it
  // lies beyond (its directory entry holds a file offset).
  if (reader.ReadSectionTable() && !reader.Sections().empty()) {
    uint64_t end = 0;
    for (const auto& s : reader.Sections())
      if (s.SizeOfRawData) end = std::max(end, uint64_t{s.PointerToRawData} + s.SizeOfRawData);
    uint32_t certificate = 0, certificateSize = 0;
    reader.DataDirectory(4, certificate, certificateSize);
    if (certificate && certificateSize && certificate >= end) end = uint64_t{certificate} + certificateSize;
    rows.push_back({"Overlay", end < source.Size() ? "offset " + Hex(end, 8) + ", " + std::to_string(source.Size() - end) + " bytes"
                                                   : std::string("none")});
  }

  if (whole) rows.push_back({"File Entropy", EntropyText(Entropy(counts, total))});
  // Sections' data may overlap or repeat: all of them together read at most twice the file.
  uint64_t budget = 2 * source.Size() + kChunk;
  const auto& sections = reader.Sections();
  for (size_t i = 0; i < sections.size() && i < kMaxEntropySections; ++i) {
    const auto& s = sections[i];
    if (!s.SizeOfRawData || s.PointerToRawData >= source.Size()) continue;
    const uint64_t length = std::min<uint64_t>(s.SizeOfRawData, source.Size() - s.PointerToRawData);
    if (length > budget) break;
    budget -= length;
    uint64_t sc[256] = {};
    uint64_t n = 0;
    if (!CountBytes(source, s.PointerToRawData, length, sc, n, nullptr) || n == 0) continue;
    rows.push_back({"Section Entropy", EntropyText(Entropy(sc, n), s.NameText())});
  }
}

// An import by ordinal as the imphash names it: "ordN". (Some tools put names for the ordinals
// of ws2_32, wsock32 and oleaut32 from tables of their own; their hash of such a file differs.)
std::string OrdinalFunction(uint16_t ordinal) { return "ord" + std::to_string(ordinal); }

std::string HexDigest(TMD5& md5) {
  uint8_t digest[TMD5::DigestSize];
  md5.Final(digest);
  std::string hash;
  for (uint8_t b : digest) {
    static const char kDigits[] = "0123456789abcdef";
    hash += kDigits[b >> 4];
    hash += kDigits[b & 15];
  }
  return hash;
}

// The Rich header the linker leaves between the DOS stub and the PE header: "DanS" at 0x80,
// then (id, count) pairs, then "Rich" and the key, every dword XORed with the key.
void AddRichGroup(const TPEReader& reader, TBytesSource& source, std::vector<TPEDetailRow>& rows) {
  constexpr uint32_t kDanS = 0x536E6144, kRich = 0x68636952;
  const uint64_t optional = uint64_t{reader.PEHeaderPointer()} + 24;
  if (optional <= 0x80 + 8) return;
  const uint64_t area = std::min(optional - 0x80, kRichArea);
  std::vector<uint8_t> head, bytes;
  if (!source.ReadAt(0, 0x80, head) || !source.ReadAt(0x80, area + 8, bytes)) {
    if (head.size() < 0x80 || bytes.size() < 8) return;
  }
  // The first "Rich" wholly before the optional header.
  size_t rich = std::string::npos;
  for (size_t i = 0; i + 4 <= std::min<size_t>(bytes.size(), area); ++i)
    if (std::memcmp(&bytes[i], "Rich", 4) == 0) {
      rich = i;
      break;
    }
  if (rich == std::string::npos) return;
  const size_t used = std::min(bytes.size(), rich + 8) / 4 * 4;
  std::vector<uint32_t> dwords(used / 4);
  for (size_t i = 0; i < dwords.size(); ++i) dwords[i] = Get32(&bytes[4 * i]);
  const auto at = std::find(dwords.begin(), dwords.end(), kRich);
  if (at == dwords.end() || at + 1 == dwords.end()) return;
  const uint32_t key = at[1];
  const uint32_t stored = dwords.size() >= 4 ? dwords[1] : 0;
  if (dwords.size() < 4 || (dwords[0] ^ stored) != kDanS || dwords[2] != stored || dwords[3] != stored) return;

  // The hash is of the bytes before "Rich", cleared with the key.
  std::vector<uint8_t> clear(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(rich));
  for (size_t i = 0; i < clear.size(); ++i) clear[i] ^= static_cast<uint8_t>(key >> (8 * (i % 4)));
  TMD5 md5;
  md5.Update(clear.data(), clear.size());
  const std::string hash = HexDigest(md5);

  // The checksum: the DOS header and stub (less e_lfanew) and the entries, each rotated.
  uint32_t sum = 0x80;
  for (uint32_t i = 0; i < 0x80; ++i)
    if (i < 0x3C || i > 0x3F) sum += Rol32(head[i], i);
  std::vector<TPEDetailRow> entries;
  for (size_t i = 4; i + 1 < dwords.size() && dwords[i] != kRich; i += 2) {
    const uint32_t id = dwords[i] ^ stored, count = dwords[i + 1] ^ stored;
    sum += Rol32(id, count);
    if (entries.size() < kMaxRichEntries)
      entries.push_back({"Entry", "Product id " + std::to_string(id >> 16) + ", build " + std::to_string(id & 0xFFFF) + ": " +
                                      std::to_string(count) + (count == 1 ? " object" : " objects")});
  }
  rows.push_back({"Rich Header Hash", hash});
  rows.push_back({"Rich Header Checksum", Hex(stored, 8) + (sum == stored ? " (valid)" : " (wrong: " + Hex(sum, 8) + ")")});
  rows.insert(rows.end(), entries.begin(), entries.end());
}

// Data directory d as the optional header holds it, past the 13 the reader keeps too.
bool RawDirectory(const TPEReader& reader, TBytesSource& source, size_t d, uint32_t& rva, uint32_t& size) {
  rva = size = 0;
  const uint64_t optional = uint64_t{reader.PEHeaderPointer()} + 24;
  const uint32_t count = reader.IsPE32Plus() ? 108 : 92, first = reader.IsPE32Plus() ? 112 : 96;
  std::vector<uint8_t> bytes;
  if (first + 8 * (d + 1) > reader.SizeOfOptionalHeader()) return false;
  if (!source.ReadAt(optional + count, 4, bytes) || Get32(bytes.data()) <= d) return false;
  if (!source.ReadAt(optional + first + 8 * d, 8, bytes)) return false;
  rva = Get32(bytes.data());
  size = Get32(bytes.data() + 4);
  return rva != 0;
}

// A zero-terminated name at an RVA, cut at kMaxLibraryName; "" when unreadable.
std::string NameAt(const TPEReader& reader, TBytesSource& source, uint32_t rva) {
  std::vector<uint8_t> bytes;
  source.ReadAt(reader.RvaToFileOffset(rva), kMaxLibraryName, bytes);
  std::string name;
  for (uint8_t b : bytes) {
    if (!b) break;
    name += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '?';
  }
  return name;
}

void AddImportsGroup(const TPEReader& reader, TBytesSource& source, std::vector<TPEDetailRow>& rows) {
  const auto& imports = reader.ImportTable();
  std::vector<std::string> libraries;
  // The imphash: "library.function" lower-cased, the library without its .dll, .ocx or .sys,
  // an import by ordinal named as OrdinalFunction does; MD5 of the list joined by commas.
  std::string list;
  for (const auto& line : imports) {
    const std::string library = LowerAscii(line.Data.Library);
    if (std::find(libraries.begin(), libraries.end(), library) == libraries.end()) libraries.push_back(library);
    std::string stem = library;
    const size_t dot = stem.rfind('.');
    if (dot != std::string::npos) {
      const std::string ext = stem.substr(dot + 1);
      if (ext == "dll" || ext == "ocx" || ext == "sys") stem.resize(dot);
    }
    const std::string function = line.Data.ByOrdinal ? OrdinalFunction(line.Data.Ordinal) : LowerAscii(line.Data.Function);
    if (!list.empty()) list += ',';
    list += stem + "." + function;
  }
  if (!imports.empty()) {
    rows.push_back({"Libraries", std::to_string(libraries.size())});
    rows.push_back({"Functions", std::to_string(imports.size())});
    if (!reader.ImportTableErrors) {
      TMD5 md5;
      md5.Update(list.data(), list.size());
      rows.push_back({"Imphash", HexDigest(md5)});
    }
  }
  uint32_t rva = 0, size = 0;
  const bool bound = RawDirectory(reader, source, 11, rva, size) && size;
  if (!imports.empty() || bound) rows.push_back({"Bound Imports", bound ? "yes" : "no"});

  // Delay-load libraries: 32-byte descriptors up to one of zeros.
  if (!RawDirectory(reader, source, 13, rva, size)) return;
  const uint64_t at = reader.RvaToFileOffset(rva);
  std::vector<uint8_t> bytes;
  source.ReadAt(at, 32 * kMaxDelayLibraries, bytes);
  for (size_t i = 0; i + 32 <= bytes.size(); i += 32) {
    if (std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.begin() + static_cast<std::ptrdiff_t>(i + 32),
                    [](uint8_t b) { return b == 0; }))
      break;
    const std::string name = NameAt(reader, source, Get32(&bytes[i + 4]));
    rows.push_back({"Delay-Load Library", name.empty() ? "?" : name});
  }
}

const char* DebugTypeName(uint32_t type) {
  switch (type) {
    case 1: return "COFF";
    case 2: return "CodeView";
    case 3: return "FPO";
    case 4: return "Misc";
    case 5: return "Exception";
    case 6: return "Fixup";
    case 7: return "OMAP to Source";
    case 8: return "OMAP from Source";
    case 9: return "Borland";
    case 11: return "CLSID";
    case 12: return "VC Feature";
    case 13: return "POGO";
    case 14: return "ILTCG";
    case 15: return "MPX";
    case 16: return "Repro";
    case 17: return "Embedded Portable PDB";
    case 19: return "PDB Checksum";
    case 20: return "Extended DLL Characteristics";
    default: return "Unknown";
  }
}

// The PDB path of a CodeView record: printable up to the first zero.
std::string PdbPath(const std::vector<uint8_t>& bytes, size_t from) {
  std::string path;
  for (size_t i = from; i < bytes.size() && bytes[i]; ++i) path += bytes[i] >= 0x20 && bytes[i] != 0x7F ? static_cast<char>(bytes[i]) : '?';
  return path;
}

// The debug directory: 28-byte entries; a CodeView record ("RSDS": GUID, age, PDB path;
// "NB10": signature, age, PDB path) where its PointerToRawData points.
void AddDebugGroup(const TPEReader& reader, TBytesSource& source, std::vector<TPEDetailRow>& rows) {
  uint32_t rva = 0, size = 0;
  reader.DataDirectory(6, rva, size);
  if (!rva || size < 28) return;
  std::vector<uint8_t> table, record;
  source.ReadAt(reader.RvaToFileOffset(rva), std::min<uint64_t>(size / 28, kMaxDebugEntries) * 28, table);
  for (size_t i = 0; i + 28 <= table.size(); i += 28) {
    const uint8_t* e = &table[i];
    const uint32_t type = Get32(e + 12), length = Get32(e + 16), pointer = Get32(e + 24);
    rows.push_back({"Debug Entry", std::string(DebugTypeName(type)) + " (" + std::to_string(type) + ")"});
    if (type != 2 || length < 24) continue;
    source.ReadAt(pointer, std::min(length, kMaxCodeView), record);
    if (record.size() >= 24 && std::memcmp(record.data(), "RSDS", 4) == 0) {
      const uint8_t* g = record.data() + 4;
      char guid[40];
      std::snprintf(guid, sizeof guid, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", Get32(g), Get16(g + 4), Get16(g + 6),
                    g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
      rows.push_back({"PDB Path", PdbPath(record, 24)});
      rows.push_back({"PDB GUID", guid});
      rows.push_back({"PDB Age", std::to_string(Get32(record.data() + 20))});
    } else if (record.size() >= 16 && std::memcmp(record.data(), "NB10", 4) == 0) {
      rows.push_back({"PDB Path", PdbPath(record, 16)});
      rows.push_back({"PDB Signature", Hex(Get32(record.data() + 8), 8)});
      rows.push_back({"PDB Age", std::to_string(Get32(record.data() + 12))});
    }
  }
}

// The TLS directory's callbacks: a zero-terminated array of addresses (VAs) at
// AddressOfCallBacks, itself a VA.
void AddTlsGroup(const TPEReader& reader, TBytesSource& source, std::vector<TPEDetailRow>& rows) {
  uint32_t rva = 0, size = 0;
  reader.DataDirectory(9, rva, size);
  const bool plus = reader.IsPE32Plus();
  const size_t word = plus ? 8 : 4;
  const auto& opt = reader.OptionalHeader();
  if (!rva || opt.size() < 32) return;
  std::vector<uint8_t> dir, table;
  if (!source.ReadAt(reader.RvaToFileOffset(rva), 4 * word, dir)) return;
  auto value = [plus](const uint8_t* p) { return plus ? Get32(p) | uint64_t{Get32(p + 4)} << 32 : uint64_t{Get32(p)}; };
  const uint64_t imageBase = plus ? value(&opt[24]) : Get32(&opt[28]);
  const uint64_t callbacks = value(&dir[3 * word]);
  size_t count = 0;
  if (callbacks && callbacks - imageBase <= UINT32_MAX && callbacks >= imageBase) {
    source.ReadAt(reader.RvaToFileOffset(static_cast<uint32_t>(callbacks - imageBase)), kMaxTlsCallbacks * word, table);
    while ((count + 1) * word <= table.size() && value(&table[count * word])) ++count;
  }
  rows.push_back({"TLS Callbacks", std::to_string(count)});
}

// ---- Version information, signature, .NET and manifest.

constexpr uint64_t kMaxVersionResource = 64 * 1024;
constexpr uint64_t kMaxManifest = 64 * 1024;
constexpr uint64_t kMaxCertificateTable = 16u << 20;
constexpr size_t kMaxVersionStrings = 256;
constexpr int kMaxVersionDepth = 8;

// The first resource of a type (its first name and language), read whole up to limit bytes;
// false when there is none. cut tells that the resource claims more than was read.
bool FirstResource(const TPEReader& reader, TBytesSource& source, uint32_t type, uint64_t limit, std::vector<uint8_t>& bytes,
                   bool& cut) {
  for (const auto& e : reader.ResourceEntries())
    if (e.TypeId == type) {
      cut = !source.ReadAt(e.Offset, std::min<uint64_t>(e.Size, limit), bytes) || e.Size > limit;
      return true;
    }
  return false;
}

std::string CodePageName(uint32_t cp) {
  switch (cp) {
    case 0: return "7-bit ASCII";
    case 874: return "Thai (Windows)";
    case 932: return "Japanese (Shift-JIS)";
    case 936: return "Chinese Simplified (GBK)";
    case 949: return "Korean";
    case 950: return "Chinese Traditional (Big5)";
    case 1200: return "Unicode";
    case 1250: return "Central European (Windows)";
    case 1251: return "Cyrillic (Windows)";
    case 1252: return "Western European (Windows)";
    case 1253: return "Greek (Windows)";
    case 1254: return "Turkish (Windows)";
    case 1255: return "Hebrew (Windows)";
    case 1256: return "Arabic (Windows)";
    case 1257: return "Baltic (Windows)";
    case 1258: return "Vietnamese (Windows)";
    case 65001: return "UTF-8";
    default: return "code page " + std::to_string(cp);
  }
}

// One block of a version resource: wLength, wValueLength, wType, a zero-terminated UTF-16 key,
// padding to 4 bytes, the value, padding, then the children up to wLength.
struct TVersionBlock {
  uint64_t Begin = 0, End = 0, Value = 0, Children = 0;
  uint16_t ValueLength = 0, Type = 0;
  std::u16string Key;
};

uint64_t Align4(uint64_t v) { return (v + 3) & ~uint64_t{3}; }

// The block at 'at' inside [at, limit); false with a message when its lengths lie.
bool ReadVersionBlock(TByteView bytes, uint64_t at, uint64_t limit, TVersionBlock& b, std::string& problem) {
  uint16_t length = 0;
  if (!bytes.U16LE(at, length) || !bytes.U16LE(at + 2, b.ValueLength) || !bytes.U16LE(at + 4, b.Type)) {
    problem = "Version resource: a block is cut short";
    return false;
  }
  bool ended = false;
  b.Begin = at;
  b.End = at + length;
  b.Key = bytes.Clamp(0, limit).CString16LE(at + 6, 256, &ended);
  if (length < 6 || b.End > limit) {
    problem = "Version resource: a block's length (" + std::to_string(length) + " bytes at offset " + std::to_string(at) +
              ") runs past " + (b.End > bytes.Size() ? "the resource" : "the block holding it");
    return false;
  }
  if (!ended) {
    problem = "Version resource: a key runs past its block";
    return false;
  }
  b.Value = Align4(at + 6 + 2 * (b.Key.size() + 1));
  b.Children = b.Value;
  return true;
}

std::string Utf16Text(TByteView bytes, uint64_t at, uint64_t end, size_t maxUnits) {
  std::u16string units = bytes.Clamp(0, end).CString16LE(at, maxUnits);
  return Utf16ToUtf8(units);
}

void AddVersionGroup(const TPEReader& reader, TBytesSource& source, std::vector<TPEDetailRow>& rows, std::vector<std::string>& problems) {
  std::vector<uint8_t> data;
  bool cut = false;
  if (!FirstResource(reader, source, 16, kMaxVersionResource, data, cut)) return;
  const TByteView bytes(data);
  std::string problem;
  TVersionBlock root;
  if (!ReadVersionBlock(bytes, 0, bytes.Size(), root, problem)) {
    problems.push_back(cut ? "Version resource: cut short" : problem);
    return;
  }
  // VS_FIXEDFILEINFO, signature 0xFEEF04BD: file and product version, most significant half first.
  uint32_t signature = 0;
  if (root.ValueLength >= 52 && bytes.U32LE(root.Value, signature) && signature == 0xFEEF04BD && root.Value + 52 <= root.End) {
    auto version = [&](uint64_t at) {
      uint32_t ms = 0, ls = 0;
      bytes.U32LE(at, ms);
      bytes.U32LE(at + 4, ls);
      return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
             std::to_string(ls & 0xFFFF);
    };
    rows.push_back({"File Version", version(root.Value + 8)});
    rows.push_back({"Product Version", version(root.Value + 16)});
    root.Children = Align4(root.Value + root.ValueLength);
  } else if (root.ValueLength) {
    root.Children = Align4(root.Value + root.ValueLength);
  }
  // Children: StringFileInfo holds string tables named by language and code page ("040904b0").
  size_t strings = 0;
  bool tableDone = false;
  for (uint64_t at = root.Children; at + 6 <= root.End && !tableDone;) {
    TVersionBlock child;
    if (!ReadVersionBlock(bytes, at, root.End, child, problem)) {
      problems.push_back(problem);
      return;
    }
    if (child.End <= at) break;
    if (child.Key == u"StringFileInfo") {
      for (uint64_t t = child.Children; t + 6 <= child.End && !tableDone;) {
        TVersionBlock table;
        if (!ReadVersionBlock(bytes, t, child.End, table, problem)) {
          problems.push_back(problem);
          return;
        }
        tableDone = true;
        for (uint64_t s = table.Children; s + 6 <= table.End && strings < kMaxVersionStrings;) {
          TVersionBlock str;
          if (!ReadVersionBlock(bytes, s, table.End, str, problem)) {
            problems.push_back(problem);
            break;
          }
          // The value's length counts UTF-16 units (some tools count bytes): read to its zero.
          const std::string value = str.ValueLength ? Utf16Text(bytes, str.Value, str.End, str.End - str.Value) : "";
          rows.push_back({Utf16ToUtf8(str.Key), value});
          ++strings;
          if (str.End <= s) break;
          s = Align4(str.End);
        }
        const std::string key = Utf16ToUtf8(table.Key);
        unsigned long id = 0;
        if (key.size() == 8 && key.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
          id = std::stoul(key, nullptr, 16);
          // The table names specific locales; .NET compilers write the invariant one (7F).
          std::string language = LanguageName(id >> 16);
          if (language == "<unknown>") language = id >> 16 == 0 ? "Neutral" : id >> 16 == 0x7F ? "Invariant" : "language " + Hex(id >> 16, 4);
          rows.push_back({"Language", language + ", " + CodePageName(id & 0xFFFF)});
        }
        if (table.End <= t) break;
        t = Align4(table.End);
      }
    }
    at = Align4(child.End);
  }
  if (cut) problems.push_back("Version resource: cut short");
}

std::string HexBytes(const uint8_t* data, size_t n, bool upper) {
  static const char kLower[] = "0123456789abcdef", kUpper[] = "0123456789ABCDEF";
  const char* digits = upper ? kUpper : kLower;
  std::string text;
  for (size_t i = 0; i < n; ++i) {
    text += digits[data[i] >> 4];
    text += digits[data[i] & 15];
  }
  return text;
}

// The Authenticode digest of the file: every byte but the checksum, the certificate table's
// directory entry and the certificate table itself.
template <typename THash>
std::string AuthenticodeDigest(TBytesSource& source, uint64_t checksum, uint64_t entry, uint64_t table, uint64_t tableEnd,
                               bool& complete) {
  THash hash;
  struct TRange {
    uint64_t Begin, End;
  } const skip[] = {{checksum, checksum + 4}, {entry, entry + 8}, {table, tableEnd}};
  std::vector<uint8_t> chunk;
  complete = true;
  for (uint64_t at = 0; at < source.Size();) {
    uint64_t end = std::min(source.Size(), at + kChunk);
    bool skipped = false;
    for (const auto& r : skip) {
      if (at >= r.Begin && at < r.End) {
        at = r.End;
        skipped = true;
        break;
      }
      if (r.Begin > at) end = std::min(end, r.Begin);
    }
    if (skipped) continue;
    if (!source.ReadAt(at, end - at, chunk)) {
      complete = false;
      break;
    }
    hash.Update(chunk.data(), chunk.size());
    at = end;
  }
  uint8_t digest[THash::DigestSize];
  hash.Final(digest);
  return HexBytes(digest, sizeof digest, false);
}

std::string SecondsText(int64_t seconds) {
  if (seconds < 0 || seconds > UINT32_MAX) return std::to_string(seconds);
  int year = 0;
  return UtcText(static_cast<uint32_t>(seconds), &year);
}

void AddSignatureGroup(const TPEReader& reader, TBytesSource& source, const std::string& fileName, std::vector<TPEDetailRow>& rows,
                       std::vector<std::string>& problems) {
  uint32_t offset = 0, size = 0;
  if (reader.SizeOfOptionalHeader() < (reader.IsPE32Plus() ? 112 : 96) + 5 * 8) return;
  reader.DataDirectory(4, offset, size);
  if (!offset || !size) {
    rows.push_back({"Signature", "Not signed"});
    return;
  }
  // The directory entry holds a file offset: check it against the file before reading.
  if (!FitsIn(offset, size, source.Size())) {
    rows.push_back({"Signature", "damaged"});
    problems.push_back("Signature: the certificate table (offset " + Hex(offset, 8) + ", " + std::to_string(size) +
                       " bytes) runs past the end of the file");
    return;
  }
  if (size < 8 || size > kMaxCertificateTable) {
    rows.push_back({"Signature", "damaged"});
    problems.push_back("Signature: the certificate table's size (" + std::to_string(size) + " bytes) is not plausible");
    return;
  }
  // WIN_CERTIFICATE: dwLength, wRevision, wCertificateType (2: PKCS#7 SignedData), the blob.
  std::vector<uint8_t> table;
  uint32_t length = 0;
  uint16_t type = 0;
  if (!source.ReadAt(offset, size, table) || !TByteView(table).U32LE(0, length) || !TByteView(table).U16LE(6, type) ||
      length < 8 || length > size) {
    rows.push_back({"Signature", "damaged"});
    problems.push_back("Signature: the certificate entry's length (" + std::to_string(length) + " bytes) runs past its table");
    return;
  }
  if (type != 2) {
    rows.push_back({"Signature", "certificate of type " + std::to_string(type) + ", not Authenticode"});
    return;
  }
  TAuthenticodeInfo info;
  std::string error;
  if (!ParseAuthenticode(TByteView(table.data() + 8, length - 8), info, error)) {
    rows.push_back({"Signature", "damaged"});
    problems.push_back("Signature: " + error);
    return;
  }
  struct TAlgorithm {
    const char* Oid;
    const char* Name;
  };
  static const TAlgorithm kAlgorithms[] = {{"1.2.840.113549.2.5", "MD5"},
                                           {"1.3.14.3.2.26", "SHA-1"},
                                           {"2.16.840.1.101.3.4.2.1", "SHA-256"},
                                           {"2.16.840.1.101.3.4.2.2", "SHA-384"},
                                           {"2.16.840.1.101.3.4.2.3", "SHA-512"}};
  std::string algorithm = info.DigestOid;
  for (const auto& a : kAlgorithms)
    if (info.DigestOid == a.Oid) algorithm = a.Name;
  rows.push_back({"Digest Algorithm", algorithm});
  rows.push_back({"Signer", info.Signer});
  rows.push_back({"Issuer", info.Issuer});
  rows.push_back({"Serial Number", HexBytes(info.Serial.data(), info.Serial.size(), true)});
  rows.push_back({"Signing Time", info.HasSigningTime ? SecondsText(info.SigningTime) : "not timestamped"});
  rows.push_back({"Certificates", std::to_string(info.CertificateCount)});

  const uint64_t optional = uint64_t{reader.PEHeaderPointer()} + 24;
  const uint64_t checksum = optional + 64, entry = optional + (reader.IsPE32Plus() ? 112 : 96) + 4 * 8;
  bool complete = false;
  std::string digest;
  if (algorithm == "MD5")
    digest = AuthenticodeDigest<TMD5>(source, checksum, entry, offset, uint64_t{offset} + size, complete);
  else if (algorithm == "SHA-1")
    digest = AuthenticodeDigest<TSHA1>(source, checksum, entry, offset, uint64_t{offset} + size, complete);
  else if (algorithm == "SHA-256")
    digest = AuthenticodeDigest<TSHA256>(source, checksum, entry, offset, uint64_t{offset} + size, complete);
  else if (algorithm == "SHA-384")
    digest = AuthenticodeDigest<TSHA384>(source, checksum, entry, offset, uint64_t{offset} + size, complete);
  else if (algorithm == "SHA-512")
    digest = AuthenticodeDigest<TSHA512>(source, checksum, entry, offset, uint64_t{offset} + size, complete);
  const std::string signedDigest = HexBytes(info.Digest.data(), info.Digest.size(), false);
  rows.push_back({"Signed Digest", signedDigest});
  if (digest.empty()) {
    rows.push_back({"File Digest", "not computed for " + algorithm});
  } else if (complete) {
    rows.push_back({"File Digest", digest});
    rows.push_back({"Integrity", digest == signedDigest ? "intact" : "MODIFIED after signing"});
  } else {
    problems.push_back("Signature: the file could not be read for its digest");
  }
  rows.push_back({"Trust", VerifyAuthenticodeTrust(fileName)});
}

// IMAGE_COR20_HEADER (data directory 14) and the metadata root it points at.
void AddDotNetGroup(const TPEReader& reader, TBytesSource& source, std::vector<TPEDetailRow>& rows, std::vector<std::string>& problems) {
  uint32_t rva = 0, size = 0;
  if (!RawDirectory(reader, source, 14, rva, size)) return;
  std::vector<uint8_t> header;
  if (!source.ReadAt(reader.RvaToFileOffset(rva), 72, header)) {
    problems.push_back(".NET: the CLR header is cut short");
    return;
  }
  const TByteView h(header);
  uint16_t major = 0, minor = 0;
  uint32_t metadata = 0, metadataSize = 0, flags = 0, entry = 0;
  h.U16LE(4, major);
  h.U16LE(6, minor);
  h.U32LE(8, metadata);
  h.U32LE(12, metadataSize);
  h.U32LE(16, flags);
  h.U32LE(20, entry);
  rows.push_back({"Runtime Version", std::to_string(major) + "." + std::to_string(minor)});
  // Metadata root: "BSJB", versions, reserved, the version string's length and the string.
  std::vector<uint8_t> root;
  uint32_t magic = 0, length = 0;
  if (metadata && source.ReadAt(reader.RvaToFileOffset(metadata), 16, root) && TByteView(root).U32LE(0, magic) &&
      magic == 0x424A5342 && TByteView(root).U32LE(12, length)) {
    if (length > 255 || length > metadataSize) {
      problems.push_back(".NET: the metadata version's length (" + std::to_string(length) + ") is not plausible");
    } else {
      std::vector<uint8_t> text;
      source.ReadAt(reader.RvaToFileOffset(metadata) + 16, length, text);
      const std::string_view version = TByteView(text).CString(0, text.size());
      std::string shown;
      for (char c : version) shown += c >= 0x20 && c < 0x7F ? c : '?';
      rows.push_back({"Metadata Version", shown});
    }
  } else {
    problems.push_back(".NET: no metadata root where the CLR header points");
  }
  std::string flagText;
  static const struct {
    uint32_t Bit;
    const char* Name;
  } kFlags[] = {{0x1, "IL only"},
                {0x2, "32-bit required"},
                {0x20000, "32-bit preferred"},
                {0x8, "strong-name signed"},
                {0x4, "IL library"},
                {0x10, "native entry point"},
                {0x10000, "track debug data"}};
  uint32_t rest = flags;
  for (const auto& f : kFlags)
    if (flags & f.Bit) {
      flagText += (flagText.empty() ? "" : ", ") + std::string(f.Name);
      rest &= ~f.Bit;
    }
  if (rest) flagText += (flagText.empty() ? "" : ", ") + Hex(rest, 8);
  rows.push_back({"Flags", flagText.empty() ? "none" : flagText});
  rows.push_back({flags & 0x10 ? "Entry Point RVA" : "Entry Point Token", Hex(entry, 8)});
}

// The value of attribute name inside one tag's text ("" when absent).
std::string Attribute(std::string_view tag, std::string_view name) {
  for (size_t at = 0; (at = tag.find(name, at)) != std::string_view::npos; at += name.size()) {
    if (at == 0 || !(tag[at - 1] == ' ' || tag[at - 1] == '\t' || tag[at - 1] == '\r' || tag[at - 1] == '\n')) continue;
    size_t p = at + name.size();
    while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t' || tag[p] == '\r' || tag[p] == '\n')) ++p;
    if (p >= tag.size() || tag[p] != '=') continue;
    ++p;
    while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t' || tag[p] == '\r' || tag[p] == '\n')) ++p;
    if (p >= tag.size() || (tag[p] != '"' && tag[p] != '\'')) continue;
    const size_t close = tag.find(tag[p], p + 1);
    if (close == std::string_view::npos) return {};
    return std::string(tag.substr(p + 1, close - p - 1));
  }
  return {};
}

// The next start tag of an element named name (any namespace prefix) from 'from': the text from
// the name to its '>', or npos.
size_t FindTag(std::string_view text, std::string_view name, size_t from, std::string_view& tag) {
  for (size_t at = from; (at = text.find(name, at)) != std::string_view::npos; at += name.size()) {
    const size_t after = at + name.size();
    if (at == 0 || (text[at - 1] != '<' && text[at - 1] != ':')) continue;
    if (after < text.size() && std::isalnum(static_cast<unsigned char>(text[after]))) continue;
    // A prefix ("asmv3:") is a short name right after the '<'.
    if (text[at - 1] == ':') {
      const size_t colon = at - 1;
      size_t k = colon;
      auto nameChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.'; };
      while (k > 0 && colon - k < 64 && nameChar(text[k - 1])) --k;
      if (k == 0 || k == colon || text[k - 1] != '<') continue;
    }
    const size_t close = text.find('>', after);
    if (close == std::string_view::npos) return std::string_view::npos;
    tag = text.substr(after, close - after);
    return close;
  }
  return std::string_view::npos;
}

void AddManifestGroup(const TPEReader& reader, TBytesSource& source, std::vector<TPEDetailRow>& rows) {
  std::vector<uint8_t> data;
  bool cut = false;
  if (!FirstResource(reader, source, 24, kMaxManifest, data, cut)) return;
  // UTF-16 text (with its byte order mark) keeps its ASCII: markup and names are ASCII.
  std::string text;
  if (data.size() >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF))) {
    const size_t low = data[0] == 0xFF ? 0 : 1;
    for (size_t i = 2 + low; i < data.size(); i += 2) text += static_cast<char>(data[i] && data[i ^ 1] == 0 ? data[i] : '?');
  } else {
    text.assign(data.begin(), data.end());
  }
  std::string_view tag;
  if (FindTag(text, "requestedExecutionLevel", 0, tag) != std::string_view::npos) {
    rows.push_back({"Execution Level", Attribute(tag, "level")});
    const std::string ui = Attribute(tag, "uiAccess");
    rows.push_back({"UI Access", ui.empty() ? "false" : ui});
  }
  constexpr size_t kMaxDependencies = 64;
  size_t count = 0;
  for (size_t at = 0; count < kMaxDependencies && (at = FindTag(text, "dependentAssembly", at, tag)) != std::string_view::npos; ++count) {
    std::string_view identity;
    const size_t end = text.find("dependentAssembly>", at);
    const size_t found = FindTag(text, "assemblyIdentity", at, identity);
    if (found == std::string_view::npos || (end != std::string::npos && found > end)) continue;
    const std::string name = Attribute(identity, "name"), version = Attribute(identity, "version");
    rows.push_back({"Dependency", name + (version.empty() ? "" : " " + version)});
    at = found;
  }
}

}  // namespace

void TPEChecksum::Update(const uint8_t* data, size_t n) {
  for (size_t i = 0; i < n; ++i, ++FPosition) {
    if (FPosition - FSkip < 4) continue;
    FSum += FPosition & 1 ? uint64_t{data[i]} << 8 : data[i];
  }
}

uint32_t TPEChecksum::Final() const {
  uint64_t sum = FSum;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + FPosition);
}

double Entropy(const uint64_t (&counts)[256], uint64_t total) {
  if (!total) return 0;
  double e = 0;
  for (uint64_t c : counts)
    if (c) {
      const double p = static_cast<double>(c) / static_cast<double>(total);
      e -= p * std::log2(p);
    }
  return e;
}

namespace {

TPEDetails Read(const TPEReader& reader, TBytesSource& source, int currentYear, const std::string& fileName) {
  TPEDetails d;
  if (!reader.HeadersRead()) return d;
  AddFileGroup(reader, source, currentYear, d.Groups[dgFile]);
  AddVersionGroup(reader, source, d.Groups[dgVersion], d.Problems);
  AddSignatureGroup(reader, source, fileName, d.Groups[dgSignature], d.Problems);
  AddRichGroup(reader, source, d.Groups[dgRich]);
  AddImportsGroup(reader, source, d.Groups[dgImports]);
  AddDotNetGroup(reader, source, d.Groups[dgDotNet], d.Problems);
  AddDebugGroup(reader, source, d.Groups[dgDebug]);
  AddTlsGroup(reader, source, d.Groups[dgTls]);
  AddManifestGroup(reader, source, d.Groups[dgManifest]);
  return d;
}

}  // namespace

TPEDetails ReadPEDetailsFromFile(const TPEReader& reader, const std::string& fileName, int currentYear,
                                  const std::function<bool()>& stop) {
  TFileReader file;
  if (!file.Open(fileName)) return {};
  TBytesSource source(file);
  source.Stop = stop;
  return Read(reader, source, currentYear, fileName);
}

TPEDetails ReadPEDetailsFromBytes(const TPEReader& reader, TByteView bytes, int currentYear, const std::string& fileName,
                                  const std::function<bool()>& stop) {
  TBytesSource source(bytes);
  source.Stop = stop;
  return Read(reader, source, currentYear, fileName);
}

}  // namespace bq
