// MP4/M4A streams and tags and the pictures of every tag kind on files made at test time by
// ffmpeg, lame, oggenc and flac, tagged by mutagen and metaflac, checked against mutagen,
// ffprobe and exiftool (picture_oracle.py); hostile MP4 atom trees built by hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

#include "common/bqTestFiles.h"
#include "shell/bqLitePropSheets.h"
#include "tags/bqViewAudioTags.h"
#include "tags/quTagMP4.h"
#include "tags/quTags.h"

using namespace bq;

namespace {

const char* const kPython = "/usr/bin/python3";

std::string Path(const std::string& name) { return (bqtest::ScratchDir() / name).string(); }
std::string Dir() { return std::string(BQ_PICTURE_ORACLE).substr(0, std::string(BQ_PICTURE_ORACLE).rfind('/')); }

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Records the page and the pictures it hands over.
class TPictureRecorder : public TPageRecorder {
public:
  struct TPicture { int Number; std::string Bytes; bool Shown; };
  std::vector<TPicture> Pictures;
  void AddPicture(int number, std::string_view bytes, bool shown) override {
    Pictures.push_back({number, std::string(bytes), shown});
  }
};

const char* const kOracleFiles[] = {"aac.m4a", "alac.m4a", "apic.mp3", "pic.flac", "pic.ogg"};

class PictureFiles : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    for (const char* tool : {"lame", "sox", "oggenc", "flac", "metaflac", "ffmpeg", "ffprobe", "exiftool"})
      if (!bqtest::HaveTool(tool)) GTEST_SKIP() << tool << " missing (scripts/install-deps.sh test)";
    const std::string make = std::string(kPython) + " " + Dir() + "/make_picture_fixtures.py ";
    const std::string steps[] = {
        "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=120x90 -frames:v 1 cover.jpg",
        "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=64x48 -frames:v 1 cover.png",
        "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=33x17 -frames:v 1 cover.gif",
        "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=31x19 -frames:v 1 cover.bmp",
        "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=40x30 -frames:v 1 -pix_fmt yuvj444p -q:v 2 p.jpg",
        "sox -n -b 16 -r 44100 -c 2 tone.wav synth 1 sine 440",
        "sox -n -b 16 -r 22050 -c 1 mono.wav synth 1.5 sine 300",
        "ffmpeg -loglevel error -y -i tone.wav -c:a aac -b:a 96k aac.m4a && " + make + "m4a aac.m4a cover.jpg cover.png",
        "ffmpeg -loglevel error -y -i mono.wav -c:a alac alac.m4a && " + make + "m4a alac.m4a cover.jpg cover.png",
        "ffmpeg -loglevel error -y -i mono.wav -c:a aac untagged.m4a",
        "lame --quiet -b 64 tone.wav apic.mp3 && " + make + "mp3 apic.mp3 cover.jpg cover.png",
        "flac -s -f -T TITLE=Song tone.wav -o pic.flac && metaflac --import-picture-from='4|image/png|back||cover.png' "
        "--import-picture-from='3|image/jpeg|front||cover.jpg' pic.flac",
        "oggenc -Q -c TITLE=Song tone.wav -o pic.ogg && " + make + "ogg pic.ogg cover.jpg cover.png",
    };
    for (const std::string& step : steps) ASSERT_TRUE(bqtest::Shell(step)) << step;
  }

  static TPageRecord Fill(const std::string& name, std::vector<TPictureRecorder::TPicture>* pictures = nullptr) {
    static const TExtensionLists lists =
        ParseExtensionLists("[Extensions]\nAudio=MP3,OGG,FLAC,M4A\nMP3=MP3\nFLAC=FLAC\nOGG=OGG\nMP4=M4A\n");
    TPictureRecorder view;
    FillAudioTagsPage(TPageContext{BuildSelection({Path(name)}, lists), nullptr}, view);
    if (pictures) *pictures = view.Pictures;
    return view.Record();
  }

  // The rows of a group, in order: label and first value.
  static std::vector<std::pair<std::string, std::string>> Rows(const TPageRecord& r, const std::string& header) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto& g : r.Groups)
      if (g.Header == header)
        for (const auto& row : r.Rows)
          if (row.Group() == g.Id) rows.emplace_back(std::string(row[0]), std::string(row[1]));
    return rows;
  }
  static std::string Cell(const TPageRecord& r, const std::string& header, const std::string& label) {
    for (const auto& [l, v] : Rows(r, header))
      if (l == label) return v;
    return "<none>";
  }

  static const std::string& Oracle() {
    static const std::string all = [] {
      std::string cmd = std::string(kPython) + " " + BQ_PICTURE_ORACLE;
      for (const char* f : kOracleFiles) cmd += " '" + Path(f) + "'";
      const auto run = bqtest::Run(cmd);
      return run.Status == 0 ? run.Out : std::string();
    }();
    return all;
  }

  // Every oracle line of the file is on its page; returns how many were checked.
  static size_t AgreesWithOracle(const std::string& name) {
    SCOPED_TRACE(name);
    const std::string& all = Oracle();
    EXPECT_FALSE(all.empty()) << "picture_oracle.py failed";
    const TPageRecord r = Fill(name);
    const std::string prefix = Path(name) + "\t";
    size_t checked = 0;
    for (size_t start = 0, end; start < all.size(); start = end + 1) {
      end = all.find('\n', start);
      if (end == std::string::npos) end = all.size();
      if (all.compare(start, prefix.size(), prefix) != 0) continue;
      const std::string line = all.substr(start + prefix.size(), end - start - prefix.size());
      const size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1);
      const std::string group = line.substr(0, t1), label = line.substr(t1 + 1, t2 - t1 - 1), value = line.substr(t2 + 1);
      ++checked;
      if (label[0] == '%' || label[0] == '@') {
        const std::string cell = Cell(r, group, label.substr(1));
        const double want = std::stod(value), got = std::strtod(cell.c_str(), nullptr);
        EXPECT_NEAR(got, want, label[0] == '%' ? want * 0.03 : 30.0) << group << ": " << label << " = " << cell;
      } else if (label[0] == '#') {
        const size_t n = std::stoul(label.substr(1));
        const auto rows = Rows(r, group);
        if (n > rows.size()) {
          ADD_FAILURE() << group << " " << label << ": only " << rows.size() << " rows";
          continue;
        }
        EXPECT_EQ(rows[n - 1].first + "\t" + rows[n - 1].second, value) << group << " " << label;
      } else {
        EXPECT_EQ(Cell(r, group, label), value) << group << ": " << label;
      }
    }
    return checked;
  }
};

