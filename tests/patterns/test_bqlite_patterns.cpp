// bqlite with the Patterns page, whose rows it writes as they are found, and with files that
// are not regular files.
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>

#include "cli/bqRender.h"
#include "common/bqTestFiles.h"
#include "pages/bqPages.h"
#include "patterns/bqViewPatterns.h"
#include "shell/bqLitePropSheets.h"

using namespace bq;

namespace {

using bqtest::TRun;

TRun Bqlite(const std::string& args) { return bqtest::Run("timeout 60 " + std::string(BQLITE_PATH) + " " + args); }

const TPageInfo& PatternsInfo() {
  for (const auto& p : ModulePages().Pages())
    if (p.Fill == FillPatternsPage) return p;
  throw std::runtime_error("no Patterns page");
}

TEST(BqlitePatterns, StreamedRowsMatchTheRecordedPage) {
  const std::string Z(1, '\0');
  std::string bytes;
  for (int i = 0; i < 300; ++i)
    bytes += "{" + std::to_string(i) + "}" + Z + "http://h/" + std::to_string(i) + Z + "entry number " + std::to_string(i) + Z;
  const std::string file = bqtest::WriteFile("many.bin", bytes);

  // The JSON document is the one rendered from the recorded page.
  const TSelectionRef selection = BuildSelection(std::vector<std::string>{file}, TExtensionLists{});
  TPageRecorder recorder;
  FillPatternsPage({selection, nullptr}, recorder);
  TRenderedPage page{&PatternsInfo(), true, recorder.Record()};
  ASSERT_EQ(page.Record.Rows.size(), 900u);
  const std::string expected = RenderJsonHead(*selection) + RenderJsonPageSeparator(0) + RenderPageJson(page, "    ") +
                               RenderJsonTail(1);
  TRun run = Bqlite("--json --page Patterns '" + file + "'");
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, expected);

  // Text: rows in finding order, a group's header whenever the group changes.
  run = Bqlite("--page Patterns '" + file + "'");
  const std::string head =
      "[Patterns]\n  Pattern  Position  Encoding  Section\nGUIDs\n  {0}  00000000  ASCII\nURLs\n  http://h/0  00000004  ASCII\n"
      "Strings\n  entry number 0  0000000F  ASCII\nGUIDs\n  {1}  0000001E  ASCII\n";
  EXPECT_EQ(run.Out.substr(0, head.size()), head);
  const std::string tail = "Strings\n  entry number 299  000028D5  ASCII\n\n";
  EXPECT_EQ(run.Out.substr(run.Out.size() - tail.size()), tail);
}

TEST(BqlitePatterns, FilesThatAreNotRegularAreSkipped) {
  const std::string fifo = (bqtest::ScratchDir() / "pipe").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string good = bqtest::WriteFile("good.txt", "readable.txt\n");
  // Neither blocks in the open nor reads without end; the other file is still shown.
  TRun run = Bqlite("--each '" + fifo + "' /dev/zero '" + good + "'");
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find(fifo + ": Is a FIFO, not a regular file"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("/dev/zero: Is a device, not a regular file"), std::string::npos) << run.Err;
  EXPECT_NE(run.Out.find("readable.txt  00000000"), std::string::npos) << run.Out;
  run = Bqlite("--page Patterns '" + bqtest::ScratchDir().string() + "'");
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("Is a directory, not a regular file"), std::string::npos) << run.Err;
}

}  // namespace
