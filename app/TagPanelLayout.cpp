// The tag panel's controls and their layout.
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <string_view>

#include "app/ByteLimitValidator.h"
#include "app/Glyphs.h"
#include "app/TagPanel.h"
#include "core/tags/GenreList.h"

namespace {

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLabel* AddLabel(QWidget* panel, const char* name, const QString& text, int top) {
  auto* label = Named(new QLabel(text, panel), name);
  label->setGeometry(6, top, 46, 20);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

QLineEdit* AddEdit(QWidget* panel, const char* name, int top, int width, int byteLimit) {
  auto* edit = Named(new QLineEdit(panel), name);
  edit->setGeometry(54, top, width, 20);
  edit->setValidator(new ByteLimitValidator(byteLimit, edit, true));
  // Files dropped on a box go to the window's drop handler, not into the text.
  edit->setAcceptDrops(false);
  return edit;
}

// Shown inside the box, at its end, while the field holds an ID3v2 value.
QAction* AddMark(QLineEdit* edit, const char* name) {
  return Named(new QAction(RowMark(Id3v2RowMark), QString(), edit), name);
}

}  // namespace

TagPanel::TagPanel(QWidget* parent) {
  tagGroup = Named(new QGroupBox(QStringLiteral("ﾀｸﾞ情報"), parent), "tagGroup");
  leftHalf = Named(new QWidget(tagGroup), "leftHalf");
  leftHalf->resize(203, leftHalf->height());  // until the window's first resize
  rightHalf = Named(new QWidget(tagGroup), "rightHalf");
  QLabel* title = AddLabel(leftHalf, "titleLabel", QStringLiteral("ﾀｲﾄﾙ"), 4);
  QLabel* artist = AddLabel(leftHalf, "artistLabel", QStringLiteral("ｱｰﾃｨｽﾄ"), 28);
  QLabel* album = AddLabel(leftHalf, "albumLabel", QStringLiteral("ｱﾙﾊﾞﾑ"), 52);
  titleBox = AddEdit(leftHalf, "titleBox", 4, 130, 30);
  artistBox = AddEdit(leftHalf, "artistBox", 28, 130, 30);
  albumBox = AddEdit(leftHalf, "albumBox", 52, 130, 30);
  QLabel* comment = AddLabel(rightHalf, "commentLabel", QStringLiteral("ｺﾒﾝﾄ"), 4);
  AddLabel(rightHalf, "genreLabel", QStringLiteral("ｼﾞｬﾝﾙ"), 28);
  QLabel* year = AddLabel(rightHalf, "yearLabel", QStringLiteral("年"), 52);
  commentBox = AddEdit(rightHalf, "commentBox", 4, 130, 30);
  genreBox = Named(new QComboBox(rightHalf), "genreBox");
  genreBox->setGeometry(54, 28, 130, 20);
  genreBox->setEditable(false);
  genreBox->setMaxVisibleItems(16);
  for (const std::string_view genre : selvane::GenreList)
    genreBox->addItem(QString::fromLatin1(genre.data(), static_cast<qsizetype>(genre.size())));
  genreBox->setCurrentIndex(-1);
  yearBox = AddEdit(rightHalf, "yearBox", 52, 131, 4);
  // In TagField's order.
  fields_ = {{{title, titleBox, AddMark(titleBox, "titleMark")},
              {artist, artistBox, AddMark(artistBox, "artistMark")},
              {album, albumBox, AddMark(albumBox, "albumMark")},
              {comment, commentBox, nullptr},
              {year, yearBox, nullptr}}};
}

void TagPanel::Dock() {
  const QRect inside = tagGroup->contentsRect();
  const int leftWidth = std::min(leftHalf->width(), inside.width());
  leftHalf->setGeometry(inside.left(), inside.top(), leftWidth, inside.height());
  rightHalf->setGeometry(inside.left() + leftWidth, inside.top(), inside.width() - leftWidth,
                         inside.height());
}

void TagPanel::SetLeftWidth(int width) { leftHalf->resize(width, leftHalf->height()); }

void TagPanel::StretchFields() {
  const int leftEdits = leftHalf->width() - titleBox->x() - 8;
  for (QLineEdit* edit : {titleBox, artistBox, albumBox}) edit->resize(leftEdits, edit->height());
  const int rightEdits = rightHalf->width() - commentBox->x() - 8;
  for (QWidget* field : {static_cast<QWidget*>(commentBox), static_cast<QWidget*>(genreBox),
                         static_cast<QWidget*>(yearBox)})
    field->resize(rightEdits, field->height());
}
