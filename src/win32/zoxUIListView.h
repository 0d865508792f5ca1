// Thin list-view and tree-view message helpers; every text goes to the control as UTF-16.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

namespace bq::win32 {

// Inserts a column (format = alignment) and sets its width in pixels; returns its index or -1.
int LvInsertColumn(HWND list, int index, const std::wstring& text, int width, int format);
void LvSetColumnWidth(HWND list, int index, int width);
// Inserts an item; an index past the end appends. Returns the new item's index or -1.
int LvInsertItem(HWND list, int index, const std::wstring& text);
bool LvSetSubItemText(HWND list, int item, int subItem, const std::wstring& text);
bool LvSetItemGroup(HWND list, int item, int groupId);
// Appends a group (index -1) with a header and an id.
int LvInsertGroup(HWND list, int index, int groupId, const std::wstring& header);
void LvEnableGroupView(HWND list, bool on);
void LvSetView(HWND list, DWORD view);
// Appends a tree item under parent (null: the root); returns it or null.
HTREEITEM TvInsertItem(HWND tree, HTREEITEM parent, HTREEITEM insertAfter, const std::wstring& text);

}  // namespace bq::win32
