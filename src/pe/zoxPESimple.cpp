#include "pe/zoxPESimple.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/bqFile.h"

namespace bq {

namespace {

// A file whose first 4 KiB, where the headers and the section table usually lie, are read once.
class TFileSource : public TPESource {
public:
  explicit TFileSource(TFileReader& file) : FFile(file) { ReadFileRange(FFile, 0, kHeadSize, FHead); }
  uint64_t Size() const override { return FFile.Size() < 0 ? 0 : static_cast<uint64_t>(FFile.Size()); }
  bool ReadAt(uint64_t offset, uint64_t count, std::vector<uint8_t>& out) override {
    if (FitsIn(offset, count, FHead.size())) {
      out.assign(FHead.begin() + static_cast<std::ptrdiff_t>(offset), FHead.begin() + static_cast<std::ptrdiff_t>(offset + count));
      return true;
    }
    return ReadFileRange(FFile, offset, count, out);
  }

private:
  static constexpr uint64_t kHeadSize = 4096;
  TFileReader& FFile;
  std::vector<uint8_t> FHead;
};

class TMemorySource : public TPESource {
public:
  explicit TMemorySource(TByteView bytes) : FBytes(bytes) {}
  uint64_t Size() const override { return FBytes.Size(); }
  bool ReadAt(uint64_t offset, uint64_t count, std::vector<uint8_t>& out) override {
    const TByteView part = FBytes.Clamp(offset, count);
    out.assign(part.Data(), part.Data() + part.Size());
    return part.Size() == count;
  }

private:
  TByteView FBytes;
};

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16; }
uint64_t Get64(const uint8_t* p) { return Get32(p) | static_cast<uint64_t>(Get32(p + 4)) << 32; }

[[noreturn]] void Fail(const char* message) { throw TPEError(message); }

// Where an RVA met inside a table lies in the table's copy: as if in the directory's section.
uint64_t CopyPosition(uint32_t rva, const TDirectoryLocation& where) {
  return static_cast<uint32_t>(rva - where.Delta - static_cast<uint32_t>(where.FileOffset));
}

// Text kept from one table may not outgrow what its bytes can honestly name: many pointers
// at one long name would otherwise multiply it.
uint64_t TextBudget(size_t copySize) { return 4 * static_cast<uint64_t>(copySize) + (1u << 20); }

void Spend(uint64_t& budget, size_t bytes, const char* message) {
  if (bytes > budget) Fail(message);
  budget -= bytes;
}

constexpr uint16_t kMagicPE32Plus = 0x20B;

}  // namespace

