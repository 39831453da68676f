// The command table: each command is one action, shared by its toolbar
// button and its menu items, and enabled exactly when the list, the
// selection, the tag clipboard and the history allow it.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>
#include <QToolButton>
#include <set>

#include "tests/app/WindowTestSupport.h"

namespace {

using C = Command;

class CommandTableTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    WriteMp3(folder / "a.mp3", &tagged);
    WriteMp3(folder / "b.mp3", nullptr);
    WriteMp3(folder / "c.mp3", &tagged);
  }

  // The commands that follow the list, the clipboard or the history are
  // enabled exactly when named in `enabled`; the others always are.
  void ExpectEnabled(const char* state, const std::set<C>& enabled) {
    const std::set<C> following = {C::Rename,  C::Undo,      C::UpdateTag, C::RemoveTag,
                                   C::CopyTag, C::PasteTag,  C::MoveUp,    C::MoveDown,
                                   C::Sort,    C::DeleteRow, C::ClearList};
    for (const CommandEntry& entry : CommandEntries) {
      const bool on = following.count(entry.command) == 0 || enabled.count(entry.command) > 0;
      EXPECT_EQ(form->ActionFor(entry.command)->isEnabled(), on) << state << ": " << entry.name;
      if (QToolButton* button = form->ButtonFor(entry.command)) {
        EXPECT_EQ(button->isEnabled(), on) << state << ": " << entry.name;
      }
    }
    EXPECT_TRUE(form->ruleBox->isEnabled()) << state;
  }

  DemoTag tagged{"Love", "Kei", "Best", "2001", "", 13};
};

TEST_F(CommandTableTest, EachCommandIsOneActionInItsButtonAndItsMenuItems) {
  std::set<QAction*> actions;
  for (const CommandEntry& entry : CommandEntries) {
    QAction* action = form->ActionFor(entry.command);
    EXPECT_EQ(action->objectName(), QString::fromLatin1(entry.name));
    actions.insert(action);
    QToolButton* button = form->ButtonFor(entry.command);
    ASSERT_EQ(button != nullptr, entry.buttonLeft >= 0) << entry.name;
    if (button != nullptr) {
      EXPECT_EQ(button->defaultAction(), action) << entry.name;
      EXPECT_EQ(button->x(), entry.buttonLeft) << entry.name;
    }
  }
  EXPECT_EQ(actions.size(), CommandCount) << "one action per command";
  // Every button and menu item of the window is one of them.
  for (const QToolButton* button : form->toolbar->findChildren<QToolButton*>())
    EXPECT_EQ(actions.count(button->defaultAction()), 1u) << button->objectName().toStdString();
  std::vector<QMenu*> menus = {form->Commands().listContextMenu};
  for (QAction* title : form->menuBar()->actions()) menus.push_back(title->menu());
  for (const QMenu* menu : menus) {
    for (QAction* item : menu->actions()) {
      if (!item->isSeparator()) {
        EXPECT_EQ(actions.count(item), 1u) << menu->objectName().toStdString();
      }
    }
  }
  // The context menu holds the list menu's commands, not copies of them.
  EXPECT_EQ(form->Commands().listContextMenu->actions().size(),
            form->Commands().listMenu->actions().size());
  for (QAction* item : form->Commands().listMenu->actions()) {
    if (!item->isSeparator()) {
      EXPECT_TRUE(form->Commands().listContextMenu->actions().contains(item));
    }
  }
}

TEST_F(CommandTableTest, EachCommandIsEnabledWhenItsRuleHolds) {
  MainWindow& f = *form;
  ExpectEnabled("empty list", {});
  AddFiles(f, {folder / "a.mp3"});
  ExpectEnabled("one row, none selected", {C::Rename, C::Sort, C::ClearList});
  Select(0);
  ExpectEnabled("one tagged row selected", {C::Rename, C::Sort, C::ClearList, C::UpdateTag,
                                            C::RemoveTag, C::CopyTag, C::DeleteRow});
  selvane::ClearEntries(f.table);
  AddFiles(f, {folder / "a.mp3", folder / "b.mp3", folder / "c.mp3"});
  Select(1);
  ExpectEnabled("an untagged row in the middle", {C::Rename, C::Sort, C::ClearList, C::UpdateTag,
                                                  C::MoveUp, C::MoveDown, C::DeleteRow});
  Select(0);
  f.CopyTag();
  ExpectEnabled("a filled tag clipboard, the first row",
                {C::Rename, C::Sort, C::ClearList, C::UpdateTag, C::RemoveTag, C::CopyTag,
                 C::PasteTag, C::MoveDown, C::DeleteRow});
  f.ClearList();
  ExpectEnabled("the clipboard kept, the list cleared", {});
  AddFiles(f, {folder / "b.mp3"});
  Select(0);
  ExpectEnabled("the clipboard kept, a new row",
                {C::Rename, C::Sort, C::ClearList, C::UpdateTag, C::PasteTag, C::DeleteRow});
  f.ClearList();
  AddFiles(f, {folder / "a.mp3"});
  f.RenameAll();
  ExpectEnabled("an undoable history",
                {C::Rename, C::Sort, C::ClearList, C::UpdateTag, C::RemoveTag, C::CopyTag,
                 C::PasteTag, C::DeleteRow, C::Undo});
  dialogs.answers = {true};
  f.UndoLastBatch();
  EXPECT_FALSE(f.ActionFor(C::Undo)->isEnabled()) << "nothing left to take back";
}

}  // namespace
