// The preview's text and document: a file's first bytes decoded to UTF-8, joined into CR LF
// lines, and coloured by the highlighter its types choose.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "preview/hlxRichSyntax.h"
#include "shell/zoxFFIdentifier.h"

namespace bq {

// A preview reads at most this many bytes of a file (a rich-edit control filled in the
// dialog's first message holds the shell up while it parses).
constexpr size_t PreviewByteLimit = 4u << 20;

enum class TTextEncoding { teAscii, teUtf8, teUtf8Bom, teUtf16LE, teUtf16BE, teAnsi };

// Bytes to UTF-8: a BOM (UTF-8, UTF-16 LE/BE) first, else valid UTF-8, else the system ANSI
// code page. The BOM itself is not part of the text.
std::string DecodeText(std::string_view bytes, TTextEncoding* encoding = nullptr);

// Lines ended by CR LF, LF or CR, each followed by CR LF (the last one too); the text ends at
// its first zero character.
std::string JoinLines(std::string_view text);

struct TPreviewText {
  std::string Text;  // UTF-8, CR LF after every line
  uint64_t Shown = 0, FileSize = 0;
  bool Cut = false;  // the file was longer than PreviewByteLimit
};

// The start of a file as the preview shows it: at most limit bytes, cut after the last line end
// inside them, decoded and joined, followed by the line "[Preview cut: N of M bytes shown]"
// when the file is longer. False (and Text empty) when the file cannot be read.
bool LoadPreviewText(const std::string& fileName, TPreviewText& out, size_t limit = PreviewByteLimit);
// The same over bytes already in memory (fileSize: the whole file's size).
TPreviewText PreviewTextOf(std::string_view head, uint64_t fileSize, size_t limit = PreviewByteLimit);

// The highlighter of the last type of the set, in enumeration order, that names one; null when
// none does (the text stays plain).
std::unique_ptr<ThlxRTFSyntax> CreateHighlighter(const TFileIdentifyTypes& types);

// The whole document of a text for a highlighter.
std::string HighlightToRtf(ThlxRTFSyntax& highlighter, std::string_view text);

}  // namespace bq