std::string TSectionHeader::NameText() const {
  size_t n = 0;
  while (n < Name.size() && Name[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(Name.data()), n);
}

void TPEReader::SetReadImportTable(bool on) {
  FReadImportTable = on;
  if (on) FReadSectionTable = true;
}
void TPEReader::SetReadExportTable(bool on) {
  FReadExportTable = on;
  if (on) FReadSectionTable = true;
}
void TPEReader::SetReadResourceTable(bool on) {
  FReadResourceTable = on;
  if (on) FReadSectionTable = true;
}

uint16_t TPEReader::NumberOfSections() const { return Get16(FPEHeader.data() + 6); }
uint16_t TPEReader::SizeOfOptionalHeader() const { return Get16(FPEHeader.data() + 20); }
uint32_t TPEReader::PEHeaderPointer() const { return Get32(FMZRest.data() + 50); }

void TPEReader::DataDirectory(size_t d, uint32_t& rva, uint32_t& size) const {
  rva = size = 0;
  if (d >= DirectoryCount) return;
  const size_t at = (FPE32Plus ? 112 : 96) + d * 8;
  rva = Get32(FOptional.data() + at);
  size = Get32(FOptional.data() + at + 4);
}

std::string TImportLine::FunctionText() const {
  if (Data.ByOrdinal) return "#" + std::to_string(Data.Ordinal);
  return std::string(Data.Function);
}

std::string TImportLine::Text() const {
  std::string text;
  text.reserve(Data.Library.size() + 1 + Data.Function.size());
  text.append(Data.Library).append(1, ':').append(FunctionText());
  return text;
}

uint32_t TPEReader::ExportBase() const { return Get32(FExportDirectory.data() + 16); }

void TPEReader::Clear() {
  FImports.clear();
  FExportNames.clear();
  FImportBytes.clear();
  FExportBytes.clear();
  FExportOrdinals.clear();
  FExportFunctions.clear();
  FExports.clear();
  FResources.clear();
  FSections.clear();
  FHeadersRead = false;
  ImportTableErrors = ExportTableErrors = ResourceTableErrors = false;
  ImportTableError.clear();
  ExportTableError.clear();
  ResourceTableError.clear();
  FMZHead.fill(0);
  FMZRest.fill(0);
  FPEHeader.fill(0);
  FOptional.assign(OptionalHeader32Size, 0);
  FPE32Plus = false;
  FExportDirectory.fill(0);
}

void TPEReader::ReadFromFile(const std::string& fileName) {
  Clear();
  TFileReader file;
  if (!file.Open(fileName)) throw TPEError(file.Error());
  TFileSource source(file);
  Read(source);
}

void TPEReader::ReadFromBytes(TByteView bytes) {
  Clear();
  TMemorySource source(bytes);
  Read(source);
}

void TPEReader::Read(TPESource& source) {
  if (source.Size() < 64) Fail("PEReader: File to small!");
  uint64_t sectionTable = 0;
  ReadHeaders(source, sectionTable);
  FHeadersRead = true;
  if (!FReadSectionTable) return;
  ReadSections(source, sectionTable);

  // Each table under its own guard: a failure keeps what it collected and sets its flag.
  auto guarded = [](bool on, bool& flag, std::string& error, auto&& read) {
    if (!on) return;
    try {
      read();
      flag = false;
      error.clear();
    } catch (const std::exception& e) {
      flag = true;
      error = e.what();
    }
  };
  guarded(FReadImportTable, ImportTableErrors, ImportTableError, [&] { ReadImports(source); });
  guarded(FReadExportTable, ExportTableErrors, ExportTableError, [&] { ReadExports(source); });
  guarded(FReadResourceTable, ResourceTableErrors, ResourceTableError, [&] { ReadResources(source); });
}

void TPEReader::ReadHeaders(TPESource& source, uint64_t& sectionTable) {
  std::vector<uint8_t> bytes;
  source.ReadAt(0, MZHeadSize, bytes);
  if (bytes.size() < MZHeadSize) Fail("PEReader: Could not read MZ header!");
  std::memcpy(FMZHead.data(), bytes.data(), MZHeadSize);
  if (Get16(FMZHead.data()) != 0x5A4D) Fail("PEReader: Missing MZ header!");
  source.ReadAt(MZHeadSize, MZRestSize, bytes);
  if (bytes.size() < MZRestSize) Fail("PEReader: Could not read MZ DOS header!");
  std::memcpy(FMZRest.data(), bytes.data(), MZRestSize);

  const uint64_t lfanew = PEHeaderPointer();
  if (source.Size() < lfanew + 160) Fail("PEReader: Invalid PE format (size problem #1)!");
  source.ReadAt(lfanew, PEHeaderSize, bytes);
  if (bytes.size() < PEHeaderSize) Fail("PEReader: Could not read PE header!");
  std::memcpy(FPEHeader.data(), bytes.data(), PEHeaderSize);
  if (std::memcmp(FPEHeader.data(), "PE\0\0", 4) != 0) Fail("PEReader: Missing PE header!");

  const uint64_t optional = lfanew + PEHeaderSize;
  const uint16_t declared = SizeOfOptionalHeader();
  if (declared != 0) {
    // The layout is the one Magic names; any other value is read as PE32.
    source.ReadAt(optional, OptionalHeader64Size, bytes);
    const bool plus = bytes.size() >= 2 && Get16(bytes.data()) == kMagicPE32Plus;
    const size_t need = plus ? OptionalHeader64Size : OptionalHeader32Size;
    if (bytes.size() < need) Fail("PEReader: Could not read PE optional header!");
    // The layout flag and the bytes change together: the field readers rely on it.
    FOptional.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(need));
    FPE32Plus = plus;
  }
  sectionTable = optional + declared;
}