TEST_F(PictureFiles, Mp4StreamsAndTagsAgreeWithMutagenAndFfprobe) {
  EXPECT_GE(AgreesWithOracle("aac.m4a"), 20u);
  EXPECT_GE(AgreesWithOracle("alac.m4a"), 20u);
  const TPageRecord r = Fill("untagged.m4a");
  EXPECT_EQ(Cell(r, "MP4 stream", "Codec"), "AAC LC");
  EXPECT_EQ(Cell(r, "MP4 stream", "Channels"), "1");
  // The new groups come after every group of the other tag kinds.
  std::vector<std::string> groups;
  for (const auto& g : Fill("aac.m4a").Groups) groups.push_back(g.Header);
  EXPECT_EQ(groups, (std::vector<std::string>{"MP4 stream", "MP4 tags", "Pictures"}));
}

TEST_F(PictureFiles, PicturesOfEveryTagKindAgreeWithMutagenAndExiftool) {
  for (const char* f : {"apic.mp3", "pic.flac", "pic.ogg", "aac.m4a"}) {
    EXPECT_GE(AgreesWithOracle(f), 2u) << f;
    // The bytes handed to the front end are the picture's, the front cover the one shown.
    std::vector<TPictureRecorder::TPicture> pictures;
    const TPageRecord r = Fill(f, &pictures);
    const auto rows = Rows(r, "Pictures");
    ASSERT_EQ(pictures.size(), rows.size()) << f;
    int shown = 0;
    for (size_t i = 0; i < pictures.size(); ++i) {
      EXPECT_EQ(pictures[i].Number, static_cast<int>(i) + 1);
      EXPECT_EQ(pictures[i].Bytes, ReadAll(Path(f) + ".pic" + std::to_string(i + 1))) << f << " " << i;
      if (pictures[i].Shown) {
        ++shown;
        EXPECT_EQ(rows[i].first, "Front cover") << f;
      }
    }
    EXPECT_EQ(shown, 1) << f;
  }
  // The comment pictures are not shown again as base64 text.
  EXPECT_EQ(Rows(Fill("pic.ogg"), "VorbisComments tags"), (std::vector<std::pair<std::string, std::string>>{{"Title", "Song"}}));
}

TEST_F(PictureFiles, ImageSizesAgreeWithExiftool) {
  for (const char* f : {"cover.jpg", "cover.png", "cover.gif", "cover.bmp", "p.jpg"}) {
    const auto run = bqtest::Run("exiftool -s -s -s -ImageSize '" + Path(f) + "'");
    const std::string bytes = ReadAll(Path(f));
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(PictureDimensions(TByteView(bytes), w, h)) << f;
    EXPECT_EQ(std::to_string(w) + "x" + std::to_string(h) + "\n", run.Out) << f;
  }
  // A JPEG cut before its frame header, and one whose segment lengths run in a circle of
  // zero-length markers, have no size.
  const std::string jpeg = ReadAll(Path("cover.jpg"));
  uint32_t w = 0, h = 0;
  EXPECT_FALSE(PictureDimensions(TByteView(jpeg.substr(0, 30)), w, h));
  std::string markers = "\xFF\xD8";
  for (int i = 0; i < 10000; ++i) markers += "\xFF\xD0";
  EXPECT_FALSE(PictureDimensions(TByteView(markers), w, h));
}

