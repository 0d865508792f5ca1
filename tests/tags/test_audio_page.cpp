// The Audio page on files made by real tools, checked value by value against independent
// readers (mutagen, ffprobe, exiftool through audio_oracle.py), and its single and comparison
// layouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "common/bqTestFiles.h"
#include "platform/bqFile.h"
#include "shell/bqLitePropSheets.h"
#include "tags/bqViewAudioTags.h"
#include "tags/quTags.h"

using namespace bq;

namespace {

const char* const kPython = "/usr/bin/python3";  // Debian's, with python3-mutagen

std::string Path(const std::string& name) { return (bqtest::ScratchDir() / name).string(); }

// The files the oracle reads.
const char* const kOracleFiles[] = {"tagged.mp3", "v1only.mp3", "v2only.mp3", "padded.mp3", "vbr.mp3", "bare.mp3",
                                    "second.mp3", "mutagen23.mp3", "mutagen24.mp3", "eyed3.mp3", "id3v2tool.mp3",
                                    "plain.ogg", "long.ogg", "tagged.flac", "untagged.flac", "noblock.flac", "tone.wav",
                                    "mono.wav", "u8.wav", "s24.wav", "float.wav", "alaw.wav", "ulaw.wav", "info.wav",
                                    "v2.mp3", "abr.mp3", "v2t.mp3", "abrt.mp3", "year.mp3", "native.ogg", "utf8.wav",
                                    "song.opus", "ff.opus", "song.oga", "sox.aiff", "sox.aifc", "id3.aiff", "text.aiff",
                                    "ape.mp3", "apev1.mp3", "ape.wv", "ape.mpc", "v22.mp3", "frames23.mp3", "frames24.mp3"};

// Every fixture, made once for the whole binary.
class AudioFiles : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    for (const char* tool : {"lame", "sox", "oggenc", "flac", "metaflac", "ffmpeg", "ffprobe", "exiftool", "eyeD3", "id3v2",
                             "opusenc", "wavpack", "mpcenc"})
      if (!bqtest::HaveTool(tool)) GTEST_SKIP() << tool << " missing (scripts/install-deps.sh test)";
    const std::string dir = std::string(BQ_AUDIO_ORACLE).substr(0, std::string(BQ_AUDIO_ORACLE).rfind('/'));
    const std::string steps[] = {
        "sox -n -b 16 -r 44100 -c 2 tone.wav synth 1 sine 440",
        "sox -n -b 16 -r 22050 -c 1 mono.wav synth 1 sine 300",
        "lame --quiet -b 128 --tt 'Τίτλος' --ta 'アーティスト' --tl Album --ty 2004 --tn 3/12 --tg Rock --tc 'A comment' tone.wav tagged.mp3",
        "lame --quiet -b 128 --tt 'Only v1' --ta Artist --tg 17 --id3v1-only tone.wav v1only.mp3",
        "lame --quiet -b 128 --tt 'Only v2' --id3v2-only tone.wav v2only.mp3",
        "lame --quiet -b 64 --tt Short --add-id3v2 --pad-id3v2 mono.wav padded.mp3",
        "lame --quiet -V 2 --tt Variable --ta Band tone.wav vbr.mp3",
        "lame --quiet -b 32 tone.wav bare.mp3",
        "lame --quiet -b 32 --tt First tone.wav first.mp3",
        "lame --quiet -b 32 -m m --tt Second --ta Singer mono.wav second.mp3",
        "cp bare.mp3 mutagen23.mp3 && " + std::string(kPython) + " " + dir + "/make_id3_fixture.py mutagen23.mp3 3",
        "cp bare.mp3 mutagen24.mp3 && " + std::string(kPython) + " " + dir + "/make_id3_fixture.py mutagen24.mp3 4",
        "cp bare.mp3 eyed3.mp3 && eyeD3 -Q --to-v2.4 -a 'Ärtist' -t Title -G '(17)(4)Live' --user-text-frame 'DESC:value' "
        "--user-url-frame 'Home:http://x.org/' --add-comment 'Hi:cdesc:eng' eyed3.mp3",
        "cp bare.mp3 id3v2tool.mp3 && id3v2 -a Artist -t Title -g 17 -y 1998 -T 4/5 id3v2tool.mp3",
        "oggenc -Q -c ARTIST=Band -c TITLE=Song -c artist=B -c 'COMMENT=ωμέγα' tone.wav -o plain.ogg",
        "oggenc -Q -c TITLE=Long -c DESCRIPTION=$(head -c 100000 /dev/zero | tr '\\0' x) tone.wav -o long.ogg",
        "flac -s -f -T ARTIST=Band -T TITLE=Song -T TRACKNUMBER=2 tone.wav -o tagged.flac",
        "flac -s -f mono.wav -o untagged.flac && metaflac --remove-all-tags untagged.flac",
        "flac -s -f mono.wav -o noblock.flac && metaflac --remove --block-type=VORBIS_COMMENT noblock.flac",
        "sox -n -b 8 -r 8000 -c 1 u8.wav synth 0.2 sine 300",
        "sox -n -b 24 -r 96000 -c 2 s24.wav synth 0.2 sine 300",
        "sox -n -e floating-point -b 32 -r 48000 -c 2 float.wav synth 0.2 sine 300",
        "sox -n -e a-law -r 8000 -c 1 alaw.wav synth 0.2 sine 300",
        "sox -n -e mu-law -r 8000 -c 1 ulaw.wav synth 0.2 sine 300",
        "ffmpeg -loglevel error -y -i mono.wav -metadata title=Song -metadata artist=Band -metadata genre=Rock info.wav",
        "printf 'plain text\\n' > notes.txt",
        // Quiet tone then loud noise: a variable bitrate that varies; with and without the Xing header.
        "sox -n -r 44100 -c 2 -b 16 quiet.wav synth 3 sine 440 vol 0.1 && sox -n -r 44100 -c 2 -b 16 loud.wav synth 3 "
        "whitenoise vol 0.5 && sox quiet.wav loud.wav varied.wav",
        "lame --quiet -V 2 varied.wav v2.mp3 && lame --quiet -V 2 -t varied.wav v2t.mp3",
        "lame --quiet --abr 64 varied.wav abr.mp3 && lame --quiet --abr 64 -t varied.wav abrt.mp3",
        "cp bare.mp3 year.mp3 && " + std::string(kPython) +
            " -c \"from mutagen.id3 import ID3, TYER, TIT2; t = ID3(); t.add(TYER(encoding=0, text='2004-05')); "
            "t.add(TIT2(encoding=0, text='Y')); t.save('year.mp3', v2_version=3)\"",
        // An ID3v2.3 tag with a flag bit no revision defines, and one of revision 2.5.
        "cp year.mp3 unknownflag.mp3 && printf '\\001' | dd of=unknownflag.mp3 bs=1 seek=5 conv=notrunc",
        "cp year.mp3 revision5.mp3 && printf '\\005' | dd of=revision5.mp3 bs=1 seek=3 conv=notrunc",
        "ffmpeg -loglevel error -y -i mono.wav -ac 2 -c:a vorbis -strict -2 native.ogg",
        "ffmpeg -loglevel error -y -i mono.wav -metadata title='Bänd' -metadata artist=Odd -metadata album=Xy utf8.wav",
        // Its INFO list's size without the pad byte after "Xy", and the file cut inside the list.
        "cp utf8.wav nopad.wav && printf '\\077' | dd of=nopad.wav bs=1 seek=40 conv=notrunc",
        "cp utf8.wav cut.wav && truncate -s 100 cut.wav",
        // Opus (opusenc, ffmpeg), FLAC in Ogg, AIFF and AIFF-C (sox), AIFF with an ID3 chunk
        // (ffmpeg) and with text chunks (mutagen has no writer for them: ffmpeg's NAME comes
        // from the title; AUTH/ANNO/(c) are added by the maker below).
        "opusenc --quiet --title Song --artist Band --comment \"LYRICS=$(printf 'one\\ntwo')\" tone.wav song.opus",
        "ffmpeg -loglevel error -y -i mono.wav -c:a libopus -metadata title=FF ff.opus",
        "flac -s -f --ogg -T TITLE=OggSong -T ARTIST=Band tone.wav -o song.oga",
        "sox tone.wav sox.aiff && sox mono.wav -e signed -t aifc sox.aifc",
        "ffmpeg -loglevel error -y -i mono.wav -write_id3v2 1 -metadata title=Id3Title -metadata artist=Id3Artist id3.aiff",
        "ffmpeg -loglevel error -y -i mono.wav -metadata title=Named -metadata author=Writer -metadata comment=Note "
        "-metadata copyright=Owner text.aiff",
        // APEv2 by mutagen: on an MP3, before an ID3v1 record, on a WavPack file.
        "cp bare.mp3 ape.mp3 && " + std::string(kPython) + " " + dir + "/make_ape_fixture.py ape.mp3",
        "cp bare.mp3 apev1.mp3 && " + std::string(kPython) + " " + dir + "/make_ape_fixture.py apev1.mp3 --id3v1",
        "wavpack -q mono.wav -o ape.wv && " + std::string(kPython) + " " + dir + "/make_ape_fixture.py ape.wv",
        "mpcenc --silent tone.wav ape.mpc && " + std::string(kPython) + " " + dir + "/make_ape_fixture.py ape.mpc",
        // ID3v2.2 by hand; the frames users read in 2.3 and 2.4 by mutagen.
        std::string(kPython) + " " + dir + "/make_id3v22_fixture.py bare.mp3 v22.mp3",
        "cp bare.mp3 frames23.mp3 && " + std::string(kPython) + " " + dir + "/make_id3_frames_fixture.py frames23.mp3 3",
        "cp bare.mp3 frames24.mp3 && " + std::string(kPython) + " " + dir + "/make_id3_frames_fixture.py frames24.mp3 4",
    };
    for (const std::string& step : steps) ASSERT_TRUE(bqtest::Shell(step)) << step;
  }

  static TPageRecord Fill(const std::vector<std::string>& names) {
    static const TExtensionLists lists = ParseExtensionLists(
        "[Extensions]\nAudio=MP3,WAV,OGG,FLAC,OPUS,OGA,AIFF,AIFC,WV,MPC\nMP3=MP3\nWave=WAV\nFLAC=FLAC\nOGG=OGG,OGA,OPUS\n"
        "AIFF=AIF,AIFF,AIFC\n");
    std::vector<std::string> paths;
    for (const auto& n : names) paths.push_back(Path(n));
    TPageRecorder view;
    FillAudioTagsPage(TPageContext{BuildSelection(paths, lists), nullptr}, view);
    return view.Record();
  }

  static std::vector<std::string> Groups(const TPageRecord& r) {
    std::vector<std::string> g;
    for (const auto& group : r.Groups) g.push_back(group.Header);
    return g;
  }
  // The rows of one group: label -> cells after the label.
  static std::multimap<std::string, std::vector<std::string>> Rows(const TPageRecord& r, const std::string& header) {
    std::multimap<std::string, std::vector<std::string>> rows;
    for (const auto& g : r.Groups)
      if (g.Header == header)
        for (const auto& row : r.Rows)
          if (row.Group() == g.Id) {
            auto cells = row.Cells();
            rows.emplace(cells[0], std::vector<std::string>(cells.begin() + 1, cells.end()));
          }
    return rows;
  }
  static std::string Cell(const TPageRecord& r, const std::string& header, const std::string& label, size_t column = 0) {
    const auto rows = Rows(r, header);
    const auto it = rows.find(label);
    return it == rows.end() || column >= it->second.size() ? "<none>" : it->second[column];
  }

  static std::string SortedParts(const std::string& text) {
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
      const size_t semi = text.find(';', start);
      parts.push_back(text.substr(start, semi - start));
      if (semi == std::string::npos) break;
      start = semi + 1;
    }
    std::sort(parts.begin(), parts.end());
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : ";") + p;
    return out;
  }

  // Every value the oracle reads is on the page, in its group. The oracle reads every file in
  // one run (each start of python and exiftool costs more than the reading).
  static void AgreesWithOracle(const std::string& name) {
    SCOPED_TRACE(name);
    static const std::string all = [] {
      std::string cmd = std::string(kPython) + " " + BQ_AUDIO_ORACLE;
      for (const char* f : kOracleFiles) cmd += " '" + Path(f) + "'";
      std::string text;
      if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
        if (pclose(p) != 0) text.clear();
      }
      return text;
    }();
    ASSERT_FALSE(all.empty()) << "audio_oracle.py failed";
    const TPageRecord r = Fill({name});
    std::string out;
    const std::string prefix = Path(name) + "\t";
    for (size_t start = 0; start < all.size();) {
      size_t end = all.find('\n', start);
      if (end == std::string::npos) end = all.size();
      if (all.compare(start, prefix.size(), prefix) == 0) out += all.substr(start + prefix.size(), end + 1 - start - prefix.size());
      start = end + 1;
    }
    size_t checked = 0;
    for (size_t start = 0; start < out.size();) {
      size_t end = out.find('\n', start);
      if (end == std::string::npos) end = out.size();
      const std::string line = out.substr(start, end - start);
      start = end + 1;
      const size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1);
      const std::string group = line.substr(0, t1), label = line.substr(t1 + 1, t2 - t1 - 1), value = line.substr(t2 + 1);
      ++checked;
      if (label[0] == '%') {  // the number the cell starts with, within 3 %
        const std::string cell = Cell(r, group, label.substr(1));
        const double want = std::stod(value), got = std::strtod(cell.c_str(), nullptr);
        EXPECT_NEAR(got, want, want * 0.03) << group << ": " << label << " = " << cell;
      } else if (label == "*") {
        bool found = false;
        for (const auto& [l, cells] : Rows(r, group)) found = found || cells[0] == value;
        EXPECT_TRUE(found) << group << ": no row with the value " << value;
      } else if (label[0] == '=') {  // a value with Python escapes: \n for a line break
        std::string want;
        for (size_t i = 0; i < value.size(); ++i) {
          if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == 'n') want += '\n', ++i;
          else want += value[i];
        }
        EXPECT_EQ(Cell(r, group, label.substr(1)), want) << group << ": " << label;
      } else if (label[0] == '@') {
        EXPECT_EQ(Cell(r, group, TTagID3v2::FrameLabel(label.substr(1))), value) << group << ": " << label;
      } else if (label[0] == '#' || label[0] == '~') {
        const std::string desc = TTagID3v2::FrameDescription(label.substr(1));
        const auto rows = Rows(r, group);
        bool found = false;
        for (auto [it, e] = rows.equal_range(desc); it != e; ++it)
          found = found || (label[0] == '#' ? it->second[0] : SortedParts(it->second[0])) == value;
        EXPECT_TRUE(found) << group << ": " << label << " " << desc << " = " << value;
      } else {
        EXPECT_EQ(Cell(r, group, label), value) << group << ": " << label;
      }
    }
    EXPECT_GE(checked, 3u);
  }
};