void TPEReader::ReadSections(TPESource& source, uint64_t position) {
  const uint16_t count = NumberOfSections();
  std::vector<uint8_t> bytes;
  const bool whole = source.ReadAt(position, static_cast<uint64_t>(count) * 40, bytes);
  const TByteView view(bytes);
  FSections.reserve(bytes.size() / 40);
  for (size_t i = 0; i < count; ++i) {
    TByteView record;
    if (!view.Sub(i * 40, 40, record)) break;
    const uint8_t* p = record.Data();
    TSectionHeader s;
    std::memcpy(s.Name.data(), p, 8);
    s.VirtualSize = Get32(p + 8);
    s.VirtualAddress = Get32(p + 12);
    s.SizeOfRawData = Get32(p + 16);
    s.PointerToRawData = Get32(p + 20);
    s.PointerToRelocations = Get32(p + 24);
    s.PointerToLinenumbers = Get32(p + 28);
    s.NumberOfRelocations = Get16(p + 32);
    s.NumberOfLinenumbers = Get16(p + 34);
    s.Characteristics = Get32(p + 36);
    FSections.push_back(s);
  }
  if (!whole) Fail("PEReader: Could not read PE section entry!");
}

TDirectoryLocation TPEReader::DirectoryToFileOffset(size_t d) const {
  TDirectoryLocation where;
  uint32_t rva = 0, size = 0;
  DataDirectory(d, rva, size);
  if (rva == 0 || size == 0) return where;
  where.Found = true;
  where.FileOffset = rva;
  where.Available = size;
  for (const auto& s : FSections) {
    // VirtualAddress + VirtualSize may pass 2^32; compare in 64 bits.
    if (s.VirtualAddress <= rva && rva < static_cast<uint64_t>(s.VirtualAddress) + s.VirtualSize) {
      const uint32_t into = rva - s.VirtualAddress;
      where.FileOffset = static_cast<uint64_t>(s.PointerToRawData) + into;
      // Only the raw bytes the section really has from here: none when the RVA lies in the
      // zero-filled tail past SizeOfRawData.
      where.Available = into < s.SizeOfRawData ? s.SizeOfRawData - into : 0;
      where.Delta = static_cast<uint32_t>(rva - static_cast<uint32_t>(where.FileOffset));
      break;
    }
  }
  return where;
}

uint64_t TPEReader::RvaToFileOffset(uint32_t rva) const {
  for (const auto& s : FSections)
    if (s.VirtualAddress <= rva && rva < static_cast<uint64_t>(s.VirtualAddress) + s.VirtualSize)
      return static_cast<uint64_t>(s.PointerToRawData) + (rva - s.VirtualAddress);
  return rva;
}

bool TPEReader::CopyDirectory(TPESource& source, size_t d, std::vector<uint8_t>& copy, TDirectoryLocation& where) const {
  copy.clear();
  where = DirectoryToFileOffset(d);
  if (!where.Found) return false;
  // Clamped to the bytes the file holds; reads past the copy then fail as short reads.
  source.ReadAt(where.FileOffset, where.Available, copy);
  return true;
}

