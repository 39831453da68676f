#include "app/Unit1.h"

void TForm1::f1Click() {}
void TForm1::WMDropFiles(const QStringList&) {}
void TForm1::AddCommandLineFiles(const QStringList&) {}
void TForm1::dragEnterEvent(QDragEnterEvent*) {}
void TForm1::dropEvent(QDropEvent*) {}
