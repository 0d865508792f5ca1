#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/bqTestFiles.h"
#include "platform/bqText.h"
#include "shell/bqLitePropSheets.h"
#include "pages/bqPages.h"
#include "shell/bqStrings.h"

using namespace bq;
using bqtest::WriteFile;

namespace {

std::string PlainExe() { return WriteFile("plain.exe", "MZ\x90\0" + std::string(2000, '\x02')); }
std::string Installer() {
  std::string bytes = "MZ\x90\0" + std::string(70000, '\x02');
  bytes.replace(40004, 16, std::string("\xEF\xBE\xAD\xDE", 4) + "NullsoftInst");
  return WriteFile("setup.exe", bytes);
}
std::string Zip() { return WriteFile("files.zip", "PK\x03\x04" + std::string(100, '\x03')); }

std::vector<std::string> Tabs(const std::vector<std::string>& files, const TMemoryRegistry& reg = {}) {
  const auto selection = BuildSelection(files, TExtensionLists{});
  TZOXConfigManager config(reg);
  config.Name = ProductName;
  const TPageRegistry pages = BuildModulePages(false);
  std::vector<std::string> titles;
  for (const TPageInfo* p : ChoosePages(*selection, pages, config)) titles.push_back(p->Title);
  return titles;
}

using V = std::vector<std::string>;

TEST(PageChoice, FollowsTheFirstFilesTypes) {
  EXPECT_EQ(Tabs({PlainExe()}),
            (V{"Brisquel", "Hashes", "Streams", "Header", "Sections", "Imports", "Exports", "Resources", "Details", "Patterns"}));
  EXPECT_EQ(Tabs({Installer()}), (V{"Brisquel", "Hashes", "Streams", "Header", "Sections", "Imports", "Exports",
                                    "Resources", "Details", "Patterns", "Archive"}));
  EXPECT_EQ(Tabs({Zip()}), (V{"Brisquel", "Hashes", "Streams", "Patterns", "Archive"}));
  // Several files: only pages that take several files; the second file's types play no part.
  EXPECT_EQ(Tabs({PlainExe(), Zip()}), (V{"Brisquel", "Hashes", "Header", "Sections", "Exports", "Details", "Patterns"}));
  EXPECT_EQ(Tabs({Zip(), PlainExe()}), (V{"Brisquel", "Hashes", "Patterns", "Archive"}));
  EXPECT_EQ(Tabs({WriteFile("notes.txt", "plain words\n")}), (V{"Brisquel", "Hashes", "Streams", "Preview", "Patterns"}));
  EXPECT_EQ(Tabs({WriteFile("song.mp3", "ID3\x03" + std::string(50, '\x01'))}),
            (V{"Brisquel", "Hashes", "Streams", "Audio", "Patterns"}));
  EXPECT_TRUE(Tabs({}).empty());
}

TEST(PageChoice, SwitchesHidePagesOnlyAsDwords) {
  TMemoryRegistry reg;
  const char* tabs = "\\Software\\Marrowgate\\Brisquel Lite\\Tabs";
  reg.SetValue(TRegRoot::rrCurrentUser, tabs, "Hashes", TRegValue::Dword(0));
  reg.SetValue(TRegRoot::rrCurrentUser, tabs, "Patterns", TRegValue::String("0"));
  reg.SetValue(TRegRoot::rrLocalMachine, tabs, "exports", TRegValue::Dword(0));  // names match without case
  reg.SetValue(TRegRoot::rrCurrentUser, tabs, "Streams", TRegValue::Dword(0));
  reg.SetValue(TRegRoot::rrLocalMachine, tabs, "Streams", TRegValue::Dword(7));  // the machine wins
  EXPECT_EQ(Tabs({PlainExe()}, reg),
            (V{"Brisquel", "Streams", "Header", "Sections", "Imports", "Resources", "Details", "Patterns"}));
  // A switch cannot bring back a page that does not take several files.
  reg.SetValue(TRegRoot::rrLocalMachine, tabs, "Imports", TRegValue::Dword(1));
  EXPECT_EQ(Tabs({PlainExe(), PlainExe()}, reg), (V{"Brisquel", "Header", "Sections", "Details", "Patterns"}));
}

TEST(Selection, NamesTypesAndUnreadableFiles) {
  const std::string ini = WriteFile("sel.ini", "[Extensions]\nPE=EXE\nText=TXT\n");
  const TExtensionLists lists = LoadExtensionLists(ini);
  const std::string missing = (bqtest::ScratchDir() / "gone.exe").string();
  const auto sel = BuildSelection(std::vector<std::string>{Zip(), missing, WriteFile("a.txt", "hi")}, lists);
  ASSERT_EQ(sel->Count(), 3u);
  ASSERT_EQ(sel->SelectedTypes.size(), 3u);
  EXPECT_TRUE(sel->SelectedTypes[0].Contains(fitZIP));
  // The unreadable file keeps the types its extension gives and stays in the selection.
  EXPECT_EQ(sel->SelectedTypes[1].Members(), std::vector<TFileIdentifyType>{fitMZ});
  EXPECT_FALSE(sel->Errors[1].empty());
  EXPECT_TRUE(sel->Errors[0].empty());
  EXPECT_EQ(sel->SelectedTypes[2].Members(), std::vector<TFileIdentifyType>{fitText});

  // Names are kept up to 261 UTF-16 units.
  std::u16string longName(300, u'x');
  const auto cut = BuildSelection(std::vector<std::u16string>{longName}, lists);
  EXPECT_EQ(Utf8ToUtf16(cut->SelectedFiles[0]).size(), MaxSelectedNameUnits);
}

#ifndef _WIN32
TEST(Selection, UnreadableFileThatExists) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::string name = WriteFile("locked.exe", "MZ");
  ::chmod(name.c_str(), 0);
  const auto sel = BuildSelection(std::vector<std::string>{name}, TExtensionLists{});
  EXPECT_FALSE(sel->Errors[0].empty());
}
#endif

