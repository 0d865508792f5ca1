// The "Brisquel" page (CRC-32, MD5 and SHA-1 of the selection) and the "Hashes" page (the
// digests chosen by the HashAlgorithms tweak per file, checked against checksum files beside
// them, filled by a worker).
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "hashes/quMultiDigest.h"
#include "platform/bqRegistry.h"
#include "shell/bqViewBase.h"

namespace bq {

// A row of the Hashes list as a checksum file's line: "VALUE *NAME".
std::string HashListRowText(const TRowTable::TRow& row);

// Edit boxes of the first page.
enum : int { idCRC32Edit = 1000, idMD5Edit = 1001, idSHA1Edit = 1002, idCheckEdit = 1003, idLaunchButton = 1112 };

// The first page runs on a worker: its boxes read "Computing..." with a progress bar until the
// values are in, and a stop request ends the work within one read block.

void FillHashesPage(const TPageContext& context, TPageView& view);
void FillHashListPage(const TPageContext& context, TPageView& view);
// The header of a digest's group on the Hashes page (group id: the kind plus one).
const char* HashGroupHeader(TDigestKind kind);

// The desktop application's command line: the default value of HKCR "\*\shell\brisquel\command\"
// in the 32-bit view. REG_SZ and REG_EXPAND_SZ are returned as stored; the strings of a
// REG_MULTI_SZ are joined with blanks. Nothing for a missing key, value or another type.
std::optional<std::string> ReadLaunchCommand(const TRegistry& registry);
// The program path of a command line: a quoted path without its quotes, else the text
// before the first blank.
std::string ProgramPathOf(std::string_view commandLine);
// True when the command is a REG_EXPAND_SZ value, whose environment references are expanded
// before the program is started.
bool LaunchCommandExpands(const TRegistry& registry);
// Both steps; nothing when there is no command or its program path is empty.
std::optional<std::string> LaunchProgramPath(const TRegistry& registry);

}  // namespace bq
