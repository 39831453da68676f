#pragma once
// The toolbar glyphs (drawn in code, each with a normal and a disabled look)
// and the application icon.
#include <QIcon>
#include <QImage>
#include <QString>

// Glyph for a toolbar button by its object name ("openButton", ...).
// Null icon for the two caption buttons.
QIcon ToolbarGlyph(const QString& buttonName);
// The program's icon for its windows (drawn when first shown, once).
QIcon ApplicationIcon();
// The program's icon drawn at any size (the installed hicolor icons).
QImage ApplicationIconImage(int size);

// The mark in front of a row of afterList, telling how the rename run will
// treat that row; the item's RowMarkRole holds the kind.
// Id3v2RowMark: the name took a value from the ID3v2 tag; Id3v2HintRowMark:
// it would, with "ID3v2 も使う" on.
enum RowMarkKind {
  NoRowMark = 0,
  RefusedRowMark = 1,
  QuestionRowMark = 2,
  Id3v2RowMark = 3,
  Id3v2HintRowMark = 4
};
inline constexpr int RowMarkRole = Qt::UserRole + 1;
inline constexpr int RowMarkSize = 10;
// A transparent square for NoRowMark, so that every row keeps its gutter.
QIcon RowMark(int kind);
