#include "app/Unit1.h"

void TForm1::AddCommandLineFiles(const QStringList&) {}
