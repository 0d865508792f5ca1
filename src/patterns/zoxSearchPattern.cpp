#include "patterns/zoxSearchPattern.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/bqFile.h"
#include "platform/bqText.h"

namespace bq {

const char* const PatternCategoryNames[PatternCategoryCount] = {
    "GUIDs", "URLs", "Registry Locations", "Filenames", "Strings", "E-mail Addresses", "IP Addresses"};
const char* const PatternEncodingNames[2] = {"ASCII", "UTF-16"};

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
  ccIp = 128,       // 0-9 .
};

// Second table: the e-mail classes.
enum : uint8_t {
  ccLocal = 1,      // A-Z a-z 0-9 . _ % + -
  ccDomain = 2,     // A-Z a-z 0-9 . -
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
  add('0', '9', ccIp), add('.', '.', ccIp);
  return t;
}
constexpr std::array<uint8_t, 256> kClass = MakeClasses();

constexpr std::array<uint8_t, 256> MakeClasses2() {
  std::array<uint8_t, 256> t{};
  auto add = [&t](int from, int to, uint8_t bit) {
    for (int c = from; c <= to; ++c) t[static_cast<size_t>(c)] |= bit;
  };
  add('A', 'Z', ccLocal | ccDomain), add('a', 'z', ccLocal | ccDomain), add('0', '9', ccLocal | ccDomain);
  add('.', '.', ccLocal | ccDomain), add('-', '-', ccLocal | ccDomain);
  add('_', '_', ccLocal), add('%', '%', ccLocal), add('+', '+', ccLocal);
  return t;
}
constexpr std::array<uint8_t, 256> kClass2 = MakeClasses2();

inline bool Is(uint8_t byte, uint8_t cls) { return (kClass[byte] & cls) != 0; }
inline bool Is2(uint8_t byte, uint8_t cls) { return (kClass2[byte] & cls) != 0; }
inline uint8_t Lower(uint8_t b) { return b >= 'A' && b <= 'Z' ? static_cast<uint8_t>(b + 32) : b; }

// The next occurrence of any of a few bytes at or after a position of one block, found with
// memchr per byte and kept until passed.
template <size_t Count>
struct TNextOf {
  const uint8_t* D;
  size_t N;
  std::array<uint8_t, Count> Bytes;
  std::array<size_t, Count> At{};
  TNextOf(const uint8_t* d, size_t n, std::array<uint8_t, Count> bytes) : D(d), N(n), Bytes(bytes) {
    for (size_t k = 0; k < Count; ++k) Find(k, 0);
  }
  void Find(size_t k, size_t i) {
    const void* hit = i < N ? std::memchr(D + i, Bytes[k], N - i) : nullptr;
    At[k] = hit ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - D) : N;
  }
  size_t From(size_t i) {
    size_t best = N;
    for (size_t k = 0; k < Count; ++k) {
      if (At[k] < i) Find(k, i);
      best = std::min(best, At[k]);
    }
    return best;
  }
};

// Where a run of bytes of one class that can matter begins: the first j >= from with bytes j
// to j + 4 all in the class, else the start of a shorter run that reaches the end of the block
// (it may go on in the next one), else n. A run of fewer than five bytes that ends inside the
// block yields nothing for the file-name and string recognisers, so it is passed over; the
// count has no branch on the bytes, only on reaching five (MinRun).
template <size_t MinRun = 5>
inline size_t SkipShortRuns(const uint8_t* d, size_t from, size_t n, uint8_t cls) {
  size_t run = 0;
  for (size_t j = from; j < n; ++j) {
    run = (run + 1) & (0 - static_cast<size_t>((kClass[d[j]] & cls) != 0));
    if (run == MinRun) return j - (MinRun - 1);
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

constexpr std::string_view kUrlPrefixes[] = {"http://", "https://", "ftp://", "file://"};
// Compared with the bytes lower-cased.
constexpr std::string_view kKeyPrefixes[] = {"hklm\\", "hkcu\\", "hkcr\\", "hku\\", "hkey_", "software\\"};

// Four parts of 0 to 255 in decimal without leading zeros, joined by dots.
bool IsIPv4(std::string_view t) {
  int parts = 0;
  size_t i = 0;
  while (i <= t.size()) {
    size_t j = i;
    unsigned value = 0;
    while (j < t.size() && t[j] != '.') value = value * 10 + static_cast<unsigned>(t[j++] - '0');
    const size_t digits = j - i;
    if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && t[i] == '0')) return false;
    ++parts;
    i = j + 1;
  }
  return parts == 4;
}

