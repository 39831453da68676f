#pragma once
// "ID3v2 も使う": what the after list shows of a name taken from ID3v2.
#include <QString>
#include <QVariant>

#include "app/Glyphs.h"
#include "core/filelist/FileEntry.h"

// The mark of a row the rename run has nothing to say about: Id3v2RowMark
// when its name took a value from ID3v2, Id3v2HintRowMark when the item is
// off and only ID3v2 could name it, else NoRowMark.
RowMarkKind Id3v2MarkOf(const selvane::Id3v2Note* note);
// The row's tooltip: the run's reason, then where the name's values came
// from. None when both are empty.
QVariant WithId3v2Note(const QString& reason, const selvane::Id3v2Note* note);
