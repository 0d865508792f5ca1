#include "tags/bqViewAudioTags.h"

#include <deque>
#include <memory>
#include <unordered_map>

#include "platform/bqText.h"
#include "tags/bqViewAudioExtras.h"
#include "tags/quTags.h"

namespace bq {

namespace {

// First character upper case, the others lower case (ASCII letters only).
std::string Capitalize(const std::string& name) {
  std::string s = LowerAscii(name);
  if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 32);
  return s;
}

class TAudioPage {
public:
  explicit TAudioPage(TPageView& view) : FView(view) {}

  void AddGroup(const char* title) { FView.AddGroup(++FGroup, title); }
  // A row labelled label with values from column 1 on.
  void AddRow(const std::string& label, const std::vector<std::string>& values) {
    const int row = FView.InsertRow(FRow, label);
    for (size_t c = 0; c < values.size(); ++c) FView.SetCell(row, static_cast<int>(c) + 1, values[c]);
    FView.SetRowGroup(row, FGroup);
    ++FRow;
  }
  void AddList(const char* title, const TNameValueList& list) {
    if (list.Empty()) return;
    AddGroup(title);
    for (size_t i = 0; i < list.Count(); ++i) AddRow(list.Name(i), {list.ValueAt(i)});
  }

  void Single(const std::string& name);
  void Comparison(const TSelection& selection);

private:
  void MergeIntoGroup(const char* title, std::vector<TNameValueList>& lists);