// The recognisers over one text: the file's bytes, or the UTF-16 code units at one byte
// alignment, one byte per unit (the character, or 0 when the unit is not printable ASCII).
// Offsets here are those of the text's characters.
struct TScanner {
  uint64_t Base = 0;  // offset of the next character fed

  // GUID: "{" then GUID-body bytes until "}".
  bool GuidOpen = false;
  uint64_t GuidStart = 0;
  TText Guid;

  // URL: a prefix matched up to UrlMatched bytes (UrlAlive: the prefixes still possible),
  // then URL-body bytes.
  int UrlMatched = 0;
  uint8_t UrlAlive = 0;
  bool UrlBody = false;
  uint64_t UrlStart = 0;
  TText Url;

  // Registry: five bytes each equal to that byte of "HKEY_" or of "SOFTWARE\" (RegMatched),
  // or one of the case-free prefixes (KeyMatched, KeyAlive); then body bytes.
  int RegMatched = 0;
  uint64_t RegStart = 0;
  char RegPrefix[5] = {};
  int KeyMatched = 0;
  uint8_t KeyAlive = 0;
  uint64_t KeyStart = 0;
  char KeyPrefix[9] = {};
  bool RegBody = false;
  uint64_t RegBodyStart = 0;
  TText Reg;

  // File name: a run of file-name bytes.
  uint64_t NameLength = 0;
  uint64_t NameStart = 0;
  uint32_t NameTail = 0;   // the last four bytes
  bool NameColonBad = false;  // a ":" somewhere else than at position 2
  bool NameBlank = false;     // a blank in the run: it may hold several names
  TText Name;

  // String: a run of printable bytes, with what the filter needs tracked as it grows.
  bool InString = false;
  uint64_t StringLength = 0;
  uint64_t StringStart = 0;
  uint64_t PunctRun = 0;
  bool LeadingRun = false;  // the current punctuation run began at the first character
  bool StringBad = false;   // three punctuation characters in a row remain after the filter's drops
  TText String;

  // E-mail: the run of local-part bytes that reaches the end of the text so far (LocalCarry,
  // from LocalStart), then after "@" the domain with what its end needs: whether the current
  // dot-separated part follows a dot that has something before it, its letters, and the
  // furthest end that closes a top-level part of 2 to 24 letters.
  bool LocalCarry = false;
  uint64_t LocalStart = 0;
  TText Local;
  uint64_t EmailFloor = 0;  // a local part starts no earlier than the end of the last address
  bool InDomain = false;
  uint64_t EmailStart = 0, DomainLength = 0, EmailEnd = 0;
  bool PartAfterDot = false;
  unsigned PartLetters = 0;
  TText Email;  // the local part, "@" and the domain

  // IPv4: a run of digits and dots.
  uint64_t IpLength = 0;
  uint64_t IpStart = 0;
  TText Ip;

  std::vector<TFound> Found[PatternCategoryCount];

  void Scan(TByteView block) {
    ScanGuids(block);
    ScanUrls(block);
    ScanRegistry(block);
    ScanNames(block);
    ScanStrings(block);
    ScanEmails(block);
    ScanIps(block);
    Base += block.Size();
  }
  void ScanGuids(TByteView block);
  void ScanUrls(TByteView block);
  void ScanRegistry(TByteView block);
  void ScanNames(TByteView block);
  void ReportNames(std::string_view run, uint64_t offset, uint64_t at);
  void ScanStrings(TByteView block);
  void ScanEmails(TByteView block);
  void DomainEnd(uint64_t at);
  void ScanIps(TByteView block);
};


