// The page view over a page's real controls, and the view a worker thread fills, which hands
// every call to the page's own thread.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <memory>
#include <mutex>
#include <vector>

#include "preview/hlxRichSyntax.h"
#include "shell/bqListDisplay.h"
#include "shell/bqPageView.h"
#include "shell/bqViewBase.h"

namespace bq::win32 {

// Sent by a worker to its page: wParam = the page's TWorkerLink, lParam = a TPageCall.
inline constexpr UINT WM_BQ_PAGECALL = WM_APP + 0x42;

// What a list or tree offers around its rows: the commands of its context menu (also sent as
// WM_COMMAND, which is how a test drives them) and its export formats.
enum : int {
  kCmdCopy = 0x7101,
  kCmdCopyAll = 0x7102,
  kCmdSaveAs = 0x7103,
  kCmdSelectAll = 0x7104,
  kCmdCopyValue = 0x7105,
};
enum class TExportFormat { efTsv, efCsv, efJson, efText };

// A page answers this registered message (wParam = a line of its list) with the line's group,
// so that a reader of the list (a test, an accessibility tool) can tell a virtual list's group
// header lines from its rows.
UINT LineGroupMessage();

// Renders a page into its controls, from a model of what the page showed (the same record
// bqlite prints). A list of up to kVirtualRows rows holds its items and groups itself; a longer
// one becomes a virtual (owner-data) list drawn from the model, with one header line per group.
// Used on the page's thread only.
class TWinPageView : public TPageView {
public:
  explicit TWinPageView(HWND page);
  ~TWinPageView() override;
  TWinPageView(const TWinPageView&) = delete;
  TWinPageView& operator=(const TWinPageView&) = delete;

  void EnableGroupView(bool on) override;
  void AddColumn(std::string_view title, int width, TAlign align) override;
  void AddGroup(int id, std::string_view header) override;
  int InsertRow(int index, std::string_view text) override;
  void SetCell(int row, int column, std::string_view text) override;
  void SetRowGroup(int row, int groupId) override;
  void AppendRow(std::initializer_list<std::string_view> cells, int groupId) override;
  void ReserveRows(size_t rows) override;
  TTreeNode AddTreeNode(TTreeNode parent, std::string_view text) override;
  void SetRichText(std::string_view rtf, std::string_view text) override;
  void AddField(int id, std::string_view label) override;
  void SetField(int id, std::string_view text) override;
  void SetProgress(int percent) override;
  // Kept in the model, for the JSON a page is saved as.
  void AddProblem(std::string_view file, std::string_view message) override;
  // The shown picture as a thumbnail beside the list.
  void AddPicture(int number, std::string_view bytes, bool shown) override;
  bool StopRequested() const override { return false; }

  // A page filled elsewhere (on a worker), shown at once.
  void ShowRecord(TPageRecord record);
  // After a worker's fill: a list with a progress bar that reached 100 % hides the bar and
  // takes the whole page.
  void FinishWorker();
  // Appends a batch of rows with the list's drawing held until the last.
  void AppendRows(const TRowTable& rows);

  // The page's notifications from its list or tree; true when handled, with the result.
  bool OnNotify(const NMHDR& header, LRESULT& result);
  // The context menu's command chosen (0: none), shown at a screen point (-1, -1: at the
  // selection).
  int ContextMenu(HWND from, int x, int y) const;
  // Copy, Copy all and Select all; false for other commands.
  bool Command(int id);
  // What a list, tree or rich edit holds, as a file or the clipboard would take it (UTF-8);
  // JSON is left to the caller, who knows the page.
  std::string Export(TExportFormat format, bool selectedOnly) const;
  const TPageRecord& Record() const { return FModel.Current(); }
  // The group of a list's line (item), as LineGroupMessage answers it: a row's group id, a
  // header line's as -1 - id, LONG_MIN past the end.
  LRESULT LineGroup(size_t line) const;
  bool HasMenu() const { return FList || FTree || FRich; }
  bool IsRichEdit() const { return FRich != nullptr; }
  // The page's own form of a copied row, and the column "Copy value" copies (-1: none).
  void SetCopyForm(TRowText copyRow, int valueColumn) {
    FCopyRow = copyRow;
    FValueColumn = valueColumn;
  }
  HWND MainControl() const;
  // The page's timers; true when the timer was the view's own (the rest of a long preview).
  bool OnTimer(WPARAM id);

