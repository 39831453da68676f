#include "app/ListSelection.h"

#include <QItemSelectionModel>
#include <QListWidget>

int ItemIndex(const QListWidget* list) {
  const QModelIndexList rows = list->selectionModel()->selectedRows();
  int first = -1;
  for (const QModelIndex& row : rows)
    if (first == -1 || row.row() < first) first = row.row();
  return first;
}

void SetItemIndex(QListWidget* list, int index) {
  if (index < 0 || index >= list->count()) {
    list->clearSelection();
    list->setCurrentRow(-1);
    return;
  }
  list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}
