// The tag panel shows the selected entry's tag as last read.
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>

#include "app/Cp932Text.h"
#include "app/Unit1.h"
#include "core/tags/GenreList.h"

namespace {

QLineEdit* TagBox(const TForm1& form, int box) {
  QLineEdit* const boxes[] = {form.EditTytle, form.EditArtist, form.EditAlbum, form.EditComment,
                              form.EditYear};
  return boxes[box];
}

}  // namespace

void TForm1::ShowTagText(int box, const char* bytes) {
  shownTagBytes_[box] = bytes;
  TagBox(*this, box)->setText(ToQt(bytes));
}

bool TForm1::TagBoxBytes(int box, std::string& bytes) const {
  const QString text = TagBox(*this, box)->text();
  if (text == ToQt(shownTagBytes_[box])) {
    bytes = shownTagBytes_[box];
    return true;
  }
  return FromQt(text, bytes);
}

void TForm1::ShowTagPanel() {
  const int s = SelectedIndex();
  const selvane::FileEntry* entry = s >= 0 ? &table[s] : nullptr;
  const bool tagged = entry != nullptr && entry->hasTag == 1;
  GroupBox7->setTitle(entry == nullptr ? QStringLiteral("ﾀｸﾞ情報")
                      : tagged         ? QStringLiteral("ﾀｸﾞ情報－あり")
                                       : QStringLiteral("ﾀｸﾞ情報－なし"));
  // Title, artist, album, comment, year, then the genre.
  ShowTagText(0, tagged ? entry->title : "");
  ShowTagText(1, tagged ? entry->artist : "");
  ShowTagText(2, tagged ? entry->album : "");
  ShowTagText(3, tagged ? entry->comment : "");
  ShowTagText(4, tagged ? entry->year : "");
  ComboBoxGenre->setCurrentIndex(tagged ? selvane::GenreItemForByte(entry->genre[0]) : -1);
  if (entry != nullptr) UpdateCommandStates();
}
