#include "app/Unit1.h"

void TForm1::RefreshLists() {}
int TForm1::SelectedIndex() const { return -1; }
void TForm1::SyncListSelection(QListWidget*) {}
void TForm1::SpeedButton7Click() {}
void TForm1::ListBox1MouseUp(QListWidget*, Qt::MouseButton, const QPoint&) {}
void TForm1::ListBox1KeyUp(QListWidget*, int) {}
