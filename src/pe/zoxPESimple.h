// TPEReader: the headers, section table, imports, exports and resource tree of a Portable
// Executable (PE32 and PE32+), read through bounded views of the file's bytes.
#pragma once
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "pe/zoxPEResources.h"
#include "platform/bqBytes.h"

namespace bq {

// A failure of the reader; the message is one of the "PEReader: ..." texts.
class TPEError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The names of imports and exports are views into the reader's copies of their tables: they
// stay valid while the reader lives (moves included) and until it reads again.
struct TImportTableListData {
  uint32_t Thunk = 0;  // RVA of the IMAGE_IMPORT_BY_NAME entry; 0 for an import by ordinal
  std::string_view Library;
  std::string_view Function;  // empty for an import by ordinal
  bool ByOrdinal = false;
  uint16_t Ordinal = 0;  // the thunk's low 16 bits, for an import by ordinal
};

// One line of the import table, with its text library + ":" + function.
struct TImportLine {
  TImportTableListData Data;
  // The function's name, or "#ORDINAL" for an import by ordinal.
  std::string FunctionText() const;
  std::string Text() const;
};

// A named export: the name and its index in the export name pointer table (the index of its
// ordinal); empty names are not kept, so Index tells which ordinal belongs to a name.
struct TExportName {
  std::string_view Name;
  uint32_t Index = 0;
};

// One export as the loader sees it: the named ones in name-table order, then the address
// table's other non-zero entries (exports by ordinal only) in ordinal order.
struct TExportEntry {
  std::string_view Name;      // empty for an export by ordinal only
  uint64_t Ordinal = 0;       // Base + index into the export address table
  bool HasOrdinal = false;    // false: a name whose ordinal table entry could not be read
  uint32_t Address = 0;       // the address table's entry (an RVA)
  bool HasAddress = false;    // false: the ordinal lies past the address table read
  std::string_view Forward;   // "DLL.Function" when Address lies inside the export directory
};

struct TSectionHeader {
  std::array<uint8_t, 8> Name{};
  uint32_t VirtualSize = 0;
  uint32_t VirtualAddress = 0;
  uint32_t SizeOfRawData = 0;
  uint32_t PointerToRawData = 0;
  uint32_t PointerToRelocations = 0;
  uint32_t PointerToLinenumbers = 0;
  uint16_t NumberOfRelocations = 0;
  uint16_t NumberOfLinenumbers = 0;
  uint32_t Characteristics = 0;

  // The name bytes up to the first zero (all 8 when there is none).
  std::string NameText() const;
};

struct TDirectoryLocation {
  bool Found = false;
  uint64_t FileOffset = 0;
  uint32_t Available = 0;  // bytes of the section (or the directory) from FileOffset on
  uint32_t Delta = 0;      // RVA - file offset, modulo 2^32
};

// Where the reader takes bytes from: a file or a buffer.
class TPESource {
public:
  virtual ~TPESource() = default;
  virtual uint64_t Size() const = 0;
  // The bytes [offset, offset + count) clamped to the source; false when cut or unreadable.
  virtual bool ReadAt(uint64_t offset, uint64_t count, std::vector<uint8_t>& out) = 0;
};

class TPEReader {
public:
  static constexpr size_t MZHeadSize = 10;
  static constexpr size_t MZRestSize = 54;
  static constexpr size_t PEHeaderSize = 24;
  static constexpr size_t DirectoryCount = 13;
  static constexpr size_t OptionalHeader32Size = 96 + DirectoryCount * 8;    // 200
  static constexpr size_t OptionalHeader64Size = 112 + DirectoryCount * 8;   // 216
  static constexpr size_t MaxNameLength = 4096;  // function and export names are cut here

  TPEReader() = default;
  // Names point into the reader's buffers, which a copy would not own.
  TPEReader(const TPEReader&) = delete;
  TPEReader& operator=(const TPEReader&) = delete;
  TPEReader(TPEReader&&) = default;
  TPEReader& operator=(TPEReader&&) = default;

  // The MZ, PE and optional headers were read whole (the section table may still have failed).
  bool HeadersRead() const { return FHeadersRead; }

  bool ReadSectionTable() const { return FReadSectionTable; }
  bool ReadImportTable() const { return FReadImportTable; }
  bool ReadExportTable() const { return FReadExportTable; }
  bool ReadResourceTable() const { return FReadResourceTable; }
  void SetReadSectionTable(bool on) { FReadSectionTable = on; }
  void SetReadImportTable(bool on);
  void SetReadExportTable(bool on);
  void SetReadResourceTable(bool on);

  // Reads the file (opened by its UTF-8 name, UTF-16 on Windows). Throws TPEError when the file
  // cannot be opened or its headers or section table cannot be read; failures inside the
  // three tables set their error flag instead.
  void ReadFromFile(const std::string& fileName);
  // The same over bytes in memory.
  void ReadFromBytes(TByteView bytes);

