// The tag panel shows the selected entry's tag as last read.
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>

#include "app/Cp932Text.h"
#include "app/Unit1.h"
#include "core/tags/GenreList.h"

void TForm1::ShowTagPanel() {
  QLineEdit* const texts[] = {EditTytle, EditArtist, EditAlbum, EditComment, EditYear};
  const int s = SelectedIndex();
  if (s < 0) {
    GroupBox7->setTitle(QStringLiteral("ﾀｸﾞ情報"));
    for (QLineEdit* edit : texts) edit->clear();
    ComboBoxGenre->setCurrentIndex(-1);
    return;
  }
  const selvane::FileEntry& entry = table[s];
  if (entry.hasTag == 1) {
    GroupBox7->setTitle(QStringLiteral("ﾀｸﾞ情報－あり"));
    EditTytle->setText(ToQt(entry.title));
    EditArtist->setText(ToQt(entry.artist));
    EditAlbum->setText(ToQt(entry.album));
    EditComment->setText(ToQt(entry.comment));
    EditYear->setText(ToQt(entry.year));
    ComboBoxGenre->setCurrentIndex(selvane::GenreItemForByte(entry.genre[0]));
  } else {
    GroupBox7->setTitle(QStringLiteral("ﾀｸﾞ情報－なし"));
    for (QLineEdit* edit : texts) edit->clear();
    ComboBoxGenre->setCurrentIndex(-1);
  }
  UpdateCommandStates();
}
