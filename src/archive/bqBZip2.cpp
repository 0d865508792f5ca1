#include "archive/bqBZip2.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace bq {

namespace {
constexpr int kMaxGroups = 6, kMinGroups = 2, kGroupSize = 50, kMaxAlphabet = 258, kMaxCodeLength = 20;
constexpr uint32_t kMaxSelectors = 2 + 900000 / kGroupSize;  // what a 900k block can use
constexpr int kLookupBits = 10;
constexpr uint32_t kBlockMagicHigh = 0x314159, kBlockMagicLow = 0x265359;
constexpr uint32_t kEndMagicHigh = 0x177245, kEndMagicLow = 0x385090;
constexpr uint8_t kNsisBlock = 0x31, kNsisEnd = 0x17;
constexpr uint32_t kRunA = 0, kRunB = 1;

// CRC-32 of bzip2: polynomial 0x04C11DB7, most significant bit first.
struct TCrcTable {
  uint32_t T[256];
  TCrcTable() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i << 24;
      for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
      T[i] = c;
    }
  }
};
const TCrcTable kCrc;

// One Huffman table in canonical form: codes of a length are consecutive, in symbol order.
// Codes up to kLookupBits long are found in one look-up; longer ones by length.
struct THuffman {
  uint16_t Lookup[1 << kLookupBits];  // symbol << 5 | length; 0 for a longer code or none
  uint32_t First[kMaxCodeLength + 2];  // first code of each length
  uint16_t Count[kMaxCodeLength + 2];
  uint16_t Index[kMaxCodeLength + 2];  // position of that code's symbol in Symbols
  uint16_t Symbols[kMaxAlphabet];
  int MinLength = 0, MaxLength = 0;

  // False when the lengths claim more codes than there are (an over-full table).
  bool Build(const uint8_t* lengths, int alphabet) {
    std::memset(Count, 0, sizeof Count);
    for (int i = 0; i < alphabet; ++i) ++Count[lengths[i]];
    uint32_t code = 0, position = 0;
    MinLength = kMaxCodeLength + 1;
    MaxLength = 0;
    for (int length = 1; length <= kMaxCodeLength; ++length) {
      First[length] = code;
      Index[length] = static_cast<uint16_t>(position);
      code += Count[length];
      position += Count[length];
      if (code > (1u << length)) return false;
      code <<= 1;
      if (Count[length]) {
        MinLength = std::min(MinLength, length);
        MaxLength = length;
      }
    }
    uint16_t next[kMaxCodeLength + 2];
    std::memcpy(next, Index, sizeof next);
    for (int i = 0; i < alphabet; ++i) Symbols[next[lengths[i]]++] = static_cast<uint16_t>(i);
    std::memset(Lookup, 0, sizeof Lookup);
    for (int length = 1; length <= std::min(kMaxCodeLength, kLookupBits); ++length)
      for (uint32_t k = 0; k < Count[length]; ++k) {
        const uint32_t c = First[length] + k, span = 1u << (kLookupBits - length);
        const uint16_t entry = static_cast<uint16_t>(Symbols[Index[length] + k] << 5 | length);
        for (uint32_t j = 0; j < span; ++j) Lookup[(c << (kLookupBits - length)) + j] = entry;
      }
    return true;
  }
};
}  // namespace

struct TBZip2Stream::TState {
  TState(TArchiveSource& source, uint64_t offset, TBZip2Mode mode) : In(source, offset), Mode(mode) {}
  TSourceInput In;
  TBZip2Mode Mode;

  // Bits, most significant first: Count of them left-aligned in Bits. Past the end of the
  // input zero bytes come in, counted in PadBits; using one of them is a truncation.
  uint64_t Bits = 0;
  int Count = 0;
  uint64_t PadBits = 0;
  void Refill() {
    while (Count <= 56) {
      uint8_t b = 0;
      if (!In.Next(b)) PadBits += 8;
      Bits |= static_cast<uint64_t>(b) << (56 - Count);
      Count += 8;
    }
  }
  uint32_t Get(int n) {  // 1 <= n <= 32
    if (Count < n) Refill();
    const auto v = static_cast<uint32_t>(Bits >> (64 - n));
    Bits <<= n;
    Count -= n;
    return v;
  }
  bool Truncated() const { return PadBits > static_cast<uint64_t>(Count); }

