#include "app/Glyphs.h"

QIcon ToolbarGlyph(const QString&) { return {}; }
QIcon ApplicationIcon() { return {}; }
