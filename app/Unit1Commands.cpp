// The toolbar, the main menu, the list context menu, and which commands are
// enabled. Every trigger of one command runs the same handler.
#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>
#include <array>
#include <initializer_list>
#include <set>

#include "app/Glyphs.h"
#include "app/Hints.h"
#include "app/ListRows.h"
#include "app/ListSelection.h"
#include "app/RulePresetItems.h"
#include "app/Unit1.h"
#include "core/platform/Cp932.h"

namespace {

using Handler = void (TForm1::*)();

struct ButtonDesign {
  QToolButton* TForm1::*member;
  const char* name;
  int left;
  const char* hint;     // short|long
  const char* caption;  // the two tag-buffer buttons show a character, not a glyph
  bool toggle;
  Handler handler;
};

const std::array<ButtonDesign, 15> kToolbar = {{
    {&TForm1::SpeedButton2, "SpeedButton2", 8, "開く|ﾌｧｲﾙを開いてﾘｽﾄに追加", nullptr, false,
     &TForm1::f1Click},
    {&TForm1::SpeedButton3, "SpeedButton3", 32, "ﾘﾈｰﾑ実行|ﾘﾈｰﾑを実行", nullptr, false,
     &TForm1::rinemu1Click},
    {&TForm1::SpeedButton6, "SpeedButton6", 62, "ﾀｸﾞ情報更新|ﾀｸﾞ情報更新", nullptr, false,
     &TForm1::A1Click},
    {&TForm1::SpeedButton4, "SpeedButton4", 86, "ﾀｸﾞ情報削除|ﾀｸﾞ情報削除", nullptr, false,
     &TForm1::N9Click},
    {&TForm1::SpeedButton12, "SpeedButton12", 110, "ﾀｸﾞ情報ｺﾋﾟｰ|ﾀｸﾞ情報ｺﾋﾟｰ", "複", false,
     &TForm1::C2Click},
    {&TForm1::SpeedButton15, "SpeedButton15", 136, "ﾀｸﾞ情報貼り付け|ﾀｸﾞ情報貼り付け", "貼", false,
     &TForm1::P2Click},
    {&TForm1::SpeedButton5, "SpeedButton5", 164, "ｱｲﾃﾑを上に|選択ｱｲﾃﾑを上に移動", nullptr, false,
     &TForm1::P1Click},
    {&TForm1::SpeedButton9, "SpeedButton9", 188, "ｱｲﾃﾑを下に|選択ｱｲﾃﾑを下に移動", nullptr, false,
     &TForm1::N1Click},
    {&TForm1::SpeedButton1, "SpeedButton1", 212, "ｱｲﾃﾑｿｰﾄ|ﾘｽﾄ中のｱｲﾃﾑをｿｰﾄ", nullptr, false,
     &TForm1::S2Click},
    {&TForm1::SpeedButton10, "SpeedButton10", 236, "選択ｱｲﾃﾑを削除|選択中のｱｲﾃﾑを削除", nullptr,
     false, &TForm1::D2Click},
    {&TForm1::SpeedButton11, "SpeedButton11", 260, "ﾘｽﾄｸﾘｱ|ﾘｽﾄから全ｱｲﾃﾑを削除", nullptr, false,
     &TForm1::Clear1Click},
    {&TForm1::SpeedButton13, "SpeedButton13", 290, "目次|目次", nullptr, false,
     &TForm1::Contents1Click},
    {&TForm1::SpeedButton14, "SpeedButton14", 314, "バージョン情報|バージョン情報", nullptr, false,
     &TForm1::About1Click},
    {&TForm1::SpeedButton7, "SpeedButton7", 350, "ﾌﾙﾊﾟｽ表示切替|ﾌﾙﾊﾟｽ表示／通常表示を切替", nullptr,
     true, &TForm1::SpeedButton7Click},
    {&TForm1::SpeedButton8, "SpeedButton8", 374, "最前面表示切替|最前面／通常表示を切替", nullptr,
     true, &TForm1::SpeedButton8Click},
}};

struct PresetBinding {
  const char* item;
  QAction* TForm1::*member;
  Handler handler;
  const char* separatorName;  // of the separator that follows, if any
};

const std::array<PresetBinding, 6> kPresetBindings = {{
    {"mp311", &TForm1::mp311, &TForm1::mp311Click, "N4"},
    {"mp31", &TForm1::mp31, &TForm1::mp31Click, "N4"},
    {"D3", &TForm1::D3, &TForm1::D3Click, "N4"},
    {"mp3D1", &TForm1::mp3D1, &TForm1::mp3D1Click, "N14"},
    {"N13", &TForm1::N13, &TForm1::N13Click, "N14"},
    {"EXTF1", &TForm1::EXTF1, &TForm1::EXTF1Click, "N14"},
}};

QMenu* AddMenu(QMenuBar* bar, const char* name, const QString& caption) {
  QMenu* menu = bar->addMenu(caption);
  menu->setObjectName(QString::fromLatin1(name));
  return menu;
}

void AddSeparator(QMenu* menu, const char* name) {
  menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

void SetEnabled(std::initializer_list<QToolButton*> buttons, std::initializer_list<QAction*> items,
                bool enabled) {
  for (QToolButton* button : buttons) button->setEnabled(enabled);
  for (QAction* item : items) item->setEnabled(enabled);
}

// A key belongs to the window that took its press. A menu item chosen by
// its letter, or a box closed with Enter or Esc, is done on the press; the
// release then reaches the window's focused control, and a list would take
// it for a key of its own and show the panel anew, losing a pasted tag.
class KeyReleaseFilter : public QObject {
 public:
  explicit KeyReleaseFilter(QWidget* window) : QObject(window), window_(window) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    const bool here = widget->window() == window_;
    if (type == QEvent::KeyPress) {
      if (here)
        pressedHere_.insert(key);
      else
        pressedHere_.erase(key);
      return false;
    }
    return here && pressedHere_.count(key) == 0;
  }

 private:
  QWidget* window_;
  std::set<int> pressedHere_;  // keys whose last press went to this window
};

}  // namespace