TEST_F(AudioFiles, LameFilesAgreeWithMutagen) {
  for (const char* f : {"tagged.mp3", "v1only.mp3", "v2only.mp3", "padded.mp3", "vbr.mp3", "bare.mp3", "second.mp3"})
    AgreesWithOracle(f);
  // Both tags: the groups in their order; the Greek title and Japanese artist kept whole in
  // ID3v2, the ID3v1 copy through the 8-bit code page.
  TPageRecord r = Fill({"tagged.mp3"});
  EXPECT_EQ(Groups(r), (std::vector<std::string>{"MPEG stream", "ID3v1 tags", "ID3v2 tags"}));
  EXPECT_EQ(Cell(r, "ID3v2 tags", "Title/Songname/Content description"), "Τίτλος");
  EXPECT_EQ(Cell(r, "ID3v2 tags", "Lead artist/Lead performer/Soloist/Performing group"), "アーティスト");
  EXPECT_EQ(Cell(r, "ID3v1 tags", "Genre"), "17");
  EXPECT_EQ(Cell(r, "ID3v1 tags", "Year"), "2004");
  EXPECT_EQ(r.Columns.size(), 2u);
  EXPECT_EQ(r.Columns[1].Width, 220);
  // No ID3v2 tag: the MPEG lines come from the header at offset 0.
  EXPECT_EQ(Groups(Fill({"v1only.mp3"})), (std::vector<std::string>{"MPEG stream", "ID3v1 tags"}));
  EXPECT_EQ(Groups(Fill({"bare.mp3"})), (std::vector<std::string>{"MPEG stream"}));
  // The Xing header of a VBR file; MPEG-2 for 22050 Hz.
  r = Fill({"vbr.mp3"});
  EXPECT_NE(Cell(r, "MPEG stream", "Framecount"), "<none>");
  EXPECT_NE(Cell(r, "MPEG stream", "Bytecount"), "<none>");
  EXPECT_EQ(Cell(r, "MPEG stream", "X:TagEnd"), "<none>");
  EXPECT_EQ(Cell(Fill({"second.mp3"}), "MPEG stream", "Container"), "MPEG-2 Layer 3");
}

