#include "patterns/zoxSearchPattern.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/bqFile.h"
#include "platform/bqText.h"

namespace bq {

const char* const PatternCategoryNames[PatternCategoryCount] = {"GUIDs", "URLs", "Registry Locations", "Filenames",
                                                                 "Strings"};

std::string OffsetText(uint64_t offset) {
  if (offset <= 0xFFFFFFFFu) return Hex8(static_cast<uint32_t>(offset));
  return Hex8(static_cast<uint32_t>(offset >> 32)) + Hex8(static_cast<uint32_t>(offset));
}

namespace {

// Byte classes, one bit each.
enum : uint8_t {
  ccPrintable = 1,  // 32..126
  ccPunct = 2,      // ! to /, : to @, [ to `, { to ~
  ccGuid = 4,       // - 0-9 A-F a-f
  ccUrl = 8,        // ! # to Z \ a-z |
  ccRegistry = 16,  // ! to Z \ _ a-z |
  ccName = 32,      // space - . 0-9 : A-Z \ _ a-z ~
  ccLetter = 64,    // A-Z a-z
};

constexpr std::array<uint8_t, 256> MakeClasses() {
  std::array<uint8_t, 256> t{};
  auto add = [&t](int from, int to, uint8_t bit) {
    for (int c = from; c <= to; ++c) t[static_cast<size_t>(c)] |= bit;
  };
  add(32, 126, ccPrintable);
  add('!', '/', ccPunct), add(':', '@', ccPunct), add('[', '`', ccPunct), add('{', '~', ccPunct);
  add('-', '-', ccGuid), add('0', '9', ccGuid), add('A', 'F', ccGuid), add('a', 'f', ccGuid);
  add('!', '!', ccUrl), add('#', 'Z', ccUrl), add('\\', '\\', ccUrl), add('a', 'z', ccUrl), add('|', '|', ccUrl);
  add('!', 'Z', ccRegistry), add('\\', '\\', ccRegistry), add('_', '_', ccRegistry), add('a', 'z', ccRegistry),
      add('|', '|', ccRegistry);
  add(' ', ' ', ccName), add('-', '.', ccName), add('0', ':', ccName), add('A', 'Z', ccName), add('\\', '\\', ccName),
      add('_', '_', ccName), add('a', 'z', ccName), add('~', '~', ccName);
  add('A', 'Z', ccLetter), add('a', 'z', ccLetter);
  return t;
}
constexpr std::array<uint8_t, 256> kClass = MakeClasses();

inline bool Is(uint8_t byte, uint8_t cls) { return (kClass[byte] & cls) != 0; }

// Where a run of bytes of one class that can matter begins: the first j >= from with bytes j
// to j + 4 all in the class, else the start of a shorter run that reaches the end of the block
// (it may go on in the next one), else n. A run of fewer than five bytes that ends inside the
// block yields nothing for the file-name and string recognisers, so it is passed over; the
// count has no branch on the bytes, only on reaching five.
inline size_t SkipShortRuns(const uint8_t* d, size_t from, size_t n, uint8_t cls) {
  size_t run = 0;
  for (size_t j = from; j < n; ++j) {
    run = (run + 1) & (0 - static_cast<size_t>((kClass[d[j]] & cls) != 0));
    if (run == 5) return j - 4;
  }
  return n - run;
}

// The first characters of a candidate. A candidate is collected in slices of the blocks it
// spans; only its first Cap characters are kept.
struct TText {
  std::string Chars;
  void Add(TByteView block, size_t from, size_t to, size_t cap) {
    if (Chars.size() >= cap || to <= from) return;
    const TByteView slice = block.Clamp(from, std::min(to - from, cap - Chars.size()));
    Chars.append(slice.Chars());
  }
};

// A finding made while a block was scanned: At is the offset of the byte that completed it,
// which orders the findings of the five recognisers as one byte-by-byte pass would.
struct TFound {
  uint64_t At;
  uint64_t Offset;
  std::string Text;
};

}  // namespace

struct TPatternSearch::TState {
  uint64_t Base = 0;  // offset of the next byte fed

