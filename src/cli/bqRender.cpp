#include "cli/bqRender.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/bqBytes.h"
#include "platform/bqText.h"

namespace bq {

// Appends text as a JSON string. Invalid UTF-8 (possible in POSIX names) becomes U+FFFD.
static void AppendJsonString(std::string& out, std::string_view text) {
  std::string clean;
  if (!IsValidUtf8(text)) {
    clean = Utf16ToUtf8(Utf8ToUtf16(text));
    text = clean;
  }
  out.push_back('"');
  size_t plain = 0;  // start of the run of bytes copied as they are
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\' && c != 0x7F) continue;
    out.append(text, plain, i - plain);
    plain = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        out += buf;
      }
    }
  }
  out.append(text, plain, text.size() - plain);
  out.push_back('"');
}

std::string JsonString(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  AppendJsonString(out, text);
  return out;
}

std::string KindName(TPageKind kind) {
  switch (kind) {
    case TPageKind::pkFields: return "fields";
    case TPageKind::pkList: return "list";
    case TPageKind::pkTree: return "tree";
    case TPageKind::pkRichEdit: return "richedit";
    case TPageKind::pkListProgress: return "list";
  }
  return "list";
}

static const char* AlignName(TAlign a) {
  return a == TAlign::alRight ? "right" : a == TAlign::alCenter ? "center" : "left";
}

static void TreeJson(const std::vector<TPageRecord::TNode>& nodes, std::string& out, const std::string& indent) {
  out += "[";
  for (size_t i = 0; i < nodes.size(); ++i) {
    out += i ? ",\n" : "\n";
    out += indent + "  {\"text\": " + JsonString(nodes[i].Text);
    if (!nodes[i].Children.empty()) {
      out += ", \"children\": ";
      TreeJson(nodes[i].Children, out, indent + "  ");
    }
    out += "}";
  }
  out += nodes.empty() ? "]" : "\n" + indent + "]";
}

template <typename TCells>
static void AppendRowJson(std::string& out, const TCells& cells, size_t count, int group, const std::string& in) {
  out += in;
  out += "    {\"group\": ";
  out += std::to_string(group);
  out += ", \"cells\": [";
  for (size_t c = 0; c < count; ++c) {
    if (c) out += ", ";
    AppendJsonString(out, cells[c]);
  }
  out += "]}";
}

std::string RenderRowJson(std::initializer_list<std::string_view> cells, int group, const std::string& in) {
  std::string out;
  AppendRowJson(out, cells.begin(), cells.size(), group, in);
  return out;
}

std::string RenderPageJsonHead(const TRenderedPage& page, const std::string& in) {
  const TPageInfo& info = *page.Info;
  const TPageRecord& r = page.Record;
  std::string out = in + "{\n";
  out += in + "  \"title\": " + JsonString(info.Title) + ",\n";
  out += in + "  \"setting\": " + JsonString(info.SettingName) + ",\n";
  out += in + "  \"template\": " + JsonString(info.TemplateName) + ",\n";
  out += in + "  \"kind\": " + JsonString(KindName(info.Kind));
  if (page.WithContent) {
    switch (info.Kind) {
      case TPageKind::pkFields:
        out += ",\n" + in + "  \"fields\": [";
        for (size_t i = 0; i < r.Fields.size(); ++i) {
          out += i ? ",\n" : "\n";
          out += in + "    {\"id\": " + std::to_string(r.Fields[i].Id) + ", \"label\": " +
                 JsonString(r.Fields[i].Label) + ", \"text\": " + JsonString(r.Fields[i].Text) + "}";
        }
        out += r.Fields.empty() ? "]" : "\n" + in + "  ]";
        break;
      case TPageKind::pkTree:
        out += ",\n" + in + "  \"tree\": ";
        TreeJson(r.Tree, out, in + "  ");
        break;
      case TPageKind::pkRichEdit:
        out += ",\n" + in + "  \"rtf\": " + JsonString(r.RichText);
        out += ",\n" + in + "  \"text\": " + JsonString(r.PlainText);
        break;
      case TPageKind::pkList:
      case TPageKind::pkListProgress:
        out += ",\n" + in + "  \"columns\": [";
        for (size_t i = 0; i < r.Columns.size(); ++i) {
          out += i ? ", " : "";
          out += "{\"title\": " + JsonString(r.Columns[i].Title) + ", \"width\": " +
                 std::to_string(r.Columns[i].Width) + ", \"align\": \"" + AlignName(r.Columns[i].Align) + "\"}";
        }
        out += "],\n" + in + "  \"groups\": [";
        for (size_t i = 0; i < r.Groups.size(); ++i) {
          out += i ? ",\n" : "\n";
          out += in + "    {\"id\": " + std::to_string(r.Groups[i].Id) + ", \"header\": " + JsonString(r.Groups[i].Header) + "}";
        }
        out += r.Groups.empty() ? "]" : "\n" + in + "  ]";
        out += ",\n" + in + "  \"rows\": [";
        break;
    }
  }
  return out;
}

