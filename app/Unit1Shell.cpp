#include "app/Unit1.h"

void TForm1::SpeedButton8Click() {}
void TForm1::ApplyStaysOnTop() {}
void TForm1::Contents1Click() {}
void TForm1::About1Click() {}
