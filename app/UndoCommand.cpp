// 元に戻す: the newest batch of the history taken back.
#include <QAction>
#include <utility>

#include "app/ListSelection.h"
#include "app/MainWindow.h"
#include "core/history/Undo.h"

void MainWindow::UndoLastBatch() {
  const selvane::UndoRun run = selvane::RunUndo(history.store(), *fileOps, *trash, Prompts());
  if (run.undone) {
    // Listed rows follow their files; names and tags are read again from
    // the disk as undo left it.
    selvane::FollowPathChanges(table, run.changes);
    RefreshNames();
  }
}

void MainWindow::UpdateUndoState() {
  if (std::exchange(undoStateAsked_, true)) return;
  (void)history.store().MayUndo();  // tells UndoableChanged
}