void TPEReader::ReadImports(TPESource& source) {
  TDirectoryLocation where;
  if (!CopyDirectory(source, 1, FImportBytes, where)) return;
  const TByteView copy(FImportBytes);
  uint64_t budget = TextBudget(copy.Size());
  std::string damage;  // why the first library that could not be read ended
  for (uint64_t at = 0;; at += 20) {
    uint32_t f[5];
    for (int k = 0; k < 5; ++k)
      if (!copy.U32LE(at + 4 * k, f[k])) Fail("PEReader: Could not read PE Import Descriptor entry!");
    if ((f[0] | f[1] | f[2] | f[3] | f[4]) == 0) break;
    try {
      ReadImportLibrary(copy, where, f[3], f[0] ? f[0] : f[4], budget);
    } catch (const TPEError& e) {
      // A library that cannot be read ends itself; the walk goes on, unless the table's budget
      // is spent.
      if (budget < 8) throw;
      if (damage.empty()) damage = e.what();
    }
  }
  // The walk reached its end; the damage it passed is still the table's failure.
  if (!damage.empty()) throw TPEError(damage);
}

void TPEReader::ReadImportLibrary(TByteView copy, const TDirectoryLocation& where, uint32_t nameRva, uint32_t thunkRva,
                                  uint64_t& budget) {
  const std::string_view library = nameRva == 0 ? std::string_view("?") : copy.CString(CopyPosition(nameRva, where), 255);
  if (thunkRva == 0) return;
  const unsigned width = FPE32Plus ? 8 : 4;
  // Thunks up to the zero one; their number is bounded by the copy.
  std::vector<uint64_t> thunks;
  for (uint64_t p = CopyPosition(thunkRva, where);; p += width) {
    uint64_t thunk = 0;
    uint32_t low = 0;
    const bool ok = FPE32Plus ? copy.U64LE(p, thunk) : copy.U32LE(p, low);
    if (!ok) Fail("PEReader: Could not read PE Import By Name RVA!");
    // Descriptors may share one thunk array; every thunk read counts against the budget.
    if (budget < width) Fail("PEReader: Import names outgrow the table!");
    budget -= width;
    if (!FPE32Plus) thunk = low;
    if (thunk == 0) break;
    thunks.push_back(thunk);
  }
  const uint64_t ordinalFlag = FPE32Plus ? 0x8000000000000000ull : 0x80000000ull;
  for (uint64_t thunk : thunks) {
    if (thunk & ordinalFlag) {
      // Imported by ordinal: no name entry; the ordinal is the low 16 bits.
      const uint64_t text = (library.size() + 8) * 2;
      if (text > budget) {
        budget = 0;
        Fail("PEReader: Import names outgrow the table!");
      }
      budget -= text;
      TImportLine line;
      line.Data.Library = library;
      line.Data.ByOrdinal = true;
      line.Data.Ordinal = static_cast<uint16_t>(thunk);
      FImports.push_back(line);
      continue;
    }
    const uint32_t rva = static_cast<uint32_t>(thunk);
    const uint64_t p = CopyPosition(rva, where);
    uint16_t hint = 0;
    if (!copy.U16LE(p, hint)) Fail("PEReader: Could not read PE Import By Name entry hint!");
    const std::string_view function = copy.CString(p + 2, MaxNameLength);
    if (function.empty()) continue;
    // The text "library:function" and the function's name, as a copy of each would take.
    const uint64_t text = (library.size() + 1 + function.size()) * 2;
    if (text > budget) {
      budget = 0;
      Fail("PEReader: Import names outgrow the table!");
    }
    budget -= text;
    FImports.push_back({{rva, library, function}});
  }
}

void TPEReader::ReadExports(TPESource& source) {
  FExportNames.clear();
  FExportOrdinals.clear();
  FExportFunctions.clear();
  FExports.clear();
  TDirectoryLocation where;
  if (!CopyDirectory(source, 0, FExportBytes, where)) return;
  const TByteView copy(FExportBytes);
  if (copy.Size() < 40) Fail("PEReader: Could not read Export table!");
  std::memcpy(FExportDirectory.data(), copy.Data(), 40);
  uint64_t budget = TextBudget(copy.Size());
  // A table cut short still lists the exports read before the cut.
  try {
    ReadExportTables(copy, where, budget);
  } catch (const TPEError&) {
    try {
      ListExports(copy, where, budget);
    } catch (const TPEError&) {
    }
    throw;
  }
  ListExports(copy, where, budget);
}

