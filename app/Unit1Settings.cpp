#include "app/Unit1.h"

void TForm1::LoadSettings() {}
bool TForm1::SaveSettings() { return true; }