TEST_F(AudioFiles, VariableBitratesAgreeWithMutagenAndFfprobe) {
  for (const char* f : {"v2.mp3", "abr.mp3", "v2t.mp3", "abrt.mp3"}) AgreesWithOracle(f);
  // With the Xing header the duration is the frame count's; without it, the frames' bitrates
  // differ, and the duration is marked as an estimate from the size.
  for (const char* f : {"v2.mp3", "abr.mp3"}) {
    const TPageRecord r = Fill({f});
    EXPECT_EQ(Cell(r, "MPEG stream", "Bitrate mode"), "VBR") << f;
    EXPECT_EQ(Cell(r, "MPEG stream", "Duration").find("estimated"), std::string::npos) << f;
  }
  for (const char* f : {"v2t.mp3", "abrt.mp3"}) {
    const TPageRecord r = Fill({f});
    EXPECT_EQ(Cell(r, "MPEG stream", "Bitrate mode"), "VBR") << f;
    EXPECT_EQ(Cell(r, "MPEG stream", "Framecount"), "<none>") << f;
    const std::string duration = Cell(r, "MPEG stream", "Duration");
    EXPECT_EQ(duration.substr(duration.find(' ') + 1), "(estimated)") << f;
  }
  // A constant-bitrate file's Info header.
  EXPECT_EQ(Cell(Fill({"tagged.mp3"}), "MPEG stream", "Bitrate mode"), "CBR");
}

