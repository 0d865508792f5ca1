#include "shell/bqPages.h"

#include "hashes/bqViewHashes.h"
#include "platform/bqHost.h"
#include "shell/bqStrings.h"
#include "shell/zoxTweaks.h"

namespace bq {

TPageRegistry BuildModulePages(bool importsTreeView) {
  using K = TPageKind;
  TPageRegistry r;
  r.RegisterPage(K::pkFields, FillHashesPage, false, {}, "HASHES", "Brisquel", "Main", true);
  r.RegisterPage(K::pkList, FillHashListPage, true, {}, "BQLISTVIEW", "Hashes", "Hashes", true);
  r.RegisterPage(K::pkList, nullptr, false, {}, "STREAMS", LoadResourceText(1536), "Streams", false);
  r.RegisterPage(K::pkList, nullptr, false, {fitMZ}, "PEHEADER", LoadResourceText(1568), "PEHeader", true);
  r.RegisterPage(K::pkList, nullptr, false, {fitMZ}, "SECTIONS", LoadResourceText(1569), "Sections", true);
  if (importsTreeView)
    r.RegisterPage(K::pkTree, nullptr, false, {fitMZ}, "IMPORTS", LoadResourceText(1570), "Imports", false);
  else
    r.RegisterPage(K::pkList, nullptr, false, {fitMZ}, "IMPORTSXP", LoadResourceText(1570), "Imports", false);
  // The Exports page's title is a literal and its setting name the resource string.
  r.RegisterPage(K::pkList, nullptr, false, {fitMZ}, "EXPORTS", "Exports", LoadResourceText(1571), true);
  r.RegisterPage(K::pkList, nullptr, false, {fitMZ}, "RESOURCES", LoadResourceText(1572), "Resources", false);
  r.RegisterPage(K::pkRichEdit, nullptr, false, TextFileTypes, "RICHTEXT", LoadResourceText(1552), "Text", false);
  r.RegisterPage(K::pkList, nullptr, false, AudioFileTypes, "AUDIOTAGS", "Audio", "Audio", true);
  r.RegisterPage(K::pkListProgress, nullptr, true, {}, "BQPATTERNS", "Patterns", "Patterns", true);
  r.RegisterPage(K::pkList, nullptr, false, ArchiveFileTypes, "ARCHIVE", LoadResourceText(1520), "Archive", true);
  return r;
}

bool ImportsTreeViewTweak(const TRegistry& registry, std::string_view hostExecutable) {
  bool value = false;
  return ReadTweak(registry, hostExecutable, "DisableImportsXPView", value) && value;
}

const TPageRegistry& ModulePages() {
  static const TPageRegistry pages = BuildModulePages(ImportsTreeViewTweak(SystemRegistry(), HostExecutableName()));
  return pages;
}

}  // namespace bq