TEST_F(PictureFiles, ApeCoverItemsAndDamagedPictureBlocks) {
  const std::string jpeg = ReadAll(Path("cover.jpg"));
  TTagPicture p;
  const std::string value = std::string("cover.jpg") + '\0' + jpeg;
  ASSERT_TRUE(ReadApePicture("Cover Art (Front)", TByteView(value), p));
  EXPECT_EQ(p.PictureType, 3);
  EXPECT_EQ(p.MimeType, "image/jpeg");
  EXPECT_EQ(p.Description, "cover.jpg");
  EXPECT_EQ(std::string(p.Data.begin(), p.Data.end()), jpeg);
  EXPECT_TRUE(ReadApePicture("cover art (back)", TByteView(value), p));
  EXPECT_EQ(p.PictureType, 4);
  EXPECT_FALSE(ReadApePicture("Cover Art (Elsewhere)", TByteView(value), p));
  EXPECT_FALSE(ReadApePicture("Cover Art (Front)", TByteView(std::string_view("no description end")), p));

  // The FLAC picture block metaflac wrote, whole and cut at every length: a cut one is refused.
  const std::string flac = ReadAll(Path("pic.flac"));
  const size_t at = flac.find("image/png") - 8;  // type and MIME length come first
  const std::string block = flac.substr(at, 32 + 9 + 4 + 469);
  ASSERT_TRUE(ReadFlacPicture(TByteView(block), p));
  EXPECT_EQ(p.PictureType, 4);
  EXPECT_EQ(p.Size, 469u);
  for (size_t n = 0; n < block.size(); ++n) EXPECT_FALSE(ReadFlacPicture(TByteView(block.data(), n), p)) << n;
  std::vector<uint8_t> bytes;
  EXPECT_FALSE(DecodeBase64("QUJD*", bytes, 100));
  EXPECT_FALSE(DecodeBase64("QUJDRA==QQ", bytes, 100));
  ASSERT_TRUE(DecodeBase64("QUJD\r\nRA==", bytes, 100));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "ABCD");
  EXPECT_FALSE(DecodeBase64("QUJDRA==", bytes, 3));
}

// ---- Hostile atom trees.

std::string Be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}
std::string Atom(const std::string& type, const std::string& body) { return Be32(static_cast<uint32_t>(8 + body.size())) + type + body; }
std::string Ftyp() { return Atom("ftyp", "M4A " + Be32(0) + "M4A isom"); }
// An ilst item with one UTF-8 data atom.
std::string TextItem(const std::string& type, const std::string& text) { return Atom(type, Atom("data", Be32(1) + Be32(0) + text)); }
std::string Tags(const std::string& items) { return Atom("udta", Atom("meta", Be32(0) + Atom("ilst", items))); }

TTagMP4 Load(const std::string& bytes) {
  TTagMP4 tag;
  TTagSource source;
  source.OpenMemory(TByteView(bytes));
  tag.LoadFrom(source);
  return tag;
}

TEST(HostileMp4, DamageStopsTheWalkAndKeepsWhatCameBefore) {
  const std::string title = TextItem("\xA9nam", "Kept");
  // An item larger than its ilst, after a good one.
  std::string bytes = Ftyp() + Atom("moov", Tags(title + Be32(4096) + "\xA9" "ART"));
  TTagMP4 tag = Load(bytes);
  EXPECT_EQ(tag.Tags.Value("Title"), "Kept");
  EXPECT_EQ(tag.Tags.Count(), 1u);
  EXPECT_NE(tag.Error.find("runs past its parent"), std::string::npos) << tag.Error;

  // A 64-bit size claiming a petabyte.
  bytes = Ftyp() + Atom("moov", Tags(title)) + Be32(1) + "mdat" + Be32(0x40000) + Be32(0) + "xxxx";
  tag = Load(bytes);
  EXPECT_EQ(tag.Tags.Value("Title"), "Kept");
  EXPECT_FALSE(tag.Error.empty());
  EXPECT_EQ(tag.MediaDataSize, 0u);

  // Size 0: the atom runs to the end of its parent (here the file).
  bytes = Ftyp() + Be32(0) + "moov" + Tags(title);
  tag = Load(bytes);
  EXPECT_EQ(tag.Tags.Value("Title"), "Kept");
  EXPECT_TRUE(tag.Error.empty()) << tag.Error;

  // Nesting deeper than the bound.
  std::string nested = Tags(title);
  for (int i = 0; i < 40; ++i) nested = Atom("moov", nested);
  tag = Load(Ftyp() + nested);
  EXPECT_NE(tag.Error.find("nested deeper"), std::string::npos) << tag.Error;
  EXPECT_EQ(tag.Tags.Count(), 0u);

  // A size below the header's and a header cut by the end of the file.
  tag = Load(Ftyp() + Be32(3) + "moov");
  EXPECT_FALSE(tag.Error.empty());
  tag = Load(Ftyp() + Be32(1) + "moov" + "\x01");
  EXPECT_FALSE(tag.Error.empty());
}