TEST_F(AudioFiles, TextYears) {
  AgreesWithOracle("year.mp3");
  EXPECT_EQ(Cell(Fill({"year.mp3"}), "ID3v2 tags", "Year"), "2004-05");
}

TEST_F(AudioFiles, UnreadableID3v2) {
  // The tag is not read, the stream after its declared size is: the same lines as the tag's file.
  const auto stream = Rows(Fill({"year.mp3"}), "MPEG stream");
  ASSERT_FALSE(stream.empty());
  for (const char* f : {"unknownflag.mp3", "revision5.mp3"}) {
    const TPageRecord r = Fill({f});
    EXPECT_EQ(Groups(r), (std::vector<std::string>{"MPEG stream"})) << f;
    EXPECT_EQ(Rows(r, "MPEG stream"), stream) << f;
  }
}

TEST_F(AudioFiles, ID3v2WritersAgreeWithMutagen) {
  for (const char* f : {"mutagen23.mp3", "mutagen24.mp3", "eyed3.mp3", "id3v2tool.mp3"}) AgreesWithOracle(f);
  for (const char* f : {"mutagen23.mp3", "mutagen24.mp3"}) {
    SCOPED_TRACE(f);
    TTaggedFile t;
    t.LoadFromFile(Path(f));
    const TTagID3v2& v2 = t.TagID3v2;
    EXPECT_EQ(v2.Title(), "Café Latin");
    EXPECT_EQ(v2.Artist(), "Αρτίστας");
    EXPECT_EQ(v2.Album(), "アルバム");
    EXPECT_EQ(v2.StringTags.Value("TCOM"), "Komponist ü");
    EXPECT_EQ(v2.GenreString(), "Live;Disco;Rock");
    EXPECT_EQ(v2.TrackNo(), 7u);
    EXPECT_EQ(v2.TrackCount(), 9u);
    EXPECT_EQ(v2.UserStringTags.Value("Mood"), "calm");
    EXPECT_EQ(v2.UserURLTags.Value("Home"), "http://example.org/");
    EXPECT_EQ(v2.URLTags.Value("WOAR"), "http://artist.example/");
    ASSERT_EQ(v2.Comments.size(), 1u);
    EXPECT_EQ(v2.Comments[0].ContentDescriptor, "note");
    EXPECT_EQ(v2.Comments[0].Text, "Comment é");
    ASSERT_EQ(v2.Pictures.size(), 1u);
    EXPECT_EQ(v2.Pictures[0].Description, "front");
    EXPECT_EQ(v2.Pictures[0].Data.size(), 304u);
    // The frames' end is the MPEG stream's start.
    TNameValueList l;
    v2.AddStreamInformation(l);
    EXPECT_EQ(l.Value("X:Gap"), "");
  }
  TTaggedFile t;
  t.LoadFromFile(Path("eyed3.mp3"));
  EXPECT_EQ(t.TagID3v2.TagDescription(), "ID3v2.4");
  EXPECT_EQ(t.TagID3v2.UserStringTags.Value("DESC"), "value");
  EXPECT_EQ(t.TagID3v2.Artist(), "Ärtist");
  t.LoadFromFile(Path("id3v2tool.mp3"));
  EXPECT_EQ(t.TagID3v2.Year(), 1998u);
  EXPECT_EQ(t.TagID3v1.FieldValue(5), "17");
  EXPECT_EQ(t.TagCount(), 2);
}