void TScanner::ScanGuids(TByteView block) {
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


void TScanner::ScanUrls(TByteView block) {
  const size_t n = block.Size();
  const uint8_t* d = block.Data();
  size_t from = 0;
  TNextOf<2> starts(d, n, {'h', 'f'});
  for (size_t i = 0; i < n; ++i) {
    if (UrlBody) {
      size_t j = i;
      while (j < n && Is(d[j], ccUrl)) ++j;
      if (j == n) break;
      // The ending byte is not examined as the start of a new prefix.
      Url.Add(block, from, j, MaxFindingChars);
      Found[pcURL].push_back({Base + j, UrlStart, std::move(Url.Chars)});
      Url.Chars.clear();
      UrlBody = false;
      UrlMatched = 0;
      i = j;
      continue;
    }
    if (UrlMatched == 0) {
      i = starts.From(i);
      if (i == n) break;
    }
    const uint8_t b = d[i];
    const uint8_t alive = UrlMatched == 0 ? 0xF : UrlAlive;
    uint8_t next = 0;
    int done = -1;
    for (int k = 0; k < 4; ++k) {
      if (!(alive >> k & 1) || static_cast<uint8_t>(kUrlPrefixes[k][static_cast<size_t>(UrlMatched)]) != b) continue;
      next = static_cast<uint8_t>(next | 1 << k);
      if (kUrlPrefixes[k].size() == static_cast<size_t>(UrlMatched) + 1) done = k;
    }
    if (!next) {
      UrlMatched = 0;  // the mismatching byte is not tried as a new start
      continue;
    }
    if (UrlMatched == 0) UrlStart = Base + i;
    ++UrlMatched;
    UrlAlive = next;
    if (done >= 0) {
      UrlBody = true;
      Url.Chars.assign(kUrlPrefixes[done]);
      from = i + 1;
    }
  }
  if (UrlBody) Url.Add(block, from, n, MaxFindingChars);
}

void TScanner::ScanRegistry(TByteView block) {
  static constexpr char kKey[] = "HKEY_";
  static constexpr char kSoftware[] = "SOFTW";  // only the first five bytes of "SOFTWARE\" count
  const size_t n = block.Size();
  const uint8_t* d = block.Data();
  size_t from = 0;
  TNextOf<4> starts(d, n, {'H', 'S', 'h', 's'});
  for (size_t i = 0; i < n; ++i) {
    if (RegBody) {
      size_t j = i;
      while (j < n && Is(d[j], ccRegistry)) ++j;
      if (j == n) break;
      Reg.Add(block, from, j, MaxFindingChars);
      Found[pcRegistry].push_back({Base + j, RegBodyStart, std::move(Reg.Chars)});
      Reg.Chars.clear();
      RegBody = false;
      i = j;
      continue;
    }
    if (RegMatched == 0 && KeyMatched == 0) {
      i = starts.From(i);
      if (i == n) break;
    }
    const uint8_t b = d[i];
    // "HKEY_" and "SOFTW" position by position; a mismatching byte is not tried again.
    bool regDone = false;
    if (b == static_cast<uint8_t>(kKey[RegMatched]) || b == static_cast<uint8_t>(kSoftware[RegMatched])) {
      if (RegMatched == 0) RegStart = Base + i;
      RegPrefix[RegMatched++] = static_cast<char>(b);
      regDone = RegMatched == 5;
    } else {
      RegMatched = 0;
    }
    // The case-free prefixes; a mismatching byte may begin a new one (no prefix holds its own
    // first letter again, so this finds every occurrence).
    const uint8_t lower = Lower(b);
    bool keyDone = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
      const uint8_t alive = KeyMatched == 0 ? 0x3F : KeyAlive;
      uint8_t next = 0;
      for (int k = 0; k < 6; ++k) {
        if (!(alive >> k & 1) || static_cast<uint8_t>(kKeyPrefixes[k][static_cast<size_t>(KeyMatched)]) != lower) continue;
        next = static_cast<uint8_t>(next | 1 << k);
        keyDone |= kKeyPrefixes[k].size() == static_cast<size_t>(KeyMatched) + 1;
      }
      if (next) {
        if (KeyMatched == 0) KeyStart = Base + i;
        KeyPrefix[KeyMatched++] = static_cast<char>(b);
        KeyAlive = next;
        break;
      }
      if (KeyMatched == 0) break;
      KeyMatched = 0;
    }
    if (!regDone && !keyDone) continue;
    RegBody = true;
    if (regDone && (!keyDone || RegStart <= KeyStart)) {
      RegBodyStart = RegStart;
      Reg.Chars.assign(RegPrefix, 5);
    } else {
      RegBodyStart = KeyStart;
      Reg.Chars.assign(KeyPrefix, static_cast<size_t>(KeyMatched));
    }
    RegMatched = KeyMatched = 0;
    from = i + 1;
  }
  if (RegBody) Reg.Add(block, from, n, MaxFindingChars);
}