  // GUID: "{" then GUID-body bytes until "}".
  bool GuidOpen = false;
  uint64_t GuidStart = 0;
  TText Guid;

  // URL: the prefix "http://" matched up to UrlMatched bytes, then URL-body bytes.
  int UrlMatched = 0;
  uint64_t UrlStart = 0;
  TText Url;

  // Registry: five bytes each equal to that byte of "HKEY_" or of "SOFTWARE\", then body bytes.
  int RegMatched = 0;
  uint64_t RegStart = 0;
  TText Reg;

  // File name: a run of file-name bytes.
  uint64_t NameLength = 0;
  uint64_t NameStart = 0;
  uint32_t NameTail = 0;   // the last four bytes
  bool NameColonBad = false;  // a ":" somewhere else than at position 2
  TText Name;

  // String: a run of printable bytes, with what the filter needs tracked as it grows.
  bool InString = false;
  uint64_t StringLength = 0;
  uint64_t StringStart = 0;
  uint64_t PunctRun = 0;
  bool LeadingRun = false;  // the current punctuation run began at the first character
  bool StringBad = false;   // three punctuation characters in a row remain after the filter's drops
  TText String;

  std::vector<TFound> Found[PatternCategoryCount];

  void ScanGuids(TByteView block);
  void ScanUrls(TByteView block);
  void ScanRegistry(TByteView block);
  void ScanNames(TByteView block);
  void ScanStrings(TByteView block);
};

void TPatternSearch::TState::ScanGuids(TByteView block) {
  const size_t n = block.Size();
  const uint8_t* d = block.Data();
  size_t from = 0;  // where the open candidate's bytes in this block begin
  for (size_t i = 0; i < n; ++i) {
    if (!GuidOpen) {
      const void* brace = std::memchr(d + i, '{', n - i);
      if (!brace) break;
      i = static_cast<size_t>(static_cast<const uint8_t*>(brace) - d);
    }
    const uint8_t b = d[i];
    if (b == '{') {  // (re)starts the candidate
      GuidOpen = true;
      GuidStart = Base + i;
      Guid.Chars.clear();
      from = i;
    } else if (b == '}') {
      Guid.Add(block, from, i + 1, MaxFindingChars);
      Found[pcGUID].push_back({Base + i, GuidStart, std::move(Guid.Chars)});
      Guid.Chars.clear();
      GuidOpen = false;
    } else if (!Is(b, ccGuid)) {
      GuidOpen = false;
      Guid.Chars.clear();
    }
  }
  if (GuidOpen) Guid.Add(block, from, n, MaxFindingChars);
}

void TPatternSearch::TState::ScanUrls(TByteView block) {
  static constexpr char kPrefix[] = "http://";
  const size_t n = block.Size();
  const uint8_t* d = block.Data();
  size_t from = 0;
  for (size_t i = 0; i < n; ++i) {
    if (UrlMatched == 0) {
      const void* h = std::memchr(d + i, 'h', n - i);
      if (!h) break;
      i = static_cast<size_t>(static_cast<const uint8_t*>(h) - d);
    }
    const uint8_t b = d[i];
    if (UrlMatched < 7) {
      if (b == static_cast<uint8_t>(kPrefix[UrlMatched])) {
        if (UrlMatched == 0) {
          UrlStart = Base + i;
          Url.Chars.clear();
          from = i;
        }
        ++UrlMatched;
      } else {
        UrlMatched = 0;  // the mismatching byte is not tried as a new start
      }
    } else if (!Is(b, ccUrl)) {
      // The ending byte is not examined as the start of a new prefix.
      Url.Add(block, from, i, MaxFindingChars);
      Found[pcURL].push_back({Base + i, UrlStart, std::move(Url.Chars)});
      Url.Chars.clear();
      UrlMatched = 0;
    }
  }
  if (UrlMatched > 0) Url.Add(block, from, n, MaxFindingChars);
}

void TPatternSearch::TState::ScanRegistry(TByteView block) {
  static constexpr char kKey[] = "HKEY_";
  static constexpr char kSoftware[] = "SOFTW";  // only the first five bytes of "SOFTWARE\" count
  const size_t n = block.Size();
  const uint8_t* d = block.Data();
  size_t from = 0;
  // The next "H" and "S" at or after i, found with memchr and kept until passed.
  if (n == 0) return;
  auto next = [&](size_t at, uint8_t byte) {
    const void* hit = std::memchr(d + at, byte, n - at);
    return hit ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - d) : n;
  };
  size_t nextH = next(0, 'H'), nextS = next(0, 'S');
  for (size_t i = 0; i < n; ++i) {
    if (RegMatched == 0) {
      if (nextH < i) nextH = next(i, 'H');
      if (nextS < i) nextS = next(i, 'S');
      i = std::min(nextH, nextS);
      if (i == n) break;
    }
    const uint8_t b = d[i];
    if (RegMatched < 5) {
      if (b == static_cast<uint8_t>(kKey[RegMatched]) || b == static_cast<uint8_t>(kSoftware[RegMatched])) {
        if (RegMatched == 0) {
          RegStart = Base + i;
          Reg.Chars.clear();
          from = i;
        }
        ++RegMatched;
      } else {
        RegMatched = 0;
      }
    } else if (!Is(b, ccRegistry)) {
      Reg.Add(block, from, i, MaxFindingChars);
      Found[pcRegistry].push_back({Base + i, RegStart, std::move(Reg.Chars)});
      Reg.Chars.clear();
      RegMatched = 0;
    }
  }
  if (RegMatched > 0) Reg.Add(block, from, n, MaxFindingChars);
}

