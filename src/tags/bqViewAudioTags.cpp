#include "tags/bqViewAudioTags.h"

#include <deque>
#include <memory>
#include <unordered_map>

#include "platform/bqText.h"
#include "tags/quTagAIFF.h"
#include "tags/quTagAPE.h"
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

using TRows = std::vector<std::pair<std::string, std::string>>;

// The rows of an ID3v2 tag: the text frames, then the comments, user texts, URLs, user URLs,
// lyrics (line breaks kept), ratings and private frames' owners.
TRows ID3v2Rows(const TTagID3v2& tag) {
  TRows rows;
  const auto& tags = tag.StringTags;
  for (size_t i = 0; i < tags.Count(); ++i) rows.emplace_back(TTagID3v2::FrameDescription(tags.Name(i)), tags.ValueAt(i));
  const auto labelled = [](const char* what, const TID3v2Text& t) {
    std::string label = what;
    if (!t.Language.empty()) label += " [" + t.Language + "]";
    if (!t.ContentDescriptor.empty()) label += ": " + t.ContentDescriptor;
    return label;
  };
  for (const auto& c : tag.Comments) rows.emplace_back(labelled("Comment", c), c.Text);
  for (size_t i = 0; i < tag.UserStringTags.Count(); ++i) {
    const std::string name = tag.UserStringTags.Name(i);
    rows.emplace_back(name.empty() ? "User defined text" : name, tag.UserStringTags.ValueAt(i));
  }
  for (size_t i = 0; i < tag.URLTags.Count(); ++i)
    rows.emplace_back(TTagID3v2::FrameLabel(tag.URLTags.Name(i)), tag.URLTags.ValueAt(i));
  for (size_t i = 0; i < tag.UserURLTags.Count(); ++i) {
    const std::string name = tag.UserURLTags.Name(i);
    rows.emplace_back(name.empty() ? "User defined URL" : name, tag.UserURLTags.ValueAt(i));
  }
  for (const auto& l : tag.UnsyncLyrics) rows.emplace_back(labelled("Lyrics", l), TTagID3v2::LyricsDisplay(l.Text));
  for (const auto& p : tag.Popularimeters) {
    const std::string who = p.Email.empty() ? "" : " (" + p.Email + ")";
    rows.emplace_back("Rating" + who, std::to_string(p.Rating) + "/255");
    if (p.CounterPresent) rows.emplace_back("Play counter" + who, std::to_string(p.Counter));
  }
  for (const auto& owner : tag.PrivateOwners) rows.emplace_back("Private data", owner);
  return rows;
}

TRows APERows(const TTagAPE& tag) {
  TRows rows;
  for (size_t i = 0; i < tag.Items.size(); ++i) rows.emplace_back(tag.Items[i].Key, tag.DisplayValue(i));
  return rows;
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
  void AddRows(const char* title, const TRows& rows) {
    if (rows.empty()) return;
    AddGroup(title);
    for (const auto& [label, value] : rows) AddRow(label, {value});
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
  // An AIFF file's "ID3 " chunk is shown as a tag at the start of a file is.
  const TTagID3v2& id3 = t->TagID3v2.TagExists ? t->TagID3v2 : t->TagAIFF->ID3;
  if (id3.TagExists) {
    AddGroup("ID3v2 tags");
    for (const auto& [label, value] : ID3v2Rows(id3)) AddRow(label, {value});
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
  l.Clear();
  t->TagAIFF->AddStreamInformation(l);
  AddList("AIFF stream", l);
  AddList("AIFF tags", t->TagAIFF->Texts);
  if (t->TagAPE->TagExists) AddRows("APE tags", APERows(*t->TagAPE));
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
      {"AIFF stream", [](const TTaggedFile& f, TNameValueList& l) { f.TagAIFF->AddStreamInformation(l); }},
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
    const TTaggedFile& f = *files[i];
    const TTagID3v2& id3 = f.TagID3v2.TagExists ? f.TagID3v2 : f.TagAIFF->ID3;
    if (!id3.TagExists) continue;
    for (const auto& [label, value] : ID3v2Rows(id3)) lists[i].Add(label + "=" + value);
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

  // The newer groups only when a file has them.
  bool any = false;
  for (size_t i = 0; i < files.size(); ++i) {
    lists[i].Clear();
    const auto& texts = files[i]->TagAIFF->Texts;
    for (size_t k = 0; k < texts.Count(); ++k) lists[i].Add(texts.Line(k));
    any = any || !texts.Empty();
  }
  if (any) MergeIntoGroup("AIFF tags", lists);

  any = false;
  for (size_t i = 0; i < files.size(); ++i) {
    lists[i].Clear();
    if (!files[i]->TagAPE->TagExists) continue;
    for (const auto& [label, value] : APERows(*files[i]->TagAPE)) lists[i].Add(label + "=" + value);
    any = true;
  }
  if (any) MergeIntoGroup("APE tags", lists);
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
