#pragma once
// The toolbar glyphs (drawn in code, each with a normal and a disabled look)
// and the application icon.
#include <QIcon>
#include <QString>

// Glyph for a toolbar button by its designed name ("SpeedButton2", ...).
// Null icon for the two caption buttons.
QIcon ToolbarGlyph(const QString& buttonName);
QIcon ApplicationIcon();
