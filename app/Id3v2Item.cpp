// The after list's marks and tooltips for names the item "ID3v2 も使う" takes
// from ID3v2 (the item itself is switched beside the other stored settings).
#include "app/Id3v2Item.h"

#include "app/Cp932Text.h"
#include "core/rename/Id3v2Names.h"

RowMarkKind Id3v2MarkOf(const selvane::Id3v2Note* note) {
  if (note == nullptr) return NoRowMark;
  if (selvane::NamedFromId3v2(*note)) return Id3v2RowMark;
  return note->unread != 0 ? Id3v2HintRowMark : NoRowMark;
}

QVariant WithId3v2Note(const QString& reason, const selvane::Id3v2Note* note) {
  const QString told = note != nullptr ? ToQt(selvane::Id3v2NoteText(*note)) : QString();
  if (reason.isEmpty() && told.isEmpty()) return {};
  if (reason.isEmpty()) return told;
  if (told.isEmpty()) return reason;
  return reason + QLatin1Char('\n') + told;
}
