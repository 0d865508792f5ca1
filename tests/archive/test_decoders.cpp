#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <random>

#include "archive/zoxCompression.h"
#include "common/bqTestFiles.h"

using namespace bq;

namespace {
std::string Text(size_t n) {
  std::mt19937 rng(7);
  std::string s;
  while (s.size() < n) s += "word" + std::to_string(rng() % 1000) + " ";
  return s.substr(0, n);
}

std::string RawDeflate(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(compressBound(static_cast<uLong>(data.size())) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Python's lzma module (liblzma) as the independent encoder: an .lzma file's 13-byte header
// holds the property byte, the dictionary size and the size.
std::string LzmaAlone(const std::string& data, const std::string& name) {
  const std::string in = bqtest::WriteFile(name + ".in", data);
  const std::string out = in + ".lzma";
  const std::string cmd = "python3 -c \"import lzma,sys; open(sys.argv[2],'wb').write(lzma.compress(open(sys.argv[1],'rb').read(), "
                          "format=lzma.FORMAT_ALONE))\" '" + in + "' '" + out + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream f(out, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

std::string Decode(TCompressionMethod method, const std::string& input, uint64_t size, uint64_t position = 0,
                const std::string* props = nullptr, uint64_t* inputAfter = nullptr) {
  const TByteView view(input);
  std::vector<uint8_t> out;
  TMultiDecoder d;
  d.Method = method;
  d.Input = &view;
  d.InputPosition = position;
  d.Output = &out;
  d.Size = size;
  if (props) {
    uint32_t dict = 0;
    TByteView(*props).U32LE(1, dict);
    d.SetProperties(dict, static_cast<uint8_t>((*props)[0]), 5, reinterpret_cast<const uint8_t*>(props->data()));
  }
  d.Decode();
  if (inputAfter) *inputAfter = d.InputPosition;
  return std::string(out.begin(), out.end());
}

std::string Message(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDecompressionError& e) {
    return e.what();
  }
  return "";
}
}  // namespace

TEST(MultiDecoder, CopyUnknownAndBZip2) {
  EXPECT_EQ(Decode(TCompressionMethod::cmCopy, "abcdef", 3, 2), "cde");
  EXPECT_NE(Message([] { Decode(TCompressionMethod::cmCopy, "abc", 4); }), "");
  // BZip2 is NSIS's bare block format: a "BZh" stream header is not one of its blocks.
  EXPECT_EQ(Message([] { Decode(TCompressionMethod::cmBZip2, "BZh9", 100); }), "bzip2: bad block marker");
  EXPECT_EQ(Decode(TCompressionMethod::cmUnknown, "xx", 100), "");
  EXPECT_EQ(std::string(CompressionMethodName(TCompressionMethod::cmLZMA)), "LZMA");
  TMultiDecoder d;
  EXPECT_EQ(Message([&] { d.Decode(); }), "Input stream not assigned!");
  const TByteView none;
  d.Input = &none;
  EXPECT_EQ(Message([&] { d.Decode(); }), "Output stream not assigned!");
  EXPECT_EQ(Message([&] { d.SetProperties(1 << 20, 0x5D, 3, nullptr); }), "Properties too small!");
}

TEST(MultiDecoder, DeflateStopsAtItsEndOrItsSize) {
  const std::string data = Text(300000);
  const std::string packed = "HEAD" + RawDeflate(data) + "TAIL";
  uint64_t after = 0;
  EXPECT_EQ(Decode(TCompressionMethod::cmDeflate, packed, 1 << 30, 4, nullptr, &after), data);
  EXPECT_EQ(packed.substr(after), "TAIL");  // positioned just after the deflate data
  EXPECT_EQ(Decode(TCompressionMethod::cmDeflate, packed, 1000, 4), data.substr(0, 1000));  // bounded output
  EXPECT_EQ(Message([&] { Decode(TCompressionMethod::cmDeflate, packed.substr(0, packed.size() / 2), 1 << 30, 4); }),
            "buffer error");
  EXPECT_EQ(Message([] { Decode(TCompressionMethod::cmDeflate, std::string("\xFF\xFF\xFF\xFF", 4), 100); }), "data error");
}

TEST(MultiDecoder, LzmaAgainstLiblzma) {
  const std::string data = Text(200000);
  const std::string alone = LzmaAlone(data, "text");
  ASSERT_GT(alone.size(), 13u);
  const std::string props = alone.substr(0, 5);
  EXPECT_EQ(static_cast<uint8_t>(props[0]), 0x5D);  // lc 3, lp 0, pb 2
  const std::string stream = alone.substr(13);
  EXPECT_EQ(Decode(TCompressionMethod::cmLZMA, stream, data.size(), 0, &props), data);
  EXPECT_EQ(Decode(TCompressionMethod::cmLZMA, stream, 5000, 0, &props), data.substr(0, 5000));  // bounded output
  EXPECT_EQ(Decode(TCompressionMethod::cmLZMA, "", 100, 0, &props), "");  // no input at all
  // Input cut short: what could be decoded, no more.
  EXPECT_LT(Decode(TCompressionMethod::cmLZMA, stream.substr(0, stream.size() / 2), data.size(), 0, &props).size(), data.size());
  std::string badProps = props;
  badProps[0] = static_cast<char>(225);
  EXPECT_EQ(Message([&] { Decode(TCompressionMethod::cmLZMA, stream, 10, 0, &badProps); }), "Flag incorrect!");
  badProps = props;
  badProps[4] = static_cast<char>(0x80);
  EXPECT_EQ(Message([&] { Decode(TCompressionMethod::cmLZMA, stream, 10, 0, &badProps); }), "Incorrect dictionary size!");
  std::string corrupt = stream;
  for (size_t i = 10; i < corrupt.size(); i += 3) corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
  EXPECT_EQ(Message([&] { Decode(TCompressionMethod::cmLZMA, corrupt, data.size(), 0, &props); }), "Error in data stream");
}