TEST_F(AudioFiles, OggAndFlacAgreeWithMutagen) {
  for (const char* f : {"plain.ogg", "long.ogg", "tagged.flac", "untagged.flac", "noblock.flac", "native.ogg"}) AgreesWithOracle(f);
  // ffmpeg's own encoder leaves the nominal bitrate unset.
  EXPECT_EQ(Cell(Fill({"native.ogg"}), "OGG/FLAC stream", "Bitrate (nominal)"), "<none>");
  TPageRecord r = Fill({"plain.ogg"});
  EXPECT_EQ(Groups(r), (std::vector<std::string>{"OGG/FLAC stream", "VorbisComments tags"}));
  EXPECT_EQ(Cell(r, "VorbisComments tags", "Artist"), "B");
  EXPECT_EQ(Cell(r, "VorbisComments tags", "Comment"), "ωμέγα");
  // A comment packet spanning pages.
  EXPECT_EQ(Cell(Fill({"long.ogg"}), "VorbisComments tags", "Description").size(), 100000u);
  EXPECT_EQ(Cell(Fill({"tagged.flac"}), "VorbisComments tags", "Tracknumber"), "2");
  // An emptied comment block still is one; without the block STREAMINFO alone is shown.
  EXPECT_EQ(Groups(Fill({"untagged.flac"})), (std::vector<std::string>{"OGG/FLAC stream", "VorbisComments tags"}));
  EXPECT_EQ(Groups(Fill({"noblock.flac"})), (std::vector<std::string>{"OGG/FLAC stream"}));
}