  // Under Wine an item costs the dialog's thread about a quarter of a millisecond to insert
  // (more under load): lists longer than this are virtual, so that no page holds the thread
  // for more than some 50 ms at a time.
  static constexpr size_t kVirtualRows = 200;
  // A long preview goes into the rich edit in pieces: the first of kFirstPieceBytes, each
  // next one as large as the control read in kPieceMs before, between kMinPieceBytes and
  // kMaxPieceBytes, as many as fit in kPieceMs at a time. The cuts are found as the pieces
  // go, so the dialog never reads the whole document at once.
  // Under Wine the control reads about 1 MB of RTF a second, so a 4 MiB source (10 MB of RTF)
  // set at once would hold the dialog for 10 s; every insertion also costs some time for each
  // paragraph the document holds, so pieces are not made smaller than kMinPieceBytes.
  static constexpr size_t kFirstPieceBytes = 16 * 1024;
  static constexpr size_t kMinPieceBytes = 16 * 1024, kMaxPieceBytes = 256 * 1024;
  static constexpr size_t kPlainPieceChars = 32 * 1024;
  static constexpr long long kPieceMs = 20;
  static constexpr UINT_PTR kRichTimer = 0x7B51;
  // The thumbnail's largest side, and its static control's id.
  static constexpr int kThumbnailSide = 96;
  static constexpr int kThumbnailId = 1668;

private:
  void RenderRows(size_t from);
  void RenderAllRows();
  void MakeVirtual();
  void Refresh();
  void SortBy(int column);
  void ShowSortArrow();
  std::vector<size_t> SelectedLines() const;
  void SelectGroupOf(size_t line);
  void InsertItem(int index, size_t row);
  int ItemOfRow(int row) const;
  void RenderTree(HTREEITEM parent, const std::vector<TPageRecord::TNode>& nodes);
  void RenderRichText(std::string_view rtf, std::string_view text);
  static size_t PlainPieceEnd(std::wstring_view text, size_t from);
  void AppendRichPiece();
  bool RichPending() const;
  void ClearPending();
  void StreamPlain(std::wstring_view text, bool atEnd);
  void RenderFieldLabel(int id, std::string_view label);
  void RenderField(int id, std::string_view text);
  void ShowThumbnail(std::string_view bytes);

  HWND FPage;
  HWND FList, FTree, FRich, FProgress;
  TPageRecorder FModel;
  TListDisplay FDisplay;
  std::vector<uint32_t> FItemRows;  // a list that holds its items: the model row of each item
  bool FVirtual = false;
  TRowText FCopyRow = nullptr;
  int FValueColumn = -1;
  int FColumns = 0;
  int FLastProgress = -1;
  bool FSelecting = false;
  HFONT FBold = nullptr;
  // The rest of a long preview, still to go in: the document, the search for its cuts, where
  // the next piece starts with the format it restates, and its size.
  std::string FRichDocument;
  std::unique_ptr<TRtfCutter> FCutter;
  size_t FPieceStart = 0, FPieceBytes = kFirstPieceBytes;
  std::string FPieceFormat;
  bool FRichMore = false;
  std::wstring FPlainRest;
  size_t FPlainAt = 0;
  bool FRichTimer = false;
  HBITMAP FThumbnail = nullptr;
};

using TPageCall = std::function<void(TWinPageView&)>;

// What a page and its worker share. The page clears Page when it is destroyed; from then on
// the worker sends nothing. Stop asks the worker to end (the user cancelled the dialog).
struct TWorkerLink {
  std::mutex Lock;
  HWND Page = nullptr;
  std::atomic<bool> Stop{false};
  std::atomic<int> LastProgress{-1};

  void Close();
  // Runs the call on the page's thread; false when the page is gone.
  bool Send(const TPageCall& call);
};

// The view a worker fills: each call travels to the page's thread with SendMessage.
class TWorkerPageView : public TPageView {
public:
  explicit TWorkerPageView(std::shared_ptr<TWorkerLink> link) : FLink(std::move(link)) {}

  void EnableGroupView(bool on) override;
  void AddColumn(std::string_view title, int width, TAlign align) override;
  void AddGroup(int id, std::string_view header) override;
  int InsertRow(int index, std::string_view text) override;
  void SetCell(int row, int column, std::string_view text) override;
  void SetRowGroup(int row, int groupId) override;
  TTreeNode AddTreeNode(TTreeNode parent, std::string_view text) override;
  void SetRichText(std::string_view rtf, std::string_view text) override;
  void AddField(int id, std::string_view label) override;
  void SetField(int id, std::string_view text) override;
  void SetProgress(int percent) override;
  void AddProblem(std::string_view file, std::string_view message) override;
  bool StopRequested() const override;
  // Appended rows travel in batches: one message for up to kBatchRows rows, sent when the
  // batch is full, older than kBatchMs, or before any other call.
  void AppendRow(std::initializer_list<std::string_view> cells, int groupId) override;
  void Flush();

  static constexpr size_t kBatchRows = 1024;
  static constexpr ULONGLONG kBatchMs = 100;

private:
  std::shared_ptr<TWorkerLink> FLink;
  TRowTable FBatch;
  ULONGLONG FBatchStart = 0;
};

}  // namespace bq::win32
