#include "app/TagPanel.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <limits>

#include "app/ByteLimitValidator.h"
#include "app/Cp932Text.h"
#include "app/Id3v2Item.h"
#include "core/rename/Id3v2Names.h"
#include "core/tags/GenreList.h"
#include "core/tags/Id3v2Read.h"

namespace {

using selvane::FieldIndex;

constexpr int TrailerTextBytes = 30;
constexpr int WholeValueBytes = std::numeric_limits<int>::max();

}  // namespace

void TagPanel::TakeWholeValues(bool on) {
  wholeValues_ = on;
  for (const Field& field : fields_) {
    if (field.edit == yearBox) continue;
    field.edit->findChild<ByteLimitValidator*>()->SetByteLimit(on ? WholeValueBytes
                                                                  : TrailerTextBytes);
    if (!on && field.mark != nullptr) field.edit->removeAction(field.mark);
  }
}

TagPanel::Values TagPanel::ValuesOf(const selvane::FileEntry* entry, selvane::FileOps& ops) const {
  Values values;
  if (entry == nullptr) return values;
  const bool tagged = entry->hasTag == 1;
  if (tagged) {
    values.shown = {entry->title, entry->artist, entry->album, entry->comment, entry->year};
    values.genreItem = selvane::GenreItemForByte(entry->genre[0]);
  }
  values.kept = values.shown;
  if (!wholeValues_) return values;
  // The head is read as the naming reads it (its first KiB, the whole tag
  // only when the three frames are not all there); the trailer read along
  // with it lands in a copy, so the names' values stand.
  selvane::FileEntry scratch = *entry;
  selvane::Id3v2Frames frames;
  selvane::ReadTagAndId3v2(entry->path, scratch, frames, ops, nullptr);
  for (const TagField field : selvane::NameFields) {
    const std::size_t i = FieldIndex(field);
    const selvane::Id3v2Text v2 = selvane::DecodeId3v2Frame(frames, field);
    const std::string v1 = values.shown[i];
    values.shown[i] = selvane::TakeNameValue(field, v1, tagged, v2, values.note);
    // A character CP932 lacks has only a stand-in byte in the text: the
    // trailer keeps its own bytes for it unless the user writes the field.
    if (v2.reading != selvane::Id3v2Reading::NoCp932Form) values.kept[i] = values.shown[i];
  }
  return values;
}

void TagPanel::ShowMark(TagField field, const selvane::Id3v2Note& note) {
  const Field& at = At(field);
  selvane::Id3v2Note own = note;
  own.used = static_cast<unsigned char>(1u << FieldIndex(field));
  const RowMarkKind kind = wholeValues_ ? Id3v2MarkOf(&own) : NoRowMark;
  const bool shown = at.edit->actions().contains(at.mark);
  if (kind == NoRowMark) {
    if (shown) at.edit->removeAction(at.mark);
    return;
  }
  at.mark->setIcon(RowMark(kind));
  at.mark->setToolTip(WithId3v2Note({}, &own).toString());
  if (!shown) at.edit->addAction(at.mark, QLineEdit::TrailingPosition);
}

void TagPanel::Show(const selvane::FileEntry* entry, selvane::FileOps& ops) {
  const bool tagged = entry != nullptr && entry->hasTag == 1;
  tagGroup->setTitle(entry == nullptr ? QStringLiteral("ﾀｸﾞ情報")
                     : tagged         ? QStringLiteral("ﾀｸﾞ情報－あり")
                                      : QStringLiteral("ﾀｸﾞ情報－なし"));
  const Values values = ValuesOf(entry, ops);
  shown_ = values.shown;
  kept_ = values.kept;
  for (std::size_t i = 0; i < TagFieldCount; ++i) {
    own_[i] = ToQt(shown_[i]);
    fields_[i].edit->setText(own_[i]);
    // A whole value is often wider than its box: its start is what tells.
    if (wholeValues_) fields_[i].edit->setCursorPosition(0);
  }
  for (const TagField field : selvane::NameFields) ShowMark(field, values.note);
  ownGenre_ = values.genreItem;
  genreBox->setCurrentIndex(ownGenre_);
}

void TagPanel::CompareWith(const selvane::FileEntry* entry, selvane::FileOps& ops) {
  const Values values = ValuesOf(entry, ops);
  for (std::size_t i = 0; i < TagFieldCount; ++i) own_[i] = ToQt(values.shown[i]);
  ownGenre_ = values.genreItem;
}

std::optional<TagField> TagPanel::Read(Texts& texts) const {
  for (std::size_t i = 0; i < TagFieldCount; ++i) {
    const QString text = fields_[i].edit->text();
    if (text == ToQt(shown_[i])) {
      texts.bytes[i] = kept_[i];
    } else if (!FromQt(text, texts.bytes[i])) {
      return static_cast<TagField>(i);
    }
  }
  texts.genreItem = genreBox->currentIndex();
  return std::nullopt;
}

selvane::Id3v2Changes TagPanel::EditedFields() const {
  using Change = std::optional<std::string> selvane::Id3v2Changes::*;
  // In TagField's order.
  static constexpr Change To[TagFieldCount] = {
      &selvane::Id3v2Changes::title, &selvane::Id3v2Changes::artist, &selvane::Id3v2Changes::album,
      &selvane::Id3v2Changes::comment, &selvane::Id3v2Changes::year};
  selvane::Id3v2Changes changes;
  if (!wholeValues_) return changes;
  for (std::size_t i = 0; i < TagFieldCount; ++i) {
    const QString text = fields_[i].edit->text();
    std::string bytes;
    if (text != own_[i] && FromQt(text, bytes)) changes.*To[i] = std::move(bytes);
  }
  const int genre = genreBox->currentIndex();
  if (genre != ownGenre_ && genre >= 0 && genre < selvane::UnknownGenreItem)
    changes.genre = std::string(selvane::GenreList[static_cast<std::size_t>(genre)]);
  return changes;
}

selvane::TagValues TagPanel::Texts::Values() const {
  const auto of = [this](TagField field) -> const std::string& {
    return bytes[static_cast<std::size_t>(field)];
  };
  return {of(TagField::Title), of(TagField::Artist),  of(TagField::Album),
          of(TagField::Year),  of(TagField::Comment), genreItem};
}

QString TagPanel::Caption(TagField field) const { return At(field).label->text(); }
