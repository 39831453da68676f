#include "app/Unit1.h"

void TForm1::BuildCommands() {}
void TForm1::UpdateCommandStates() {}
