// Which commands are enabled, by list size, selection and tag state.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QToolButton>
#include <set>
#include <string>

#include "app/ListSelection.h"
#include "tests/app/WindowTestSupport.h"

namespace {

// One command: its button (if any) and its menu items.
struct Command {
  const char* name;
  QToolButton* button;
  std::vector<QAction*> items;
};

class CommandStatesTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    WriteMp3(folder / "a.mp3", &tagged);
    WriteMp3(folder / "b.mp3", nullptr);
    WriteMp3(folder / "c.mp3", &tagged);
  }

  // Every command is checked each time: those that follow the list are
  // enabled exactly when named in `enabled`; the others always are.
  void ExpectEnabled(const std::set<std::string>& enabled) {
    TForm1& f = *form;
    const Command following[] = {{"rename", f.SpeedButton3, {f.rinemu1}},
                                 {"sort", f.SpeedButton1, {f.S2, f.S1}},
                                 {"clear", f.SpeedButton11, {f.Clear1, f.C1}},
                                 {"update tag", f.SpeedButton6, {f.A1}},
                                 {"delete tag", f.SpeedButton4, {f.N9}},
                                 {"copy tag", f.SpeedButton12, {f.C2}},
                                 {"paste tag", f.SpeedButton15, {f.P2}},
                                 {"up", f.SpeedButton5, {f.P1, f.u1}},
                                 {"down", f.SpeedButton9, {f.N1, f.d1}},
                                 {"delete item", f.SpeedButton10, {f.D2, f.Delete1}}};
    const Command always[] = {
        {"open", f.SpeedButton2, {f.f1}},
        {"exit", nullptr, {f.Exit1}},
        {"presets", nullptr, {f.mp311, f.mp31, f.D3, f.mp3D1, f.N13, f.EXTF1}},
        {"help", f.SpeedButton13, {f.Contents1}},
        {"about", f.SpeedButton14, {f.About1}},
        {"full path", f.SpeedButton7, {}},
        {"topmost", f.SpeedButton8, {}}};
    const auto expect = [](const Command& c, bool on) {
      if (c.button != nullptr) {
        EXPECT_EQ(c.button->isEnabled(), on) << c.name;
      }
      for (const QAction* item : c.items) EXPECT_EQ(item->isEnabled(), on) << c.name;
    };
    for (const Command& c : following) expect(c, enabled.count(c.name) > 0);
    for (const Command& c : always) expect(c, true);
    EXPECT_TRUE(f.Edit1->isEnabled());
  }

  DemoTag tagged{"Love", "Kei", "Best", "2001", "", 13};
};

TEST_F(CommandStatesTest, EmptyListOffersOnlyTheAlwaysEnabledCommands) { ExpectEnabled({}); }

TEST_F(CommandStatesTest, OneSelectedEntryCanNeitherMoveUpNorDown) {
  AddFiles(*form, {folder / "a.mp3"});
  Select(0);
  ExpectEnabled({"rename", "sort", "clear", "update tag", "delete tag", "copy tag", "delete item"});
}

TEST_F(CommandStatesTest, ListedButUnselectedEnablesOnlyTheListWideCommands) {
  AddFiles(*form, {folder / "a.mp3", folder / "b.mp3"});
  ExpectEnabled({"rename", "sort", "clear"});
}

TEST_F(CommandStatesTest, EntryWithoutTagOffersOnlyTheUpdate) {
  AddFiles(*form, {folder / "a.mp3", folder / "b.mp3", folder / "c.mp3"});
  Select(1);
  ExpectEnabled({"rename", "sort", "clear", "update tag", "up", "down", "delete item"});
  Select(2);
  ExpectEnabled(
      {"rename", "sort", "clear", "update tag", "delete tag", "copy tag", "up", "delete item"});
}

TEST_F(CommandStatesTest, CopiedTagEnablesPasteForEveryRowAlsoAfterClearing) {
  TForm1& f = *form;
  AddFiles(f, {folder / "a.mp3", folder / "b.mp3"});
  f.tagClipboard.hasTag = 1;
  Select(0);
  ExpectEnabled({"rename", "sort", "clear", "update tag", "delete tag", "copy tag", "paste tag",
                 "down", "delete item"});
  Select(1);
  ExpectEnabled({"rename", "sort", "clear", "update tag", "paste tag", "up", "delete item"});
  selvane::ClearEntries(f.table);
  f.RefreshLists();
  ExpectEnabled({});
  AddFiles(f, {folder / "b.mp3"});
  ExpectEnabled({"rename", "sort", "clear"});
  Select(0);
  ExpectEnabled({"rename", "sort", "clear", "update tag", "paste tag", "delete item"});
}

}  // namespace