TEST(HostileMp4, MetaWithAndWithoutVersionAndFreeformNames) {
  const std::string items = TextItem("\xA9nam", "T") +
                            Atom("----", Atom("mean", Be32(0) + "com.apple.iTunes") + Atom("name", Be32(0) + "A=B") +
                                             Atom("data", Be32(1) + Be32(0) + "v")) +
                            Atom("gnre", Atom("data", Be32(0) + Be32(0) + std::string("\0\x12", 2)));
  for (const std::string& meta : {Atom("meta", Be32(0) + Atom("ilst", items)), Atom("meta", Atom("ilst", items))}) {
    const TTagMP4 tag = Load(Ftyp() + Atom("moov", Atom("udta", meta)));
    EXPECT_EQ(tag.Tags.Value("Title"), "T");
    EXPECT_EQ(tag.Tags.Value("A-B"), "v");
    EXPECT_EQ(tag.Tags.Value("Genre"), "Rock");  // ID3v1 genre 17, stored plus one
  }
}

}  // namespace

namespace {

// One audio track whose mp4a entry carries an esds with this AudioSpecificConfig.
std::string AacTrack(const std::string& config, uint32_t entryRate) {
  std::string descriptor = std::string("\x05", 1) + static_cast<char>(config.size()) + config;
  std::string decoder = std::string("\x40\x15\0\0\0", 5) + Be32(64000) + Be32(48000) + descriptor;
  decoder = std::string("\x04", 1) + static_cast<char>(decoder.size()) + decoder;
  std::string es = std::string("\0\x01\0", 3) + decoder;
  es = std::string("\x03", 1) + static_cast<char>(es.size()) + es;
  const std::string esds = Atom("esds", Be32(0) + es);
  const std::string entry = Atom("mp4a", std::string(6, '\0') + std::string("\0\x01", 2) + std::string(8, '\0') +
                                             std::string("\0\x02\0\x10", 4) + Be32(0) + Be32(entryRate << 16) + esds);
  const std::string stsd = Atom("stsd", Be32(0) + Be32(1) + entry);
  const std::string hdlr = Atom("hdlr", Be32(0) + Be32(0) + "soun" + std::string(12, '\0') + "Sound");
  const std::string mdhd = Atom("mdhd", Be32(0) + Be32(0) + Be32(0) + Be32(48000) + Be32(96000) + Be32(0));
  return Atom("trak", Atom("mdia", mdhd + hdlr + Atom("minf", Atom("stbl", stsd))));
}

TEST(HandMadeMp4, AacObjectTypesFromTheAudioSpecificConfig) {
  // HE-AAC: object type 5, core at 24 kHz, stereo, the SBR output rate 48 kHz, AAC LC inside.
  TTagMP4 tag = Load(Ftyp() + Atom("moov", AacTrack("\x2B\x11\x88", 24000)));
  TNameValueList lines;
  tag.AddStreamInformation(lines);
  EXPECT_EQ(lines.Value("Codec"), "HE-AAC");
  EXPECT_EQ(lines.Value("Samplerate"), "48000 Hz");
  EXPECT_EQ(lines.Value("Channels"), "2");
  EXPECT_EQ(lines.Value("Bitrate"), "48");
  EXPECT_EQ(lines.Value("Duration"), "2000");
  // AAC LC at 44.1 kHz, mono.
  tag = Load(Ftyp() + Atom("moov", AacTrack("\x12\x08", 44100)));
  lines.Clear();
  tag.AddStreamInformation(lines);
  EXPECT_EQ(lines.Value("Codec"), "AAC LC");
  EXPECT_EQ(lines.Value("Channels"), "1");
  EXPECT_EQ(lines.Value("Samplerate"), "44100 Hz");
  // A config cut short keeps the sample entry's values and the plain codec name.
  tag = Load(Ftyp() + Atom("moov", AacTrack("\x12", 22050)));
  lines.Clear();
  tag.AddStreamInformation(lines);
  EXPECT_EQ(lines.Value("Codec"), "AAC");
  EXPECT_EQ(lines.Value("Samplerate"), "22050 Hz");
}

}  // namespace