void TPatternSearch::TState::ScanNames(TByteView block) {
  const size_t n = block.Size();
  const uint8_t* d = block.Data();
  size_t from = 0;
  size_t i = 0;
  while (i < n) {
    if (NameLength == 0) {
      i = SkipShortRuns(d, i, n, ccName);
      if (i == n) break;
      NameStart = Base + i;
      NameColonBad = false;
      Name.Chars.clear();
      from = i;
    }
    // The run, without branches on its bytes: the last four bytes and any ":" that is not
    // the second character.
    size_t j = i;
    uint32_t tail = NameTail;
    bool colonBad = NameColonBad;
    const uint64_t second = i + 1 - NameLength;  // the j of position 2 (wraps past any j once passed)
    while (j < n && Is(d[j], ccName)) {
      const uint8_t b = d[j];
      tail = tail << 8 | b;
      colonBad |= (b == ':') & (j != second);
      ++j;
    }
    NameTail = tail;
    NameColonBad = colonBad;
    NameLength += j - i;
    if (j == n) break;  // goes on in the next block
    if (NameLength >= 5 && !NameColonBad) {
      Name.Add(block, from, j, MaxFindingChars);
      const std::string& f = Name.Chars;
      // A ":" at position 2 must be followed by "\"; the name ends in "." and three letters.
      const bool driveOk = f.size() < 3 || f[1] != ':' || f[2] == '\\';
      const bool extension = (NameTail >> 24) == '.' && Is(static_cast<uint8_t>(NameTail >> 16), ccLetter) &&
                             Is(static_cast<uint8_t>(NameTail >> 8), ccLetter) &&
                             Is(static_cast<uint8_t>(NameTail), ccLetter);
      if (driveOk && extension) Found[pcFileName].push_back({Base + j, NameStart, std::move(Name.Chars)});
    }
    Name.Chars.clear();
    NameLength = 0;
    i = j + 1;
  }
  if (NameLength > 0) Name.Add(block, from, n, MaxFindingChars);
}

