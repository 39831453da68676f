#include "app/Unit1.h"

void TForm1::A1Click() {}
void TForm1::N9Click() {}
void TForm1::C2Click() {}
void TForm1::P2Click() {}