std::string RenderPageJsonTail(const TRenderedPage& page, const std::string& in, size_t rowCount) {
  std::string out;
  if (page.WithContent && (page.Info->Kind == TPageKind::pkList || page.Info->Kind == TPageKind::pkListProgress))
    out += rowCount == 0 ? "]" : "\n" + in + "  ]";
  // Damage the page's readers met, only where there was some.
  const auto& problems = page.Record.Problems;
  if (page.WithContent && !problems.empty()) {
    out += ",\n" + in + "  \"problems\": [";
    for (size_t i = 0; i < problems.size(); ++i) {
      out += i ? ",\n" : "\n";
      out += in + "    {\"file\": " + JsonString(problems[i].File) + ", \"message\": " + JsonString(problems[i].Message) + "}";
    }
    out += "\n" + in + "  ]";
  }
  return out + "\n" + in + "}";
}

std::string RenderPageJson(const TRenderedPage& page, const std::string& in) {
  std::string out = RenderPageJsonHead(page, in);
  const bool list = page.WithContent && (page.Info->Kind == TPageKind::pkList || page.Info->Kind == TPageKind::pkListProgress);
  const auto& rows = page.Record.Rows;
  if (list)
    for (size_t i = 0; i < rows.size(); ++i) {
      out += i ? ",\n" : "\n";
      AppendRowJson(out, rows[i], rows[i].size(), rows[i].Group(), in);
    }
  return out + RenderPageJsonTail(page, in, list ? rows.size() : 0);
}

std::string RenderJsonHead(const TSelection& selection) {
  std::string out = "{\n  \"files\": [";
  for (size_t i = 0; i < selection.Count(); ++i) {
    out += i ? ",\n" : "\n";
    out += "    {\"name\": " + JsonString(selection.SelectedFiles[i]) + ", \"types\": [";
    const auto members = selection.SelectedTypes[i].Members();
    for (size_t k = 0; k < members.size(); ++k) out += (k ? ", " : "") + JsonString(FileTypeName(members[k]));
    out += "]";
    if (i < selection.Errors.size() && !selection.Errors[i].empty()) out += ", \"error\": " + JsonString(selection.Errors[i]);
    out += "}";
  }
  out += selection.Count() ? "\n  ],\n" : "],\n";
  return out + "  \"pages\": [";
}

std::string RenderJsonPageSeparator(size_t index) { return index ? ",\n" : "\n"; }

std::string RenderJsonTail(size_t pageCount) { return pageCount == 0 ? "]\n}\n" : "\n  ]\n}\n"; }

std::string RenderJson(const TSelection& selection, const std::vector<TRenderedPage>& pages) {
  std::string out = RenderJsonHead(selection);
  for (size_t i = 0; i < pages.size(); ++i) out += RenderJsonPageSeparator(i) + RenderPageJson(pages[i], "    ");
  return out + RenderJsonTail(pages.size());
}

// Display width of UTF-8 text, counting code points: the bytes less the continuation bytes
// (10xxxxxx), counted eight at a time, the last few one by one.
static size_t Width(std::string_view s) {
  auto count = [](uint64_t w) {
    const uint64_t marks = (w & ~(w << 1) & 0x8080808080808080ull) >> 7;  // 1 per continuation byte
    return static_cast<size_t>((marks * 0x0101010101010101ull) >> 56);
  };
  size_t continuation = 0, i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, s.data() + i, 8);
    continuation += count(w);
  }
  for (; i < s.size(); ++i) continuation += (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80;
  return s.size() - continuation;
}

static void TreeText(const std::vector<TPageRecord::TNode>& nodes, std::string& out, int depth) {
  for (const auto& n : nodes) {
    out += std::string(static_cast<size_t>(depth) * 2, ' ') + n.Text + "\n";
    TreeText(n.Children, out, depth + 1);
  }
}

