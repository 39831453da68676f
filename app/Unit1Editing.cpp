// Move up, move down, sort, delete, clear. None of them touches a file; the
// position is part of the new name ("$R"), so every reordering ends in the
// new-name refresh.

#include "app/ListRows.h"
#include "app/ListSelection.h"
#include "app/Unit1.h"

void TForm1::P1Click() {
  if (SelectedIndex() == -1) return;
  const int k = ItemIndex(ListBox1);
  if (k <= 0) {
    SetStatusText(QStringLiteral("一番上です"));
    return;
  }
  selvane::SwapEntries(table, k - 1, k);
  Edit1Exit();
  SelectRow(k - 1);
  ShowTagPanel();
}

void TForm1::N1Click() {
  if (SelectedIndex() == -1) return;
  const int k = ItemIndex(ListBox1);
  if (k >= table.entryCount - 1) {
    SetStatusText(QStringLiteral("一番下です"));
    return;
  }
  selvane::SwapEntries(table, k, k + 1);
  Edit1Exit();
  SelectRow(k + 1);
  ShowTagPanel();
}

// The selection stays at the same position, which after sorting generally
// holds another file.
void TForm1::S2Click() {
  const int remembered = ItemIndex(ListBox1);
  selvane::SortEntries(table);
  Edit1Exit();
  SelectRow(remembered);
  ShowTagPanel();
}

void TForm1::D2Click() {
  const int k = SelectedIndex();
  if (k == -1) return;
  selvane::DeleteEntry(table, k);
  Edit1Exit();
  // The row below moves up into the gap; after the last row, its neighbour
  // above is taken. Deleting the only row leaves nothing selected.
  const int next = (k == table.entryCount && k > 0) ? k - 1 : k;
  SelectRow(next);
  ShowTagPanel();
}

// The tag copy buffer is not part of the list and keeps its content.
void TForm1::Clear1Click() {
  selvane::ClearEntries(table);
  RefreshLists();
  ShowTagPanel();
}
