// The two list views: rebuilt whole from the table, one common selection,
// the display mode, and the lists' mouse and key handling.
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolButton>
#include <algorithm>
#include <utility>
#include <vector>

#include "app/Cp932Text.h"
#include "app/Glyphs.h"
#include "app/ListRows.h"
#include "app/ListSelection.h"
#include "app/MainWindow.h"
#include "core/platform/Process.h"
#include "core/rename/RenameRun.h"

void MainWindow::RefreshLists(const std::vector<selvane::FileStatus>& read) {
  const bool fullPath = ActionFor(Command::FullPath)->isChecked();
  beforeList->Fill(fullPath);
  // Each row of 変換後 that the rename run will refuse, or where it will
  // ask before replacing a file, gets a mark and its reason as a tooltip.
  std::vector<selvane::RowOutlook> outlook = selvane::ForecastRename(table, *fileOps, &read);
  // A row the stopped reading did not reach was not looked at: its file is
  // not known to be missing, and the forecast has nothing to tell of it.
  const std::vector<char> unread = std::exchange(unreadRows, {});
  if (!read.empty() && unread.size() == outlook.size())
    for (std::size_t i = 0; i < unread.size(); ++i)
      if (unread[i] != 0) outlook[i] = {};
  afterList->Fill(fullPath, std::move(outlook));
  // The forecast's working tables over a whole collection are gone again;
  // their pages go back rather than stay under the next command's.
  if (table.entryCount > selvane::ProgressFrom) selvane::GiveBackFreedMemory();
}

int MainWindow::SelectedIndex() const {
  int first = -1;
  for (const QModelIndex& row : beforeList->selectionModel()->selectedRows()) {
    if (row.row() < table.entryCount && (first == -1 || row.row() < first)) first = row.row();
  }
  return first;
}

void MainWindow::SyncListSelection(QAbstractItemView* source) {
  const bool fromFirst = source->objectName() == QLatin1String("beforeList");
  ListBox* from = fromFirst ? beforeList : afterList;
  ListBox* to = fromFirst ? afterList : beforeList;
  to->verticalScrollBar()->setValue(from->verticalScrollBar()->value());
  SetItemIndex(to, ItemIndex(from));
}

void MainWindow::SelectRow(int row) {
  SetItemIndex(beforeList, row);
  SetItemIndex(afterList, ItemIndex(beforeList));
}

void MainWindow::ToggleFullPath() {
  SetStatusText(ActionFor(Command::FullPath)->isChecked()
                    ? QStringLiteral("ﾌﾙﾊﾟｽ表示ﾓｰﾄﾞです")
                    : QStringLiteral("ﾌｧｲﾙ名のみ表示ﾓｰﾄﾞです"));
  RefreshLists();
}

void MainWindow::ListMouseUp(QAbstractItemView* sender, Qt::MouseButton button,
                             const QPoint& globalPos) {
  if (button == Qt::RightButton) {
    raise();
    activateWindow();
    // Not modal: the menu's command runs when it is chosen, on the entry
    // that was selected before the click.
    commands_->listContextMenu->popup(globalPos);
  }
  SyncListSelection(sender);
  ShowTagPanel();
}

void MainWindow::ListKeyUp(QAbstractItemView* sender, int key) {
  ListBox* other = sender == beforeList ? afterList : beforeList;
  SetItemIndex(other, ItemIndex(sender));
  if (key == Qt::Key_Delete) {
    DeleteSelected();
  } else {
    ShowTagPanel();
  }
}

// Mouse events arrive at a list's viewport, key events at the list itself.
bool MainWindow::ListEvent(QAbstractItemView* list, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      // A right click leaves the selection as it was.
      return static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      ListMouseUp(list, mouse->button(), mouse->globalPosition().toPoint());
      return mouse->button() == Qt::RightButton;
    }
    case QEvent::KeyRelease: {
      const auto* key = static_cast<QKeyEvent*>(event);
      // A held key repeats its press, but is released once.
      if (!key->isAutoRepeat()) ListKeyUp(list, key->key());
      return false;
    }
    default:
      return false;
  }
}
