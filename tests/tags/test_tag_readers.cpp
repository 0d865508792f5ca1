// Tag readers on hand-made bytes: the cases no tool writes (damaged, hostile or rare forms).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tags/bqViewAudioExtras.h"
#include "tags/quTagAIFF.h"
#include "tags/quTagAPE.h"
#include "tags/quTags.h"

using namespace bq;

namespace {

std::string SyncSafe(uint32_t v) {
  return {char((v >> 21) & 0x7F), char((v >> 14) & 0x7F), char((v >> 7) & 0x7F), char(v & 0x7F)};
}
std::string BE32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string LE32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string LE16(uint16_t v) { return {char(v), char(v >> 8)}; }

std::string Frame(int version, const std::string& id, const std::string& payload, char format = 0) {
  return id + (version == 4 ? SyncSafe(uint32_t(payload.size())) : BE32(uint32_t(payload.size()))) + '\0' + format + payload;
}
std::string Tag(int version, const std::string& body, char flags = 0) {
  return std::string("ID3") + char(version) + '\0' + flags + SyncSafe(uint32_t(body.size())) + body;
}
// An MPEG-1 Layer III frame header (128 kbit/s, 44100 Hz, joint stereo) and its side data.
const std::string kFrame = std::string("\xFF\xFB\x90\x44", 4) + std::string(400, '\x11');

struct TLoaded {
  TTaggedFile File;
  TNameValueList Stream;
};
std::unique_ptr<TLoaded> Load(const std::string& bytes) {
  auto r = std::make_unique<TLoaded>();
  r->File.LoadFromMemory("mem", TByteView(bytes));
  r->File.TagID3v2.AddStreamInformation(r->Stream);
  return r;
}

TEST(TagModel, NameValueListAndNumbers) {
  TNameValueList l;
  l.SetValue("Title", "A");
  l.SetValue("TITLE", "B");  // replaces, keeping one line, written as passed
  l.Add("Title=C");
  l.Add("novalue");
  EXPECT_EQ(l.Count(), 3u);
  EXPECT_EQ(l.Line(0), "TITLE=B");
  EXPECT_EQ(l.Value("title"), "B");
  EXPECT_EQ(l.Name(2), "");
  EXPECT_EQ(l.ValueAt(2), "ovalue");
  l.SetValue("title", "");
  EXPECT_EQ(l.Line(0), "Title=C");
  int64_t v = 0;
  EXPECT_TRUE(IntegerText("  -12", v) && v == -12);
  EXPECT_TRUE(IntegerText("$1F", v) && v == 31);
  EXPECT_TRUE(IntegerText("0x10", v) && v == 16);
  EXPECT_TRUE(IntegerText("X10", v) && v == 16);
  EXPECT_FALSE(IntegerText("19 9", v));
  EXPECT_FALSE(IntegerText("2004-05", v));
  EXPECT_FALSE(IntegerText("", v));
  EXPECT_FALSE(IntegerText("99999999999", v));

  TTagID3v1 t;
  t.SetGenre(255);
  EXPECT_EQ(t.GenreString(), "Other");
  t.SetGenre(147);
  EXPECT_EQ(t.GenreString(), "SynthPop");
  t.SetGenreString("rock");
  EXPECT_EQ(t.Genre(), 12);
  t.SetTrackString("x/9");
  EXPECT_EQ(t.TrackCount(), 9u);
  t.SetTrackNo(7);
  EXPECT_EQ(t.TrackString(), "7/9");
  EXPECT_EQ(GenreList[127], std::string("Drum"));
  EXPECT_EQ(GenreList[144], std::string("Trash Metal"));
}

std::string ID3v1(const std::string& title, const std::string& comment30, char b125, char b126, const std::string& year,
                  char genre) {
  std::string r = "TAG" + title + std::string(30 - title.size(), '\0') + std::string(30, ' ') + std::string(30, '\0') + year + comment30;
  r[125] = b125;
  r[126] = b126;
  return r + genre;
}

TEST(ID3v1, RecordsOfBothVersions) {
  auto f = Load(std::string(10, 'x') + ID3v1("Title  \0junk", "123456789012345678901234567890", '9', '0', "1999", 17));
  const TTagID3v1& t = f->File.TagID3v1;
  ASSERT_TRUE(t.TagExists);
  EXPECT_EQ(t.Title(), "Title");
  EXPECT_EQ(t.Artist(), "");
  EXPECT_EQ(t.TagDescription(), "ID3v1.0");
  EXPECT_EQ(t.Comment, "123456789012345678901234567890");  // a 1.0 comment keeps all 30
  EXPECT_EQ(t.FieldValue(4), "1999");
  EXPECT_EQ(t.FieldValue(5), "17");
  EXPECT_EQ(t.FieldValue(3), "0");

  std::string c = "Comment" + std::string(23, '\0');
  f = Load(ID3v1(std::string("\0Hidden", 7), c, '\0', '\5', "19 9", char(255)));
  EXPECT_EQ(f->File.TagID3v1.TagDescription(), "ID3v1.1");
  EXPECT_EQ(f->File.TagID3v1.FieldValue(3), "5");
  EXPECT_EQ(f->File.TagID3v1.Title(), "");  // first byte 0: empty
  EXPECT_EQ(f->File.TagID3v1.FieldValue(4), "19 9");  // not a number: shown as written
  EXPECT_EQ(f->File.TagID3v1.GenreString(), "Other");
  EXPECT_EQ(Load(ID3v1("T", c, 0, 0, std::string(4, '\0'), 0))->File.TagID3v1.FieldValue(4), "");
  // 8-bit text is Windows-1252 off Windows.
  f = Load(ID3v1("Caf\xE9 \x80", c, 0, 0, "0000", 0));
  EXPECT_EQ(f->File.TagID3v1.Title(), "Café €");
  // 127 bytes: no tag.
  EXPECT_FALSE(Load(ID3v1("T", c, 0, 0, "2000", 0).substr(1))->File.TagID3v1.TagExists);
}

TEST(ID3v2, FramesEncodingsAndGenres) {
  std::string body = Frame(3, "TIT2", std::string("\x01\xFF\xFE", 3) + std::string("A\0b\0", 4)) +
                     Frame(3, "TIT2", std::string("\0Second", 7)) +
                     Frame(3, "TPE1", std::string("\x02\x03\x93\x03\xB1", 5)) +         // UTF-16BE "Γα"
                     Frame(3, "TALB", std::string("\x01" "A\0l\0b", 6)) +                // no BOM, odd length
                     Frame(3, "TCOM", std::string("\x03\xE6\x97\xA5\0", 5)) +            // UTF-8 with a zero
                     Frame(3, "TRCK", std::string("\0" "5/12", 5)) +
                     Frame(3, "TYER", std::string("\0" "02004", 6)) +
                     Frame(3, "TCON", std::string("\0(17)(4)Live", 12)) +
                     Frame(3, "TXXX", std::string("\x01\xFF\xFE" "D\0\0\0\xFF\xFE" "V\0", 12)) +
                     Frame(3, "WXXX", std::string("\0desc\0 http://x.org/ ", 21)) +
                     Frame(3, "WOAR", "http://artist") +
                     Frame(3, "COMM", std::string("\x01" "eng\xFF\xFE\0\0\xFF\xFE" "C\0", 12)) +
                     Frame(3, "COMM", "\0en") +
                     Frame(3, "APIC", std::string("\0image/png\0\x03" "cover\0PNGDATA", 25)) +
                     Frame(3, "PRIV", "xyz") + std::string(20, '\0');
  auto f = Load(Tag(3, body) + kFrame);
  const TTagID3v2& t = f->File.TagID3v2;
  ASSERT_TRUE(t.TagExists);
  EXPECT_EQ(t.TagDescription(), "ID3v2.3");
  EXPECT_EQ(t.Title(), "Ab");
  EXPECT_EQ(t.StringTags.Line(1), "TIT2=Second");
  EXPECT_EQ(t.Artist(), "Γα");
  EXPECT_EQ(t.Album(), "Al");
  EXPECT_EQ(t.StringTags.Value("TCOM"), "日");
  EXPECT_EQ(t.TrackNo(), 5u);
  EXPECT_EQ(t.TrackCount(), 12u);
  EXPECT_EQ(t.StringTags.Value("TYER"), "2004");
  ASSERT_EQ(t.ChangeHistory.size(), 1u);
  EXPECT_EQ(t.ChangeHistory[0], "TYER=02004=>2004");
  EXPECT_EQ(t.GenreString(), "Live;Disco;Rock");
  EXPECT_EQ(t.UserStringTags.Line(0), "D=V");
  EXPECT_EQ(t.UserURLTags.Line(0), "desc=http://x.org/");
  EXPECT_EQ(t.URLTags.Line(0), "WOAR=http://artist");
  ASSERT_EQ(t.Comments.size(), 2u);
  EXPECT_EQ(t.Comments[0].Language, "eng");
  EXPECT_EQ(t.Comments[0].ContentDescriptor, "");
  EXPECT_EQ(t.Comments[0].Text, "C");
  EXPECT_EQ(t.Comments[1].Text, "");  // shorter than 6 bytes
  ASSERT_EQ(t.Pictures.size(), 1u);
  EXPECT_EQ(t.Pictures[0].MimeType, "image/png");
  EXPECT_EQ(t.Pictures[0].PictureType, 3);
  EXPECT_EQ(t.Pictures[0].Description, "cover");
  EXPECT_EQ(t.Pictures[0].Data.size(), 7u);
  EXPECT_TRUE(t.UnknownData.empty());
  ASSERT_EQ(t.PrivateOwners.size(), 1u);
  EXPECT_EQ(f->Stream.Value("Container"), "MPEG-1 Layer 3");
  EXPECT_EQ(f->Stream.Value("X:TagEnd"), "");  // the frame follows the tag

  // A year that is not a number keeps its text; a number is written plainly.
  f = Load(Tag(3, Frame(3, "TYER", std::string("\0" "2004-05", 8)) + Frame(3, "TYER", std::string("\0", 1)) +
                      Frame(3, "TYER", std::string("\0" "01999", 6))));
  EXPECT_EQ(f->File.TagID3v2.StringTags.Line(0), "TYER=2004-05");
  EXPECT_EQ(f->File.TagID3v2.StringTags.Line(1), "TYER=");
  EXPECT_EQ(f->File.TagID3v2.StringTags.Line(2), "TYER=1999");

  // A UTF-16 terminator is looked for on 2-byte boundaries: "\x01\0" + "\0A" is not one.
  f = Load(Tag(4, Frame(4, "TXXX", std::string("\x01\xFF\xFE\x00\x01\x00\x00\xFF\xFE" "V\0", 12))));
  EXPECT_EQ(f->File.TagID3v2.UserStringTags.Line(0), "\xC4\x80=V");

  EXPECT_EQ(TTagID3v2::NormalizeGenreText("17"), "Rock");
  EXPECT_EQ(TTagID3v2::NormalizeGenreText("(RX)"), "Remix");
  EXPECT_EQ(TTagID3v2::NormalizeGenreText("(CR)Live"), "Live;Cover");
  EXPECT_EQ(TTagID3v2::NormalizeGenreText(std::string("Rock\0rock", 9)), "Rock");
  EXPECT_EQ(TTagID3v2::NormalizeGenreText("((x)"), "((x)");
  EXPECT_EQ(TTagID3v2::NormalizeGenreText(std::string("a;b\0say \"hi\"", 12)), "\"a;b\";\"say \"\"hi\"\"\"");
  EXPECT_EQ(TTagID3v2::FrameDescription("TPE2"), "Band/Orchestra/Acoompaniment");
  EXPECT_EQ(TTagID3v2::FrameDescription("WOAR"), "WOAR");
  EXPECT_EQ(TTagID3v2::FrameDescription("TZZZ"), "TZZZ");
}

TEST(ID3v2, HeadersSizesAndUnsynchronisation) {
  const std::string title = Frame(3, "TIT2", std::string("\0Song", 5));
  // Version 2.2 with its compression flag, 3.1, an unknown flag, an extended header larger
  // than the tag: the tag is not read, but the stream after its declared size is.
  for (auto bad : {Tag(2, title, 0x40), std::string("ID3\x03\x01\0", 6) + SyncSafe(uint32_t(title.size())) + title,
                   Tag(3, title, 0x10), Tag(4, SyncSafe(600) + title, 0x40)}) {
    auto f = Load(bad + kFrame);
    EXPECT_FALSE(f->File.TagID3v2.TagExists);
    EXPECT_TRUE(f->File.TagID3v2.TagUnread);
    EXPECT_EQ(f->Stream.Value("Container"), "MPEG-1 Layer 3");
    EXPECT_EQ(f->Stream.Value("X:Gap"), "");
    EXPECT_EQ(Load(bad + std::string(30, '\0'))->Stream.Value("X:Gap"), "no frame found in the first 30 bytes after the tag");
  }
  // The footer flag is valid in 2.4; the stream scan starts after the footer.
  auto f = Load(Tag(4, Frame(4, "TIT2", std::string("\0Song", 5)), 0x10) + "3DI" + std::string(7, '\0') + kFrame);
  EXPECT_TRUE(f->File.TagID3v2.TagExists);
  EXPECT_EQ(f->Stream.Value("X:Gap"), "");
  EXPECT_EQ(f->Stream.Value("Container"), "MPEG-1 Layer 3");
  // Sync-safe size bytes are taken whole; a tag past the end of the file is not read at all.
  std::string big = Tag(3, title);
  big[9] = 0x7F;
  f = Load(big);
  EXPECT_FALSE(f->File.TagID3v2.TagExists);
  EXPECT_TRUE(f->Stream.Empty());
  // Extended headers (2.3: size after the field; 2.4: sync-safe, whole) are counted in the tag.
  f = Load(Tag(3, BE32(6) + std::string(6, '\0') + title, 0x40) + kFrame);
  EXPECT_EQ(f->File.TagID3v2.Title(), "Song");
  EXPECT_EQ(f->Stream.Value("X:Gap"), "");
  f = Load(Tag(4, SyncSafe(6) + std::string("\x01\0", 2) + Frame(4, "TIT2", std::string("\0Song", 5)), 0x40) + kFrame);
  EXPECT_EQ(f->File.TagID3v2.Title(), "Song");
  EXPECT_EQ(f->Stream.Value("Container"), "MPEG-1 Layer 3");
  f = Load(Tag(3, BE32(600) + title, 0x40) + kFrame);  // claims more than the tag holds
  EXPECT_FALSE(f->File.TagID3v2.TagExists);
  // A frame past the tag end is read as far as the data goes and ends the walk.
  f = Load(Tag(3, "TIT2" + BE32(1000) + std::string("\0\0\0Cut", 6)) + kFrame);
  EXPECT_EQ(f->File.TagID3v2.Title(), "Cut");
  // 2.4 data-length indicator: its four bytes are not text.
  f = Load(Tag(4, Frame(4, "TIT2", SyncSafe(5) + std::string("\0Song", 5), 0x01)));
  EXPECT_EQ(f->File.TagID3v2.Title(), "Song");

  // Unsynchronisation: FF 00 E0 gives FF E0 in both modes; a final FF 00 goes only in whole-tag mode.
  const std::string raw("\xFF\x00\xE0\xFF\x00\x41\xFF\xFF\x00\x00\xFF\x00", 12);
  const std::vector<uint8_t> whole = TTagID3v2::RemoveUnsynchronisation(TByteView(raw), true);
  EXPECT_EQ(std::string(whole.begin(), whole.end()), std::string("\xFF\xE0\xFF\x00\x41\xFF\xFF\x00\xFF", 9));
  const std::vector<uint8_t> frame = TTagID3v2::RemoveUnsynchronisation(TByteView(raw), false);
  EXPECT_EQ(std::string(frame.begin(), frame.end()), std::string("\xFF\xE0\xFF\x00\x41\xFF\xFF\x00\xFF\x00", 10));
  // Whole-tag (2.3) and per-frame (2.4) unsynchronised tags.
  f = Load(Tag(3, Frame(3, "TIT2", std::string("\0\xFF\x00\xE0", 4)), char(0x80)) + kFrame);
  EXPECT_EQ(f->File.TagID3v2.StringTags.Value("TIT2"), "\xC3\xBF\xC3\xA0");  // ÿà
  EXPECT_EQ(f->Stream.Value("Unsynchronisation"), "+++");
  f = Load(Tag(4, Frame(4, "TIT2", std::string("\0\xFF\x00\xE0", 4), 0x02)));
  EXPECT_EQ(f->File.TagID3v2.StringTags.Value("TIT2"), "\xC3\xBF\xC3\xA0");
}

TEST(MPEGStream, ScanAndLines) {
  const std::string tag = Tag(3, Frame(3, "TIT2", std::string("\0Song", 5)) + std::string(2048 - 15, '\0'));
  auto f = Load(tag + kFrame);
  EXPECT_EQ(f->Stream.Value("Samplerate"), "44100 Hz");
  EXPECT_EQ(f->Stream.Value("Bitrate"), "128");
  EXPECT_EQ(f->Stream.Value("Channel Mode"), "Joint Stereo");
  EXPECT_EQ(f->Stream.IndexOfName("X:TagEnd"), -1);
  f = Load(tag + std::string(100, '\0') + kFrame);
  EXPECT_EQ(f->Stream.Value("X:TagEnd"), "0000080A (2058)");
  EXPECT_EQ(f->Stream.Value("X:FrameStart"), "0000086E (2158)");
  EXPECT_EQ(f->Stream.Value("X:Gap"), "100");
  f = Load(tag + std::string(5000, '\x11'));
  EXPECT_EQ(f->Stream.Count(), 2u);
  EXPECT_EQ(f->Stream.Value("X:Gap"), "no frame found in the first 4096 bytes after the tag");
  f = Load(tag + std::string("\x22\xFF\xFF\xFB\x90\x44", 6) + std::string(200, '\0'));
  EXPECT_EQ(f->File.TagID3v2.MPEG.FrameStart, 2059u);  // the first FF of the run
  // Constant bitrate: (file size - tag end) * 8 / bitrate.
  std::string cbr = Tag(3, std::string(10000 - 10, '\0'));
  cbr += kFrame + std::string(1000000 - cbr.size() - kFrame.size(), '\0');
  EXPECT_EQ(Load(cbr)->Stream.Value("Duration"), "61875");
  // Xing: 1000 frames at 44100 Hz.
  const std::string xing = std::string("\xFF\xFB\x90\x44", 4) + std::string(32, '\0') + "Xing" + BE32(0x0B) + BE32(1000) +
                           BE32(5000) + BE32(80) + std::string(200, '\0');
  f = Load(tag + xing);
  EXPECT_EQ(f->Stream.Value("Framecount"), "1000");
  EXPECT_EQ(f->Stream.Value("Duration"), "26122");
  EXPECT_EQ(f->Stream.Value("Bytecount"), "5000");
  EXPECT_EQ(f->Stream.Value("Quality"), "80");
  EXPECT_EQ(f->Stream.Value("Bitrate mode"), "VBR");
  EXPECT_EQ(f->Stream.Value("Bitrate"), "2");  // 5000 bytes in 26.122 s
  std::string info = xing;
  info.replace(36, 4, "Info");
  f = Load(tag + info);
  EXPECT_EQ(f->Stream.Value("Framecount"), "1000");
  EXPECT_EQ(f->Stream.Value("Bitrate mode"), "CBR");
  // Layer II, an invalid bitrate index, zero sample rate index 3, emphasis.
  EXPECT_TRUE(Load(tag + std::string("\xFF\xFD\x90\x44", 4) + std::string(100, '\0'))->Stream.Empty());
  for (const char* bad : {"\xFF\xFB\xF0\x44", "\xFF\xFB\x0C\x44", "\xFF\xFB\x9C\x44"}) {
    f = Load(tag + std::string(bad, 4) + std::string(100, '\0'));
    EXPECT_EQ(f->Stream.Value("Samplerate"), "") << bad;
    EXPECT_EQ(f->Stream.Value("X:Gap"), "no frame found in the first 104 bytes after the tag");  // bad headers are passed over
    EXPECT_TRUE(Load(std::string(bad, 4) + std::string(100, '\0'))->Stream.Empty());
  }
  EXPECT_EQ(Load(tag + std::string("\xFF\xFB\x90\x45", 4) + std::string(100, '\0'))->Stream.Value("Emphasis"), "50/15 ms");
  EXPECT_EQ(Load(tag + std::string("\xFF\xFB\x90\x46", 4) + std::string(100, '\0'))->Stream.Value("Emphasis"), "");

  // Without an ID3v2 tag: only a valid Layer III header at offset 0 gives lines.
  EXPECT_EQ(Load(kFrame)->Stream.Value("Container"), "MPEG-1 Layer 3");
  EXPECT_TRUE(Load("OggS" + kFrame)->Stream.Empty());
  EXPECT_TRUE(Load(std::string(10, '\x11') + kFrame)->Stream.Empty());
}

// MPEG-1 Layer III frames at 44100 Hz of the given bitrate index, each its full length.
std::string Frames(int bitrateIndex, size_t count) {
  static const int kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  std::string frame = std::string("\xFF\xFB", 2) + char(bitrateIndex << 4) + '\x44';
  frame.resize(144 * kbps[bitrateIndex] * 1000 / 44100, '\x55');
  std::string out;
  for (size_t i = 0; i < count; ++i) out += frame;
  return out;
}

TEST(MPEGStream, BitrateModesAndWalk) {
  const std::string tag = Tag(3, Frame(3, "TIT2", std::string("\0Song", 5)));
  // No header, frames of 128 and 64 kbit/s in the first 4 MiB, then 320 kbit/s ones past it:
  // the average of the walked frames, and a duration estimated from the audio's size (the
  // final ID3v1 record left out).
  std::string pairs;
  for (int i = 0; i < 6800; ++i) pairs += Frames(9, 1) + Frames(5, 1);  // 417 + 208 bytes
  auto f = Load(tag + pairs + Frames(14, 1000) + ID3v1("T", std::string(30, ' '), 0, 0, "2000", 0));
  EXPECT_EQ(f->Stream.Value("Bitrate"), "96");
  EXPECT_EQ(f->Stream.Value("Bitrate mode"), "VBR");
  EXPECT_EQ(f->Stream.Value("Duration"), "441167 (estimated)");  // (4250000 + 1044000) * 8 / 96
  EXPECT_EQ(f->File.TagID3v2.MPEG.WalkedFrames, 13422u);  // the frames whose header is in the first 4 MiB
  EXPECT_EQ(f->Stream.IndexOfName("Framecount"), -1);
  // A VBRI header 32 bytes after the frame header: 500 frames, 41000 bytes.
  std::string vbri = Frames(9, 1);
  vbri.replace(36, 18, "VBRI" + std::string(6, '\0') + BE32(41000) + BE32(500));
  f = Load(tag + vbri + Frames(9, 3));
  EXPECT_EQ(f->Stream.Value("Framecount"), "500");
  EXPECT_EQ(f->Stream.Value("Duration"), "13061");
  EXPECT_EQ(f->Stream.Value("Bitrate mode"), "VBR");
  EXPECT_EQ(f->Stream.Value("Bitrate"), "25");  // 41000 bytes in 13.061 s
  // A Xing header cut by the end of the file is no header.
  f = Load(tag + std::string("\xFF\xFB\x90\x44", 4) + std::string(32, '\0') + "Xing" + BE32(0x0F) + BE32(1000));
  EXPECT_EQ(f->Stream.IndexOfName("Framecount"), -1);
  EXPECT_EQ(f->Stream.Value("Bitrate"), "128");
}

// A 100 MiB file of 0xFF bytes, made once in the build folder: the scan and every walk stay
// bounded and nothing large is allocated.
TEST(MPEGStream, HundredMebibytesOfFF) {
  const std::filesystem::path path = std::filesystem::path(BQ_TAGS_CACHE) / "ff-100MiB.bin";
  const uintmax_t size = 100ull << 20;
  std::error_code ec;
  if (std::filesystem::file_size(path, ec) != size) {
    std::ofstream out(path, std::ios::binary);
    const std::string block(1 << 20, '\xFF');
    for (int i = 0; i < 100; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  TTaggedFile f;
  f.LoadFromFile(path.string());
  EXPECT_FALSE(f.TagID3v1.TagExists || f.TagID3v2.TagExists || f.TagVorbis.TagExists || f.TagWave.TagExists);
  EXPECT_TRUE(f.StreamInformation.Empty());
  EXPECT_EQ(f.TagID3v2.MPEG.FrameStart, 0u);
}

std::string FlacBlock(int type, const std::string& data, bool last) {
  const uint32_t n = uint32_t(data.size());
  return std::string{char((last ? 0x80 : 0) | type), char(n >> 16), char(n >> 8), char(n)} + data;
}
std::string StreamInfo(uint32_t rate, uint64_t samples) {
  std::string s(34, '\0');
  s[10] = char(rate >> 12);
  s[11] = char(rate >> 4);
  s[12] = char(((rate & 0xF) << 4) | (1 << 1) | 0);  // 2 channels, bits 16: (15 >> 4) = 0
  s[13] = char((15 << 4) | ((samples >> 32) & 0xF));
  s[14] = char(samples >> 24);
  s[15] = char(samples >> 16);
  s[16] = char(samples >> 8);
  s[17] = char(samples);
  return s;
}
std::string Comments(const std::vector<std::string>& items) {
  std::string s = LE32(3) + "ven" + LE32(uint32_t(items.size()));
  for (const auto& c : items) s += LE32(uint32_t(c.size())) + c;
  return s;
}

TEST(Vorbis, FlacBlocks) {
  const std::string info = FlacBlock(0, StreamInfo(44100, 441000), false);
  auto f = Load("fLaC" + info + FlacBlock(1, std::string(7, '\0'), false) +
                FlacBlock(4, Comments({"ARTIST=A", "artist=B", "title=", "DATE=2004", "noequals"}), true) +
                std::string(16, '\0'));
  const TTagVorbis& v = f->File.TagVorbis;
  ASSERT_TRUE(v.TagExists);
  EXPECT_EQ(v.Vendor, "ven");
  EXPECT_EQ(v.Artist(), "B");
  EXPECT_EQ(v.StringTags.IndexOfName("TITLE"), -1);
  EXPECT_EQ(v.Year(), 2004u);
  EXPECT_EQ(v.StringTags.Line(2), "=noequals");
  TNameValueList l;
  v.AddStreamInformation(l);
  EXPECT_EQ(l.Value("Length"), "10 seconds");
  EXPECT_EQ(l.Value("Channels"), "2");
  EXPECT_EQ(l.Value("Bits/sample"), "16");
  l.Clear();
  Load("fLaC" + FlacBlock(0, StreamInfo(44100, 440999), true) + std::string(16, '\0'))->File.TagVorbis.AddStreamInformation(l);
  EXPECT_EQ(l.Value("Length"), "9 seconds");  // no comment block: stream lines still shown

  // A block longer than the file, a comment count or length past its block: refused.
  f = Load("fLaC" + info + std::string("\x84\xFF\xFF\xFF", 4) + Comments({"A=1"}) + std::string(20, '\0'));
  EXPECT_FALSE(f->File.TagVorbis.TagExists);
  EXPECT_TRUE(f->File.TagVorbis.StreamRead);
  std::string damaged = Comments({"A=1"});
  damaged.replace(7, 4, LE32(0x40000000));
  EXPECT_FALSE(Load("fLaC" + info + FlacBlock(4, damaged, true) + std::string(16, '\0'))->File.TagVorbis.TagExists);
  damaged = Comments({"A=1"});
  damaged.replace(11, 4, LE32(0xFFFFFFF0));
  EXPECT_FALSE(Load("fLaC" + info + FlacBlock(4, damaged, true) + std::string(16, '\0'))->File.TagVorbis.TagExists);
  // An ID3v2 tag before "fLaC": not recognised.
  EXPECT_FALSE(Load(Tag(3, std::string(20, '\0')) + "fLaC" + info)->File.TagVorbis.StreamRead);
}

std::string OggPage(const std::vector<std::string>& packets, bool continuesLast) {
  std::string lacing, data;
  for (size_t i = 0; i < packets.size(); ++i) {
    size_t n = packets[i].size();
    while (n >= 255) lacing += '\xFF', n -= 255;
    if (!(continuesLast && i + 1 == packets.size())) lacing += char(n);
    data += packets[i];
  }
  return "OggS" + std::string(22, '\0') + char(lacing.size()) + lacing + data;
}

TEST(Vorbis, OggPackets) {
  const std::string id = "\x01vorbis" + LE32(0) + '\x01' + LE32(22050) + LE32(0) + LE32(64000) + LE32(0) + "\xB8\x01";
  const std::string comment = "\x03vorbis" + Comments({"TITLE=Long", "DESCRIPTION=" + std::string(600, 'x')}) + '\x01';
  // The comment packet spans three pages.
  auto f = Load(OggPage({id}, false) + OggPage({comment.substr(0, 255)}, true) + OggPage({comment.substr(255, 255)}, true) +
                OggPage({comment.substr(510)}, false));
  ASSERT_TRUE(f->File.TagVorbis.TagExists);
  EXPECT_EQ(f->File.TagVorbis.Title(), "Long");
  TNameValueList l;
  f->File.TagVorbis.AddStreamInformation(l);
  EXPECT_EQ(l.Value("Samplerate"), "22050 Hz");
  EXPECT_EQ(l.Value("Bitrate (nominal)"), "64000");
  // A page in the middle that is not "OggS", a non-Vorbis first packet: nothing.
  std::string broken = OggPage({id}, false) + OggPage({comment.substr(0, 255)}, true) + OggPage({comment.substr(255)}, false);
  broken.replace(broken.find("OggS", 100), 4, "Oggs");
  EXPECT_FALSE(Load(broken)->File.TagVorbis.TagExists);
  EXPECT_FALSE(Load(OggPage({"\x80theora" + std::string(20, '\0')}, false) + OggPage({comment}, false))->File.TagVorbis.StreamRead);
}

// A page with its granule position and serial number set.
std::string OggPageAt(const std::string& data, uint64_t granule, uint32_t serial) {
  std::string page = OggPage({data}, false);
  page.replace(6, 8, LE32(uint32_t(granule)) + LE32(uint32_t(granule >> 32)));
  page.replace(14, 4, LE32(serial));
  return page;
}

TEST(Vorbis, OggDurationAndBitrate) {
  const auto id = [](int32_t nominal) {
    return "\x01vorbis" + LE32(0) + '\x02' + LE32(44100) + LE32(0) + LE32(uint32_t(nominal)) + LE32(0) + "\xB8\x01";
  };
  const std::string comment = "\x03vorbis" + Comments({"TITLE=T"}) + '\x01';
  const auto lines = [](const std::string& file) {
    TNameValueList l;
    Load(file)->File.TagVorbis.AddStreamInformation(l);
    return l;
  };
  // The last page of the first stream with a granule position: a later page of another stream
  // and one with no packet end (all ones) are passed over.
  const std::string audio = OggPageAt(std::string(4000, 'a'), 88200 + 441, 7) + OggPageAt(std::string(100, 'b'), ~0ull, 7) +
                            OggPageAt(std::string(50, 'c'), 999999999, 8);
  for (int32_t unset : {-1, -2}) {  // 0 comes from ffmpeg (test_audio_page)
    const std::string file = OggPageAt(id(unset), 0, 7) + OggPageAt(comment, 0, 7) + audio;
    const TNameValueList l = lines(file);
    EXPECT_EQ(l.Value("Duration"), "2010");
    EXPECT_EQ(l.IndexOfName("Bitrate (nominal)"), -1) << unset;
    EXPECT_EQ(l.Value("Bitrate (average)"), std::to_string(int64_t(file.size() * 8 * 44100.0 / 88641 + 0.5)));
  }
  TNameValueList l = lines(OggPageAt(id(128000), 0, 7) + OggPageAt(comment, 0, 7) + audio);
  EXPECT_EQ(l.Value("Bitrate (nominal)"), "128000");
  EXPECT_EQ(l.IndexOfName("Bitrate (average)"), -1);
  // No audio page with a granule position: neither row; the search covers the last 64 KiB only.
  l = lines(OggPageAt(id(-1), 0, 7) + OggPageAt(comment, 0, 7) + OggPageAt("x", ~0ull, 7));
  EXPECT_EQ(l.Value("Duration"), "0");  // the header pages' granule positions are 0
  EXPECT_EQ(l.IndexOfName("Bitrate (average)"), -1);
  l = lines(OggPageAt(id(-1), 0, 7) + OggPageAt(comment, 0, 7) + OggPageAt("x", 44100, 7) + std::string(70000, 'z'));
  EXPECT_EQ(l.IndexOfName("Duration"), -1);
  // A granule position near 2^64 is not wrapped by the millisecond product.
  l = lines(OggPageAt(id(-1), 0, 7) + OggPageAt(comment, 0, 7) + OggPageAt("x", 0xFFFFFFFFFFFFFFF0ull, 7));
  EXPECT_EQ(l.Value("Duration"), "418293516410647429");
}

std::string Chunk(const std::string& id, const std::string& data, bool pad = true) {
  return id + LE32(uint32_t(data.size())) + data + (pad && data.size() % 2 ? std::string(1, '\0') : "");
}
std::string Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, size_t extra = 0) {
  return Chunk("fmt ", LE16(tag) + LE16(channels) + LE32(rate) + LE32(rate * channels * bits / 8) +
                           LE16(uint16_t(channels * bits / 8)) + LE16(bits) + std::string(extra, '\0'));
}
std::string Riff(const std::string& body, const std::string& form = "WAVE") { return "RIFF" + LE32(uint32_t(body.size() + 4)) + form + body; }

TEST(Wave, ChunksSizesAndInfo) {
  const std::string info = Chunk("LIST", "INFO" + Chunk("INAM", std::string("Song\0", 5)) + Chunk("IART", "Band") +
                                            Chunk("ISFT", "x") + Chunk("ICMT", "c"));
  for (const std::string& wav : {Riff(Fmt(1, 2, 44100, 16) + Chunk("data", "abcd") + info),
                                 Riff(Fmt(1, 2, 44100, 16) + info + Chunk("data", "abcde")),
                                 Riff(Fmt(3, 2, 44100, 32, 2) + Chunk("data", "abcd") + info),  // 18-byte fmt
                                 Riff(Fmt(0xFFFE, 2, 44100, 24, 24) + info + Chunk("data", "abc"))}) {
    auto f = Load(wav);
    const TTagWave& w = f->File.TagWave;
    ASSERT_TRUE(w.TagExists);
    ASSERT_EQ(w.TagCount(), 4u);
    EXPECT_EQ(w.TagName(0), "Title");
    EXPECT_EQ(w.TagValue(0), "Song");
    EXPECT_EQ(w.TagName(2), "ISFT");
    EXPECT_EQ(w.TagName(3), "Comment");
    EXPECT_EQ(w.Title(), "Song");
    EXPECT_EQ(f->File.TagCount(), 0);
    TNameValueList l;
    w.AddStreamInformation(l);
    EXPECT_EQ(l.Value("Samplerate"), "44100 Hz");
  }
  // Ids are looked up case-insensitively but captioned case-sensitively.
  auto lower = Load(Riff(Fmt(1, 1, 8000, 8) + Chunk("LIST", "INFO" + Chunk("INAM", "A") + Chunk("inam", "B"))));
  ASSERT_EQ(lower->File.TagWave.TagCount(), 1u);
  EXPECT_EQ(lower->File.TagWave.TagName(0), "inam");
  EXPECT_EQ(lower->File.TagWave.Title(), "B");
  // Streamed output: RIFF and data sizes of 0xFFFFFFFF; a header cut by the end of the file.
  std::string streamed = Riff(Fmt(1, 1, 8000, 8) + "data" + LE32(0xFFFFFFFF) + "1234");
  streamed.replace(4, 4, LE32(0xFFFFFFFF));
  EXPECT_TRUE(Load(streamed)->File.TagWave.TagExists);
  EXPECT_TRUE(Load(Riff(Fmt(1, 1, 8000, 8)) + "dat")->File.TagWave.TagExists);
  // Refused: an empty file, fmt below 16 bytes, RIFX, another form.
  EXPECT_FALSE(Load("")->File.TagWave.TagExists);
  EXPECT_FALSE(Load(Riff(Chunk("fmt ", std::string(14, '\0'))))->File.TagWave.TagExists);
  EXPECT_FALSE(Load(Riff(Fmt(1, 1, 8000, 8) + "fmt " + LE32(0x7FFFFFFF)))->File.TagWave.TagExists);
  EXPECT_FALSE(Load("RIFX" + Riff(Fmt(1, 1, 8000, 8)).substr(4))->File.TagWave.TagExists);
  EXPECT_FALSE(Load(Riff(Fmt(1, 1, 8000, 8), "AVI "))->File.TagWave.TagExists);
  // An odd-sized entry without its pad byte at the very end still reads.
  auto f = Load(Riff(Fmt(1, 1, 0, 8) + "LIST" + LE32(4 + 8 + 5) + "INFO" + Chunk("IGNR", std::string("Rock\0", 5), false)));
  ASSERT_TRUE(f->File.TagWave.TagExists);
  EXPECT_EQ(f->File.TagWave.GenreString(), "Rock");
}

// Damaged INFO lists keep the format and the entries before the damage; text and duration.
TEST(Wave, DamagedListsTextAndDuration) {
  const std::string entries = Chunk("INAM", std::string("Bad\0", 4)) + Chunk("IART", std::string("Odd\0\0", 5)) +
                              Chunk("IPRD", std::string("Xy\0", 3)) + Chunk("ICMT", std::string("Last", 4));
  // The list's size leaves out both pad bytes; a data chunk follows.
  auto f = Load(Riff(Fmt(1, 2, 8000, 16) + "LIST" + LE32(uint32_t(4 + entries.size() - 2)) + "INFO" + entries +
                     Chunk("data", std::string(64000, '\0'))));
  EXPECT_EQ(f->File.TagWave.TagCount(), 4u);
  EXPECT_EQ(f->File.TagWave.TagValue(3), "Last");
  TNameValueList l;
  f->File.TagWave.AddStreamInformation(l);
  EXPECT_EQ(l.Value("Duration"), "2000");  // 64000 bytes at 32000 bytes/s
  // A list whose size runs past the file, an entry that does: the format and the entries
  // before it stay. A damaged list before the format leaves no format.
  for (const std::string& cut : {Riff(Fmt(1, 1, 8000, 8) + "LIST" + LE32(5000) + "INFO" + entries),
                                 Riff(Fmt(1, 1, 8000, 8) + "LIST" + LE32(12) + "INFO" + "INAM" + LE32(100) + "x")}) {
    f = Load(cut);
    ASSERT_TRUE(f->File.TagWave.TagExists);
    EXPECT_EQ(f->File.TagWave.Wave.AudioProperties.SamplingRate, 8000u);
  }
  f = Load(Riff("LIST" + LE32(12) + "INFO" + "INAM" + LE32(100) + "x" + Fmt(1, 1, 8000, 8)));
  EXPECT_EQ(f->File.TagWave.Wave.AudioProperties.SamplingRate, 0u);

  // Text that decodes as UTF-8 is taken for it, other bytes as Windows-1252 (off Windows).
  f = Load(Riff(Fmt(1, 1, 8000, 8) + Chunk("LIST", "INFO" + Chunk("IART", "Caf\xE9 \xC3"))));
  EXPECT_EQ(f->File.TagWave.Artist(), "Café Ã");
  // A streamed data size is cut to the file; durations that would not fit are not shown.
  l.Clear();
  Load(Riff(Fmt(1, 1, 8000, 8) + "data" + LE32(0xFFFFFFFF) + std::string(4000, '\0')))->File.TagWave.AddStreamInformation(l);
  EXPECT_EQ(l.Value("Duration"), "500");
  EXPECT_EQ(DurationText(UINT64_MAX, 1), "");
  EXPECT_EQ(DurationText(UINT64_MAX, UINT64_MAX - 1), "1000");
}

// Hostile files may hold millions of entries: every list is built and merged in time
// proportional to its length (a quadratic build would take minutes here).
TEST(TagModel, LongListsStayLinear) {
  std::vector<std::string> comments;
  for (int i = 0; i < 200000; ++i) comments.push_back("N" + std::to_string(i) + "=v");
  comments.push_back("n5=last");
  TTagVorbis v;
  ASSERT_TRUE(v.ReadCommentBlock(TByteView(Comments(comments))));
  EXPECT_EQ(v.StringTags.Count(), 200000u);
  EXPECT_EQ(v.StringTags.Line(5), "N5=last");

  std::string genres;
  for (int i = 0; i < 100000; ++i) genres += std::string("(1)\0", 4);
  EXPECT_EQ(TTagID3v2::NormalizeGenreText(genres), "Classic Rock");

  std::string frames;
  for (int i = 0; i < 50000; ++i) frames += Frame(3, "TYER", "\0" + std::to_string(1000 + i));
  auto f = Load(Tag(3, frames));
  EXPECT_EQ(f->File.TagID3v2.StringTags.Line(0), "TYER=50999");
  EXPECT_EQ(f->File.TagID3v2.StringTags.Count(), 50000u);

  std::string info;
  for (int i = 0; i < 60000; ++i) info += Chunk("I" + std::to_string(100 + i % 900), "x" + std::to_string(i));
  f = Load(Riff(Fmt(1, 1, 8000, 8) + Chunk("LIST", "INFO" + info)));
  EXPECT_EQ(f->File.TagWave.TagCount(), 900u);
}

}  // namespace

// ---- Opus and FLAC in Ogg, AIFF, APEv2 and ID3v2.2 on hand-made bytes: the corner cases no
// tool writes.
namespace {
std::string AiffChunk(const std::string& id, const std::string& body) {
  return id + BE32(uint32_t(body.size())) + body + (body.size() & 1 ? std::string(1, '\0') : "");
}
// A COMM body: 1 channel, frames, 16 bits, 44100 Hz as an 80-bit extended number.
std::string Comm(uint32_t frames, const std::string& extra = "") {
  return std::string("\0\1", 2) + BE32(frames) + std::string("\0\x10", 2) + std::string("\x40\x0E\xAC\x44\0\0\0\0\0\0", 10) + extra;
}
std::string Form(const std::string& type, const std::string& chunks) { return "FORM" + BE32(uint32_t(4 + chunks.size())) + type + chunks; }
std::string ApeFooter(uint32_t size, uint32_t count, uint32_t flags) {
  return "APETAGEX" + LE32(2000) + LE32(size) + LE32(count) + LE32(flags) + std::string(8, '\0');
}
std::string ApeItem(const std::string& key, const std::string& value, uint32_t flags = 0) {
  return LE32(uint32_t(value.size())) + LE32(flags) + key + '\0' + value;
}
TNameValueList VorbisLines(const TTaggedFile& f) {
  TNameValueList l;
  f.TagVorbis.AddStreamInformation(l);
  return l;
}
}  // namespace

TEST(Ogg, OpusAndFlacMappings) {
  const std::string head = "OpusHead" + std::string("\x01\x02", 2) + std::string("\x38\x01", 2) + LE32(44100) +
                           std::string("\x80\xFC", 2) + '\0';  // pre-skip 312, gain -3.5 dB
  const std::string tags = "OpusTags" + Comments({"TITLE=Opus", "METADATA_BLOCK_PICTURE=AAAA"});
  auto f = Load(OggPage({head}, false) + OggPage({tags}, false) + OggPageAt("audio", 48000 + 312, 0));
  ASSERT_TRUE(f->File.TagVorbis.TagExists);
  EXPECT_EQ(f->File.TagVorbis.Title(), "Opus");
  // A picture comment that is no picture block stays a comment.
  EXPECT_TRUE(f->File.TagVorbis.Pictures.empty());
  EXPECT_EQ(f->File.TagVorbis.StringTags.Value("METADATA_BLOCK_PICTURE"), "AAAA");
  TNameValueList l = VorbisLines(f->File);
  EXPECT_EQ(l.Value("Codec"), "Opus");
  EXPECT_EQ(l.Value("Output gain"), "-3.5 dB");
  EXPECT_EQ(l.Value("Duration"), "1000");
  // A granule position below the pre-skip gives no duration; a short head no stream.
  EXPECT_EQ(VorbisLines(Load(OggPage({head}, false) + OggPage({tags}, false) + OggPageAt("a", 100, 0))->File).Value("Duration"), "");
  EXPECT_FALSE(Load(OggPage({head.substr(0, 18)}, false) + OggPage({tags}, false))->File.TagVorbis.StreamRead);

  // FLAC in Ogg: the mapping header with STREAMINFO (44100 Hz, 2 channels, 16 bits, 88200
  // samples), then a PADDING block, then VORBIS_COMMENT, each in its own packet.
  std::string info(34, '\0');
  info[10] = '\x0A', info[11] = '\xC4', info[12] = '\x42', info[13] = '\xF0';
  info[15] = '\x01', info[16] = '\x58', info[17] = '\x88';
  const std::string mapping = std::string("\x7F" "FLAC\x01\x00\x00\x02", 9) + "fLaC" + std::string("\x00\x00\x00\x22", 4) + info;
  const std::string padding = std::string("\x01\x00\x00\x04", 4) + std::string(4, '\0');
  const std::string vc = Comments({"TITLE=OggFlac"});
  const std::string comment = std::string("\x84", 1) + char(0) + char(vc.size() >> 8) + char(vc.size()) + vc;
  f = Load(OggPage({mapping}, false) + OggPage({padding, comment}, false) + OggPageAt("x", 88200, 0));
  ASSERT_TRUE(f->File.TagVorbis.TagExists);
  EXPECT_EQ(f->File.TagVorbis.Title(), "OggFlac");
  l = VorbisLines(f->File);
  EXPECT_EQ(l.Value("Codec"), "FLAC");
  EXPECT_EQ(l.Value("Samplerate"), "44100 Hz");
  EXPECT_EQ(l.Value("Length"), "2 seconds");
  EXPECT_EQ(l.Value("Duration"), "2000");
  // The header count reached before a comment: no tag, the stream lines still.
  std::string one = mapping;
  one[8] = '\x01';
  f = Load(OggPage({one}, false) + OggPage({padding, comment}, false));
  EXPECT_FALSE(f->File.TagVorbis.TagExists);
  EXPECT_EQ(VorbisLines(f->File).Value("Channels"), "2");
}

TEST(AIFF, ChunksPadsAndBounds) {
  // An odd-sized NAME chunk's pad byte, an AIFC COMM with its compression name, an "ID3 "
  // chunk, a chunk past the FORM's end.
  const std::string id3 = Tag(3, Frame(3, "TIT2", std::string("\0InChunk", 8)));
  const std::string aifc = Form("AIFC", AiffChunk("NAME", "Odd") + AiffChunk("COMM", Comm(44100, "sowt\x0Dnot swapped!!")) +
                                            AiffChunk("ID3 ", id3) + AiffChunk("ANNO", "Note"));
  auto f = Load(aifc);
  const TTagAIFF& a = *f->File.TagAIFF;
  ASSERT_TRUE(a.CommonRead);
  EXPECT_TRUE(a.IsAIFC);
  EXPECT_EQ(a.Texts.Value("Name"), "Odd");
  EXPECT_EQ(a.Texts.Value("Annotation"), "Note");
  EXPECT_EQ(a.ID3.Title(), "InChunk");
  EXPECT_FALSE(f->File.TagID3v2.TagExists);
  TNameValueList l;
  a.AddStreamInformation(l);
  EXPECT_EQ(l.Value("Samplerate"), "44100 Hz");
  EXPECT_EQ(l.Value("Compression type"), "sowt (not swapped!!)");
  EXPECT_EQ(l.Value("Duration"), "1000");
  // Cut inside the ID3 chunk: what came before stays, the tag is not read.
  f = Load(aifc.substr(0, aifc.find("ID3 ") + 20));
  EXPECT_TRUE(f->File.TagAIFF->CommonRead);
  EXPECT_FALSE(f->File.TagAIFF->ID3.TagExists);
  // A chunk size past the file ends the walk; another form type is not AIFF.
  EXPECT_FALSE(Load(Form("AIFF", "COMM" + BE32(0xFFFFFFF0) + Comm(1)))->File.TagAIFF->TagExists);
  EXPECT_FALSE(Load(Form("AIFX", AiffChunk("COMM", Comm(1))))->File.TagAIFF->CommonRead);
  // 80-bit numbers: 8000, 22050, 0, a negative one, infinity.
  EXPECT_EQ(TTagAIFF::Extended80(TByteView(std::string("\x40\x0B\xFA\0\0\0\0\0\0\0", 10))), 8000.0);
  EXPECT_EQ(TTagAIFF::Extended80(TByteView(std::string("\x40\x0D\xAC\x44\0\0\0\0\0\0", 10))), 22050.0);
  EXPECT_EQ(TTagAIFF::Extended80(TByteView(std::string(10, '\0'))), 0.0);
  EXPECT_EQ(TTagAIFF::Extended80(TByteView(std::string("\xC0\x0E\xAC\x44\0\0\0\0\0\0", 10))), 0.0);
  EXPECT_EQ(TTagAIFF::Extended80(TByteView(std::string("\x7F\xFF\x80\0\0\0\0\0\0\0", 10))), 0.0);
}

TEST(APE, PlacesKindsAndBounds) {
  const std::string items = ApeItem("Title", "T") + ApeItem("Artist", std::string("A\0B", 3)) +
                            ApeItem("Cover Art (Front)", std::string("c.jpg\0\xFF\xD8", 8), 2) + ApeItem("Link", "http://x/", 4);
  const std::string footer = ApeFooter(uint32_t(items.size() + 32), 4, 0);
  const std::string v1 = "TAG" + std::string(124, '\0') + '\x11';
  for (const std::string& file : {kFrame + items + footer, kFrame + items + footer + v1,
                                  ApeFooter(uint32_t(items.size() + 32), 4, 0xA0000000) + items + footer + kFrame}) {
    auto f = Load(file);
    const TTagAPE& ape = *f->File.TagAPE;
    ASSERT_TRUE(ape.TagExists);
    ASSERT_EQ(ape.Items.size(), 4u);
    EXPECT_EQ(ape.Title(), "T");
    EXPECT_EQ(ape.DisplayValue(1), "A; B");
    EXPECT_TRUE(ape.Items[2].Binary());
    EXPECT_EQ(ape.DisplayValue(2), "<binary, 8 bytes>");
    EXPECT_EQ(ape.Items[2].Data.size(), 8u);
    EXPECT_EQ(file.substr(ape.Items[2].Offset, 5), "c.jpg");
    EXPECT_EQ(ape.DisplayValue(3), "http://x/");
    // The cover is a picture: the bytes after the description.
    const auto pictures = AudioPictures(f->File);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].PictureType, 3);
    EXPECT_EQ(pictures[0].Size, 2u);
    EXPECT_EQ(pictures[0].Data.Chars(), "\xFF\xD8");
  }
  // A count more than the bytes can hold, a size past the start of the file, a size past the
  // limit: no tag. An item cut short ends the items.
  EXPECT_FALSE(Load(kFrame + items + ApeFooter(uint32_t(items.size() + 32), 100000, 0))->File.TagAPE->TagExists);
  EXPECT_FALSE(Load(items + ApeFooter(uint32_t(items.size() + 32 + 5000), 4, 0))->File.TagAPE->TagExists);
  EXPECT_FALSE(Load(kFrame + items + ApeFooter(0x7FFFFFFF, 4, 0))->File.TagAPE->TagExists);
  const std::string cut = ApeItem("Title", "T") + LE32(1000) + LE32(0) + "Big" + '\0' + "xx";
  auto f = Load(kFrame + cut + ApeFooter(uint32_t(cut.size() + 32), 2, 0));
  ASSERT_TRUE(f->File.TagAPE->TagExists);
  EXPECT_EQ(f->File.TagAPE->Items.size(), 1u);
}

