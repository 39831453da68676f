#pragma once
// The program's look, shared with the benchmark's window of the same layout
// so that the floor it measures costs what the program's start costs.
#include <QFont>
#include <QTranslator>

// A 12-pixel Gothic: proportional for the window, fixed-pitch for the lists.
QFont GothicFont(const char* family, bool fixedPitch);

// The window icon, the window font, and Qt's own texts in Japanese through
// `qtTexts`, which must live as long as the application.
void SetApplicationLook(QTranslator& qtTexts);
