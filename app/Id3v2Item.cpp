// The checkable item "ID3v2 で補う" at the end of the naming-rule menu, and
// the after list's marks and tooltips for it.
#include "app/Id3v2Item.h"

#include <QAction>

#include "app/Cp932Text.h"
#include "app/MainWindow.h"
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

// Switching the item names every file anew, as a preset does.
void MainWindow::ToggleId3v2() {
  SetId3v2Item(ActionFor(Command::Id3v2)->isChecked());
  RefreshNames();
}

void MainWindow::SetId3v2Item(bool on) {
  ActionFor(Command::Id3v2)->setChecked(on);
  table.tagSources = on ? selvane::TagSources::WithId3v2 : selvane::TagSources::Id3v1;
}