TEST(ID3v2, Version22FramesAndPictures) {
  const auto frame22 = [](const std::string& id, const std::string& payload) {
    return id + char(payload.size() >> 16) + char(payload.size() >> 8) + char(payload.size()) + payload;
  };
  const std::string body = frame22("TT2", std::string("\0Twenty-two", 11)) + frame22("TYE", std::string("\0" "1997", 5)) +
                           frame22("PIC", std::string("\0PNG\x04", 5) + "back" + '\0' + "\x89PNG") +
                           frame22("ULT", std::string("\0eng\0a\rb", 9)) + frame22("XYZ", "raw");
  auto f = Load(Tag(2, body) + kFrame);
  const TTagID3v2& t = f->File.TagID3v2;
  ASSERT_TRUE(t.TagExists);
  EXPECT_EQ(t.TagDescription(), "ID3v2.2");
  EXPECT_EQ(t.Title(), "Twenty-two");
  EXPECT_EQ(t.Year(), 1997u);
  ASSERT_EQ(t.Pictures.size(), 1u);
  EXPECT_EQ(t.Pictures[0].MimeType, "image/png");
  EXPECT_EQ(t.Pictures[0].PictureType, 4);
  EXPECT_EQ(t.Pictures[0].Description, "back");
  EXPECT_EQ(t.Pictures[0].Data.size(), 4u);
  ASSERT_EQ(t.UnsyncLyrics.size(), 1u);
  EXPECT_EQ(TTagID3v2::LyricsDisplay(t.UnsyncLyrics[0].Text), "a\nb");
  ASSERT_EQ(t.UnknownData.size(), 1u);
  EXPECT_EQ(t.UnknownData[0].FrameId, "XYZ");
  EXPECT_EQ(f->Stream.Value("Container"), "MPEG-1 Layer 3");
  // A frame that runs past the tag is the last one read.
  auto g = Load(Tag(2, frame22("TT2", std::string("\0Cut", 4)).substr(0, 6) + std::string("\0Cu", 3)) + kFrame);
  EXPECT_EQ(g->File.TagID3v2.Title(), "Cu");
  // POPM with a counter longer than 64 bits; a 4 KiB cut of lyrics on a character boundary.
  auto p = Load(Tag(3, Frame(3, "POPM", std::string("m@x\0\xFF", 5) + std::string(9, '\x01'))) + kFrame);
  ASSERT_EQ(p->File.TagID3v2.Popularimeters.size(), 1u);
  EXPECT_EQ(p->File.TagID3v2.Popularimeters[0].Rating, 255);
  EXPECT_EQ(p->File.TagID3v2.Popularimeters[0].Counter, UINT64_MAX);
  std::string lyrics;
  for (int i = 0; i < 3000; ++i) lyrics += "é";
  const std::string shown = TTagID3v2::LyricsDisplay(lyrics);
  EXPECT_LE(shown.size(), 4096u);
  EXPECT_EQ(shown.size() % 2, 0u);
}
