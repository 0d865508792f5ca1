// The "Brisquel" page (CRC-32, MD5 and SHA-1 of the selection) and the "Hashes" page (eight
// digests per file, filled by a worker).
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "platform/bqRegistry.h"
#include "shell/bqViewBase.h"

namespace bq {

// Edit boxes of the first page.
enum : int { idCRC32Edit = 1000, idMD5Edit = 1001, idSHA1Edit = 1002, idLaunchButton = 1112 };

void FillHashesPage(const TPageContext& context, TPageView& view);
void FillHashListPage(const TPageContext& context, TPageView& view);

// The desktop application's command line: the default value of HKCR "\*\shell\brisquel\command\"
// in the 32-bit view. REG_SZ and REG_EXPAND_SZ are taken as stored; the strings of a
// REG_MULTI_SZ are joined with blanks. Nothing for a missing key, value or another type.
std::optional<std::string> ReadLaunchCommand(const TRegistry& registry);
// The program path of a command line: a quoted path without its quotes, else the text
// before the first blank.
std::string ProgramPathOf(std::string_view commandLine);
// Both steps; nothing when there is no command or its program path is empty.
std::optional<std::string> LaunchProgramPath(const TRegistry& registry);

}  // namespace bq
