#include "app/Unit2.h"

TForm2::TForm2(Dialogs& dialogs, QWidget* parent) : QDialog(parent), dialogs_(dialogs) {}
void TForm2::Button1Click() { hide(); }
void TForm2::Label5Click() {}
void TForm2::Label6Click() {}
void TForm2::Label5MouseMove() {}
void TForm2::Label6MouseMove() {}
void TForm2::FormMouseMove() {}