void TPEReader::ListExports(TByteView copy, const TDirectoryLocation& where, uint64_t& budget) {
  uint32_t directoryRva = 0, directorySize = 0;
  DataDirectory(0, directoryRva, directorySize);
  const uint64_t base = ExportBase();
  const auto& functions = FExportFunctions;
  std::vector<bool> named(functions.size());
  auto entry = [&](uint32_t index) {
    TExportEntry e;
    e.HasOrdinal = true;
    e.Ordinal = base + index;
    if (index < functions.size()) {
      e.HasAddress = true;
      e.Address = functions[index];
      // An address inside the export directory names a forward target, "DLL.Function".
      if (e.Address >= directoryRva && e.Address - directoryRva < directorySize) {
        e.Forward = copy.CString(CopyPosition(e.Address, where), MaxNameLength);
        Spend(budget, e.Forward.size(), "PEReader: Export names outgrow the table!");
      }
    }
    return e;
  };
  FExports.reserve(FExportNames.size());
  for (const TExportName& name : FExportNames) {
    if (name.Index >= FExportOrdinals.size()) {
      TExportEntry e;
      e.Name = name.Name;
      FExports.push_back(e);
      continue;
    }
    const uint32_t index = FExportOrdinals[name.Index];
    TExportEntry e = entry(index);
    e.Name = name.Name;
    if (index < named.size()) named[index] = true;
    FExports.push_back(e);
  }
  for (uint32_t index = 0; index < functions.size(); ++index)
    if (!named[index] && functions[index] != 0) FExports.push_back(entry(index));
}

void TPEReader::ReadExportTables(TByteView copy, const TDirectoryLocation& where, uint64_t& budget) {
  const uint8_t* dir = FExportDirectory.data();
  const uint32_t numberOfFunctions = Get32(dir + 20);
  const uint32_t numberOfNames = Get32(dir + 24);
  const uint32_t addressOfFunctions = Get32(dir + 28);
  const uint32_t addressOfNames = Get32(dir + 32);
  const uint32_t addressOfOrdinals = Get32(dir + 36);

  if (addressOfNames != 0) {
    // Each pointer is read before its name, so a table cut short keeps the names before the cut.
    const uint64_t table = CopyPosition(addressOfNames, where);
    FExportNames.reserve(std::min<uint64_t>(numberOfNames, copy.Size() / 4));  // a pointer each in the copy
    for (uint32_t i = 0; i < numberOfNames; ++i) {
      uint32_t rva = 0;
      if (!copy.U32LE(table + 4ull * i, rva)) Fail("PEReader: Could not read PE Export Name Table (names)!");
      const uint64_t p = CopyPosition(rva, where);
      if (p >= copy.Size()) {
        char message[160];
        std::snprintf(message, sizeof message,
                      "PEReader: Could not read PE Export Name Table (names) at position %llu of a total %llu!",
                      static_cast<unsigned long long>(p), static_cast<unsigned long long>(copy.Size()));
        Fail(message);
      }
      const std::string_view name = copy.CString(p, MaxNameLength);
      if (name.empty()) continue;
      Spend(budget, name.size(), "PEReader: Export names outgrow the table!");
      FExportNames.push_back({name, i});
    }
  }
  if (addressOfOrdinals != 0) {
    const uint64_t table = CopyPosition(addressOfOrdinals, where);
    FExportOrdinals.reserve(std::min<uint64_t>(numberOfNames, copy.Size() / 2));  // two bytes each in the copy
    for (uint32_t i = 0; i < numberOfNames; ++i) {
      uint16_t ordinal = 0;
      if (!copy.U16LE(table + 2ull * i, ordinal)) Fail("PEReader: Could not read PE Export Name Table (ordinals)!");
      FExportOrdinals.push_back(ordinal);
    }
  }
  if (addressOfFunctions != 0) {
    const uint64_t table = CopyPosition(addressOfFunctions, where);
    FExportFunctions.reserve(std::min<uint64_t>(numberOfFunctions, copy.Size() / 4));  // four bytes each in the copy
    for (uint32_t i = 0; i < numberOfFunctions; ++i) {
      uint32_t function = 0;
      if (!copy.U32LE(table + 4ull * i, function)) Fail("PEReader: Could not read PE Export Name Table (functions)!");
      FExportFunctions.push_back(function);
    }
  }
}