  enum TPhase { phStream, phBlock, phOutput, phEnd, phError } Phase = phStream;
  uint32_t BlockMax = 0;
  uint32_t StreamCRC = 0, StoredStreamCRC = 0;

  // The current block: TT holds each byte in its low 8 bits and the inverse BWT links above.
  std::unique_ptr<uint32_t[]> TT;  // grows with the blocks, up to BlockMax entries
  uint32_t TTSize = 0;
  // Room for need entries, the first used of them kept; never beyond BlockMax.
  uint32_t* Room(uint32_t need, uint32_t used) {
    if (need > TTSize) {
      const uint32_t size = std::min(BlockMax, std::max({need, TTSize * 2, uint32_t{1} << 16}));
      std::unique_ptr<uint32_t[]> bigger(new uint32_t[size]);
      if (used) std::memcpy(bigger.get(), TT.get(), used * sizeof(uint32_t));
      TT = std::move(bigger);
      TTSize = size;
    }
    return TT.get();
  }
  uint32_t Length = 0, Taken = 0, Position = 0, OrigPtr = 0;
  uint32_t StoredCRC = 0, CRC = 0;
  // Run-length state of the output: the last byte, how many times in a row, copies still due.
  int Last = -1, Run = 0;
  uint32_t Repeat = 0;

  THuffman Tables[kMaxGroups];
  std::vector<uint8_t> Selectors;

  uint32_t DecodeSymbol(const THuffman& h, bool& ok) {
    if (Count < kMaxCodeLength) Refill();
    const uint16_t e = h.Lookup[Bits >> (64 - kLookupBits)];
    if (e) {
      const int n = e & 31;
      Bits <<= n;
      Count -= n;
      return e >> 5;
    }
    for (int length = std::max(h.MinLength, kLookupBits + 1); length <= h.MaxLength; ++length) {
      const uint32_t code = static_cast<uint32_t>(Bits >> (64 - length));
      if (code - h.First[length] < h.Count[length]) {
        Bits <<= length;
        Count -= length;
        return h.Symbols[h.Index[length] + code - h.First[length]];
      }
    }
    ok = false;
    return 0;
  }
};

TBZip2Stream::TBZip2Stream(TArchiveSource& source, uint64_t offset, TBZip2Mode mode)
    : S(std::make_unique<TState>(source, offset, mode)) {
  if (mode == TBZip2Mode::bzNSIS) {
    S->BlockMax = 900000;
    S->Phase = TState::phBlock;
  }
}

TBZip2Stream::~TBZip2Stream() = default;

bool TBZip2Stream::HasSignature(const uint8_t* data, size_t size) {
  if (size < 10 || data[0] != 'B' || data[1] != 'Z' || data[2] != 'h' || data[3] < '1' || data[3] > '9') return false;
  return std::memcmp(data + 4, "\x31\x41\x59\x26\x53\x59", 6) == 0 ||  // a block
         std::memcmp(data + 4, "\x17\x72\x45\x38\x50\x90", 6) == 0;    // an empty stream's end
}

uint64_t TBZip2Stream::InputPosition() const {
  const uint64_t real = static_cast<uint64_t>(S->Count) > S->PadBits ? S->Count - S->PadBits : 0;
  return S->In.Offset() - real / 8;
}

bool TBZip2Stream::Fail(const char* message) {
  if (FError.empty()) FError = std::string("bzip2: ") + message;
  S->Phase = TState::phError;
  return false;
}

// "BZh" and the block size digit.
bool TBZip2Stream::StartStream() {
  TState& s = *S;
  if (s.Get(24) != 0x425A68) return Fail("no BZh signature");
  const uint32_t level = s.Get(8);
  if (level < '1' || level > '9' || s.Truncated()) return Fail("bad block size in the stream header");
  s.BlockMax = (level - '0') * 100000;
  s.StreamCRC = 0;
  s.Phase = TState::phBlock;
  return true;
}

