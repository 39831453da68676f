#include "app/TagPanel.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "app/Cp932Text.h"
#include "core/tags/GenreList.h"

void TagPanel::ShowText(TagField field, const char* bytes) {
  shown_[static_cast<std::size_t>(field)] = bytes;
  At(field).edit->setText(ToQt(bytes));
}

void TagPanel::Show(const selvane::FileEntry* entry) {
  const bool tagged = entry != nullptr && entry->hasTag == 1;
  tagGroup->setTitle(entry == nullptr ? QStringLiteral("ﾀｸﾞ情報")
                     : tagged         ? QStringLiteral("ﾀｸﾞ情報－あり")
                                      : QStringLiteral("ﾀｸﾞ情報－なし"));
  const auto text = [tagged](const char* bytes) { return tagged ? bytes : ""; };
  ShowText(TagField::Title, text(entry != nullptr ? entry->title : ""));
  ShowText(TagField::Artist, text(entry != nullptr ? entry->artist : ""));
  ShowText(TagField::Album, text(entry != nullptr ? entry->album : ""));
  ShowText(TagField::Comment, text(entry != nullptr ? entry->comment : ""));
  ShowText(TagField::Year, text(entry != nullptr ? entry->year : ""));
  genreBox->setCurrentIndex(tagged ? selvane::GenreItemForByte(entry->genre[0]) : -1);
}

std::optional<TagField> TagPanel::Read(Texts& texts) const {
  for (std::size_t i = 0; i < TagFieldCount; ++i) {
    const QString text = fields_[i].edit->text();
    if (text == ToQt(shown_[i])) {
      texts.bytes[i] = shown_[i];
    } else if (!FromQt(text, texts.bytes[i])) {
      return static_cast<TagField>(i);
    }
  }
  texts.genreItem = genreBox->currentIndex();
  return std::nullopt;
}

selvane::TagValues TagPanel::Texts::Values() const {
  const auto of = [this](TagField field) -> const std::string& {
    return bytes[static_cast<std::size_t>(field)];
  };
  return {of(TagField::Title), of(TagField::Artist),  of(TagField::Album),
          of(TagField::Year),  of(TagField::Comment), genreItem};
}

QString TagPanel::Caption(TagField field) const { return At(field).label->text(); }
