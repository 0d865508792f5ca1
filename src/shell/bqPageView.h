// The seam between pages and front ends: a page fills a TPageView; the Win32 front end renders
// it into the dialog's controls, bqlite into text or JSON, tests into a TPageRecord.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <atomic>
#include <string>
#include <string_view>
#include <vector>

namespace bq {

enum class TAlign { alLeft, alRight, alCenter };

class TPageView {
public:
  virtual ~TPageView() = default;

  // List view.
  virtual void EnableGroupView(bool on) = 0;
  virtual void AddColumn(std::string_view title, int width, TAlign align) = 0;
  virtual void AddGroup(int id, std::string_view header) = 0;
  // Inserts a row at index (an index past the end appends); returns the row's index or -1.
  virtual int InsertRow(int index, std::string_view text) = 0;
  virtual void SetCell(int row, int column, std::string_view text) = 0;
  virtual void SetRowGroup(int row, int groupId) = 0;
  // Appends a row with its cells in column order and its group (0: none). A page that only
  // ever appends rows may use this: front ends may then batch the rows or print them as they
  // come. By default it is InsertRow past the end, SetCell and SetRowGroup.
  virtual void AppendRow(std::initializer_list<std::string_view> cells, int groupId);

  // Tree view: 0 is the root; returns the new node (0 on failure).
  using TTreeNode = intptr_t;
  virtual TTreeNode AddTreeNode(TTreeNode parent, std::string_view text) = 0;

  // Rich edit, set once: the RTF document ("" to show the text plain) and the plain text the
  // control then shows (UTF-8, CR LF line ends).
  virtual void SetRichText(std::string_view rtf, std::string_view text) = 0;

  // Labelled text fields (the edit boxes of the first page), by control id.
  virtual void AddField(int id, std::string_view label) = 0;
  virtual void SetField(int id, std::string_view text) = 0;

  // Worker pages.
  virtual void SetProgress(int percent) = 0;
  virtual bool StopRequested() const = 0;
};

// Everything a page showed, as plain data.
struct TPageRecord {
  struct TColumn { std::string Title; int Width = 0; TAlign Align = TAlign::alLeft; };
  struct TGroup { int Id = 0; std::string Header; };
  struct TRow { std::vector<std::string> Cells; int Group = 0; };
  struct TNode { std::string Text; std::vector<TNode> Children; };
  struct TField { int Id = 0; std::string Label; std::string Text; };

  bool GroupView = false;
  std::vector<TColumn> Columns;
  std::vector<TGroup> Groups;
  std::vector<TRow> Rows;
  std::vector<TNode> Tree;
  std::string RichText;  // the RTF document
  std::string PlainText;  // the text the rich edit shows
  std::vector<TField> Fields;
  int Progress = -1;
};

// A page view that records into a TPageRecord, with the list view's insertion rules. It is
// filled from one thread; RequestStop may come from any.
class TPageRecorder : public TPageView {
public:
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

  void RequestStop();
  TPageRecord Record() const;
  // The record, moved out; the recorder is left empty.
  TPageRecord TakeRecord();

private:
  TPageRecord FRecord;
  std::vector<std::vector<size_t>> FNodePaths{{}};  // node handle -> path of child indexes
  std::atomic<bool> FStop{false};
};

}  // namespace bq