// The next block's magic: a block is read, or the stream ends (and another may follow).
bool TBZip2Stream::NextBlock() {
  TState& s = *S;
  if (s.Mode == TBZip2Mode::bzNSIS) {
    const uint32_t marker = s.Get(8);
    if (s.Truncated()) return Fail("truncated");
    if (marker == kNsisEnd) {
      s.Phase = TState::phEnd;
      return true;
    }
    if (marker != kNsisBlock) return Fail("bad block marker");
    return ReadBlock();
  }
  const uint32_t high = s.Get(24), low = s.Get(24);
  if (s.Truncated()) return Fail("truncated");
  if (high == kBlockMagicHigh && low == kBlockMagicLow) return ReadBlock();
  if (high != kEndMagicHigh || low != kEndMagicLow) return Fail("bad block magic");
  s.StoredStreamCRC = s.Get(32);
  if (s.Truncated()) return Fail("truncated");
  if (s.StoredStreamCRC != s.StreamCRC) return Fail("stream CRC mismatch");
  // To the next byte; another stream may follow, anything else is ignored as bzip2 does.
  const int drop = s.Count % 8;
  if (drop) s.Get(drop);
  if (static_cast<uint64_t>(s.Count) < s.PadBits + 32) s.Refill();
  if (static_cast<uint64_t>(s.Count) >= s.PadBits + 32 && (s.Bits >> 40) == 0x425A68) {
    const uint32_t level = static_cast<uint32_t>(s.Bits >> 32) & 0xFF;
    if (level >= '1' && level <= '9') return StartStream();
  }
  s.Phase = TState::phEnd;
  return true;
}

bool TBZip2Stream::ReadBlock() {
  TState& s = *S;
  if (s.Mode == TBZip2Mode::bzStandard) {
    s.StoredCRC = s.Get(32);
    if (s.Get(1)) return Fail("randomised block (bzip2 0.9.0 and older) not supported");
  }
  s.OrigPtr = s.Get(24);

  // The byte values in use: 16 ranges of 16.
  uint8_t used[256];
  int inUse = 0;
  const uint32_t ranges = s.Get(16);
  for (int i = 0; i < 16; ++i)
    if (ranges & (0x8000u >> i)) {
      const uint32_t bits = s.Get(16);
      for (int j = 0; j < 16; ++j)
        if (bits & (0x8000u >> j)) used[inUse++] = static_cast<uint8_t>(i * 16 + j);
    }
  if (inUse == 0) return Fail("no byte values in use");
  const int alphabet = inUse + 2;

  const int groups = static_cast<int>(s.Get(3));
  if (groups < kMinGroups || groups > kMaxGroups) return Fail("bad Huffman table count");
  const uint32_t selectors = s.Get(15);
  if (selectors == 0) return Fail("no selectors");
  // Selectors, move-to-front coded in unary; those beyond what a block can use are read and
  // dropped.
  uint8_t order[kMaxGroups];
  for (int i = 0; i < groups; ++i) order[i] = static_cast<uint8_t>(i);
  s.Selectors.resize(std::min(selectors, kMaxSelectors));
  for (uint32_t i = 0; i < selectors; ++i) {
    int j = 0;
    while (s.Get(1)) {
      if (++j >= groups) return Fail("bad selector");
    }
    const uint8_t t = order[j];
    std::memmove(order + 1, order, static_cast<size_t>(j));
    order[0] = t;
    if (i < kMaxSelectors) s.Selectors[i] = t;
  }
  if (s.Truncated()) return Fail("truncated");

  // Code lengths: a start of 5 bits, then for each symbol a delta coded as 1x (x: 0 up, 1 down)
  // ended by a 0.
  for (int t = 0; t < groups; ++t) {
    uint8_t lengths[kMaxAlphabet];
    int length = static_cast<int>(s.Get(5));
    for (int i = 0; i < alphabet; ++i) {
      for (;;) {
        if (length < 1 || length > kMaxCodeLength) return Fail("bad Huffman code length");
        if (!s.Get(1)) break;
        length += s.Get(1) ? -1 : 1;
      }
      lengths[i] = static_cast<uint8_t>(length);
    }
    if (!s.Tables[t].Build(lengths, alphabet)) return Fail("bad Huffman table");
  }
  if (s.Truncated()) return Fail("truncated");

  // Symbols: RUNA/RUNB give runs of the front byte in bijective base 2, others move a byte to
  // the front; the last symbol ends the block.
  uint32_t* tt = s.Room(1, 0);
  uint32_t counts[256] = {};
  uint8_t mtf[256];
  for (int i = 0; i < 256; ++i) mtf[i] = static_cast<uint8_t>(i);
  const uint32_t endOfBlock = static_cast<uint32_t>(inUse + 1);
  const uint32_t selectorCount = static_cast<uint32_t>(s.Selectors.size());
  uint32_t n = 0, group = 0, left = 0;
  const THuffman* table = nullptr;
  bool ok = true;
  auto next = [&]() -> uint32_t {
    if (left == 0) {
      if (group >= selectorCount) {
        ok = false;
        return endOfBlock;
      }
      table = &s.Tables[s.Selectors[group++]];
      left = kGroupSize;
    }
    --left;
    return s.DecodeSymbol(*table, ok);
  };
  uint32_t symbol = next();
  while (ok && symbol != endOfBlock) {
    if (symbol <= kRunB) {
      uint32_t run = 0, weight = 1;
      do {
        run += weight << symbol;  // RUNA adds the weight, RUNB twice it
        weight <<= 1;
        if (run > s.BlockMax) return Fail("run past the block size");
        symbol = next();
      } while (ok && symbol <= kRunB);
      if (!ok) break;
      if (run > s.BlockMax - n) return Fail("run past the block size");
      const uint8_t b = used[mtf[0]];
      counts[b] += run;
      if (n + run > s.TTSize) tt = s.Room(n + run, n);
      for (uint32_t k = 0; k < run; ++k) tt[n++] = b;
      continue;
    }
    if (n >= s.BlockMax) return Fail("block larger than its size");
    const uint32_t k = symbol - 1;
    const uint8_t v = mtf[k];
    std::memmove(mtf + 1, mtf, k);
    mtf[0] = v;
    const uint8_t b = used[v];
    ++counts[b];
    if (n == s.TTSize) tt = s.Room(n + 1, n);
    tt[n++] = b;
    symbol = next();
  }
  if (!ok) return Fail(s.Truncated() ? "truncated" : "bad Huffman code");
  if (s.Truncated()) return Fail("truncated");
  if (s.OrigPtr >= n) return Fail("origin pointer outside of the block");

  // The inverse BWT: each position links to the next in output order.
  uint32_t start[256];
  for (uint32_t i = 0, sum = 0; i < 256; ++i) {
    start[i] = sum;
    sum += counts[i];
  }
  for (uint32_t i = 0; i < n; ++i) tt[start[tt[i] & 0xFF]++] |= i << 8;
  s.Length = n;
  s.Taken = 0;
  s.Position = tt[s.OrigPtr] >> 8;
  s.CRC = 0xFFFFFFFFu;
  s.Last = -1;
  s.Run = 0;
  s.Repeat = 0;
  s.Phase = TState::phOutput;
  return true;
}

