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
  // For a file that is an RTF document ("{\rtf" at its start): its own bytes for the control,
  // cut as RtfDocumentOf cuts them. Empty for any other file.
  std::string Rtf;
};

// The start of a file as the preview shows it: at most limit bytes, cut after the last line end
// inside them, decoded and joined, followed by the line "[Preview cut: N of M bytes shown]"
// when the file is longer. False (Text empty, error set) when the file cannot be read.
bool LoadPreviewText(const std::string& fileName, TPreviewText& out, size_t limit = PreviewByteLimit,
                     std::string* error = nullptr);
// The same over bytes already in memory (fileSize: the whole file's size).
TPreviewText PreviewTextOf(std::string_view head, uint64_t fileSize, size_t limit = PreviewByteLimit);

// An RTF document's bytes as the control gets them: all of them when the file fits the bound;
// else cut after the last group that closes inside the bound outside any \pict group or \bin
// data, the groups still open closed, and the cut notice added as a paragraph of its own.
std::string RtfDocumentOf(std::string_view head, uint64_t fileSize, size_t limit = PreviewByteLimit);

// The content sniffs that ordinary prose and other languages trip too ("unit ", "program ",
// "object ", "CREATE TABLE" near the start).
inline constexpr TFileIdentifyTypes WeakSniffTypes{fitPascalUnit, fitPascalProgram, fitDelphiForm, fitSQL};

// The highlighter for a file's types, null for plain text. The types its name gave (nameTypes)
// and the strong content signatures (every content type but the weak sniffs and the plain-text
// test) decide first: the
// last of them in enumeration order that names a highlighter, or none when they name none. Only
// a file they say nothing of is coloured by a weak sniff.
std::unique_ptr<ThlxRTFSyntax> CreateHighlighter(const TFileIdentifyTypes& types,
                                                 const TFileIdentifyTypes& nameTypes = {});

// The whole document of a text for a highlighter.
std::string HighlightToRtf(ThlxRTFSyntax& highlighter, std::string_view text);

}  // namespace bq
