// The page registry and the selection of one Properties dialog.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "shell/bqPageView.h"
#include "shell/zoxFFIdentifier.h"

namespace bq {

class TRegistry;

// The files of one dialog, in the order of the shell's drop list, with their type sets. Built
// by that dialog's handler, shared read-only by its pages (and their workers) until it closes.
struct TSelection {
  std::vector<std::string> SelectedFiles;  // UTF-8 names (cut to 261 UTF-16 units)
  std::vector<TFileIdentifyTypes> SelectedTypes;
  // The part of each file's types its name's extension gave (a subset of SelectedTypes).
  std::vector<TFileIdentifyTypes> NameTypes;
  std::vector<std::string> Errors;  // why a file could not be read for identification ("" if it could)
  // The whole content of small files as identification read it, for a caller that asked
  // BuildSelection to keep it (bqlite, which fills every page at once); none otherwise, and
  // pages then read the file itself.
  std::vector<TFileContent> Contents;

  size_t Count() const { return SelectedFiles.size(); }
};
using TSelectionRef = std::shared_ptr<const TSelection>;

// What a page may consult while it fills its view.
struct TPageContext {
  TSelectionRef Selection;
  const TRegistry* Registry = nullptr;
  // The most rows a list page keeps (0: no bound). A dialog's list view cannot hold a huge
  // file's findings; bqlite shows them all.
  size_t MaxListRows = 0;
};

// The bound a Properties dialog sets: 1,000,000 rows, or the tweak "DialogRowLimit" when set
// (so that a test reaches the bound with a small file).
size_t DialogRowLimit(const TRegistry& registry);

// The control a page's template holds.
enum class TPageKind {
  pkFields,    // edit boxes and labels ("HASHES")
  pkList,      // one list view
  pkTree,      // one tree view
  pkRichEdit,  // one rich edit control
  pkListProgress,  // a list view and a progress bar ("BQPATTERNS")
};

using TFillPage = void (*)(const TPageContext& context, TPageView& view);
// A row as one line of copied text, where a page copies its rows in a form of its own.
using TRowText = std::string (*)(const TRowTable::TRow& row);

struct TPageInfo {
  TPageKind Kind = TPageKind::pkList;
  TFillPage Fill = nullptr;   // null: the page's body is not built; it stays empty
  bool Worker = false;        // Fill runs on a worker thread of its own
  TFileIdentifyTypes FileTypes;  // empty = every file
  std::string TemplateName;
  std::string Title;
  std::string SettingName;
  bool MultiSelect = false;
  TRowText CopyRow = nullptr;  // null: rows copy as their cells, tab-separated
  int ValueColumn = -1;        // the column "Copy value" copies; -1: no such command
};

// Ordered, appended to only while the module starts.
class TPageRegistry {
public:
  void RegisterPage(TPageKind kind, TFillPage fill, bool worker, TFileIdentifyTypes fileTypes,
                    std::string templateName, std::string title, std::string settingName,
                    bool multiSelect);
  const std::vector<TPageInfo>& Pages() const { return FPages; }
  // How the rows of the page last registered are copied.
  void SetCopyForm(TRowText copyRow, int valueColumn);

private:
  std::vector<TPageInfo> FPages;
};

}  // namespace bq
