#include "app/Unit1.h"

void TForm1::P1Click() {}
void TForm1::N1Click() {}
void TForm1::S2Click() {}
void TForm1::D2Click() {}
void TForm1::Clear1Click() {}
