#include "win32/bqWinPageView.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "win32/bqLiteModule.h"
#include "win32/zoxUIListView.h"
#include "win32/zoxUIWinAPIHelpers.h"

namespace bq::win32 {

namespace {
constexpr int kMainControl = 1666;
constexpr int kProgressBar = 1667;

HWND ChildOfClass(HWND page, int id, const wchar_t* className) {
  HWND child = GetDlgItem(page, id);
  wchar_t name[64] = {};
  if (!child || !GetClassNameW(child, name, 64)) return nullptr;
  return lstrcmpiW(name, className) == 0 ? child : nullptr;
}

bool IsStatic(HWND window) {
  wchar_t name[16] = {};
  return window && GetClassNameW(window, name, 16) && lstrcmpiW(name, L"Static") == 0;
}

int Format(TAlign align) {
  return align == TAlign::alRight ? LVCFMT_RIGHT : align == TAlign::alCenter ? LVCFMT_CENTER : LVCFMT_LEFT;
}
}  // namespace

TWinPageView::TWinPageView(HWND page)
    : FPage(page),
      FList(ChildOfClass(page, kMainControl, WC_LISTVIEWW)),
      FTree(ChildOfClass(page, kMainControl, WC_TREEVIEWW)),
      FRich(nullptr),
      FProgress(ChildOfClass(page, kProgressBar, PROGRESS_CLASSW)) {
  HWND main = GetDlgItem(page, kMainControl);
  if (main && !FList && !FTree) FRich = main;
  if (FProgress) SendMessageW(FProgress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
}

void TWinPageView::EnableGroupView(bool on) {
  if (FList) LvEnableGroupView(FList, on);
}

void TWinPageView::AddColumn(std::string_view title, int width, TAlign align) {
  if (FList && LvInsertColumn(FList, FColumns, Wide(title), width, Format(align)) >= 0) ++FColumns;
}

void TWinPageView::AddGroup(int id, std::string_view header) {
  if (FList) LvInsertGroup(FList, -1, id, Wide(header));
}

int TWinPageView::InsertRow(int index, std::string_view text) {
  return FList ? LvInsertItem(FList, index, Wide(text)) : -1;
}

void TWinPageView::SetCell(int row, int column, std::string_view text) {
  if (FList && row >= 0 && column >= 0) LvSetSubItemText(FList, row, column, Wide(text));
}

void TWinPageView::SetRowGroup(int row, int groupId) {
  if (FList && row >= 0) LvSetItemGroup(FList, row, groupId);
}

void TWinPageView::ReserveRows(size_t rows) {
  // The control allocates its item data for that many rows at once.
  if (FList) ListView_SetItemCountEx(FList, static_cast<int>(std::min<size_t>(rows, INT_MAX)), LVSICF_NOINVALIDATEALL);
}

TPageView::TTreeNode TWinPageView::AddTreeNode(TTreeNode parent, std::string_view text) {
  if (!FTree) return 0;
  return reinterpret_cast<TTreeNode>(TvInsertItem(FTree, reinterpret_cast<HTREEITEM>(parent), TVI_LAST, Wide(text)));
}

namespace {
struct TStreamSource {
  const char* Data;
  size_t Size, Position;
};

DWORD CALLBACK StreamFromBuffer(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* done) {
  auto* source = reinterpret_cast<TStreamSource*>(cookie);
  const size_t n = std::min(static_cast<size_t>(count < 0 ? 0 : count), source->Size - source->Position);
  std::memcpy(buffer, source->Data + source->Position, n);
  source->Position += n;
  *done = static_cast<LONG>(n);
  return 0;
}
}  // namespace

void TWinPageView::SetRichText(std::string_view rtf, std::string_view text) {
  if (!FRich) return;
  // A text that is itself an RTF document is shown as the document it is.
  if (rtf.empty() && text.compare(0, 5, "{\\rtf") == 0) rtf = text;
  const std::wstring wide = Wide(text);
  SendMessageW(FRich, EM_SETTEXTMODE, TM_RICHTEXT, 0);
  // The default limit (32767 characters) would cut a long text: raise it before anything is set.
  SendMessageW(FRich, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(std::max(wide.size(), rtf.size()) + 1));
  if (!rtf.empty()) {
    // The document is pure ASCII; the control reads it as RTF from its "{\rtf" start.
    const std::string document(rtf);
    SETTEXTEX how{ST_DEFAULT, CP_ACP};
    SendMessageW(FRich, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how), reinterpret_cast<LPARAM>(document.c_str()));
    return;
  }
  TStreamSource source{reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t), 0};
  EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, StreamFromBuffer};
  SendMessageW(FRich, EM_STREAMIN, SF_TEXT | SF_UNICODE, reinterpret_cast<LPARAM>(&stream));
}