// A run of file-name bytes that holds a blank: the names in it. Leading and trailing blanks
// are no part of a name; the text up to each blank is tested as a name, and when it is one,
// the next name begins after the blank, so a command line yields its program and file
// arguments while a path with blanks that ends in an extension stays whole.
void TScanner::ReportNames(std::string_view run, uint64_t offset, uint64_t at) {
  const size_t size = run.size();
  size_t begin = 0;
  while (begin < size && run[begin] == ' ') ++begin;
  bool colonAt2 = false, colonBad = false;
  auto valid = [&](size_t end) {
    const size_t length = end - begin;
    if (length < 5 || colonBad) return false;
    if (colonAt2 && run[begin + 2] != '\\') return false;
    return run[end - 4] == '.' && Is(static_cast<uint8_t>(run[end - 3]), ccLetter) &&
           Is(static_cast<uint8_t>(run[end - 2]), ccLetter) && Is(static_cast<uint8_t>(run[end - 1]), ccLetter);
  };
  for (size_t i = begin; i < size; ++i) {
    const char c = run[i];
    if (c == ':') (i == begin + 1 ? colonAt2 : colonBad) = true;
    const bool last = i + 1 == size;
    if (c == ' ' && run[i - 1] != ' ' && valid(i)) {
      Found[pcFileName].push_back({at, offset + begin, std::string(run.substr(begin, i - begin))});
      while (i + 1 < size && run[i + 1] == ' ') ++i;
      begin = i + 1;
      colonAt2 = colonBad = false;
    } else if (last && c != ' ' && valid(size)) {
      Found[pcFileName].push_back({at, offset + begin, std::string(run.substr(begin))});
    }
  }
}