void TForm1::BuildToolbar() {
  for (const ButtonDesign& design : kToolbar) {
    auto* button = new QToolButton(SpeedBar);
    button->setObjectName(QString::fromLatin1(design.name));
    button->setGeometry(design.left, 4, 25, 25);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCheckable(design.toggle);
    if (design.caption != nullptr) {
      button->setText(QString::fromUtf8(design.caption));
    } else {
      button->setIcon(ToolbarGlyph(button->objectName()));
      button->setIconSize(QSize(20, 20));  // the size the glyphs are drawn for
    }
    SetHint(button, selvane::Cp932(design.hint));
    button->setToolTip(ShortHintOf(button));
    connect(button, &QToolButton::clicked, this, design.handler);
    this->*design.member = button;
  }
}

void TForm1::BuildCommands() {
  QCoreApplication::instance()->installEventFilter(new KeyReleaseFilter(this));
  BuildToolbar();

  auto item = [this](QMenu* menu, const char* name, const QString& caption, Handler handler) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
  };

  File1 = AddMenu(MainMenu1, "File1", QStringLiteral("ﾌｧｲﾙ(&F)"));
  f1 = item(File1, "f1", QStringLiteral("開く(&O)..."), &TForm1::f1Click);
  rinemu1 = item(File1, "rinemu1", QStringLiteral("ﾘﾈｰﾑ(&R)"), &TForm1::rinemu1Click);
  Undo1 = item(File1, "Undo1", QStringLiteral("元に戻す(&U)"), &TForm1::Undo1Click);
  // Greyed until the menu first shows: the start does not look at the history.
  Undo1->setEnabled(false);
  connect(this, &TForm1::UndoableChanged, Undo1, &QAction::setEnabled);
  history.store().OnUndoableChanged([this](bool undoable) { emit UndoableChanged(undoable); });
  connect(File1, &QMenu::aboutToShow, this, &TForm1::UpdateUndoState, Qt::SingleShotConnection);
  AddSeparator(File1, "N2");
  Exit1 = item(File1, "Exit1", QStringLiteral("終了(&X)"), &TForm1::Exit1Click);

  Edit2 = AddMenu(MainMenu1, "Edit2", QStringLiteral("ﾀｸﾞ情報(&T)"));
  A1 = item(Edit2, "A1", QStringLiteral("更新(&U)"), &TForm1::A1Click);
  N9 = item(Edit2, "N9", QStringLiteral("削除(&X)"), &TForm1::N9Click);
  AddSeparator(Edit2, "N12");
  C2 = item(Edit2, "C2", QStringLiteral("ﾀｸﾞ情報ｺﾋﾟｰ(&C)"), &TForm1::C2Click);
  P2 = item(Edit2, "P2", QStringLiteral("ﾀｸﾞ情報貼り付け(&P)"), &TForm1::P2Click);

  N5 = AddMenu(MainMenu1, "N5", QStringLiteral("ﾘｽﾄ情報(&L)"));
  P1 = item(N5, "P1", QStringLiteral("選択ｱｲﾃﾑを上に(&P)"), &TForm1::P1Click);
  N1 = item(N5, "N1", QStringLiteral("選択ｱｲﾃﾑを下に(&N)"), &TForm1::N1Click);
  AddSeparator(N5, "N8");
  S2 = item(N5, "S2", QStringLiteral("全体をｿｰﾄ(&S)"), &TForm1::S2Click);
  AddSeparator(N5, "N10");
  D2 = item(N5, "D2", QStringLiteral("選択ｱｲﾃﾑを削除(&D)"), &TForm1::D2Click);
  Clear1 = item(N5, "Clear1", QStringLiteral("ﾘｽﾄ全ｸﾘｱ(&C)"), &TForm1::Clear1Click);

  N11 = AddMenu(MainMenu1, "N11", QStringLiteral("命名規則(&N)"));
  for (const RulePresetItem& preset : RulePresetItems) {
    for (const PresetBinding& binding : kPresetBindings) {
      if (std::string_view(binding.item) != preset.item) continue;
      QAction* action = item(N11, binding.item, QString::fromUtf8(preset.caption), binding.handler);
      SetHint(action, selvane::Cp932(preset.hint));
      this->*binding.member = action;
      if (preset.separatorAfter) AddSeparator(N11, binding.separatorName);
    }
  }
  AddSeparator(N11, "N15");
  Id3v21 = item(N11, "Id3v21", QStringLiteral("ID3v2 で補う(&2)"), &TForm1::Id3v21Click);
  Id3v21->setCheckable(true);
  SetHint(Id3v21,
          selvane::Cp932("ID3v1 タグにない・空の・30 バイトで切れた値を ID3v2 タグで補います"));

  Help1 = AddMenu(MainMenu1, "Help1", QStringLiteral("ﾍﾙﾌﾟ(&H)"));
  Contents1 =
      item(Help1, "Contents1", QStringLiteral("Selvaneヘルプ(&C)"), &TForm1::Contents1Click);
  AddSeparator(Help1, "N3");
  About1 = item(Help1, "About1", QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)..."), &TForm1::About1Click);

  for (QMenu* menu : {File1, Edit2, N5, N11, Help1}) status_->FollowMenu(menu);

  // Opened only by the lists, on a right-button release.
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  u1 = item(PopupMenu1, "u1", QStringLiteral("選択ｱｲﾃﾑを上に(&P)"), &TForm1::P1Click);
  d1 = item(PopupMenu1, "d1", QStringLiteral("選択ｱｲﾃﾑを下に(&N)"), &TForm1::N1Click);
  AddSeparator(PopupMenu1, "N6");
  S1 = item(PopupMenu1, "S1", QStringLiteral("全体をｿｰﾄ(&S)"), &TForm1::S2Click);
  AddSeparator(PopupMenu1, "N7");
  Delete1 = item(PopupMenu1, "Delete1", QStringLiteral("選択ｱｲﾃﾑを削除(&D)"), &TForm1::D2Click);
  C1 = item(PopupMenu1, "C1", QStringLiteral("ﾘｽﾄ全ｸﾘｱ(&C)"), &TForm1::Clear1Click);
}

void TForm1::UpdateCommandStates() {
  const bool listed = table.entryCount >= 1;
  SetEnabled({SpeedButton3}, {rinemu1}, listed);
  SetEnabled({SpeedButton1}, {S2, S1}, listed);
  SetEnabled({SpeedButton11}, {Clear1, C1}, listed);

  const int s = SelectedIndex();
  const bool selected = s >= 0;
  const bool tagged = selected && table[s].hasTag == 1;
  const int row = ItemIndex(ListBox1);
  SetEnabled({SpeedButton6}, {A1}, selected);
  SetEnabled({SpeedButton4}, {N9}, tagged);
  SetEnabled({SpeedButton12}, {C2}, tagged);
  SetEnabled({SpeedButton15}, {P2}, selected && tagClipboard.hasTag == 1);
  SetEnabled({SpeedButton5}, {P1, u1}, selected && row >= 1);
  SetEnabled({SpeedButton9}, {N1, d1}, selected && row < table.entryCount - 1);
  SetEnabled({SpeedButton10}, {D2, Delete1}, selected);
}
