// Property sheet pages: the per-dialog page object, its creation, and the dialog procedures
// that render a page into its template's controls.
#pragma once
#include <windows.h>
#include <prsht.h>

#include <atomic>
#include <string>

#include "shell/bqViewBase.h"

namespace bq::win32 {

// One page of one dialog. It keeps the dialog's selection alive for the page and its worker;
// the page holds one reference (released by the page callback), a running worker another.
class TPropPage {
public:
  TPropPage(const TPageInfo& info, TSelectionRef selection);
  TPropPage(const TPropPage&) = delete;
  TPropPage& operator=(const TPropPage&) = delete;

  void AddRef() { ++FRefs; }
  void Release() {
    if (--FRefs == 0) delete this;
  }

  const TPageInfo& Info;
  const TSelectionRef Selection;
  const std::wstring TemplateName;
  const std::wstring Title;

private:
  ~TPropPage();
  std::atomic<long> FRefs{1};
};

// Creates the page for info and offers it to the shell. Always true, as the shell's answer
// does not change what the handler does next.
bool AddPropertyPage(LPFNADDPROPSHEETPAGE addPage, LPARAM param, const TPageInfo& info, TSelectionRef selection);

// The dialog procedure of a page kind.
DLGPROC PageDialogProc(TPageKind kind);

}  // namespace bq::win32
