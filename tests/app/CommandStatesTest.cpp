// Which commands are enabled, by list size, selection and tag state.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>

#include "app/ListSelection.h"
#include "tests/app/WindowTestSupport.h"

namespace {

// One command: its button, its menu items, and whether it must be enabled.
struct Expectation {
  const char* command;
  QToolButton* button;
  std::vector<QAction*> items;
  bool enabled;
};

void ExpectStates(const std::vector<Expectation>& expectations) {
  for (const Expectation& e : expectations) {
    if (e.button != nullptr) {
      EXPECT_EQ(e.button->isEnabled(), e.enabled) << e.command;
    }
    for (const QAction* item : e.items) EXPECT_EQ(item->isEnabled(), e.enabled) << e.command;
  }
}

class CommandStatesTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    WriteMp3(folder / "a.mp3", &tagged);
    WriteMp3(folder / "b.mp3", nullptr);
    WriteMp3(folder / "c.mp3", &tagged);
  }
  // The commands that never change state.
  void ExpectAlwaysEnabled() {
    TForm1& f = *form;
    ExpectStates({{"open", f.SpeedButton2, {f.f1}, true},
                  {"exit", nullptr, {f.Exit1}, true},
                  {"presets", nullptr, {f.mp311, f.mp31, f.D3, f.mp3D1, f.N13, f.EXTF1}, true},
                  {"help", f.SpeedButton13, {f.Contents1}, true},
                  {"about", f.SpeedButton14, {f.About1}, true},
                  {"full path", f.SpeedButton7, {}, true},
                  {"topmost", f.SpeedButton8, {}, true}});
    EXPECT_TRUE(f.Edit1->isEnabled());
  }

  DemoTag tagged{"Love", "Kei", "Best", "2001", "", 13};
};

TEST_F(CommandStatesTest, EmptyListOffersOnlyTheAlwaysEnabledCommands) {
  TForm1& f = *form;
  ExpectAlwaysEnabled();
  ExpectStates({{"rename", f.SpeedButton3, {f.rinemu1}, false},
                {"sort", f.SpeedButton1, {f.S2, f.S1}, false},
                {"clear", f.SpeedButton11, {f.Clear1, f.C1}, false},
                {"update tag", f.SpeedButton6, {f.A1}, false},
                {"delete tag", f.SpeedButton4, {f.N9}, false},
                {"copy tag", f.SpeedButton12, {f.C2}, false},
                {"paste tag", f.SpeedButton15, {f.P2}, false},
                {"up", f.SpeedButton5, {f.P1, f.u1}, false},
                {"down", f.SpeedButton9, {f.N1, f.d1}, false},
                {"delete item", f.SpeedButton10, {f.D2, f.Delete1}, false}});
}

TEST_F(CommandStatesTest, OneSelectedEntryCanNeitherMoveUpNorDown) {
  TForm1& f = *form;
  AddFiles(f, {folder / "a.mp3"});
  Select(0);
  ExpectAlwaysEnabled();
  ExpectStates({{"rename", f.SpeedButton3, {f.rinemu1}, true},
                {"sort", f.SpeedButton1, {f.S2, f.S1}, true},
                {"clear", f.SpeedButton11, {f.Clear1, f.C1}, true},
                {"update tag", f.SpeedButton6, {f.A1}, true},
                {"delete tag", f.SpeedButton4, {f.N9}, true},
                {"copy tag", f.SpeedButton12, {f.C2}, true},
                {"paste tag", f.SpeedButton15, {f.P2}, false},
                {"up", f.SpeedButton5, {f.P1, f.u1}, false},
                {"down", f.SpeedButton9, {f.N1, f.d1}, false},
                {"delete item", f.SpeedButton10, {f.D2, f.Delete1}, true}});
}

TEST_F(CommandStatesTest, ListedButUnselectedEnablesOnlyTheListWideCommands) {
  TForm1& f = *form;
  AddFiles(f, {folder / "a.mp3", folder / "b.mp3"});
  ExpectStates({{"rename", f.SpeedButton3, {f.rinemu1}, true},
                {"sort", f.SpeedButton1, {f.S2, f.S1}, true},
                {"clear", f.SpeedButton11, {f.Clear1, f.C1}, true},
                {"update tag", f.SpeedButton6, {f.A1}, false},
                {"up", f.SpeedButton5, {f.P1, f.u1}, false},
                {"delete item", f.SpeedButton10, {f.D2, f.Delete1}, false}});
}

TEST_F(CommandStatesTest, EntryWithoutTagOffersOnlyTheUpdate) {
  TForm1& f = *form;
  AddFiles(f, {folder / "a.mp3", folder / "b.mp3", folder / "c.mp3"});
  Select(1);
  ExpectStates({{"update tag", f.SpeedButton6, {f.A1}, true},
                {"delete tag", f.SpeedButton4, {f.N9}, false},
                {"copy tag", f.SpeedButton12, {f.C2}, false},
                {"paste tag", f.SpeedButton15, {f.P2}, false},
                {"up", f.SpeedButton5, {f.P1, f.u1}, true},
                {"down", f.SpeedButton9, {f.N1, f.d1}, true}});
  Select(2);
  ExpectStates(
      {{"up", f.SpeedButton5, {f.P1, f.u1}, true}, {"down", f.SpeedButton9, {f.N1, f.d1}, false}});
}

TEST_F(CommandStatesTest, CopiedTagEnablesPasteForEveryRowAlsoAfterClearing) {
  TForm1& f = *form;
  AddFiles(f, {folder / "a.mp3", folder / "b.mp3"});
  f.tagClipboard.hasTag = 1;
  for (int row : {0, 1}) {
    Select(row);
    ExpectStates({{"paste tag", f.SpeedButton15, {f.P2}, true}});
  }
  selvane::ClearEntries(f.table);
  f.RefreshLists();
  ExpectStates({{"paste tag", f.SpeedButton15, {f.P2}, false}});
  AddFiles(f, {folder / "b.mp3"});
  ExpectStates({{"paste tag", f.SpeedButton15, {f.P2}, false}});
  Select(0);
  ExpectStates({{"paste tag", f.SpeedButton15, {f.P2}, true}});
}

}  // namespace
