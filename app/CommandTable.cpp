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
#include "app/MainWindow.h"
#include "app/RulePresetItems.h"
#include "app/StatusLine.h"
#include "core/platform/Cp932.h"

namespace {

using W = MainWindow;
using enum EnabledWhen;

// A preset's caption and hint are those of its menu item in RulePresetItems.
template <std::size_t Index>
constexpr CommandEntry Preset(Command command, const char* name) {
  return {.command = command,
          .name = name,
          .caption = RulePresetItems[Index].caption,
          .hint = RulePresetItems[Index].hint,
          .when = Always,
          .buttonLeft = -1,
          .face = nullptr,
          .checkable = false,
          .run = [](W& w) { w.ChoosePreset(Index); }};
}

}  // namespace

// Toolbar buttons are 25 wide; the gaps in their lefts group them: file,
// tag, list, help, and the two switches at the right end.
constexpr std::array<CommandEntry, CommandCount> CommandEntries = {{
    {Command::Open, "openAction", "開く(&O)...", "開く|ﾌｧｲﾙを開いてﾘｽﾄに追加", Always, 8, nullptr,
     false, [](W& w) { w.OpenFiles(); }},
    {Command::Rename, "renameAction", "ﾘﾈｰﾑ(&R)", "ﾘﾈｰﾑ実行|ﾘﾈｰﾑを実行", Listed, 32, nullptr, false,
     [](W& w) { w.RenameAll(); }},
    {Command::Undo, "undoAction", "元に戻す(&U)", "", Undoable, -1, nullptr, false,
     [](W& w) { w.UndoLastBatch(); }},
    {Command::Exit, "exitAction", "終了(&X)", "", Always, -1, nullptr, false,
     [](W& w) { w.Exit(); }},
    {Command::UpdateTag, "updateTagAction", "更新(&U)", "ﾀｸﾞ情報更新|ﾀｸﾞ情報更新", Selected, 62,
     nullptr, false, [](W& w) { w.UpdateTag(); }},
    {Command::RemoveTag, "removeTagAction", "削除(&X)", "ﾀｸﾞ情報削除|ﾀｸﾞ情報削除", SelectedTagged,
     86, nullptr, false, [](W& w) { w.RemoveTag(); }},
    {Command::CopyTag, "copyTagAction", "ﾀｸﾞ情報ｺﾋﾟｰ(&C)", "ﾀｸﾞ情報ｺﾋﾟｰ|ﾀｸﾞ情報ｺﾋﾟｰ",
     SelectedTagged, 110, "複", false, [](W& w) { w.CopyTag(); }},
    {Command::PasteTag, "pasteTagAction", "ﾀｸﾞ情報貼り付け(&P)", "ﾀｸﾞ情報貼り付け|ﾀｸﾞ情報貼り付け",
     Pasteable, 136, "貼", false, [](W& w) { w.PasteTag(); }},
    {Command::MoveUp, "moveUpAction", "選択ｱｲﾃﾑを上に(&P)", "ｱｲﾃﾑを上に|選択ｱｲﾃﾑを上に移動",
     NotFirst, 164, nullptr, false, [](W& w) { w.MoveUp(); }},
    {Command::MoveDown, "moveDownAction", "選択ｱｲﾃﾑを下に(&N)", "ｱｲﾃﾑを下に|選択ｱｲﾃﾑを下に移動",
     NotLast, 188, nullptr, false, [](W& w) { w.MoveDown(); }},
    {Command::Sort, "sortAction", "全体をｿｰﾄ(&S)", "ｱｲﾃﾑｿｰﾄ|ﾘｽﾄ中のｱｲﾃﾑをｿｰﾄ", Listed, 212, nullptr,
     false, [](W& w) { w.SortAll(); }},
    {Command::DeleteRow, "deleteRowAction", "選択ｱｲﾃﾑを削除(&D)",
     "選択ｱｲﾃﾑを削除|選択中のｱｲﾃﾑを削除", Selected, 236, nullptr, false,
     [](W& w) { w.DeleteSelected(); }},
    {Command::ClearList, "clearListAction", "ﾘｽﾄ全ｸﾘｱ(&C)", "ﾘｽﾄｸﾘｱ|ﾘｽﾄから全ｱｲﾃﾑを削除", Listed,
     260, nullptr, false, [](W& w) { w.ClearList(); }},
    Preset<0>(Command::PresetTitle, "presetTitleAction"),
    Preset<1>(Command::PresetTitleArtist, "presetTitleArtistAction"),
    Preset<2>(Command::PresetArtistTitle, "presetArtistTitleAction"),
    Preset<3>(Command::PresetNumberTitle, "presetNumberTitleAction"),
    Preset<4>(Command::PresetAlbum, "presetAlbumAction"),
    Preset<5>(Command::PresetExtension, "presetExtensionAction"),
    {Command::Id3v2, "id3v2Action", "ID3v2 で補う(&2)",
     "ID3v1 タグにない・空の・30 バイトで切れた値を ID3v2 タグで補います", Always, -1, nullptr,
     true, [](W& w) { w.ToggleId3v2(); }},
    {Command::FullPath, "fullPathAction", "ﾌﾙﾊﾟｽ表示切替",
     "ﾌﾙﾊﾟｽ表示切替|ﾌﾙﾊﾟｽ表示／通常表示を切替", Always, 350, nullptr, true,
     [](W& w) { w.ToggleFullPath(); }},
    {Command::Topmost, "topmostAction", "最前面表示切替", "最前面表示切替|最前面／通常表示を切替",
     Always, 374, nullptr, true, [](W& w) { w.ToggleTopmost(); }},
    {Command::Help, "helpAction", "Selvaneヘルプ(&C)", "目次|目次", Always, 290, nullptr, false,
     [](W& w) { w.ShowHelp(); }},
    {Command::About, "aboutAction", "ﾊﾞｰｼﾞｮﾝ情報(&A)...", "バージョン情報|バージョン情報", Always,
     314, nullptr, false, [](W& w) { w.ShowAbout(); }},
}};

constexpr bool InCommandOrder() {
  for (std::size_t i = 0; i < CommandCount; ++i)
    if (static_cast<std::size_t>(CommandEntries[i].command) != i) return false;
  return true;
}
static_assert(InCommandOrder(), "CommandEntries is indexed by Command");

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

CommandTable::CommandTable(MainWindow& window, QWidget* toolbar, QMenuBar* bar, StatusLine& status)
    : QObject(&window) {
  QCoreApplication::instance()->installEventFilter(new KeyReleaseFilter(&window));
  for (const CommandEntry& entry : CommandEntries) {
    auto* action = new QAction(QString::fromUtf8(entry.caption), &window);
    action->setObjectName(QString::fromLatin1(entry.name));
    action->setCheckable(entry.checkable);
    const std::string hint = selvane::Cp932(entry.hint);
    connect(action, &QAction::triggered, &window, [&window, run = entry.run] { run(window); });
    actions_[Index(entry.command)] = action;
    // The menus show a hint only for the commands they alone hold (the
    // presets, ID3v2); the others tell theirs through their buttons.
    if (entry.buttonLeft < 0) {
      if (!hint.empty()) SetHint(action, hint);
      continue;
    }
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
    SetHint(button, hint);
    action->setToolTip(ShortHintOf(button));
    button->setDefaultAction(action);
    buttons_[Index(entry.command)] = button;
  }
  BuildMenus(bar, status);
  Apply();
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
