#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/bqBytes.h"

using namespace bq;

TEST(Bytes, CheckedArithmeticRefusesOverflowAndExcess) {
  size_t n = 0;
  uint64_t r = 0;
  EXPECT_TRUE(CheckedSize(10, 8, 80, n));
  EXPECT_EQ(n, 80u);
  EXPECT_FALSE(CheckedSize(11, 8, 80, n));                       // more than the file holds
  EXPECT_FALSE(CheckedSize(UINT64_MAX / 2 + 1, 2, UINT64_MAX, n));  // wraps to 0
  EXPECT_FALSE(CheckedAdd(UINT64_MAX, 1, r));
  EXPECT_FALSE(CheckedMul(1ull << 32, 1ull << 32, r));
  EXPECT_TRUE(FitsIn(4, 4, 8));
  EXPECT_FALSE(FitsIn(5, 4, 8));
  EXPECT_FALSE(FitsIn(UINT64_MAX, 2, 8));  // offset + size would wrap
}

TEST(Bytes, ViewReadsBothByteOrdersAndRefusesPastTheEnd) {
  const uint8_t b[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x00, 'x'};
  const TByteView v(b, sizeof b);
  uint16_t s = 0;
  uint32_t w = 0;
  uint64_t q = 0;
  EXPECT_TRUE(v.U16LE(0, s));
  EXPECT_EQ(s, 0x0201);
  EXPECT_TRUE(v.U32BE(0, w));
  EXPECT_EQ(w, 0x01020304u);
  EXPECT_TRUE(v.U24BE(1, w));
  EXPECT_EQ(w, 0x020304u);
  EXPECT_TRUE(v.U64LE(0, q));
  EXPECT_EQ(q, 0x0807060504030201ull);
  w = 77;
  EXPECT_FALSE(v.U32LE(7, w));
  EXPECT_EQ(w, 77u);  // untouched on failure
  uint8_t c = 0;
  EXPECT_FALSE(v.U8(UINT64_MAX, c));

  TByteView sub;
  EXPECT_TRUE(v.Sub(8, 2, sub));
  EXPECT_FALSE(v.Sub(9, 2, sub));
  EXPECT_EQ(v.Tail(20).Size(), 0u);
  EXPECT_EQ(v.Clamp(8, 100).Size(), 2u);

  bool found = false;
  EXPECT_EQ(v.CString(5, 100, &found), std::string_view("\x06\x07\x08"));
  EXPECT_TRUE(found);
  EXPECT_EQ(v.CString(9, 100, &found), "x");
  EXPECT_FALSE(found);  // the view ended first
  EXPECT_EQ(v.CString(0, 2, &found).size(), 2u);
  EXPECT_FALSE(found);  // the limit ended it
  EXPECT_EQ(v.Find("\x07\x08"), 6u);
  EXPECT_EQ(v.Find(uint8_t{'y'}), TByteView::npos);
}

TEST(Bytes, CursorFailureIsStickyAndReadsNothingAfter) {
  const uint8_t b[] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
  TByteCursor c(TByteView(b, sizeof b));
  EXPECT_EQ(c.U16BE(), 0xAABB);
  EXPECT_EQ(c.U32LE(), 0u);  // 3 bytes left: fails
  EXPECT_FALSE(c.Ok());
  EXPECT_EQ(c.U8(), 0u);  // still failed although a byte is there
  EXPECT_EQ(c.Remaining(), 0u);

  TByteCursor d(TByteView(b, sizeof b));
  EXPECT_TRUE(d.Skip(4));
  EXPECT_EQ(d.Bytes(1).Size(), 1u);
  EXPECT_TRUE(d.AtEnd());
  EXPECT_FALSE(d.Skip(1));
  TByteCursor e(TByteView(b, sizeof b), 6);
  EXPECT_FALSE(e.Ok());
}
