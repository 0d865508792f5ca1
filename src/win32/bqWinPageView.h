// The page view over a page's real controls, and the view a worker thread fills, which hands
// every call to the page's own thread.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "shell/bqPageView.h"

namespace bq::win32 {

// Sent by a worker to its page: wParam = the page's TWorkerLink, lParam = a TPageCall.
inline constexpr UINT WM_BQ_PAGECALL = WM_APP + 0x42;

// Renders page calls into the controls of one page; used on the page's thread only.
class TWinPageView : public TPageView {
public:
  explicit TWinPageView(HWND page);

  void EnableGroupView(bool on) override;
  void AddColumn(std::string_view title, int width, TAlign align) override;
  void AddGroup(int id, std::string_view header) override;
  int InsertRow(int index, std::string_view text) override;
  void SetCell(int row, int column, std::string_view text) override;
  void SetRowGroup(int row, int groupId) override;
  void ReserveRows(size_t rows) override;
  TTreeNode AddTreeNode(TTreeNode parent, std::string_view text) override;
  void SetRichText(std::string_view rtf, std::string_view text) override;
  void AddField(int id, std::string_view label) override;
  void SetField(int id, std::string_view text) override;
  void SetProgress(int percent) override;
  bool StopRequested() const override { return false; }

  // After a worker's fill: a list with a progress bar that reached 100 % hides the bar and
  // takes the whole page.
  void FinishWorker();
  // Appends a batch of rows with the list's drawing held until the last.
  void AppendRows(const TRowTable& rows);

private:
  HWND FPage;
  HWND FList, FTree, FRich, FProgress;
  int FColumns = 0;
  int FLastProgress = -1;
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
