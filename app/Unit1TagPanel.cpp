// The tag panel's controls, and ShowTagPanel: the selected entry's tag as
// last read.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <string_view>

#include "app/ByteLimitValidator.h"
#include "app/TagPanel.h"
#include "app/Unit1.h"
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

}  // namespace

void TForm1::BuildTagPanel() {
  GroupBox7 = Named(new QGroupBox(QStringLiteral("ﾀｸﾞ情報"), client_), "GroupBox7");
  Panel1 = Named(new QWidget(GroupBox7), "Panel1");
  Panel1->resize(203, Panel1->height());  // as designed, until the first resize
  Panel2 = Named(new QWidget(GroupBox7), "Panel2");
  Label1 = AddLabel(Panel1, "Label1", QStringLiteral("ﾀｲﾄﾙ"), 4);
  Label3 = AddLabel(Panel1, "Label3", QStringLiteral("ｱｰﾃｨｽﾄ"), 28);
  Label4 = AddLabel(Panel1, "Label4", QStringLiteral("ｱﾙﾊﾞﾑ"), 52);
  EditTytle = AddEdit(Panel1, "EditTytle", 4, 130, 30);
  EditArtist = AddEdit(Panel1, "EditArtist", 28, 130, 30);
  EditAlbum = AddEdit(Panel1, "EditAlbum", 52, 130, 30);
  Label6 = AddLabel(Panel2, "Label6", QStringLiteral("ｺﾒﾝﾄ"), 4);
  Label8 = AddLabel(Panel2, "Label8", QStringLiteral("ｼﾞｬﾝﾙ"), 28);
  Label5 = AddLabel(Panel2, "Label5", QStringLiteral("年"), 52);
  EditComment = AddEdit(Panel2, "EditComment", 4, 130, 30);
  ComboBoxGenre = Named(new QComboBox(Panel2), "ComboBoxGenre");
  ComboBoxGenre->setGeometry(54, 28, 130, 20);
  ComboBoxGenre->setEditable(false);
  ComboBoxGenre->setMaxVisibleItems(16);
  for (const std::string_view genre : selvane::GenreList)
    ComboBoxGenre->addItem(QString::fromLatin1(genre.data(), static_cast<qsizetype>(genre.size())));
  ComboBoxGenre->setCurrentIndex(-1);
  EditYear = AddEdit(Panel2, "EditYear", 52, 131, 4);
  // In TagField's order.
  tagPanel_ = std::make_unique<TagPanel>(GroupBox7,
                                         std::array<TagPanel::Field, TagFieldCount>{{
                                             {Label1, EditTytle},
                                             {Label3, EditArtist},
                                             {Label4, EditAlbum},
                                             {Label6, EditComment},
                                             {Label5, EditYear},
                                         }},
                                         ComboBoxGenre);
}

void TForm1::ShowTagPanel() {
  const int s = SelectedIndex();
  tagPanel_->Show(s >= 0 ? &table[s] : nullptr);
  if (s >= 0) UpdateCommandStates();
}