  // Headers as stored.
  const std::array<uint8_t, MZHeadSize>& MZHead() const { return FMZHead; }
  const std::array<uint8_t, MZRestSize>& MZRest() const { return FMZRest; }
  const std::array<uint8_t, PEHeaderSize>& PEHeader() const { return FPEHeader; }
  // The optional header: 200 bytes (PE32 layout) or 216 (PE32+), zero when absent.
  const std::vector<uint8_t>& OptionalHeader() const { return FOptional; }
  bool IsPE32Plus() const { return FPE32Plus; }
  uint16_t NumberOfSections() const;
  uint16_t SizeOfOptionalHeader() const;
  uint32_t PEHeaderPointer() const;  // e_lfanew
  // Data directory d (0..12): VirtualAddress, Size.
  void DataDirectory(size_t d, uint32_t& rva, uint32_t& size) const;

  const std::vector<TSectionHeader>& Sections() const { return FSections; }
  TDirectoryLocation DirectoryToFileOffset(size_t d) const;
  // The file offset of an RVA through the section that holds it; an RVA in no section is taken
  // as a file offset.
  uint64_t RvaToFileOffset(uint32_t rva) const;

  const std::vector<TImportLine>& ImportTable() const { return FImports; }
  const std::vector<TExportName>& ExportTable() const { return FExportNames; }
  // The ordinal table as stored: indexes into the address table (the ordinal less Base).
  const std::vector<uint32_t>& ExportOrdinals() const { return FExportOrdinals; }
  const std::vector<uint32_t>& ExportFunctions() const { return FExportFunctions; }
  const std::array<uint8_t, 40>& ExportDirectory() const { return FExportDirectory; }
  uint32_t ExportBase() const;
  // Every export, named or not, with its true ordinal; what the tables held up to a failure.
  const std::vector<TExportEntry>& Exports() const { return FExports; }
  const std::vector<TResourceEntry>& ResourceEntries() const { return FResources; }

  bool ImportTableErrors = false;
  bool ExportTableErrors = false;
  bool ResourceTableErrors = false;
  // Why each table failed ("" when it did not).
  std::string ImportTableError, ExportTableError, ResourceTableError;

private:
  void Clear();
  void Read(TPESource& source);
  void ReadHeaders(TPESource& source, uint64_t& sectionTable);
  void ReadSections(TPESource& source, uint64_t position);
  // The bytes behind directory d, clamped to the section and the file.
  bool CopyDirectory(TPESource& source, size_t d, std::vector<uint8_t>& copy, TDirectoryLocation& where) const;
  void ReadImports(TPESource& source);
  void ReadImportLibrary(TByteView copy, const TDirectoryLocation& where, uint32_t nameRva, uint32_t thunkRva,
                         uint64_t& budget);
  void ReadExports(TPESource& source);
  void ReadExportTables(TByteView copy, const TDirectoryLocation& where, uint64_t& budget);
  void ListExports(TByteView copy, const TDirectoryLocation& where, uint64_t& budget);
  void ReadResources(TPESource& source);

  bool FHeadersRead = false;
  bool FReadSectionTable = true;
  bool FReadImportTable = true;
  bool FReadExportTable = true;
  bool FReadResourceTable = true;

  std::array<uint8_t, MZHeadSize> FMZHead{};
  std::array<uint8_t, MZRestSize> FMZRest{};
  std::array<uint8_t, PEHeaderSize> FPEHeader{};
  std::vector<uint8_t> FOptional = std::vector<uint8_t>(OptionalHeader32Size, 0);
  bool FPE32Plus = false;
  std::vector<TSectionHeader> FSections;
  std::vector<uint8_t> FImportBytes, FExportBytes;  // the tables' copies the names point into
  std::vector<TImportLine> FImports;
  std::vector<TExportName> FExportNames;
  std::vector<uint32_t> FExportOrdinals;
  std::vector<uint32_t> FExportFunctions;
  std::vector<TExportEntry> FExports;
  std::array<uint8_t, 40> FExportDirectory{};
  std::vector<TResourceEntry> FResources;
};

// Header text lines "Name=VALUE" for the Header page: 18, 8 and 55 lines. Values are upper-case
// hexadecimal, 4 digits for 16-bit fields and 8 for 32-bit ones; on PE32+ "Base Of Data" is
// empty and "Image Base" and the stack and heap sizes have 16 digits.
void MZHeaderToStrings(const TPEReader& reader, std::vector<std::string>& lines);
void PEHeaderToStrings(const TPEReader& reader, std::vector<std::string>& lines);
void OptionalHeaderToStrings(const TPEReader& reader, std::vector<std::string>& lines);

// Where a file offset lies in a PE file: in a section's raw data (the first such section in
// table order), in the headers before the first section's data, in the certificate table, or
// in the overlay after the last section's data.
class TPEFileLayout {
public:
  TPEFileLayout() = default;
  explicit TPEFileLayout(const TPEReader& reader);
  // The section's name, "headers", "certificate", "overlay", or "" between sections' data.
  std::string_view At(uint64_t offset) const;

private:
  struct TRange {
    uint64_t Begin = 0, End = 0;
    std::string Name;
  };
  std::vector<TRange> FSections;
  uint64_t FHeadersEnd = 0, FDataEnd = 0, FCertificateBegin = 0, FCertificateEnd = 0;
  bool FOverlap = false;  // some sections' data overlap
  mutable size_t FLast = 0;  // the section found last: findings come mostly in file order
};

}  // namespace bq