void TPatternSearch::TState::ScanStrings(TByteView block) {
  // The filter drops up to two leading punctuation characters, so a run of punctuation at
  // the start makes three in a row only from five on; elsewhere from three on. The text keeps
  // two characters more than a finding may hold, for those drops.
  constexpr size_t kKeep = MaxFindingChars + 2;
  const size_t n = block.Size();
  const uint8_t* d = block.Data();
  size_t from = 0;
  size_t i = 0;
  while (i < n) {
    if (!InString) {
      i = SkipShortRuns(d, i, n, ccPrintable);
      if (i == n) break;
      InString = true;
      StringStart = Base + i;
      StringLength = 0;
      PunctRun = 0;
      LeadingRun = true;
      StringBad = false;
      String.Chars.clear();
      from = i;
    }
    // The run, without branches on its bytes.
    size_t j = i;
    uint64_t run = PunctRun;
    uint64_t leading = LeadingRun;
    uint64_t bad = StringBad;
    while (j < n) {
      const uint8_t c = kClass[d[j]];
      if (!(c & ccPrintable)) break;
      const uint64_t punct = (c >> 1) & 1;  // ccPunct
      run = (run + 1) & (0 - punct);
      leading &= punct;
      bad |= run >= 3 + 2 * leading;
      ++j;
    }
    PunctRun = run;
    LeadingRun = leading;
    StringBad = bad;
    StringLength += j - i;
    if (j == n) break;  // goes on in the next block
    InString = false;
    i = j + 1;
    if (StringBad || StringLength < 5) continue;
    String.Add(block, from, j, kKeep);
    const std::string& s = String.Chars;
    const size_t drop = Is(static_cast<uint8_t>(s[0]), ccPunct) ? (Is(static_cast<uint8_t>(s[1]), ccPunct) ? 2 : 1) : 0;
    if (StringLength - drop < 5) continue;
    Found[pcString].push_back({Base + j, StringStart, s.substr(drop, MaxFindingChars)});
  }
  if (InString) String.Add(block, from, n, kKeep);
}

TPatternSearch::TPatternSearch() : FState(std::make_unique<TState>()) {}
TPatternSearch::~TPatternSearch() = default;

void TPatternSearch::Begin(uint64_t origin) {
  for (auto& list : Lists) list.clear();
  FState = std::make_unique<TState>();
  FState->Base = origin;
}

void TPatternSearch::Feed(TByteView block) {
  TState& s = *FState;
  s.ScanGuids(block);
  s.ScanUrls(block);
  s.ScanRegistry(block);
  s.ScanNames(block);
  s.ScanStrings(block);
  s.Base += block.Size();

  // Report in the order of the byte that completed each finding, GUID first on a tie.
  size_t next[PatternCategoryCount] = {};
  for (;;) {
    int best = -1;
    for (int c = 0; c < PatternCategoryCount; ++c)
      if (next[c] < s.Found[c].size() && (best < 0 || s.Found[c][next[c]].At < s.Found[best][next[best]].At)) best = c;
    if (best < 0) break;
    TFound& f = s.Found[best][next[best]++];
    const auto category = static_cast<TPatternCategory>(best);
    if (KeepLists) Lists[best].push_back(f.Text + "=" + OffsetText(f.Offset));
    if (OnFound) OnFound(category, f.Text, f.Offset);
  }
  for (auto& found : s.Found) found.clear();
}

void TPatternSearch::End() {
  // Nothing is flushed: a candidate still being collected is dropped.
  const uint64_t base = FState->Base;
  FState = std::make_unique<TState>();
  FState->Base = base;
}

bool TPatternSearch::Search(TFileReader& file) {
  Begin(0);
  if (!file.Seek(0)) return false;
  const uint64_t size = file.Size() > 0 ? static_cast<uint64_t>(file.Size()) : 0;
  std::vector<uint8_t> buffer(std::max<size_t>(BlockSize, 1));
  uint64_t position = 0;
  for (;;) {
    const size_t got = file.Read(buffer.data(), buffer.size());
    if (got == 0) break;
    position += got;
    if (OnProgress) {
      // A file that grows while it is read stays at 100.
      const uint64_t percent = size == 0 ? 0 : std::min<uint64_t>(100, (position * 200 + size) / (size * 2));
      OnProgress(static_cast<uint8_t>(percent), size, position);
    }
    Feed(TByteView(buffer.data(), got));
    if (StopRequested && StopRequested()) {
      End();
      return false;
    }
  }
  End();
  return !file.Failed();
}

bool TPatternSearch::SearchFile(const std::string& fileName, std::string* error) {
  TFileReader file;
  if (!file.Open(fileName)) {
    if (error) *error = file.Error();
    return false;
  }
  const bool ok = Search(file);
  if (!ok && error && file.Failed()) *error = file.Error();
  return ok;
}

}  // namespace bq
