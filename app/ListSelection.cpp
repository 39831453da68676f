#include "app/ListSelection.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

int ItemIndex(const QAbstractItemView* list) {
  const QModelIndexList rows = list->selectionModel()->selectedRows();
  int first = -1;
  for (const QModelIndex& row : rows)
    if (first == -1 || row.row() < first) first = row.row();
  return first;
}

void SetItemIndex(QAbstractItemView* list, int index) {
  QItemSelectionModel* selection = list->selectionModel();
  if (index < 0 || index >= list->model()->rowCount()) {
    selection->clearSelection();
    selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    return;
  }
  const QModelIndex row = list->model()->index(index, 0);
  selection->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
}
