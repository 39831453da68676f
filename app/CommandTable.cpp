// The command table, the toolbar and menus made from it, and which commands
// are enabled.
#include "app/CommandTable.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>
#include <set>

#include "app/Glyphs.h"
#include "app/Hints.h"
#include "app/StatusLine.h"
#include "core/platform/Cp932.h"

namespace {

using enum EnabledWhen;

}  // namespace

bool Holds(EnabledWhen rule, const CommandFacts& facts) {
  const bool selected = facts.selected >= 0;
  switch (rule) {
    case Always:
      return true;
    case Listed:
      return facts.rows >= 1;
    case Selected:
      return selected;
    case SelectedTagged:
      return selected && facts.selectedTagged;
    case Pasteable:
      return selected && facts.clipboardTagged;
    case NotFirst:
      return selected && facts.selected >= 1;
    case NotLast:
      return selected && facts.selected < facts.rows - 1;
    case Undoable:
      return facts.undoable;
  }
  return true;
}

namespace {

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

// A button's name is its action's with "Button" for "Action".
QString ButtonName(const char* actionName) {
  QString name = QString::fromLatin1(actionName);
  name.chop(static_cast<int>(std::char_traits<char>::length("Action")));
  return name + QStringLiteral("Button");
}

}  // namespace

CommandTable::CommandTable(QWidget& window, MainWindow& commands, QWidget* toolbar, QMenuBar* bar,
                           StatusLine& status)
    : QObject(&window) {
  QCoreApplication::instance()->installEventFilter(new KeyReleaseFilter(&window));
  for (const CommandEntry& entry : CommandEntries) {
    auto* action = new QAction(QString::fromUtf8(entry.caption), &window);
    action->setObjectName(QString::fromLatin1(entry.name));
    action->setCheckable(entry.checkable);
    connect(action, &QAction::triggered, &window, [&commands, run = entry.run] { run(commands); });
    actions_[Index(entry.command)] = action;
    if (entry.buttonLeft >= 0) {
      auto* button = new QToolButton(toolbar);
      button->setObjectName(ButtonName(entry.name));
      button->setGeometry(entry.buttonLeft, 4, 25, 25);
      button->setFocusPolicy(Qt::NoFocus);
      if (entry.face != nullptr) {
        action->setIconText(QString::fromUtf8(entry.face));
      } else {
        action->setIcon(ToolbarGlyph(button->objectName()));
        action->setIconVisibleInMenu(false);
        button->setIconSize(QSize(20, 20));  // the size the glyphs are drawn for
      }
      button->setDefaultAction(action);
      buttons_[Index(entry.command)] = button;
    }
    ChangeHint(entry.command, nullptr);
  }
  BuildMenus(bar, status);
  Apply();
}

// The menus show a hint only for the commands they alone hold (the presets,
// ID3v2); the others tell theirs through their buttons, whose tooltip the
// action carries.
void CommandTable::ChangeHint(Command command, const char* hint) {
  const std::string cp932 =
      selvane::Cp932(hint != nullptr ? hint : CommandEntries[Index(command)].hint);
  QToolButton* button = Button(command);
  if (button == nullptr) {
    if (!cp932.empty()) SetHint(Action(command), cp932);
    return;
  }
  SetHint(button, cp932);
  Action(command)->setToolTip(ShortHintOf(button));
}

QMenu* CommandTable::AddMenu(QMenu* menu, const char* name,
                             std::initializer_list<std::optional<Command>> items) {
  menu->setObjectName(QString::fromLatin1(name));
  for (const std::optional<Command>& item : items) {
    if (item)
      menu->addAction(Action(*item));
    else
      menu->addSeparator();
  }
  return menu;
}

void CommandTable::BuildMenus(QMenuBar* bar, StatusLine& status) {
  using C = Command;
  constexpr std::nullopt_t line = std::nullopt;
  fileMenu = AddMenu(bar->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)")), "fileMenu",
                     {C::Open, C::Rename, C::Undo, line, C::Exit});
  tagMenu = AddMenu(bar->addMenu(QStringLiteral("ﾀｸﾞ情報(&T)")), "tagMenu",
                    {C::UpdateTag, C::RemoveTag, line, C::CopyTag, C::PasteTag});
  listMenu = AddMenu(bar->addMenu(QStringLiteral("ﾘｽﾄ情報(&L)")), "listMenu",
                     {C::MoveUp, C::MoveDown, line, C::Sort, line, C::DeleteRow, C::ClearList});
  ruleMenu =
      AddMenu(bar->addMenu(QStringLiteral("命名規則(&N)")), "ruleMenu",
              {C::PresetTitle, C::PresetTitleArtist, C::PresetArtistTitle, line,
               C::PresetNumberTitle, C::PresetAlbum, line, C::PresetExtension, line, C::Id3v2});
  helpMenu =
      AddMenu(bar->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)")), "helpMenu", {C::Help, line, C::About});
  for (QMenu* menu : {fileMenu, tagMenu, listMenu, ruleMenu, helpMenu}) status.FollowMenu(menu);
  listContextMenu =
      AddMenu(new QMenu(static_cast<QWidget*>(parent())), "listContextMenu",
              {C::MoveUp, C::MoveDown, line, C::Sort, line, C::DeleteRow, C::ClearList});
}

void CommandTable::FollowList(int rows, int selected, bool selectedTagged) {
  facts_.rows = rows;
  facts_.selected = selected;
  facts_.selectedTagged = selectedTagged;
  Apply();
}

void CommandTable::FollowClipboard(bool tagged) {
  facts_.clipboardTagged = tagged;
  Apply();
}

void CommandTable::FollowHistory(bool undoable) {
  facts_.undoable = undoable;
  Apply();
}

// An action whose state stays as it is tells no one.
void CommandTable::Apply() {
  for (const CommandEntry& entry : CommandEntries)
    actions_[Index(entry.command)]->setEnabled(Holds(entry.when, facts_));
}