  TPageView& FView;
  int FGroup = 0, FRow = 0;
};

void TAudioPage::Single(const std::string& name) {
  FView.AddColumn("Data", 220, TAlign::alLeft);
  auto t = std::make_unique<TTaggedFile>();
  t->LoadFromFile(name);
  TNameValueList l;
  // Without an ID3v2 tag the MPEG lines come only from a Layer III header at offset 0.
  t->TagID3v2.AddStreamInformation(l);
  AddList("MPEG stream", l);
  l.Clear();
  t->TagVorbis.AddStreamInformation(l);  // whenever the identification header or STREAMINFO was read
  AddList("OGG/FLAC stream", l);
  l.Clear();
  t->TagWave.AddStreamInformation(l);
  AddList("Wave stream", l);
  if (t->TagID3v1.TagExists) {
    AddGroup("ID3v1 tags");
    for (int i = 0; i < 7; ++i) AddRow(ID3v1FieldLabels[static_cast<size_t>(i)], {t->TagID3v1.FieldValue(i)});
  }
  if (t->TagID3v2.TagExists) {
    AddGroup("ID3v2 tags");
    const auto& tags = t->TagID3v2.StringTags;
    for (size_t i = 0; i < tags.Count(); ++i) AddRow(TTagID3v2::FrameDescription(tags.Name(i)), {tags.ValueAt(i)});
  }
  if (t->TagWave.TagExists) {
    AddGroup("Wave tags");
    for (size_t i = 0; i < t->TagWave.TagCount(); ++i) AddRow(t->TagWave.TagName(i), {t->TagWave.TagValue(i)});
  }
  if (t->TagVorbis.TagExists) {
    AddGroup("VorbisComments tags");
    const auto& tags = t->TagVorbis.StringTags;
    for (size_t i = 0; i < tags.Count(); ++i) AddRow(Capitalize(tags.Name(i)), {tags.ValueAt(i)});
  }
  // MP4 and the pictures of every tag kind (bqViewAudioExtras.h); the dialog shows one of them.
  l.Clear();
  MP4StreamLines(*t, l);
  AddList("MP4 stream", l);
  l.Clear();
  MP4TagLines(*t, l);
  AddList("MP4 tags", l);
  l.Clear();
  const auto pictures = AudioPictures(*t);
  PictureLines(pictures, l);
  AddList("Pictures", l);
  const int shown = ShownPicture(pictures);
  for (size_t i = 0; i < pictures.size(); ++i)
    FView.AddPicture(static_cast<int>(i) + 1, pictures[i].Data.Chars(), static_cast<int>(i) == shown);
}

// Rows follow the order of the first file that has each name; a file without the name shows
// "n/a" in its column. Each line is taken once, looked up by name through an index, so long
// lists cost no search per row.
void TAudioPage::MergeIntoGroup(const char* title, std::vector<TNameValueList>& lists) {
  AddGroup(title);
  struct TIndexed {
    std::vector<bool> Taken;
    std::unordered_map<std::string, std::deque<size_t>> ByName;  // lower-case name -> lines
  };
  std::vector<TIndexed> index(lists.size());
  for (size_t j = 0; j < lists.size(); ++j) {
    index[j].Taken.assign(lists[j].Count(), false);
    for (size_t i = 0; i < lists[j].Count(); ++i) index[j].ByName[LowerAscii(lists[j].Name(i))].push_back(i);
  }
  for (size_t k = 0; k < lists.size(); ++k) {
    for (size_t i = 0; i < lists[k].Count(); ++i) {
      if (index[k].Taken[i]) continue;
      index[k].Taken[i] = true;
      const std::string name = lists[k].Name(i);
      const std::string key = LowerAscii(name);
      std::vector<std::string> values(lists.size(), "n/a");
      values[k] = lists[k].ValueAt(i);
      for (size_t j = 0; j < lists.size(); ++j) {
        if (j == k) continue;
        const auto it = index[j].ByName.find(key);
        if (it == index[j].ByName.end()) continue;
        auto& lines = it->second;
        while (!lines.empty() && index[j].Taken[lines.front()]) lines.pop_front();
        if (lines.empty()) continue;
        values[j] = lists[j].ValueAt(lines.front());
        index[j].Taken[lines.front()] = true;
        lines.pop_front();
      }
      AddRow(name, values);
    }
  }
  for (auto& l : lists) l.Clear();
}

void TAudioPage::Comparison(const TSelection& selection) {
  std::vector<std::unique_ptr<TTaggedFile>> files;
  for (size_t i = 0; i < selection.Count(); ++i) {
    if (!selection.SelectedTypes[i].Intersects(AudioFileTypes)) continue;
    FView.AddColumn("Data", 128, TAlign::alLeft);
    files.push_back(std::make_unique<TTaggedFile>());
    files.back()->LoadFromFile(selection.SelectedFiles[i]);
  }
  std::vector<TNameValueList> lists(files.size());

  // Stream groups: each file's lines under a first "Filename" line.
  using TAdd = void (*)(const TTaggedFile&, TNameValueList&);
  const std::pair<const char*, TAdd> streams[] = {
      {"MPEG stream", [](const TTaggedFile& f, TNameValueList& l) { f.TagID3v2.AddStreamInformation(l); }},
      {"OGG/FLAC stream", [](const TTaggedFile& f, TNameValueList& l) { f.TagVorbis.AddStreamInformation(l); }},
      {"Wave stream", [](const TTaggedFile& f, TNameValueList& l) { f.TagWave.AddStreamInformation(l); }},
  };
  for (const auto& [title, add] : streams) {
    bool any = false;
    for (size_t i = 0; i < files.size(); ++i) {
      lists[i].Clear();
      add(*files[i], lists[i]);
      any = any || !lists[i].Empty();
      lists[i].Insert(0, "Filename=" + FileNameOnly(files[i]->Filename));
    }
    if (any) MergeIntoGroup(title, lists);
  }

  bool anyID3v1 = false;
  for (size_t i = 0; i < files.size(); ++i) {
    lists[i].Clear();
    const TTagID3v1& tag = files[i]->TagID3v1;
    if (!tag.TagExists) continue;
    anyID3v1 = true;
    for (int f = 0; f < 7; ++f) lists[i].Add(std::string(ID3v1FieldLabels[static_cast<size_t>(f)]) + "=" + tag.FieldValue(f));
  }
  if (anyID3v1) MergeIntoGroup("ID3v1 tags", lists);

  for (size_t i = 0; i < files.size(); ++i) {
    lists[i].Clear();
    const auto& tags = files[i]->TagID3v2.StringTags;
    for (size_t k = 0; k < tags.Count(); ++k) lists[i].Add(TTagID3v2::FrameDescription(tags.Name(k)) + "=" + tags.ValueAt(k));
  }
  MergeIntoGroup("ID3v2 tags", lists);

  for (size_t i = 0; i < files.size(); ++i) {
    lists[i].Clear();
    const TTagWave& wave = files[i]->TagWave;
    if (!wave.TagExists) continue;  // entries read before a failure are not shown
    for (size_t k = 0; k < wave.TagCount(); ++k) lists[i].Add(wave.TagName(k) + "=" + wave.TagValue(k));
  }
  MergeIntoGroup("Wave tags", lists);

  for (size_t i = 0; i < files.size(); ++i) {
    lists[i].Clear();
    const TTagVorbis& vorbis = files[i]->TagVorbis;
    if (!vorbis.TagExists) continue;
    for (size_t k = 0; k < vorbis.StringTags.Count(); ++k)
      lists[i].Add(Capitalize(vorbis.StringTags.Name(k)) + "=" + vorbis.StringTags.ValueAt(k));
  }
  MergeIntoGroup("VorbisComments tags", lists);

  // MP4 and the pictures (bqViewAudioExtras.h).
  using TLines = void (*)(const TTaggedFile&, TNameValueList&);
  const std::pair<const char*, TLines> extras[] = {
      {"MP4 stream", MP4StreamLines},
      {"MP4 tags", MP4TagLines},
      {"Pictures", [](const TTaggedFile& f, TNameValueList& l) { PictureLines(AudioPictures(f), l); }},
  };
  for (const auto& [title, add] : extras) {
    bool any = false;
    for (size_t i = 0; i < files.size(); ++i) {
      lists[i].Clear();
      add(*files[i], lists[i]);
      any = any || !lists[i].Empty();
    }
    if (any) MergeIntoGroup(title, lists);
  }
}

}  // namespace

void FillAudioTagsPage(const TPageContext& context, TPageView& view) {
  if (!context.Selection) return;
  TAudioPage page(view);
  view.EnableGroupView(true);
  view.AddColumn("Field", 100, TAlign::alLeft);
  try {
    if (context.Selection->Count() == 1)
      page.Single(context.Selection->SelectedFiles[0]);
    else
      page.Comparison(*context.Selection);
  } catch (...) {  // a failure ends the filling; what was added stays
  }
}

}  // namespace bq
