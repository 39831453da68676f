#pragma once
// What the file intake and the reads ahead need of the window whose rows
// they fill and name: the table, the rule, the status line, the questions,
// and the lists to show again afterwards. The main window is one; neither
// of them needs the rest of it.
#include <functional>
#include <string>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/platform/FileStatus.h"

class Dialogs;
class ListBox;
class QWidget;
class StatusLine;
class WindowPrompts;

class RowsHost {
 public:
  virtual selvane::EntryTable& Rows() = 0;
  // The naming rule as CP932.
  virtual std::string NamingRule() const = 0;
  // Which native folders' files are read many at a time before they are named.
  virtual const std::function<bool(const std::string& nativeFolder)>& ReadAheadWaits() const = 0;

  virtual StatusLine& Status() = 0;
  virtual WindowPrompts& Prompts() = 0;
  virtual Dialogs& DialogsInUse() = 0;
  virtual QWidget& Window() = 0;
  // Runs `box` now when the window is on screen, else right after its first paint.
  virtual void ShowWhenOnScreen(std::function<void()> box) = 0;

  virtual ListBox& BeforeList() = 0;
  virtual ListBox& AfterList() = 0;
  // The lists shown again after rows came in; `read` as MainWindow::RefreshLists takes it.
  virtual void RefreshLists(const std::vector<selvane::FileStatus>& read) = 0;
  // The rows a stopped reading did not reach (one flag per row, else empty),
  // which the next filling of the lists leaves unmarked.
  virtual std::vector<char>& UnreadRows() = 0;
  virtual void SelectRow(int row) = 0;
  virtual void ShowTagPanel() = 0;

 protected:
  ~RowsHost() = default;
};