namespace {

// The bytes ShowControls looks at twice: controls but tab and line breaks, DEL, and 0xC2, the
// lead byte of the C1 controls in UTF-8.
constexpr std::array<bool, 256> MakeMarked() {
  std::array<bool, 256> t{};
  for (int c = 0; c < 0x20; ++c) t[c] = c != '\t' && c != '\n' && c != '\r';
  t[0x7F] = t[0xC2] = true;
  return t;
}
constexpr std::array<bool, 256> kMarked = MakeMarked();

// Where the first control is from i on, or the text's size. Eight bytes at a time: a word
// with no byte below 0x20, no DEL and no 0xC2 is passed over whole.
size_t FirstControl(std::string_view text, size_t i) {
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  auto zeroByte = [](uint64_t v) { return (v - kOnes) & ~v & kHigh; };
  const size_t n = text.size();
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  auto check = [&](size_t from, size_t to) {
    for (size_t k = from; k < to; ++k) {
      const unsigned char c = bytes[k];
      if (!kMarked[c]) continue;
      if (c != 0xC2) return k;
      if (k + 1 < n && bytes[k + 1] >= 0x80 && bytes[k + 1] <= 0x9F) return k;
    }
    return n;
  };
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, bytes + i, 8);
    const uint64_t below20 = (w - 0x20 * kOnes) & ~w & kHigh;
    if ((below20 | zeroByte(w ^ (0x7F * kOnes)) | zeroByte(w ^ (0xC2 * kOnes))) == 0) continue;
    const size_t hit = check(i, i + 8);
    if (hit != n) return hit;
  }
  return check(i, n);
}

std::string EscapeControls(std::string_view text, size_t i) {
  static const char kHex[] = "0123456789ABCDEF";
  const size_t n = text.size();
  std::string out(text.substr(0, i));
  out.reserve(n + 16);
  while (i < n) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == 0xC2) c = static_cast<unsigned char>(text[++i]);  // a C1 control: FirstControl checked it
    out += "\\x";
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
    const size_t next = FirstControl(text, ++i);
    out.append(text, i, next - i);
    i = next;
  }
  return out;
}

}  // namespace

std::string ShowControls(std::string text) {
  // Most texts hold none: they are kept as they are.
  const size_t i = FirstControl(text, 0);
  return i == text.size() ? text : EscapeControls(text, i);
}

