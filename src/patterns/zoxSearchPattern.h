// Pattern search: one pass over a file picks out GUIDs in braces, URLs, registry locations,
// file names, printable strings, e-mail and IPv4 addresses, each with the offset where it
// begins. The bytes are read as 8-bit text and as UTF-16LE text at both byte alignments.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bqBytes.h"

namespace bq {

class TFileReader;

enum TPatternCategory : uint8_t {
  pcGUID = 0, pcURL = 1, pcRegistry = 2, pcFileName = 3, pcString = 4, pcEmail = 5, pcIPAddress = 6
};
inline constexpr int PatternCategoryCount = 7;

// Display names of the categories, by value ("GUIDs" ... "IP Addresses").
extern const char* const PatternCategoryNames[PatternCategoryCount];

// The text a finding was read as: bytes as 8-bit characters, or UTF-16LE code units.
enum TPatternEncoding : uint8_t { peASCII = 0, peUTF16 = 1 };
extern const char* const PatternEncodingNames[2];  // "ASCII", "UTF-16"

// An offset as 8 upper-case hexadecimal digits, or 16 from 4 GiB on, so that findings past
// 4 GiB keep distinct positions.
std::string OffsetText(uint64_t offset);

// A finding's text keeps at most this many characters; its offset stays its start.
inline constexpr size_t MaxFindingChars = 65536;

class TPatternSearch {
public:
  using TProgressEvent = std::function<void(uint8_t percent, uint64_t size, uint64_t position)>;
  // The offset is that of the finding's first byte; UTF-16 text is reported as its ASCII.
  using TFoundEvent = std::function<void(TPatternCategory category, std::string_view text, uint64_t offset,
                                         TPatternEncoding encoding)>;
  using TStopQuery = std::function<bool()>;

  TPatternSearch();
  ~TPatternSearch();
  TPatternSearch(const TPatternSearch&) = delete;
  TPatternSearch& operator=(const TPatternSearch&) = delete;

  // Every finding as "text=OFFSET", per category, for the last file searched. A caller that
  // takes the findings through OnFound alone may turn KeepLists off, so that a huge file's
  // findings are never held together.
  std::vector<std::string> Lists[PatternCategoryCount];
  bool KeepLists = true;

  TProgressEvent OnProgress;  // after each block read
  TFoundEvent OnFound;        // after each finding was listed
  TStopQuery StopRequested;   // asked between blocks; true ends the search early

  size_t BlockSize = 256 * 1024;

  // Opens the file read-only (others may read and write it) and searches it. False when it
  // cannot be opened (error says why) or the search was stopped; findings made before a read
  // failure stay.
  bool SearchFile(const std::string& fileName, std::string* error = nullptr);
  // Empties the lists and searches the file from its start.
  bool Search(TFileReader& file);

  // The scan as a feed: Begin empties the lists and sets the offset of the first byte fed;
  // Feed takes the bytes in order, in pieces of any size; End drops what is still being
  // collected. The findings do not depend on how the bytes are cut into pieces.
  void Begin(uint64_t origin = 0);
  void Feed(TByteView block);
  void End();

private:
  struct TState;
  std::unique_ptr<TState> FState;
};

}  // namespace bq