// ---- Header text lines.

namespace {

std::string HexDigits(uint64_t v, int digits) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%0*llX", digits, static_cast<unsigned long long>(v));
  return buf;
}

void Line(std::vector<std::string>& lines, const char* name, uint64_t value, int digits) {
  lines.push_back(std::string(name) + "=" + HexDigits(value, digits));
}

}  // namespace

void MZHeaderToStrings(const TPEReader& reader, std::vector<std::string>& lines) {
  const uint8_t* r = reader.MZRest().data();  // file offset 10 on
  static const char* const kNames[] = {"Min Extra Paragraphs", "Max Extra Paragraphs", "Initial Stack Segment",
                                       "Initial Stack Pointer", "Checksum for Header", "Initial Instruction Pointer",
                                       "Initial Code Segment", "Relocation Table Offset", "Overlay Number"};
  for (int i = 0; i < 9; ++i) Line(lines, kNames[i], Get16(r + 2 * i), 4);
  for (int i = 0; i < 8; ++i) {
    const std::string name = "Reserved #" + std::to_string(i);
    Line(lines, name.c_str(), Get32(r + 18 + 4 * i), 8);
  }
  Line(lines, "PE Header Pointer", Get32(r + 50), 8);
}

void PEHeaderToStrings(const TPEReader& reader, std::vector<std::string>& lines) {
  const uint8_t* p = reader.PEHeader().data();
  Line(lines, "Signature", Get32(p), 8);
  Line(lines, "Machine", Get16(p + 4), 4);
  Line(lines, "Number Of Sections", Get16(p + 6), 4);
  Line(lines, "Time Date Stamp", Get32(p + 8), 8);
  Line(lines, "Pointer To Symbol Table", Get32(p + 12), 8);
  Line(lines, "Number Of Symbols", Get32(p + 16), 8);
  Line(lines, "Size Of Optional Header", Get16(p + 20), 4);
  Line(lines, "Characteristics", Get16(p + 22), 4);
}