std::string RenderPageText(const TRenderedPage& page) {
  const TPageRecord& r = page.Record;
  std::string out = "[" + page.Info->Title + "]\n";
  switch (page.Info->Kind) {
    case TPageKind::pkFields:
      for (const auto& f : r.Fields) out += f.Label + " " + f.Text + "\n";
      break;
    case TPageKind::pkTree:
      TreeText(r.Tree, out, 0);
      break;
    case TPageKind::pkRichEdit:
      out += r.PlainText;
      if (!r.PlainText.empty() && r.PlainText.back() != '\n') out += "\n";
      break;
    case TPageKind::pkList:
    case TPageKind::pkListProgress: {
      // Cells with line breaks are shown on one line, as the list view shows them.
      if (r.Rows.HasLineBreak()) {
        TRenderedPage shown;
        shown.Info = page.Info;
        shown.WithContent = page.WithContent;
        shown.Record = r;
        shown.Record.Rows.Clear();
        for (const auto row : r.Rows) {
          std::vector<std::string> cells;
          for (size_t c = 0; c < row.size(); ++c) cells.push_back(ListCellText(row[c]));
          shown.Record.Rows.Append(cells, row.Group());
        }
        return RenderPageText(shown);
      }
      const TRowTable& rows = r.Rows;
      // Cells all in ASCII (the usual case) are as wide as they are long.
      const bool ascii = rows.IsAscii();
      auto width = [ascii](std::string_view s) { return ascii ? s.size() : Width(s); };
      std::vector<size_t> widths(r.Columns.size(), 0);
      for (size_t c = 0; c < r.Columns.size(); ++c) widths[c] = Width(r.Columns[c].Title);
      // Whether the rows come group by group in ascending ids, as pages add them.
      bool groupOrder = true;
      int lastGroup = std::numeric_limits<int>::min();
      for (const auto row : rows) {
        if (row.size() > widths.size()) widths.resize(row.size(), 0);
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], width(row[c]));
        groupOrder = groupOrder && row.Group() >= lastGroup;
        lastGroup = row.Group();
      }
      size_t lineBytes = 3;  // the most an ASCII line takes
      for (size_t w : widths) lineBytes += w + 2;
      // The lines are written into the string's own storage, grown ahead and cut at the end.
      // Each line asks for room once, with slack for the padding's whole 16-byte stores.
      constexpr size_t kSlack = 16;
      size_t used = out.size();
      out.resize(used + (rows.size() + 1) * lineBytes + r.Groups.size() * 64 + kSlack);
      auto room = [&](size_t bytes) {
        if (out.size() - used < bytes + kSlack) out.resize(std::max(out.size() * 2, used + bytes + kSlack));
        return out.data() + used;
      };
      // Cells padded to their column's width plus two, the last one not.
      auto line = [&](const auto& cells, size_t count, bool indent, bool asciiCells, auto&& width) {
        size_t bytes = lineBytes;
        if (!asciiCells) {
          bytes = 3;  // a cell's bytes may outnumber its width
          for (size_t c = 0; c < count; ++c) bytes += std::string_view(cells[c]).size() + widths[c] + 2;
        }
        char* const start = room(bytes);
        char* p = start;
        if (indent) {
          p[0] = p[1] = ' ';
          p += 2;
        }
        for (size_t c = 0; c < count; ++c) {
          const std::string_view cell = cells[c];
          CopyShort(p, cell.data(), cell.size());
          p += cell.size();
          if (c + 1 < count) {
            const size_t pad = widths[c] - width(cell) + 2;
            for (size_t k = 0; k < pad; k += 16) std::memcpy(p + k, "                ", 16);
            p += pad;
          }
        }
        *p++ = '\n';
        used += static_cast<size_t>(p - start);
      };
      auto text = [&](std::string_view t) {
        CopyShort(room(t.size() + 1), t.data(), t.size());
        used += t.size();
        out[used++] = '\n';
      };
      std::vector<std::string_view> titles;
      for (const auto& c : r.Columns) titles.push_back(c.Title);
      const bool grouped = r.GroupView && !r.Groups.empty();
      if (!titles.empty()) line(titles, titles.size(), grouped, false, Width);
      bool groupsAscend = true;
      for (size_t g = 1; g < r.Groups.size(); ++g) groupsAscend = groupsAscend && r.Groups[g - 1].Id < r.Groups[g].Id;
      if (grouped && groupOrder && groupsAscend) {
        // Rows and groups in the same order: one walk over both.
        size_t i = 0;
        for (const auto& g : r.Groups) {
          text(g.Header);
          for (; i < rows.size() && rows[i].Group() < g.Id; ++i) {}  // in no listed group: not shown
          for (; i < rows.size() && rows[i].Group() == g.Id; ++i) line(rows[i], rows[i].size(), true, ascii, width);
        }
      } else if (grouped) {
        // Each group's rows in row order; a row in no listed group is not shown, as in the
        // list view. A group listed twice shows its rows twice.
        std::vector<std::pair<int, size_t>> sorted;  // (group, row)
        sorted.reserve(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) sorted.emplace_back(rows[i].Group(), i);
        if (!std::is_sorted(sorted.begin(), sorted.end())) std::sort(sorted.begin(), sorted.end());
        for (const auto& g : r.Groups) {
          text(g.Header);
          auto it = std::lower_bound(sorted.begin(), sorted.end(), std::pair<int, size_t>(g.Id, 0));
          for (; it != sorted.end() && it->first == g.Id; ++it) {
            const auto row = rows[it->second];
            line(row, row.size(), true, ascii, width);
          }
        }
      } else {
        for (const auto row : rows) line(row, row.size(), false, ascii, width);
      }
      out.resize(used);
      break;
    }
  }
  return out;
}

// An unaligned line of a streamed page: indented, its texts two spaces apart.
template <typename TTexts>
static void AppendStreamedLine(std::string& out, const TTexts& texts) {
  out += "  ";
  bool first = true;
  for (std::string_view t : texts) {
    if (!first) out += "  ";
    first = false;
    out += t;
  }
  out += '\n';
}

std::string RenderPageTextHead(const TRenderedPage& page) {
  std::string out = "[" + page.Info->Title + "]\n";
  std::vector<std::string_view> titles;
  for (const auto& c : page.Record.Columns) titles.push_back(c.Title);
  if (!titles.empty()) AppendStreamedLine(out, titles);
  return out;
}

std::string RenderStreamedRowText(const TPageRecord& record, std::initializer_list<std::string_view> cells, int group,
                                  int previousGroup) {
  std::string out;
  if (group != previousGroup && record.GroupView)
    for (const auto& g : record.Groups)
      if (g.Id == group) out += g.Header + "\n";
  AppendStreamedLine(out, cells);
  return out;
}

}  // namespace bq
