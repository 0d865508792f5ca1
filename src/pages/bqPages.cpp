#include "pages/bqPages.h"

#include "archive/bqViewArchive.h"
#include "hashes/bqViewHashes.h"
#include "patterns/bqViewPatterns.h"
#include "pe/bqViewPE.h"
#include "platform/bqHost.h"
#include "platform/bqRegistry.h"
#include "preview/bqViewRTF.h"
#include "shell/bqStrings.h"
#include "shell/zoxTweaks.h"
#include "streams/bqViewStreams.h"
#include "tags/bqViewAudioTags.h"

namespace bq {

TPageRegistry BuildModulePages(bool importsTreeView) {
  using K = TPageKind;
  TPageRegistry r;
  r.RegisterPage(K::pkFields, FillHashesPage, true, {}, "HASHES", "Brisquel", "Main", true);
  r.RegisterPage(K::pkList, FillHashListPage, true, {}, "BQLISTVIEW", "Hashes", "Hashes", true);
  r.SetCopyForm(HashListRowText, 1);
  r.RegisterPage(K::pkList, FillStreamsPage, false, {}, "STREAMS", LoadResourceText(1536), "Streams", false);
  r.RegisterPage(K::pkList, FillPEHeaderPage, false, {fitMZ}, "PEHEADER", LoadResourceText(1568), "PEHeader", true);
  r.RegisterPage(K::pkList, FillSectionsPage, false, {fitMZ}, "SECTIONS", LoadResourceText(1569), "Sections", true);
  if (importsTreeView)
    r.RegisterPage(K::pkTree, FillImportsTreePage, false, {fitMZ}, "IMPORTS", LoadResourceText(1570), "Imports", false);
  else
    r.RegisterPage(K::pkList, FillImportsListPage, false, {fitMZ}, "IMPORTSXP", LoadResourceText(1570), "Imports", false);
  // The Exports page's title is a literal and its setting name the resource string.
  r.RegisterPage(K::pkList, FillExportsPage, false, {fitMZ}, "EXPORTS", "Exports", LoadResourceText(1571), true);
  r.RegisterPage(K::pkList, FillResourcesPage, false, {fitMZ}, "RESOURCES", LoadResourceText(1572), "Resources", false);
  r.RegisterPage(K::pkList, FillDetailsPage, true, {fitMZ}, "PEDETAILS", "Details", "PEDetails", true);
  r.RegisterPage(K::pkRichEdit, FillPreviewPage, false, TextFileTypes, "RICHTEXT", LoadResourceText(1552), "Text", false);
  r.RegisterPage(K::pkList, FillAudioTagsPage, false, AudioFileTypes, "AUDIOTAGS", "Audio", "Audio", true);
  r.RegisterPage(K::pkListProgress, FillPatternsPage, true, {}, "BQPATTERNS", "Patterns", "Patterns", true);
  r.RegisterPage(K::pkList, FillArchivePage, false, ArchiveFileTypes, "ARCHIVE", LoadResourceText(1520), "Archive", true);
  return r;
}

const TPageRegistry& ModulePages() {
  static const TPageRegistry pages = BuildModulePages(ImportsTreeViewTweak(SystemRegistry(), HostExecutableName()));
  return pages;
}

}  // namespace bq
