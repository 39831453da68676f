#pragma once
// The selected index of a list box as the commands see it: the first
// selected row, or -1. Setting -1 (or a row out of range) clears it.
class QAbstractItemView;

int ItemIndex(const QAbstractItemView* list);
void SetItemIndex(QAbstractItemView* list, int index);
