#include "app/Unit1.h"

bool TForm1::Edit1KeyPress(QChar) { return false; }
void TForm1::Edit1Exit() {}
void TForm1::rinemu1Click() {}
void TForm1::mp311Click() {}
void TForm1::mp31Click() {}
void TForm1::D3Click() {}
void TForm1::mp3D1Click() {}
void TForm1::N13Click() {}
void TForm1::EXTF1Click() {}
void TForm1::SetPreset(int) {}
void TForm1::ApplyRuleText(const QString&) {}