void TWinPageView::AddField(int id, std::string_view label) {
  HWND edit = GetDlgItem(FPage, id);
  if (!edit) return;
  // The label is the static text just before the box in the template.
  HWND before = GetWindow(edit, GW_HWNDPREV);
  if (IsStatic(before)) SetWindowTextW(before, Wide(label).c_str());
}

void TWinPageView::SetField(int id, std::string_view text) {
  if (HWND edit = GetDlgItem(FPage, id)) SetWindowTextW(edit, Wide(text).c_str());
}

void TWinPageView::SetProgress(int percent) {
  FLastProgress = percent;
  if (FProgress) SendMessageW(FProgress, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void TWinPageView::FinishWorker() {
  if (!FList || !FProgress || FLastProgress < 100) return;
  ShowWindow(FProgress, SW_HIDE);
  FitControl(FPage, FList);
}

void TWinPageView::AppendRows(const TRowTable& rows) {
  if (!FList) return;
  SendMessageW(FList, WM_SETREDRAW, FALSE, 0);
  for (const auto row : rows) {
    const int index = InsertRow(-1, row[0]);
    if (index < 0) continue;
    for (size_t c = 1; c < row.size(); ++c) SetCell(index, static_cast<int>(c), row[c]);
    SetRowGroup(index, row.Group());
  }
  SendMessageW(FList, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(FList, nullptr, FALSE);
}

void TWorkerLink::Close() {
  std::lock_guard guard(Lock);
  Page = nullptr;
  Stop = true;
}

bool TWorkerLink::Send(const TPageCall& call) {
  HWND page;
  {
    std::lock_guard guard(Lock);
    page = Page;
  }
  // Never holds the lock across the send: the page's thread takes it when it closes.
  if (!page) return false;
  SendMessageW(page, WM_BQ_PAGECALL, reinterpret_cast<WPARAM>(this), reinterpret_cast<LPARAM>(&call));
  return true;
}

void TWorkerPageView::EnableGroupView(bool on) {
  Flush();
  FLink->Send([&](TWinPageView& v) { v.EnableGroupView(on); });
}

void TWorkerPageView::AddColumn(std::string_view title, int width, TAlign align) {
  Flush();
  FLink->Send([&](TWinPageView& v) { v.AddColumn(title, width, align); });
}

void TWorkerPageView::AddGroup(int id, std::string_view header) {
  Flush();
  FLink->Send([&](TWinPageView& v) { v.AddGroup(id, header); });
}

int TWorkerPageView::InsertRow(int index, std::string_view text) {
  Flush();
  int row = -1;
  FLink->Send([&](TWinPageView& v) { row = v.InsertRow(index, text); });
  return row;
}

void TWorkerPageView::SetCell(int row, int column, std::string_view text) {
  Flush();
  FLink->Send([&](TWinPageView& v) { v.SetCell(row, column, text); });
}

void TWorkerPageView::SetRowGroup(int row, int groupId) {
  Flush();
  FLink->Send([&](TWinPageView& v) { v.SetRowGroup(row, groupId); });
}

TPageView::TTreeNode TWorkerPageView::AddTreeNode(TTreeNode parent, std::string_view text) {
  Flush();
  TTreeNode node = 0;
  FLink->Send([&](TWinPageView& v) { node = v.AddTreeNode(parent, text); });
  return node;
}

void TWorkerPageView::SetRichText(std::string_view rtf, std::string_view text) {
  Flush();
  FLink->Send([&](TWinPageView& v) { v.SetRichText(rtf, text); });
}

void TWorkerPageView::AddField(int id, std::string_view label) {
  Flush();
  FLink->Send([&](TWinPageView& v) { v.AddField(id, label); });
}

void TWorkerPageView::SetField(int id, std::string_view text) {
  Flush();
  FLink->Send([&](TWinPageView& v) { v.SetField(id, text); });
}

void TWorkerPageView::SetProgress(int percent) {
  Flush();
  if (FLink->LastProgress.exchange(percent) == percent) return;
  FLink->Send([&](TWinPageView& v) { v.SetProgress(percent); });
}

void TWorkerPageView::AppendRow(std::initializer_list<std::string_view> cells, int groupId) {
  if (FBatch.empty()) FBatchStart = GetTickCount64();
  FBatch.Append(cells, groupId);
  if (FBatch.size() >= kBatchRows || GetTickCount64() - FBatchStart >= kBatchMs) Flush();
}

void TWorkerPageView::Flush() {
  if (FBatch.empty()) return;
  FLink->Send([this](TWinPageView& v) { v.AppendRows(FBatch); });
  FBatch.Clear();
}

bool TWorkerPageView::StopRequested() const {
  if (FLink->Stop) return true;
  std::lock_guard guard(FLink->Lock);
  return FLink->Page == nullptr;
}

}  // namespace bq::win32
