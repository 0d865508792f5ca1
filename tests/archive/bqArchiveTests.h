// What the archive tests share: fixtures made once per run by a maker script, the listing of
// an independent lister through oracle.py, and the fields they compare.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "archive/bqViewArchive.h"
#include "archive/quArchiveSimple.h"
#include "archive/quDate.h"
#include "common/bqTestFiles.h"
#include "shell/bqPageView.h"
#include "shell/zoxFFIdentifier.h"

namespace bqarchive {

// Runs tests/archive/SCRIPT into FOLDER of the test's build folder (with ARGS) and returns the
// folder. Call it once, from a function-local static.
inline std::string MakeFixtures(const std::string& script, const std::string& folder, const std::string& args = "") {
  const std::string d = (std::filesystem::current_path() / folder).string();
  const std::string cmd = "python3 '" BQ_ARCHIVE_TEST_DIR "/" + script + "' '" + d + "'" + args;
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  return d;
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The tab-separated fields of a line, padded with empty ones to at least atLeast.
inline std::vector<std::string> Split(const std::string& line, size_t atLeast = 0) {
  std::vector<std::string> f;
  std::istringstream in(line);
  for (std::string x; std::getline(in, x, '\t');) f.push_back(x);
  if (f.size() < atLeast) f.resize(atLeast);
  return f;
}

// oracle.py's lines for a file: name, unpacked size, packed size, date, CRC, tab-separated.
inline std::vector<std::string> Oracle(const std::string& kind, const std::string& file) {
  const std::string out = (bqtest::ScratchDir() / "oracle.txt").string();
  const std::string cmd = "python3 '" BQ_ARCHIVE_TEST_DIR "/oracle.py' " + kind + " '" + file + "' > '" + out + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  return Lines(ReadAll(out));
}

// A date as the oracles print it, to the minute; "" for none.
inline std::string DateText(std::optional<double> timestamp) {
  if (!timestamp) return "";
  const bq::TDateTimeParts p = bq::TimestampToParts(*timestamp);
  char s[32];
  std::snprintf(s, sizeof s, "%04d-%02d-%02d %02d:%02d", p.Year, p.Month, p.Day, p.Hour, p.Minute);
  return s;
}

// Our listing equals the lister's in every field it tells ("*" where it does not), in order, or
// as sorted lines for a lister that lists in disk order.
inline void ExpectAgrees(const std::string& kind, const std::string& file, bool sorted = false) {
  SCOPED_TRACE(kind + " " + file);
  bq::TAnyArchive any;
  EXPECT_TRUE(any.Open(file));
  ASSERT_TRUE(any.Archive);
  EXPECT_EQ(any.Archive->Error, "");
  std::vector<std::string> ours;
  for (const auto& e : any.Archive->Files)
    ours.push_back(e.Filename + "\t" + e.SizeUnpackedAsString() + "\t" + e.SizePackedAsString() + "\t" + DateText(e.Timestamp) +
                   "\t" + e.CRC32AsString());
  if (sorted) std::sort(ours.begin(), ours.end());
  const auto theirs = Oracle(kind, file);
  ASSERT_FALSE(theirs.empty());
  ASSERT_EQ(ours.size(), theirs.size());
  for (size_t i = 0; i < ours.size(); ++i) {
    const auto a = Split(ours[i], 5), b = Split(theirs[i], 5);
    for (size_t k = 0; k < 5; ++k)
      if (b[k] != "*") {
        EXPECT_EQ(a[k], b[k]) << "entry " << i << " field " << k << ": " << ours[i] << " | " << theirs[i];
      }
  }
}

// The Archive page of files identified by their content, as the dialog fills it.
inline bq::TPageRecord FillArchivePageOf(const std::vector<std::string>& files) {
  auto selection = std::make_shared<bq::TSelection>();
  selection->SelectedFiles = files;
  for (const auto& f : files) {
    bq::TFileIdentifyTypes types;
    bq::IdentifyByContent(f, types);
    selection->SelectedTypes.push_back(types);
  }
  bq::TPageRecorder view;
  bq::FillArchivePage(bq::TPageContext{selection, nullptr}, view);
  return view.Record();
}

}  // namespace bqarchive
