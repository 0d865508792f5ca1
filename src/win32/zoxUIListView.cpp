#include "win32/zoxUIListView.h"

#include <climits>

namespace bq::win32 {

int LvInsertColumn(HWND list, int index, const std::wstring& text, int width, int format) {
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_TEXT;
  column.fmt = format;
  column.pszText = const_cast<wchar_t*>(text.c_str());
  column.cchTextMax = static_cast<int>(text.size());
  const int at = static_cast<int>(SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                                               reinterpret_cast<LPARAM>(&column)));
  if (at >= 0) LvSetColumnWidth(list, at, width);
  return at;
}

void LvSetColumnWidth(HWND list, int index, int width) {
  SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(index), MAKELPARAM(width, 0));
}

int LvInsertItem(HWND list, int index, const std::wstring& text) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = index < 0 ? INT_MAX : index;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool LvSetSubItemText(HWND list, int item, int subItem, const std::wstring& text) {
  LVITEMW it{};
  it.mask = LVIF_TEXT;
  it.iItem = item;
  it.iSubItem = subItem;
  it.pszText = const_cast<wchar_t*>(text.c_str());
  return SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&it)) != 0;
}

bool LvSetItemGroup(HWND list, int item, int groupId) {
  LVITEMW it{};
  it.mask = LVIF_GROUPID;
  it.iItem = item;
  it.iGroupId = groupId;
  return SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&it)) != 0;
}

int LvInsertGroup(HWND list, int index, int groupId, const std::wstring& header) {
  LVGROUP group{};
  group.cbSize = LVGROUP_V5_SIZE;  // understood by every version-6 list view
  group.mask = LVGF_HEADER | LVGF_GROUPID;
  group.pszHeader = const_cast<wchar_t*>(header.c_str());
  group.cchHeader = static_cast<int>(header.size());
  group.iGroupId = groupId;
  return static_cast<int>(SendMessageW(list, LVM_INSERTGROUP, static_cast<WPARAM>(index),
                                       reinterpret_cast<LPARAM>(&group)));
}

void LvEnableGroupView(HWND list, bool on) { SendMessageW(list, LVM_ENABLEGROUPVIEW, on ? TRUE : FALSE, 0); }

void LvSetView(HWND list, DWORD view) { SendMessageW(list, LVM_SETVIEW, view, 0); }

HTREEITEM TvInsertItem(HWND tree, HTREEITEM parent, HTREEITEM insertAfter, const std::wstring& text) {
  TVINSERTSTRUCTW insert{};
  insert.hParent = parent ? parent : TVI_ROOT;
  insert.hInsertAfter = insertAfter ? insertAfter : TVI_LAST;
  insert.item.mask = TVIF_TEXT;
  insert.item.pszText = const_cast<wchar_t*>(text.c_str());
  insert.item.cchTextMax = static_cast<int>(text.size()) + 1;
  return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

}  // namespace bq::win32