TEST(PageRegistry, RecordsInTabOrder) {
  const TPageRegistry reg = BuildModulePages(false);
  const auto& p = reg.Pages();
  ASSERT_EQ(p.size(), 13u);
  const V templates{"HASHES", "BQLISTVIEW", "STREAMS", "PEHEADER", "SECTIONS", "IMPORTSXP", "EXPORTS",
                    "RESOURCES", "PEDETAILS", "RICHTEXT", "AUDIOTAGS", "BQPATTERNS", "ARCHIVE"};
  const V settings{"Main", "Hashes", "Streams", "PEHeader", "Sections", "Imports", "Exports",
                   "Resources", "PEDetails", "Text", "Audio", "Patterns", "Archive"};
  const V titles{"Brisquel", "Hashes", "Streams", "Header", "Sections", "Imports", "Exports",
                 "Resources", "Details", "Preview", "Audio", "Patterns", "Archive"};
  const std::vector<bool> multi{true, true, false, true, true, false, true, false, true, false, true, true, true};
  for (size_t i = 0; i < p.size(); ++i) {
    EXPECT_EQ(p[i].TemplateName, templates[i]);
    EXPECT_EQ(p[i].SettingName, settings[i]);
    EXPECT_EQ(p[i].Title, titles[i]);
    EXPECT_EQ(p[i].MultiSelect, multi[i]) << i;
  }
  EXPECT_EQ(p[9].FileTypes, TextFileTypes);
  EXPECT_EQ(p[10].FileTypes, AudioFileTypes);
  EXPECT_EQ(p[12].FileTypes, ArchiveFileTypes);
  EXPECT_EQ(BuildModulePages(true).Pages()[5].TemplateName, "IMPORTS");
  EXPECT_EQ(BuildModulePages(true).Pages()[5].Kind, TPageKind::pkTree);
}

TEST(PageRegistry, ResourceTextsAreTrimmed) {
  EXPECT_EQ(LoadResourceText(1536), "Streams");
  EXPECT_EQ(LoadResourceText(1602), "Language Code");
  EXPECT_EQ(LoadResourceText(1999), "");
  SetResourceLoader([](int) { return std::string("  \tPadded title\r\n"); });
  EXPECT_EQ(LoadResourceText(1520), "Padded title");
  SetResourceLoader([](int) { return std::string(3000, 'x'); });
  EXPECT_EQ(LoadResourceText(1520).size(), 1023u);
  SetResourceLoader(nullptr);
}

}  // namespace