size_t TBZip2Stream::Read(uint8_t* buffer, size_t count) {
  TState& s = *S;
  size_t done = 0;
  while (done < count) {
    if (s.Phase == TState::phStream) {
      if (!StartStream()) break;
      continue;
    }
    if (s.Phase == TState::phBlock) {
      if (!NextBlock()) break;
      continue;
    }
    if (s.Phase != TState::phOutput) break;
    // Bytes of the block: runs of four equal bytes are followed by a count of more copies.
    const uint32_t* tt = s.TT.get();
    uint32_t crc = s.CRC, position = s.Position, taken = s.Taken, repeat = s.Repeat;
    int last = s.Last, run = s.Run;
    const uint32_t length = s.Length;
    while (done < count) {
      uint8_t b;
      if (repeat) {
        --repeat;
        b = static_cast<uint8_t>(last);
      } else {
        if (taken == length) break;
        const uint32_t e = tt[position];
        position = e >> 8;
        ++taken;
        b = static_cast<uint8_t>(e);
        if (run == 4) {
          repeat = b;
          run = 0;
          continue;
        }
        if (b == last) {
          ++run;
        } else {
          run = 1;
          last = b;
        }
      }
      buffer[done++] = b;
      crc = (crc << 8) ^ kCrc.T[(crc >> 24) ^ b];
    }
    s.CRC = crc;
    s.Position = position;
    s.Taken = taken;
    s.Repeat = repeat;
    s.Last = last;
    s.Run = run;
    if (taken == length && repeat == 0) {
      if (s.Mode == TBZip2Mode::bzStandard) {
        const uint32_t blockCRC = ~crc;
        if (blockCRC != s.StoredCRC) {
          Fail("block CRC mismatch");
          break;
        }
        s.StreamCRC = ((s.StreamCRC << 1) | (s.StreamCRC >> 31)) ^ blockCRC;
      }
      s.Phase = TState::phBlock;
    }
  }
  FPosition += done;
  return done;
}

}  // namespace bq
