#pragma once
// The window's commands: one QAction each, named for its job and shared by
// its toolbar button and its menu items, with its hint and the rule that
// says when it may run. What the rules read (the list, the selection, the
// tag clipboard, the history) is pushed in by whatever changes it.
#include <QObject>
#include <array>
#include <cstddef>
#include <initializer_list>
#include <optional>

class MainWindow;
class QAction;
class QMenu;
class QMenuBar;
class QToolButton;
class QWidget;
class StatusLine;

enum class Command {
  Open,
  Rename,
  Undo,
  Exit,
  UpdateTag,
  RemoveTag,
  CopyTag,
  PasteTag,
  MoveUp,
  MoveDown,
  Sort,
  DeleteRow,
  ClearList,
  PresetTitle,
  PresetTitleArtist,
  PresetArtistTitle,
  PresetNumberTitle,
  PresetAlbum,
  PresetExtension,
  Id3v2,
  FullPath,
  Topmost,
  Help,
  About,
};
inline constexpr std::size_t CommandCount = static_cast<std::size_t>(Command::About) + 1;

// When a command may run.
enum class EnabledWhen {
  Always,
  Listed,          // the list holds a row
  Selected,        // a row is selected
  SelectedTagged,  // the selected row's file has a tag
  Pasteable,       // a row is selected and the tag clipboard holds a tag
  NotFirst,        // a row below the first is selected
  NotLast,         // a row above the last is selected
  Undoable,        // the history holds a batch to take back
};

// What the rules read.
struct CommandFacts {
  int rows = 0;
  int selected = -1;
  bool selectedTagged = false;
  bool clipboardTagged = false;
  bool undoable = false;
};

bool Holds(EnabledWhen rule, const CommandFacts& facts);

struct CommandEntry {
  Command command;
  const char* name;     // the action's objectName; its button's ends in "Button"
  const char* caption;  // menu text (UTF-8)
  // "short|long" (UTF-8): a button's tooltip and status text, or a menu
  // item's status text when the command has no button. Empty: none.
  const char* hint;
  EnabledWhen when;
  int buttonLeft;    // the toolbar button's left edge; -1: no button
  const char* face;  // a button showing a character instead of a glyph
  bool checkable;
  void (*run)(MainWindow&);
};

// Indexed by Command.
extern const std::array<CommandEntry, CommandCount> CommandEntries;
// Tag removal's hint while the item "ID3v2 も使う" is on: it cuts the trailer
// alone.
extern const char* const RemoveTagId3v2Hint;

class CommandTable : public QObject {
 public:
  // Makes every action (owned by `window`), the toolbar's buttons in
  // `toolbar`, the menus in `bar` and the lists' context menu, each action
  // running its command on `commands`. The hints of the menu bar's items go
  // to `status`.
  CommandTable(QWidget& window, MainWindow& commands, QWidget* toolbar, QMenuBar* bar,
               StatusLine& status);

  QAction* Action(Command command) const { return actions_[Index(command)]; }
  QToolButton* Button(Command command) const { return buttons_[Index(command)]; }

  // `selected`: the selected row, -1 for none.
  void FollowList(int rows, int selected, bool selectedTagged);
  void FollowClipboard(bool tagged);
  void FollowHistory(bool undoable);
  // Gives a command another hint ("short|long", UTF-8); nullptr gives back
  // its own from CommandEntries.
  void ChangeHint(Command command, const char* hint);

  QMenu *fileMenu = nullptr, *tagMenu = nullptr, *listMenu = nullptr, *ruleMenu = nullptr,
        *helpMenu = nullptr;
  QMenu* listContextMenu = nullptr;  // opened only by the lists, on a right-button release

 private:
  static std::size_t Index(Command command) { return static_cast<std::size_t>(command); }
  void BuildMenus(QMenuBar* bar, StatusLine& status);
  // `items` in order; nullopt stands for a separator line.
  QMenu* AddMenu(QMenu* menu, const char* name,
                 std::initializer_list<std::optional<Command>> items);
  void Apply();

  std::array<QAction*, CommandCount> actions_{};
  std::array<QToolButton*, CommandCount> buttons_{};
  CommandFacts facts_;
};