TEST_F(AudioFiles, WaveAgreesWithFfprobeAndExiftool) {
  for (const char* f : {"tone.wav", "mono.wav", "u8.wav", "s24.wav", "float.wav", "alaw.wav", "ulaw.wav", "info.wav"})
    AgreesWithOracle(f);
  TPageRecord r = Fill({"info.wav"});
  EXPECT_EQ(Groups(r), (std::vector<std::string>{"Wave stream", "Wave tags"}));
  EXPECT_EQ(Cell(r, "Wave tags", "Title"), "Song");
  EXPECT_EQ(Cell(r, "Wave tags", "Genre"), "Rock");
  EXPECT_EQ(Cell(r, "Wave tags", "ISFT").substr(0, 4), "Lavf");

  // ffmpeg writes INFO text in UTF-8.
  AgreesWithOracle("utf8.wav");
  r = Fill({"utf8.wav"});
  EXPECT_EQ(Cell(r, "Wave tags", "Title"), "Bänd");
  // A list size without its pad byte reads as the whole file did; a file cut inside the list
  // keeps its format and the entries before the cut.
  const TPageRecord nopad = Fill({"nopad.wav"});
  EXPECT_EQ(Groups(nopad), Groups(r));
  for (const char* group : {"Wave stream", "Wave tags"}) EXPECT_EQ(Rows(nopad, group), Rows(r, group)) << group;
  const TPageRecord cut = Fill({"cut.wav"});
  auto stream = Rows(r, "Wave stream");
  stream.erase("Duration");  // the data chunk is gone
  EXPECT_EQ(Rows(cut, "Wave stream"), stream);
  auto tags = Rows(r, "Wave tags");
  tags.erase("ISFT");
  EXPECT_EQ(Rows(cut, "Wave tags"), tags);
}

