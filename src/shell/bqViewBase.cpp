#include "shell/bqViewBase.h"

namespace bq {

void TPageRegistry::SetCopyForm(TRowText copyRow, int valueColumn) {
  if (FPages.empty()) return;
  FPages.back().CopyRow = copyRow;
  FPages.back().ValueColumn = valueColumn;
}

void TPageRegistry::RegisterPage(TPageKind kind, TFillPage fill, bool worker, TFileIdentifyTypes fileTypes,
                                 std::string templateName, std::string title, std::string settingName,
                                 bool multiSelect) {
  TPageInfo info;
  info.Kind = kind;
  info.Fill = fill;
  info.Worker = worker;
  info.FileTypes = fileTypes;
  info.TemplateName = std::move(templateName);
  info.Title = std::move(title);
  info.SettingName = std::move(settingName);
  info.MultiSelect = multiSelect;
  FPages.push_back(std::move(info));
}

}  // namespace bq
