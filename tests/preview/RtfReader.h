// A small RTF reader for the tests: the text a document shows (\par and \line as CR LF, \'hh as
// Windows-1252, \uN with its one fallback character skipped) and the runs of the colour and
// style each \cf starts (a group's format ending with it). It also checks that braces balance and close only at the end. A
// highlighter's document closes with " }", whose blank the control shows after the text.
#pragma once
#include <string>
#include <vector>

#include "platform/bqText.h"

namespace bqtest {

struct TRtfRun {
  int Color = 0;
  bool Bold = false, Italic = false;
  std::string Text;  // UTF-8
};

struct TRtfRead {
  std::string Text;  // UTF-8
  std::vector<TRtfRun> Runs;
  bool Balanced = false;  // depth never below 1 inside, 0 exactly at the end
  bool Ascii = true;
};

inline TRtfRead ReadRtf(const std::string& doc) {
  static const char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  TRtfRead r;
  std::u16string text, run;
  int depth = 0, skipDepth = 0;
  std::vector<TRtfRun> saved;  // the format outside each open group
  bool balanced = true;
  int color = 0;
  bool bold = false, italic = false, inRun = false, runBold = false, runItalic = false;
  auto flush = [&] {
    if (inRun) r.Runs.push_back({color, runBold, runItalic, bq::Utf16ToUtf8(run)});
    run.clear();
  };
  auto put = [&](char16_t c) {
    if (skipDepth) return;
    if (run.empty()) runBold = bold, runItalic = italic;  // the style of its first character
    text.push_back(c);
    run.push_back(c);
  };
  size_t i = 0;
  const size_t n = doc.size();
  while (i < n) {
    const char c = doc[i];
    if (static_cast<unsigned char>(c) >= 0x80) r.Ascii = false;
    if (c == '{') {
      saved.push_back({color, bold, italic, {}});
      ++depth;
      ++i;
      if (doc.compare(i, 8, "\\fonttbl") == 0 || doc.compare(i, 9, "\\colortbl") == 0)
        if (!skipDepth) skipDepth = depth;
      continue;
    }
    if (c == '}') {
      if (skipDepth == depth) skipDepth = 0;
      --depth;
      ++i;
      // A group's format ends with it.
      if (!saved.empty()) {
        const TRtfRun was = saved.back();
        saved.pop_back();
        if (was.Color != color) {
          flush();
          color = was.Color;
          inRun = true;
        }
        bold = was.Bold, italic = was.Italic;
      }
      if (depth < 0 || (depth == 0 && i < n)) balanced = false;
      continue;
    }
    if (c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    if (c != '\\') {
      put(static_cast<unsigned char>(c));
      ++i;
      continue;
    }
    // A control symbol or word.
    ++i;
    if (i >= n) break;
    const char s = doc[i];
    if (s == '\\' || s == '{' || s == '}') {
      put(static_cast<char16_t>(s));
      ++i;
      continue;
    }
    if (s == '\'') {
      const int v = std::stoi(doc.substr(i + 1, 2), nullptr, 16);
      put(v >= 0x80 && v < 0xA0 ? kHigh[v - 0x80] : static_cast<char16_t>(v));
      i += 3;
      continue;
    }
    std::string word;
    while (i < n && ((doc[i] >= 'a' && doc[i] <= 'z') || (doc[i] >= 'A' && doc[i] <= 'Z'))) word.push_back(doc[i++]);
    std::string number;
    if (i < n && (doc[i] == '-' || (doc[i] >= '0' && doc[i] <= '9'))) {
      number.push_back(doc[i++]);
      while (i < n && doc[i] >= '0' && doc[i] <= '9') number.push_back(doc[i++]);
    }
    if (i < n && doc[i] == ' ') ++i;
    if (word == "par" || word == "line") {
      if (!skipDepth) text += u"\r\n";  // between runs, not part of one
    } else if (word == "u") {
      int v = std::stoi(number);
      put(static_cast<char16_t>(v < 0 ? v + 65536 : v));
      if (i < n) ++i;  // the fallback character
    } else if (word == "cf") {
      flush();
      color = std::stoi(number);
      inRun = true;
    } else if (word == "b") {
      bold = number != "0";
    } else if (word == "i") {
      italic = number != "0";
    } else if (word == "tab") {
      put(u'\t');
    }
  }
  flush();
  r.Text = bq::Utf16ToUtf8(text);
  r.Balanced = balanced && depth == 0;
  return r;
}

}  // namespace bqtest
