// What the archive tests share: fixtures made once per run by a maker script, the listing of
// an independent lister through oracle.py, and the fields they compare.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "archive/quDate.h"
#include "common/bqTestFiles.h"

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

}  // namespace bqarchive