void TScanner::ScanNames(TByteView block) {
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
      NameBlank = false;
      Name.Chars.clear();
      from = i;
    }
    // The run, without branches on its bytes: the last four bytes, any ":" that is not the
    // second character, and any blank.
    size_t j = i;
    uint32_t tail = NameTail;
    bool colonBad = NameColonBad;
    bool blank = NameBlank;
    const uint64_t second = i + 1 - NameLength;  // the j of position 2 (wraps past any j once passed)
    while (j < n && Is(d[j], ccName)) {
      const uint8_t b = d[j];
      tail = tail << 8 | b;
      colonBad |= (b == ':') & (j != second);
      blank |= b == ' ';
      ++j;
    }
    NameTail = tail;
    NameColonBad = colonBad;
    NameBlank = blank;
    NameLength += j - i;
    if (j == n) break;  // goes on in the next block
    if (NameBlank && NameLength <= MaxFindingChars) {
      Name.Add(block, from, j, MaxFindingChars);
      ReportNames(Name.Chars, NameStart, Base + j);
    } else if (NameLength >= 5 && !NameColonBad) {
      // (A run too long to keep whole is tested as one name.)
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
void TScanner::ScanStrings(TByteView block) {
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

// The domain ended before the character at offset at: report the address up to the furthest
// end found, if any.
void TScanner::DomainEnd(uint64_t at) {
  if (PartAfterDot && PartLetters >= 2 && PartLetters <= 24) EmailEnd = at;
  InDomain = false;
  if (EmailEnd == 0) return;
  const uint64_t length = EmailEnd - EmailStart;
  Found[pcEmail].push_back({at, EmailStart, Email.Chars.substr(0, static_cast<size_t>(std::min<uint64_t>(length, MaxFindingChars)))});
  EmailFloor = EmailEnd;
}

void TScanner::ScanEmails(TByteView block) {
  const size_t n = block.Size();
  const uint8_t* d = block.Data();
  if (n == 0) return;
  // A local part starts no earlier than the end of the last address.
  auto floorInBlock = [&] { return EmailFloor > Base ? static_cast<size_t>(std::min<uint64_t>(EmailFloor - Base, n)) : 0; };
  size_t i = 0;
  while (i < n) {
    if (!InDomain) {
      const void* hit = std::memchr(d + i, '@', n - i);
      if (!hit) break;
      const size_t at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - d);
      i = at + 1;
      // The local part: the run of local-part bytes before the "@", from the run carried over
      // from earlier blocks when it reaches this block's start.
      const size_t low = floorInBlock();
      size_t k = at;
      while (k > low && Is2(d[k - 1], ccLocal)) --k;
      const uint64_t carried = std::max(LocalStart, EmailFloor);
      if (k == 0 && LocalCarry && carried < Base) {
        EmailStart = carried;
        Email.Chars = Local.Chars.substr(static_cast<size_t>(std::min<uint64_t>(carried - LocalStart, Local.Chars.size())));
      } else {
        if (k == at) continue;  // nothing before the "@"
        EmailStart = Base + k;
        Email.Chars.clear();
      }
      Email.Add(block, k, at + 1, MaxFindingChars);
      InDomain = true;
      DomainLength = 0;
      EmailEnd = 0;
      PartAfterDot = false;
      PartLetters = 0;
    }
    const size_t first = i;
    for (; i < n; ++i) {
      const uint8_t b = d[i];
      if (!Is2(b, ccDomain)) break;
      if (b == '.' || b == '-') {
        // A top-level part ends here when a dot or hyphen follows it.
        if (PartAfterDot && PartLetters >= 2 && PartLetters <= 24) EmailEnd = Base + i;
        PartAfterDot = b == '.' && DomainLength > 0;
        PartLetters = 0;
      } else if (Is(b, ccLetter)) {
        PartLetters = std::min(PartLetters + 1, 25u);
      } else {
        PartAfterDot = false;  // a digit
      }
      ++DomainLength;
    }
    Email.Add(block, first, i, MaxFindingChars);
    if (i == n) break;
    DomainEnd(Base + i);
    if (d[i] != '@') ++i;  // a "@" may end one address and begin the next
  }
  // The run of local-part bytes at the end of the block, for an "@" in the next one.
  const size_t low = floorInBlock();
  size_t k = n;
  while (k > low && Is2(d[k - 1], ccLocal)) --k;
  if (k == n) {
    LocalCarry = false;
    Local.Chars.clear();
  } else if (k == 0 && LocalCarry) {
    Local.Add(block, 0, n, MaxFindingChars);  // the whole block goes on with the run
  } else {
    LocalCarry = true;
    LocalStart = Base + k;
    Local.Chars.clear();
    Local.Add(block, k, n, MaxFindingChars);
  }
}

void TScanner::ScanIps(TByteView block) {
  const size_t n = block.Size();
  const uint8_t* d = block.Data();
  size_t from = 0;
  size_t i = 0;
  while (i < n) {
    if (IpLength == 0) {
      i = SkipShortRuns<7>(d, i, n, ccIp);  // 0.0.0.0 is the shortest
      if (i == n) break;
      IpStart = Base + i;
      Ip.Chars.clear();
      from = i;
    }
    size_t j = i;
    while (j < n && Is(d[j], ccIp)) ++j;
    IpLength += j - i;
    if (j == n) break;
    if (IpLength <= 15) {
      Ip.Add(block, from, j, 16);
      if (IsIPv4(Ip.Chars)) Found[pcIPAddress].push_back({Base + j, IpStart, Ip.Chars});
    }
    Ip.Chars.clear();
    IpLength = 0;
    i = j + 1;
  }
  if (IpLength > 0) Ip.Add(block, from, n, 16);
}

}  // namespace