void OptionalHeaderToStrings(const TPEReader& reader, std::vector<std::string>& lines) {
  const uint8_t* o = reader.OptionalHeader().data();
  const bool plus = reader.IsPE32Plus();
  Line(lines, "Optional Header Starts", Get16(o), 4);
  Line(lines, "Version Of Linker", Get16(o + 2), 4);  // the minor version is the high byte
  Line(lines, "Size Of Code", Get32(o + 4), 8);
  Line(lines, "Size Of Initialized Data", Get32(o + 8), 8);
  Line(lines, "Size Of Uninitialized Data", Get32(o + 12), 8);
  Line(lines, "RVA Entry Point", Get32(o + 16), 8);
  Line(lines, "Base Of Code", Get32(o + 20), 8);
  if (plus) {
    lines.push_back("Base Of Data=");  // PE32+ has no such field; Image Base takes its place
    Line(lines, "Image Base", Get64(o + 24), 16);
  } else {
    Line(lines, "Base Of Data", Get32(o + 24), 8);
    Line(lines, "Image Base", Get32(o + 28), 8);
  }
  Line(lines, "Section Alignment", Get32(o + 32), 8);
  Line(lines, "File Alignment", Get32(o + 36), 8);
  static const char* const kVersions[] = {"OS Version Major",        "OS Version Minor",       "Image Version Major",
                                          "Image Version Minor",     "Subsystem Version Major", "Subsystem Version Minor"};
  for (int i = 0; i < 6; ++i) Line(lines, kVersions[i], Get16(o + 40 + 2 * i), 4);
  Line(lines, "Reserved #0", Get32(o + 52), 8);
  Line(lines, "Size Of Image", Get32(o + 56), 8);
  Line(lines, "Size Of Headers", Get32(o + 60), 8);
  Line(lines, "Checksum", Get32(o + 64), 8);
  Line(lines, "Subsystem", Get16(o + 68), 4);
  Line(lines, "DLL Characteristics", Get16(o + 70), 4);
  static const char* const kSizes[] = {"Size Of Stack Reserve", "Size Of Stack Commit", "Size Of Heap Reserve",
                                       "Size Of Heap Commit"};
  const unsigned step = plus ? 8 : 4;
  for (unsigned i = 0; i < 4; ++i)
    Line(lines, kSizes[i], plus ? Get64(o + 72 + step * i) : Get32(o + 72 + step * i), plus ? 16 : 8);
  const uint8_t* tail = o + 72 + 4 * step;
  Line(lines, "Loader Flags", Get32(tail), 8);
  Line(lines, "Number Of Rva And Sizes", Get32(tail + 4), 8);
  static const char* const kDirectories[TPEReader::DirectoryCount] = {
      "Export", "Import", "Resource", "Exception", "Security", "Relocation", "Debug",
      "Coypright", "Global Ptr", "Thread L.S.", "Load Config", "Bound Import", "IAT"};
  for (size_t d = 0; d < TPEReader::DirectoryCount; ++d) {
    uint32_t rva = 0, size = 0;
    reader.DataDirectory(d, rva, size);
    Line(lines, (std::string(kDirectories[d]) + " Directory Address").c_str(), rva, 8);
    Line(lines, (std::string(kDirectories[d]) + " Directory Size").c_str(), size, 8);
  }
}

TPEFileLayout::TPEFileLayout(const TPEReader& reader) {
  uint64_t first = UINT64_MAX;
  for (const TSectionHeader& section : reader.Sections()) {
    if (section.SizeOfRawData == 0) continue;
    const uint64_t begin = section.PointerToRawData, end = begin + section.SizeOfRawData;
    FSections.push_back({begin, end, section.NameText()});
    first = std::min(first, begin);
    FDataEnd = std::max(FDataEnd, end);
  }
  if (first == UINT64_MAX) {
    // No section has data: the headers are what SizeOfHeaders says.
    uint32_t sizeOfHeaders = 0;
    TByteView(reader.OptionalHeader()).U32LE(60, sizeOfHeaders);
    first = FDataEnd = sizeOfHeaders;
  }
  FHeadersEnd = first;
  std::vector<TRange> sorted = FSections;
  std::sort(sorted.begin(), sorted.end(), [](const TRange& a, const TRange& b) { return a.Begin < b.Begin; });
  for (size_t k = 1; k < sorted.size(); ++k) FOverlap |= sorted[k].Begin < sorted[k - 1].End;
  // The certificate table's "address" is a file offset.
  uint32_t address = 0, size = 0;
  reader.DataDirectory(4, address, size);
  if (size != 0) {
    FCertificateBegin = address;
    FCertificateEnd = static_cast<uint64_t>(address) + size;
  }
}

std::string_view TPEFileLayout::At(uint64_t offset) const {
  // Without overlaps the section found last is the only one that can hold the offset.
  if (!FOverlap && FLast < FSections.size() && offset >= FSections[FLast].Begin && offset < FSections[FLast].End)
    return FSections[FLast].Name;
  for (size_t k = 0; k < FSections.size(); ++k)
    if (offset >= FSections[k].Begin && offset < FSections[k].End) {
      FLast = k;
      return FSections[k].Name;
    }
  if (offset >= FCertificateBegin && offset < FCertificateEnd) return "certificate";
  if (offset < FHeadersEnd) return "headers";
  if (offset >= FDataEnd) return "overlay";
  return "";
}

}  // namespace bq
