#include "win32/bqWinPageView.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "platform/bqText.h"
#include "preview/hlxRichSyntax.h"
#include "win32/bqLiteModule.h"
#include "win32/bqWinThumbnail.h"
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

TWinPageView::~TWinPageView() {
  if (FRichTimer) KillTimer(FPage, kRichTimer);
  if (FBold) DeleteObject(FBold);
  if (FThumbnail) DeleteObject(FThumbnail);
}

HWND TWinPageView::MainControl() const { return FList ? FList : FTree ? FTree : FRich; }

void TWinPageView::EnableGroupView(bool on) {
  FModel.EnableGroupView(on);
  if (FList && !FVirtual) LvEnableGroupView(FList, on);
  Refresh();
}

void TWinPageView::AddColumn(std::string_view title, int width, TAlign align) {
  FModel.AddColumn(title, width, align);
  if (FList && LvInsertColumn(FList, FColumns, Wide(title), width, Format(align)) >= 0) ++FColumns;
}

void TWinPageView::AddGroup(int id, std::string_view header) {
  FModel.AddGroup(id, header);
  if (FList && !FVirtual) LvInsertGroup(FList, -1, id, Wide(header));
  Refresh();
}

// An item for a model row: its text, group and cells in as few messages as the control takes.
void TWinPageView::InsertItem(int index, size_t row) {
  const auto r = FModel.Current().Rows[row];
  // A line break shows as " / " in the list.
  const auto shown = [](std::string_view cell) { return HasLineBreak(cell) ? Wide(ListCellText(cell)) : Wide(cell); };
  std::wstring text = shown(r[0]);
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_GROUPID;
  item.iItem = index < 0 ? INT_MAX : index;
  item.iGroupId = r.Group();
  item.pszText = text.data();
  const int at = static_cast<int>(SendMessageW(FList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (at < 0) return;
  for (size_t c = 1; c < r.size(); ++c)
    if (!r[c].empty()) LvSetSubItemText(FList, at, static_cast<int>(c), shown(r[c]));
  if (static_cast<size_t>(at) <= FItemRows.size())
    FItemRows.insert(FItemRows.begin() + at, static_cast<uint32_t>(row));
}

int TWinPageView::InsertRow(int index, std::string_view text) {
  if (!FList) return -1;
  const int row = FModel.InsertRow(index, text);
  if (row < 0) return -1;
  if (static_cast<size_t>(row) + 1 < FModel.Current().Rows.size()) {
    // A row in the middle moves the rows after it.
    for (auto& r : FItemRows)
      if (r >= static_cast<uint32_t>(row)) ++r;
    FDisplay.Reset(FModel.Current());
  } else {
    FDisplay.Append(FModel.Current(), static_cast<size_t>(row));
  }
  if (FVirtual || FModel.Current().Rows.size() > kVirtualRows) MakeVirtual();
  else if (FDisplay.SortColumn() >= 0) RenderAllRows();
  else InsertItem(row, static_cast<size_t>(row));
  return row;
}

// The item that shows a model row in a list that holds its items: the row itself until the
// list is sorted.
int TWinPageView::ItemOfRow(int row) const {
  if (FDisplay.SortColumn() < 0) return row;
  for (size_t i = 0; i < FItemRows.size(); ++i)
    if (FItemRows[i] == static_cast<uint32_t>(row)) return static_cast<int>(i);
  return -1;
}

void TWinPageView::SetCell(int row, int column, std::string_view text) {
  if (!FList || row < 0 || column < 0) return;
  FModel.SetCell(row, column, text);
  if (FVirtual) {
    if (FDisplay.SortColumn() == column) FDisplay.Reset(FModel.Current());
    InvalidateRect(FList, nullptr, FALSE);
  } else if (FDisplay.SortColumn() == column) {
    FDisplay.Reset(FModel.Current());
    RenderAllRows();
  } else {
    LvSetSubItemText(FList, ItemOfRow(row), column, Wide(text));
  }
}

void TWinPageView::SetRowGroup(int row, int groupId) {
  if (!FList || row < 0) return;
  FModel.SetRowGroup(row, groupId);
  FDisplay.Reset(FModel.Current());
  if (FVirtual) Refresh();
  else LvSetItemGroup(FList, ItemOfRow(row), groupId);
}

void TWinPageView::AppendRow(std::initializer_list<std::string_view> cells, int groupId) {
  if (!FList || cells.size() == 0) return;
  const size_t from = FModel.Current().Rows.size();
  FModel.AppendRow(cells, groupId);
  RenderRows(from);
}

void TWinPageView::ReserveRows(size_t rows) {
  FModel.ReserveRows(rows);
  // The control allocates its item data for that many rows at once.
  if (FList && !FVirtual && rows <= kVirtualRows)
    ListView_SetItemCountEx(FList, static_cast<int>(rows), LVSICF_NOINVALIDATEALL);
}

// The model's rows from row from on are new: a list that holds its items inserts them with
// its drawing held; one that grows past kVirtualRows becomes virtual.
void TWinPageView::RenderRows(size_t from) {
  if (!FList) return;
  const size_t total = FModel.Current().Rows.size();
  FDisplay.Append(FModel.Current(), from);
  if (FVirtual || total > kVirtualRows) {
    MakeVirtual();
    return;
  }
  if (from >= total) return;
  SendMessageW(FList, WM_SETREDRAW, FALSE, 0);
  ListView_SetItemCountEx(FList, static_cast<int>(total), LVSICF_NOINVALIDATEALL);
  for (size_t row = from; row < total; ++row) InsertItem(-1, row);
  SendMessageW(FList, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(FList, nullptr, FALSE);
}

// Every item again, in the order shown (after a sort).
void TWinPageView::RenderAllRows() {
  if (!FList || FVirtual) return;
  SendMessageW(FList, WM_SETREDRAW, FALSE, 0);
  SendMessageW(FList, LVM_DELETEALLITEMS, 0, 0);
  FItemRows.clear();
  const auto& rows = FModel.Current().Rows;
  ListView_SetItemCountEx(FList, static_cast<int>(rows.size()), LVSICF_NOINVALIDATEALL);
  std::vector<bool> placed(rows.size());
  for (size_t line = 0; line < FDisplay.size(); ++line) {
    const auto at = FDisplay.At(line);
    if (at.Header || at.Index >= rows.size()) continue;
    placed[at.Index] = true;
    InsertItem(-1, at.Index);
  }
  // Rows in no listed group keep their items (the control does not show them).
  for (size_t row = 0; row < rows.size(); ++row)
    if (!placed[row]) InsertItem(-1, row);
  SendMessageW(FList, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(FList, nullptr, FALSE);
}

// Replaces the list with an owner-data one of the same place, look and columns, drawn from the
// model. The style of a list view cannot change to owner-data once it is made.
void TWinPageView::MakeVirtual() {
  if (!FList) return;
  if (!FVirtual) {
    RECT r{};
    GetWindowRect(FList, &r);
    MapWindowPoints(nullptr, FPage, reinterpret_cast<POINT*>(&r), 2);
    const DWORD style = (static_cast<DWORD>(GetWindowLongPtrW(FList, GWL_STYLE)) | LVS_OWNERDATA) & ~LVS_SORTASCENDING & ~LVS_SORTDESCENDING;
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(FList, GWL_EXSTYLE));
    const auto listExStyle = SendMessageW(FList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    const auto font = SendMessageW(FList, WM_GETFONT, 0, 0);
    HWND after = GetWindow(FList, GW_HWNDPREV);
    HWND list = CreateWindowExW(exStyle, WC_LISTVIEWW, L"", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                FPage, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kMainControl)), ModuleInstance(), nullptr);
    if (!list) return;
    DestroyWindow(FList);
    FList = list;
    SetWindowPos(FList, after ? after : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(FList, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    SendMessageW(FList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, listExStyle);
    FColumns = 0;
    for (const auto& c : FModel.Current().Columns)
      if (LvInsertColumn(FList, FColumns, Wide(c.Title), c.Width, Format(c.Align)) >= 0) ++FColumns;
    FItemRows.clear();
    FVirtual = true;
    ShowSortArrow();
  }
  ListView_SetItemCountEx(FList, static_cast<int>(std::min<size_t>(FDisplay.size(), INT_MAX)),
                          LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  InvalidateRect(FList, nullptr, FALSE);
}

void TWinPageView::Refresh() {
  FDisplay.Reset(FModel.Current());
  if (FVirtual) MakeVirtual();
}

TPageView::TTreeNode TWinPageView::AddTreeNode(TTreeNode parent, std::string_view text) {
  if (!FTree) return 0;
  FModel.AddTreeNode(0, text);  // the model keeps the text; the control keeps the shape
  return reinterpret_cast<TTreeNode>(TvInsertItem(FTree, reinterpret_cast<HTREEITEM>(parent), TVI_LAST, Wide(text)));
}

void TWinPageView::RenderTree(HTREEITEM parent, const std::vector<TPageRecord::TNode>& nodes) {
  for (const auto& node : nodes) {
    HTREEITEM item = TvInsertItem(FTree, parent, TVI_LAST, Wide(node.Text));
    if (item && !node.Children.empty()) RenderTree(item, node.Children);
  }
}

void TWinPageView::AddPicture(int number, std::string_view bytes, bool shown) {
  FModel.AddPicture(number, bytes, shown);
  if (shown) ShowThumbnail(bytes);
}

// The list gives up a column of the page on its right to the picture; a picture that does not
// decode changes nothing.
void TWinPageView::ShowThumbnail(std::string_view bytes) {
  if (!FList || FThumbnail) return;
  HBITMAP bitmap = DecodeThumbnail(bytes, kThumbnailSide);
  if (!bitmap) return;
  RECT list{};
  if (!GetWindowRect(FList, &list)) {
    DeleteObject(bitmap);
    return;
  }
  MapWindowPoints(nullptr, FPage, reinterpret_cast<POINT*>(&list), 2);
  const int margin = 6;
  const int width = list.right - list.left - kThumbnailSide - margin;
  if (width < kThumbnailSide) {
    DeleteObject(bitmap);
    return;
  }
  HWND picture = CreateWindowExW(0, L"Static", nullptr, WS_CHILD | WS_VISIBLE | SS_BITMAP, list.left + width + margin,
                                 list.top, kThumbnailSide, kThumbnailSide, FPage,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kThumbnailId)), nullptr, nullptr);
  if (!picture) {
    DeleteObject(bitmap);
    return;
  }
  SetWindowPos(FList, nullptr, 0, 0, width, list.bottom - list.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  FThumbnail = bitmap;
  SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
}

void TWinPageView::ShowRecord(TPageRecord record) {
  FModel.Assign(std::move(record));
  const TPageRecord& r = FModel.Current();
  if (FList) {
    FDisplay.Reset(r);
    if (r.Rows.size() > kVirtualRows) {
      MakeVirtual();
    } else {
      SendMessageW(FList, WM_SETREDRAW, FALSE, 0);
      LvEnableGroupView(FList, r.GroupView);
      for (const auto& c : r.Columns)
        if (LvInsertColumn(FList, FColumns, Wide(c.Title), c.Width, Format(c.Align)) >= 0) ++FColumns;
      for (const auto& g : r.Groups) LvInsertGroup(FList, -1, g.Id, Wide(g.Header));
      SendMessageW(FList, WM_SETREDRAW, TRUE, 0);
      RenderRows(0);
    }
  }
  if (FTree && !r.Tree.empty()) {
    SendMessageW(FTree, WM_SETREDRAW, FALSE, 0);
    RenderTree(nullptr, r.Tree);
    SendMessageW(FTree, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(FTree, nullptr, FALSE);
  }
  if (FRich && (!r.RichText.empty() || !r.PlainText.empty())) RenderRichText(r.RichText, r.PlainText);
  if (!r.Picture.empty()) ShowThumbnail(r.Picture);
  for (const auto& f : r.Fields) {
    if (!f.Label.empty()) RenderFieldLabel(f.Id, f.Label);
    RenderField(f.Id, f.Text);
  }
  if (r.Progress >= 0) SetProgress(r.Progress);
}
namespace {
struct TStreamSource {
  const wchar_t* Data;
  size_t Size, Position;  // in characters
};

// Hands the control UTF-16 text; a read never ends between the CR and LF of a line end (the
// control would take them for two).
DWORD CALLBACK StreamFromBuffer(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* done) {
  auto* source = reinterpret_cast<TStreamSource*>(cookie);
  size_t n = std::min(static_cast<size_t>(count < 0 ? 0 : count) / sizeof(wchar_t), source->Size - source->Position);
  if (n > 1 && source->Position + n < source->Size && source->Data[source->Position + n - 1] == L'\r') --n;
  std::memcpy(buffer, source->Data + source->Position, n * sizeof(wchar_t));
  source->Position += n;
  *done = static_cast<LONG>(n * sizeof(wchar_t));
  return 0;
}
}  // namespace

void TWinPageView::SetRichText(std::string_view rtf, std::string_view text) {
  FModel.SetRichText(rtf, text);
  RenderRichText(rtf, text);
}

void TWinPageView::RenderRichText(std::string_view rtf, std::string_view text) {
  if (!FRich) return;
  if (FRichTimer) KillTimer(FPage, kRichTimer);
  FRichTimer = false;
  ClearPending();
  // A text that is itself an RTF document is shown as the document it is.
  const bool document = rtf.empty() && text.compare(0, 5, "{\\rtf") == 0;
  // Only plain text goes in as UTF-16.
  std::wstring wide = document || !rtf.empty() ? std::wstring() : Wide(text);
  SendMessageW(FRich, EM_SETTEXTMODE, TM_RICHTEXT, 0);
  // Nothing here is undone: without an undo record, a piece added at the end costs the same
  // however long the document has grown (with one, each costs more than the last).
  SendMessageW(FRich, EM_SETUNDOLIMIT, 0, 0);
  // The default limit (32767 characters) would cut a long text: raise it before anything is set.
  SendMessageW(FRich, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(std::max({wide.size(), rtf.size(), text.size()}) + 1));
  if (!rtf.empty() || document) {
    // The document is pure ASCII; the control reads it as RTF from its "{\rtf" start. A long
    // one goes in piece by piece, the first now, the others from a timer, so that the dialog
    // answers between them.
    FRichDocument.assign(document ? text : rtf);
    FCutter = std::make_unique<TRtfCutter>(FRichDocument);
    FPieceStart = 0;
    FPieceFormat.clear();
    FPieceBytes = kFirstPieceBytes;
    AppendRichPiece();
    if (RichPending()) FRichTimer = SetTimer(FPage, kRichTimer, USER_TIMER_MINIMUM, nullptr) != 0;
    if (!FRichTimer) ClearPending();
    return;
  }
  // Plain text: the first piece ends at a line end past kPlainPieceChars.
  const size_t first = PlainPieceEnd(wide, 0);
  StreamPlain(std::wstring_view(wide).substr(0, first), false);
  if (first < wide.size()) {
    FPlainRest = std::move(wide);
    FPlainAt = first;
    FRichTimer = SetTimer(FPage, kRichTimer, USER_TIMER_MINIMUM, nullptr) != 0;
    if (!FRichTimer) FPlainRest.clear();
  }
}

size_t TWinPageView::PlainPieceEnd(std::wstring_view text, size_t from) {
  if (text.size() - from <= kPlainPieceChars) return text.size();
  const size_t line = text.find(L'\n', from + kPlainPieceChars);
  return line == std::wstring_view::npos ? text.size() : line + 1;
}

void TWinPageView::StreamPlain(std::wstring_view text, bool atEnd) {
  TStreamSource source{text.data(), text.size(), 0};
  EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, StreamFromBuffer};
  SendMessageW(FRich, EM_STREAMIN, SF_TEXT | SF_UNICODE | (atEnd ? SFF_SELECTION : 0), reinterpret_cast<LPARAM>(&stream));
}

void TWinPageView::ClearPending() {
  FCutter.reset();
  std::string().swap(FRichDocument);
  std::wstring().swap(FPlainRest);
  FPieceStart = FPlainAt = 0;
  FRichMore = false;
}

bool TWinPageView::RichPending() const { return FCutter && FRichMore; }

void TWinPageView::AppendRichPiece() {
  // The document from the last piece's end to the first place past FPieceBytes where it may
  // be cut (or its end), as a document of its own.
  TRtfCuts::TCut cut;
  FRichMore = FCutter->Next(FPieceBytes, cut);
  const size_t to = FRichMore ? cut.At : FRichDocument.size();
  std::string piece;
  if (FPieceStart > 0) {
    piece.reserve(FCutter->HeaderEnd() + FPieceFormat.size() + to - FPieceStart + 1);
    piece.append(FRichDocument, 0, FCutter->HeaderEnd()).append(FPieceFormat);
  }
  piece.append(FRichDocument, FPieceStart, to - FPieceStart);
  if (FRichMore) piece.push_back('}');
  LARGE_INTEGER frequency{}, start{}, end{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  SETTEXTEX how{FPieceStart == 0 ? static_cast<DWORD>(ST_DEFAULT) : static_cast<DWORD>(ST_SELECTION), CP_ACP};
  SendMessageW(FRich, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how), reinterpret_cast<LPARAM>(piece.c_str()));
  QueryPerformanceCounter(&end);
  FPieceStart = FRichMore ? cut.Resume : to;
  FPieceFormat = std::move(cut.Format);
  // The next piece as large as the control reads in kPieceMs at the rate it just read: that
  // rate differs between documents and falls as the document grows.
  const double ms = std::max(0.5, static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart));
  const double next = static_cast<double>(piece.size()) * static_cast<double>(kPieceMs) / ms;
  FPieceBytes = static_cast<size_t>(std::clamp(next, static_cast<double>(kMinPieceBytes), static_cast<double>(kMaxPieceBytes)));
}

bool TWinPageView::OnTimer(WPARAM id) {
  if (id != kRichTimer) return false;
  const bool plain = FPlainAt < FPlainRest.size();
  if (!FRich || (!RichPending() && !plain)) {
    KillTimer(FPage, kRichTimer);
    FRichTimer = false;
    ClearPending();
    return true;
  }
  // What the user selected and scrolled to stays; the pieces go in at the end, out of sight.
  CHARRANGE kept{};
  SendMessageW(FRich, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&kept));
  POINT scroll{};
  SendMessageW(FRich, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
  SendMessageW(FRich, WM_SETREDRAW, FALSE, 0);
  LARGE_INTEGER frequency{}, start{}, now{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  do {
    GETTEXTLENGTHEX length{GTL_NUMCHARS, 1200};
    const auto end = static_cast<LONG>(SendMessageW(FRich, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
    CHARRANGE at{end, end};
    SendMessageW(FRich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&at));
    if (RichPending()) {
      AppendRichPiece();
    } else {
      const size_t to = PlainPieceEnd(FPlainRest, FPlainAt);
      StreamPlain(std::wstring_view(FPlainRest).substr(FPlainAt, to - FPlainAt), true);
      FPlainAt = to;
    }
    QueryPerformanceCounter(&now);
  } while ((RichPending() || FPlainAt < FPlainRest.size()) &&
           (now.QuadPart - start.QuadPart) * 1000 < kPieceMs * frequency.QuadPart);
  SendMessageW(FRich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&kept));
  SendMessageW(FRich, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
  SendMessageW(FRich, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(FRich, nullptr, FALSE);
  if (!RichPending() && FPlainAt >= FPlainRest.size()) {
    KillTimer(FPage, kRichTimer);
    FRichTimer = false;
    ClearPending();
  }
  return true;
}

void TWinPageView::AddField(int id, std::string_view label) {
  FModel.AddField(id, label);
  RenderFieldLabel(id, label);
}

void TWinPageView::RenderFieldLabel(int id, std::string_view label) {
  HWND edit = GetDlgItem(FPage, id);
  if (!edit) return;
  // The label is the static text just before the box in the template.
  HWND before = GetWindow(edit, GW_HWNDPREV);
  if (IsStatic(before)) SetWindowTextW(before, Wide(label).c_str());
}

void TWinPageView::SetField(int id, std::string_view text) {
  FModel.SetField(id, text);
  RenderField(id, text);
}

void TWinPageView::RenderField(int id, std::string_view text) {
  if (HWND edit = GetDlgItem(FPage, id)) SetWindowTextW(edit, Wide(text).c_str());
}

void TWinPageView::SetProgress(int percent) {
  FLastProgress = percent;
  if (FProgress) SendMessageW(FProgress, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void TWinPageView::AddProblem(std::string_view file, std::string_view message) { FModel.AddProblem(file, message); }

void TWinPageView::FinishWorker() {
  // A page of edit boxes only hides its bar.
  if (!FList && FProgress && FLastProgress >= 100) ShowWindow(FProgress, SW_HIDE);
  if (!FList || !FProgress || FLastProgress < 100) return;
  ShowWindow(FProgress, SW_HIDE);
  ExtendToBottom(FPage, FList);
}

void TWinPageView::AppendRows(const TRowTable& rows) {
  if (!FList || rows.empty()) return;
  const size_t from = FModel.Current().Rows.size();
  for (const auto row : rows) {
    if (row.size() == 0) continue;
    const int at = FModel.InsertRow(-1, row[0]);
    if (at < 0) break;
    for (size_t c = 1; c < row.size(); ++c) FModel.SetCell(at, static_cast<int>(c), row[c]);
    FModel.SetRowGroup(at, row.Group());
  }
  RenderRows(from);
}

LRESULT TWinPageView::LineGroup(size_t line) const {
  if (!FList) return LONG_MIN;
  const TPageRecord& r = FModel.Current();
  if (!FVirtual) return line < FItemRows.size() && FItemRows[line] < r.Rows.size() ? r.Rows[FItemRows[line]].Group() : LONG_MIN;
  if (line >= FDisplay.size()) return LONG_MIN;
  const auto at = FDisplay.At(line);
  if (at.Header) return at.Index < r.Groups.size() ? -1 - static_cast<LRESULT>(r.Groups[at.Index].Id) : LONG_MIN;
  return at.Index < r.Rows.size() ? r.Rows[at.Index].Group() : LONG_MIN;
}

UINT LineGroupMessage() {
  static const UINT message = RegisterWindowMessageW(L"BQLite.ListLineGroup");
  return message;
}

// ---- Sorting, selection, copy.

void TWinPageView::SortBy(int column) {
  const bool ascending = FDisplay.SortColumn() == column ? !FDisplay.SortAscending() : true;
  FDisplay.Sort(FModel.Current(), column, ascending);
  if (FVirtual) {
    // The lines move: what was selected is not where it was.
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED;
    SendMessageW(FList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    MakeVirtual();
  } else {
    RenderAllRows();
  }
  ShowSortArrow();
}

void TWinPageView::ShowSortArrow() {
  HWND header = reinterpret_cast<HWND>(SendMessageW(FList, LVM_GETHEADER, 0, 0));
  if (!header) return;
  for (int c = 0; c < FColumns; ++c) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    if (!SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&item))) continue;
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (c == FDisplay.SortColumn()) item.fmt |= FDisplay.SortAscending() ? HDF_SORTUP : HDF_SORTDOWN;
    SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&item));
  }
}

// The display lines selected, in the order shown.
std::vector<size_t> TWinPageView::SelectedLines() const {
  std::vector<size_t> lines;
  if (!FList) return lines;
  if (FVirtual) {
    for (int i = -1; (i = static_cast<int>(SendMessageW(FList, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED))) >= 0;)
      lines.push_back(static_cast<size_t>(i));
    return lines;
  }
  std::vector<bool> selected(FModel.Current().Rows.size());
  bool any = false;
  for (int i = -1; (i = static_cast<int>(SendMessageW(FList, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED))) >= 0;)
    if (static_cast<size_t>(i) < FItemRows.size() && FItemRows[static_cast<size_t>(i)] < selected.size())
      selected[FItemRows[static_cast<size_t>(i)]] = any = true;
  if (!any) return lines;
  for (size_t line = 0; line < FDisplay.size(); ++line) {
    const auto at = FDisplay.At(line);
    if (!at.Header && at.Index < selected.size() && selected[at.Index]) lines.push_back(line);
  }
  return lines;
}

// A header line selects its group, as a group header does.
void TWinPageView::SelectGroupOf(size_t line) {
  const auto [first, last] = FDisplay.GroupLines(line);
  FSelecting = true;
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED;
  state.state = LVIS_SELECTED;
  for (size_t i = first; i < last; ++i)
    SendMessageW(FList, LVM_SETITEMSTATE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&state));
  FSelecting = false;
}

bool TWinPageView::Command(int id) {
  switch (id) {
    case kCmdSelectAll:
      if (FList) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED;
        state.state = LVIS_SELECTED;
        SendMessageW(FList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
      } else if (FRich) {
        CHARRANGE all{0, -1};
        SendMessageW(FRich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
      }
      return true;
    case kCmdCopy:
    case kCmdCopyAll:
    case kCmdCopyValue: {
      if (FRich && id == kCmdCopy) {
        SendMessageW(FRich, WM_COPY, 0, 0);
        return true;
      }
      if (id == kCmdCopyValue && (FValueColumn < 0 || !FList)) return true;
      if (FList && (FCopyRow || id == kCmdCopyValue)) {
        // The page's own form of a row (a checksum line), or the value alone, a row a line.
        std::vector<size_t> lines = SelectedLines();
        if (id == kCmdCopyAll) {
          lines.resize(FDisplay.size());
          for (size_t i = 0; i < lines.size(); ++i) lines[i] = i;
        }
        std::string text;
        for (size_t line : lines) {
          const auto at = FDisplay.At(line);
          if (at.Header || at.Index >= FModel.Current().Rows.size()) continue;
          const auto row = FModel.Current().Rows[at.Index];
          if (id == kCmdCopyValue) text += row[static_cast<size_t>(std::max(FValueColumn, 0))];
          else text += FCopyRow(row);
          text += "\r\n";
        }
        if (!text.empty()) PutOnClipboard(FPage, text);
        return true;
      }
      const std::string text = Export(FRich ? TExportFormat::efText : TExportFormat::efTsv, id == kCmdCopy);
      if (!text.empty()) PutOnClipboard(FPage, text);
      return true;
    }
  }
  return false;
}

namespace {
// The text of a tree item and of its children, one a line, indented with tabs.
void TreeText(HWND tree, HTREEITEM item, int depth, bool siblings, std::string& out) {
  for (; item; item = siblings ? TreeView_GetNextSibling(tree, item) : nullptr) {
    wchar_t text[1024] = {};
    TVITEMW it{};
    it.mask = TVIF_TEXT;
    it.hItem = item;
    it.pszText = text;
    it.cchTextMax = 1024;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
    out.append(static_cast<size_t>(depth), '\t');
    out += Utf16ToUtf8(std::u16string(text, text + lstrlenW(text)));
    out += "\r\n";
    TreeText(tree, TreeView_GetChild(tree, item), depth + 1, true, out);
  }
}
}  // namespace

std::string TWinPageView::Export(TExportFormat format, bool selectedOnly) const {
  const TPageRecord& r = FModel.Current();
  if (FList) {
    std::vector<size_t> lines;
    if (selectedOnly) {
      lines = SelectedLines();
    } else {
      lines.resize(FDisplay.size());
      for (size_t i = 0; i < lines.size(); ++i) lines[i] = i;
    }
    if (selectedOnly && lines.empty()) return {};
    return format == TExportFormat::efCsv ? ListLinesAsCsv(r, FDisplay, lines) : ListLinesAsTsv(r, FDisplay, lines);
  }
  if (FTree) {
    if (format == TExportFormat::efCsv && !selectedOnly) return TreeAsCsv(r.Tree);
    std::string out;
    if (selectedOnly) {
      if (HTREEITEM item = TreeView_GetSelection(FTree)) TreeText(FTree, item, 0, false, out);
    } else {
      TreeText(FTree, TreeView_GetRoot(FTree), 0, true, out);
    }
    return out;
  }
  if (FRich) return r.PlainText;
  return {};
}

int TWinPageView::ContextMenu(HWND from, int x, int y) const {
  if (from != MainControl()) return 0;
  HMENU menu = CreatePopupMenu();
  if (!menu) return 0;
  if (FRich) {
    AppendMenuW(menu, MF_STRING, kCmdCopy, L"Copy");
  } else {
    const bool any = FList ? SendMessageW(FList, LVM_GETSELECTEDCOUNT, 0, 0) > 0 : TreeView_GetSelection(FTree) != nullptr;
    AppendMenuW(menu, MF_STRING | (any ? 0 : MF_GRAYED), kCmdCopy, L"Copy");
    if (FValueColumn >= 0 && FList) AppendMenuW(menu, MF_STRING | (any ? 0 : MF_GRAYED), kCmdCopyValue, L"Copy value");
    AppendMenuW(menu, MF_STRING, kCmdCopyAll, L"Copy all");
  }
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, kCmdSaveAs, L"Save as\u2026");
  if (x == -1 && y == -1) {
    // From the keyboard: beside the control's top left corner.
    RECT r{};
    GetWindowRect(from, &r);
    x = r.left + 8;
    y = r.top + 8;
  }
  const int command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, x, y, 0, FPage, nullptr);
  DestroyMenu(menu);
  return command;
}

bool TWinPageView::OnNotify(const NMHDR& header, LRESULT& result) {
  result = 0;
  if (FList && header.hwndFrom == FList) {
    switch (header.code) {
      case LVN_GETDISPINFOW: {
        auto& item = reinterpret_cast<NMLVDISPINFOW&>(const_cast<NMHDR&>(header)).item;
        if (!FVirtual || item.iItem < 0) return true;
        const auto at = FDisplay.At(static_cast<size_t>(item.iItem));
        const TPageRecord& r = FModel.Current();
        if (item.mask & LVIF_TEXT && item.pszText && item.cchTextMax > 0) {
          std::string_view text;
          if (at.Header) text = item.iSubItem == 0 && at.Index < r.Groups.size() ? std::string_view(r.Groups[at.Index].Header) : std::string_view();
          else if (at.Index < r.Rows.size()) text = r.Rows[at.Index][static_cast<size_t>(std::max(item.iSubItem, 0))];
          const std::wstring wide = HasLineBreak(text) ? Wide(ListCellText(text)) : Wide(text);
          lstrcpynW(item.pszText, wide.c_str(), item.cchTextMax);
        }
        return true;
      }
      case LVN_ODFINDITEMW: {
        // Typing selects the next row whose first cell starts with what was typed.
        const auto& find = reinterpret_cast<const NMLVFINDITEMW&>(header);
        result = -1;
        if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz) return true;
        const std::string typed = Utf16ToUtf8(std::u16string(find.lvfi.psz, find.lvfi.psz + lstrlenW(find.lvfi.psz)));
        const size_t count = FDisplay.size();
        for (size_t k = 0; k < count && !typed.empty(); ++k) {
          const size_t line = (static_cast<size_t>(std::max(find.iStart, 0)) + k) % count;
          const auto at = FDisplay.At(line);
          if (at.Header || at.Index >= FModel.Current().Rows.size()) continue;
          const std::string_view cell = FModel.Current().Rows[at.Index][0];
          if (cell.size() >= typed.size() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, cell.data(), static_cast<int>(typed.size()),
                                                            typed.data(), static_cast<int>(typed.size())) == CSTR_EQUAL) {
            result = static_cast<LRESULT>(line);
            break;
          }
        }
        return true;
      }
      case LVN_COLUMNCLICK:
        SortBy(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
        return true;
      case LVN_ITEMCHANGED: {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if (FVirtual && !FSelecting && change.iItem >= 0 && (change.uNewState & LVIS_SELECTED) &&
            !(change.uOldState & LVIS_SELECTED) && FDisplay.At(static_cast<size_t>(change.iItem)).Header)
          SelectGroupOf(static_cast<size_t>(change.iItem));
        return true;
      }
      case LVN_KEYDOWN: {
        const WORD key = reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey;
        if (GetKeyState(VK_CONTROL) < 0 && (key == 'A' || key == 'C')) Command(key == 'A' ? kCmdSelectAll : kCmdCopy);
        return true;
      }
      case NM_CUSTOMDRAW: {
        if (!FVirtual) return false;
        auto& draw = reinterpret_cast<NMLVCUSTOMDRAW&>(const_cast<NMHDR&>(header));
        if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
          result = CDRF_NOTIFYITEMDRAW;
        } else if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT && FDisplay.At(draw.nmcd.dwItemSpec).Header) {
          // A header line looks like a group header: bold, in the header colour.
          if (!FBold) {
            LOGFONTW font{};
            if (GetObjectW(reinterpret_cast<HFONT>(SendMessageW(FList, WM_GETFONT, 0, 0)), sizeof font, &font)) {
              font.lfWeight = FW_BOLD;
              FBold = CreateFontIndirectW(&font);
            }
          }
          if (FBold) SelectObject(draw.nmcd.hdc, FBold);
          draw.clrText = RGB(0x1F, 0x4E, 0x79);
          result = CDRF_NEWFONT;
        }
        return true;
      }
    }
    return false;
  }
  if (FTree && header.hwndFrom == FTree && header.code == TVN_KEYDOWN) {
    const WORD key = reinterpret_cast<const NMTVKEYDOWN&>(header).wVKey;
    if (GetKeyState(VK_CONTROL) < 0 && key == 'C') Command(kCmdCopy);
    return true;
  }
  return false;
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

void TWorkerPageView::AddProblem(std::string_view file, std::string_view message) {
  Flush();
  FLink->Send([&](TWinPageView& v) { v.AddProblem(file, message); });
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