// The file's bytes as three texts: the bytes themselves, and the UTF-16LE code units that begin
// at even and at odd offsets. A UTF-16 text's character k stands for the unit at 2k + its
// alignment, so a run of 8-bit text (whose units are not printable ASCII) is not read twice.
struct TPatternSearch::TState {
  uint64_t Base = 0;  // offset of the next byte fed
  bool HavePrevious = false;
  uint8_t Previous = 0;  // the byte before Base, for a unit split between two blocks
  TScanner Bytes;
  TScanner Units[2];  // by alignment
  std::vector<uint8_t> Decoded;

  explicit TState(uint64_t origin) : Base(origin) {
    // The first unit of an alignment is the first that begins at or after the origin.
    for (uint64_t a = 0; a < 2; ++a) Units[a].Base = (origin + ((origin ^ a) & 1) - a) / 2;
    Bytes.Base = origin;
  }

  void Feed(TByteView block) {
    const size_t n = block.Size();
    const uint8_t* d = block.Data();
    for (uint64_t a = 0; a < 2; ++a) {
      // One byte per unit: printable ASCII stays, everything else becomes 0.
      Decoded.resize(n / 2 + 1);
      uint8_t* out = Decoded.data();
      size_t count = 0;
      size_t j = static_cast<size_t>((Base ^ a) & 1);  // the first unit that begins in the block
      if (j == 1 && HavePrevious && n > 0) {
        out[count++] = d[0] == 0 && Previous >= 32 && Previous <= 126 ? Previous : 0;
      }
      for (; j + 1 < n; j += 2) {
        const uint8_t lo = d[j], hi = d[j + 1];
        out[count++] = static_cast<uint8_t>(hi == 0 && static_cast<uint8_t>(lo - 32) < 95 ? lo : 0);
      }
      Units[a].Scan(TByteView(out, count));
    }
    Bytes.Scan(block);
    if (n > 0) {
      HavePrevious = true;
      Previous = d[n - 1];
    }
    Base += n;
  }
};

TPatternSearch::TPatternSearch() : FState(std::make_unique<TState>(0)) {}
TPatternSearch::~TPatternSearch() = default;

void TPatternSearch::Begin(uint64_t origin) {
  for (auto& list : Lists) list.clear();
  FState = std::make_unique<TState>(origin);
}

void TPatternSearch::Feed(TByteView block) {
  TState& s = *FState;
  s.Feed(block);

  // Report in the order of the byte that completed each finding: the 8-bit text first on a
  // tie, then the even and the odd units; GUID first within one text.
  struct TList {
    std::vector<TFound>* Found;
    TPatternCategory Category;
    TPatternEncoding Encoding;
    uint64_t Scale, Shift;  // a text's offset k is the byte offset k * Scale + Shift
    size_t Next;
  };
  TList lists[3 * PatternCategoryCount];
  size_t count = 0;
  for (int t = 0; t < 3; ++t) {
    TScanner& scanner = t == 0 ? s.Bytes : s.Units[t - 1];
    for (int c = 0; c < PatternCategoryCount; ++c) {
      if (scanner.Found[c].empty()) continue;
      lists[count++] = {&scanner.Found[c], static_cast<TPatternCategory>(c), t == 0 ? peASCII : peUTF16,
                        t == 0 ? 1u : 2u, t == 0 ? 0u : static_cast<uint64_t>(t - 1), 0};
    }
  }
  // The byte that completed a finding: for a unit, its second byte.
  auto completed = [](const TList& l) {
    const TFound& f = (*l.Found)[l.Next];
    return f.At * l.Scale + l.Shift + (l.Scale - 1);
  };
  for (;;) {
    TList* best = nullptr;
    for (size_t k = 0; k < count; ++k)
      if (lists[k].Next < lists[k].Found->size() && (!best || completed(lists[k]) < completed(*best))) best = &lists[k];
    if (!best) break;
    TFound& f = (*best->Found)[best->Next++];
    const uint64_t offset = f.Offset * best->Scale + best->Shift;
    if (KeepLists) Lists[best->Category].push_back(f.Text + "=" + OffsetText(offset));
    if (OnFound) OnFound(best->Category, f.Text, offset, best->Encoding);
  }
  for (size_t k = 0; k < count; ++k) lists[k].Found->clear();
}

void TPatternSearch::End() {
  // Nothing is flushed: a candidate still being collected is dropped.
  FState = std::make_unique<TState>(FState->Base);
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