TEST_F(AudioFiles, Comparison) {
  // Only the second file has TPE1; a text file takes no column; files without ID3v2 tags
  // still compare their MPEG lines.
  TPageRecord r = Fill({"first.mp3", "notes.txt", "second.mp3", "bare.mp3"});
  ASSERT_EQ(r.Columns.size(), 4u);
  EXPECT_EQ(r.Columns[1].Title, "Data");
  EXPECT_EQ(r.Columns[1].Width, 128);
  EXPECT_EQ(Groups(r), (std::vector<std::string>{"MPEG stream", "ID3v1 tags", "ID3v2 tags", "Wave tags", "VorbisComments tags"}));
  ASSERT_GT(r.Rows.size(), 2u);
  EXPECT_EQ(r.Rows[0].Cells(), (std::vector<std::string>{"Filename", "first.mp3", "second.mp3", "bare.mp3"}));
  EXPECT_EQ(r.Rows[1].Cells()[0], "Container");
  EXPECT_EQ(Rows(r, "MPEG stream").find("Samplerate")->second, (std::vector<std::string>{"16000 Hz", "22050 Hz", "16000 Hz"}));
  EXPECT_EQ(Rows(r, "ID3v2 tags").find("Lead artist/Lead performer/Soloist/Performing group")->second,
            (std::vector<std::string>{"n/a", "Singer", "n/a"}));
  EXPECT_EQ(Rows(r, "ID3v1 tags").find("Title")->second, (std::vector<std::string>{"First", "Second", "n/a"}));

  // Ogg, FLAC and WAV files give no MPEG lines from bytes in their data.
  r = Fill({"plain.ogg", "tagged.flac", "info.wav", "missing.mp3"});
  EXPECT_EQ(Groups(r), (std::vector<std::string>{"OGG/FLAC stream", "Wave stream", "ID3v2 tags", "Wave tags", "VorbisComments tags"}));
  EXPECT_EQ(Rows(r, "OGG/FLAC stream").find("Container")->second,
            (std::vector<std::string>{"Ogg container", "Native flac", "n/a", "n/a"}));
  EXPECT_EQ(Rows(r, "Wave stream").find("Filename")->second,
            (std::vector<std::string>{"plain.ogg", "tagged.flac", "info.wav", "missing.mp3"}));
}

}  // namespace

// Opus from opusenc and ffmpeg, FLAC in Ogg: the stream lines and comments agree with mutagen
// and exiftool; the Opus duration leaves out the pre-skip.
TEST_F(AudioFiles, OpusAndOggFlacAgreeWithMutagen) {
  for (const char* f : {"song.opus", "ff.opus", "song.oga"}) AgreesWithOracle(f);
  const TPageRecord r = Fill({"song.opus"});
  EXPECT_EQ(Groups(r), (std::vector<std::string>{"OGG/FLAC stream", "VorbisComments tags"}));
  EXPECT_EQ(Cell(r, "OGG/FLAC stream", "Duration"), "1000");
  EXPECT_EQ(Cell(r, "VorbisComments tags", "Lyrics"), "one\ntwo");  // the JSON keeps the line break
  EXPECT_EQ(Cell(Fill({"song.oga"}), "VorbisComments tags", "Title"), "OggSong");
}

