// Move up, move down, sort, delete, clear. None of them touches a file; the
// position is part of the new name ("$R"), so every reordering ends in the
// new-name refresh.

#include "app/ListRows.h"
#include "app/ListSelection.h"
#include "app/MainWindow.h"

void MainWindow::MoveUp() {
  if (SelectedIndex() == -1) return;
  const int k = ItemIndex(beforeList);
  if (k <= 0) {
    SetStatusText(QStringLiteral("一番上です"));
    return;
  }
  selvane::SwapEntries(table, k - 1, k);
  RefreshNames();
  SelectRow(k - 1);
  ShowTagPanel();
}

void MainWindow::MoveDown() {
  if (SelectedIndex() == -1) return;
  const int k = ItemIndex(beforeList);
  if (k >= table.entryCount - 1) {
    SetStatusText(QStringLiteral("一番下です"));
    return;
  }
  selvane::SwapEntries(table, k, k + 1);
  RefreshNames();
  SelectRow(k + 1);
  ShowTagPanel();
}

// The selection stays at the same position, which after sorting generally
// holds another file.
void MainWindow::SortAll() {
  const int remembered = ItemIndex(beforeList);
  selvane::SortEntries(table);
  RefreshNames();
  SelectRow(remembered);
  ShowTagPanel();
}

void MainWindow::DeleteSelected() {
  const int k = SelectedIndex();
  if (k == -1) return;
  selvane::DeleteEntry(table, k);
  RefreshNames();
  // The row below moves up into the gap; after the last row, its neighbour
  // above is taken. Deleting the only row leaves nothing selected.
  const int next = (k == table.entryCount && k > 0) ? k - 1 : k;
  SelectRow(next);
  ShowTagPanel();
}

// The tag copy buffer is not part of the list and keeps its content.
void MainWindow::ClearList() {
  selvane::ClearEntries(table);
  RefreshLists();
  ShowTagPanel();
}