// AIFF and AIFF-C from sox, the ID3 chunk and the text chunks from ffmpeg.
TEST_F(AudioFiles, AiffAgreesWithMutagenAndExiftool) {
  for (const char* f : {"sox.aiff", "sox.aifc", "id3.aiff", "text.aiff"}) AgreesWithOracle(f);
  TPageRecord r = Fill({"sox.aifc"});
  EXPECT_EQ(Cell(r, "AIFF stream", "Container"), "AIFF-C");
  EXPECT_EQ(Cell(r, "AIFF stream", "Samplerate"), "22050 Hz");
  r = Fill({"id3.aiff"});
  EXPECT_EQ(Groups(r), (std::vector<std::string>{"ID3v2 tags", "AIFF stream", "AIFF tags"}));
  EXPECT_EQ(Cell(r, "ID3v2 tags", "Lead artist/Lead performer/Soloist/Performing group"), "Id3Artist");
}

// APEv2 after the audio, before an ID3v1 record, on WavPack and Musepack files; the MP3's duration
// leaves the tag out.
TEST_F(AudioFiles, ApeTagsAgreeWithMutagen) {
  for (const char* f : {"ape.mp3", "apev1.mp3", "ape.wv", "ape.mpc"}) AgreesWithOracle(f);
  const TPageRecord r = Fill({"apev1.mp3"});
  const auto groups = Groups(r);
  ASSERT_GE(groups.size(), 2u);
  EXPECT_EQ(groups[groups.size() - 2], "APE tags");
  EXPECT_EQ(Cell(r, "APE tags", "Artist"), "One; Two");
  EXPECT_EQ(Cell(r, "APE tags", "Cover Art (Front)"), "<binary, 114 bytes>");
  // The cover item is a picture as well: the 104 bytes after its name.
  EXPECT_EQ(groups.back(), "Pictures");
  EXPECT_EQ(Cell(r, "Pictures", "Front cover"), "image/jpeg, 104 bytes");
  EXPECT_EQ(Cell(r, "ID3v1 tags", "Title"), "V1 title");
}

// ID3v2.2 read as 2.3 (ids mapped for display), and the comment, user text, URL, lyrics,
// rating and private frames of 2.3 and 2.4 tags, against mutagen.
TEST_F(AudioFiles, Id3FramesAgreeWithMutagen) {
  for (const char* f : {"v22.mp3", "frames23.mp3", "frames24.mp3"}) AgreesWithOracle(f);
  TPageRecord r = Fill({"v22.mp3"});
  EXPECT_EQ(Cell(r, "ID3v2 tags", "Title/Songname/Content description"), "Café v22");
  EXPECT_EQ(Cell(r, "ID3v2 tags", "Year"), "1998");
  r = Fill({"frames24.mp3"});
  EXPECT_EQ(Cell(r, "ID3v2 tags", "Private data"), "owner.example");
  // Lyrics are cut at 4 KiB with their line breaks kept.
  const std::string lyrics = Cell(r, "ID3v2 tags", "Lyrics [eng]: words");
  EXPECT_LE(lyrics.size(), 4096u);
  EXPECT_EQ(lyrics.substr(0, 13), "line one\nline");
  // The ID3v2.2 picture is kept for the pictures group: MIME from its image format.
  TTaggedFile file;
  file.LoadFromFile(Path("v22.mp3"));
  ASSERT_EQ(file.TagID3v2.Pictures.size(), 1u);
  EXPECT_EQ(file.TagID3v2.Pictures[0].MimeType, "image/jpeg");
  EXPECT_EQ(file.TagID3v2.Pictures[0].PictureType, 3);
  EXPECT_EQ(file.TagID3v2.Pictures[0].Description, "front");
  EXPECT_EQ(file.TagID3v2.Pictures[0].Data.size(), 64u);
}
