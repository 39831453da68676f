// Move, sort, delete and clear on the main window.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLineEdit>
#include <string>
#include <vector>

#include "app/ListSelection.h"
#include "tests/app/WindowTestSupport.h"

namespace {

class EditingTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    form->ruleBox->setText(QStringLiteral("($R)$T.mp3"));
  }

  // Files f0..f{n-1}, titled t0..t{n-1}, listed in that order.
  void ListFiles(int n) {
    for (int i = 0; i < n; ++i) {
      const std::string path = folder / ("f" + std::to_string(i) + ".mp3");
      DemoTag tag{"t" + std::to_string(i), "", "", "", "", 1};
      WriteMp3(path, &tag);
      AddFiles(*form, {path});
    }
    form->RefreshNames();
  }

  // The listed files' names (f0.mp3 ...) in table order.
  std::vector<std::string> ListedNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < form->table.entryCount; ++i) {
      const std::string path(form->table[i].path);
      names.push_back(path.substr(path.rfind('/') + 1));
    }
    return names;
  }

  std::string NewName(int i) const {
    const std::string path(form->table[i].newPath);
    return path.substr(path.rfind('/') + 1);
  }
};

using Names = std::vector<std::string>;

// One command on a list of files f0..f{files-1}: the order it leaves (file
// numbers, top first), the row then selected, and the status it shows.
struct ListEdit {
  const char* name;
  int files, row;
  void (*command)(MainWindow&);
  const char* order;
  int selected;
  const char* status;  // nullptr: not checked
};

// Names the case in test listings.
void PrintTo(const ListEdit& c, std::ostream* out) { *out << c.name; }

class ListEditTest : public EditingTest, public testing::WithParamInterface<ListEdit> {};

// Whatever the command, the new names follow the positions, the panel shows
// the selected row, and no file leaves the disk.
TEST_P(ListEditTest, OrderSelectionAndNumbersFollow) {
  const ListEdit& c = GetParam();
  ListFiles(c.files);
  Select(c.row);

  c.command(*form);

  Names names;
  QStringList newNames;
  for (const char* k = c.order; *k != '\0'; ++k) {
    names.push_back(std::string("f") + *k + ".mp3");
    newNames
        << QStringLiteral("(%1)t%2.mp3").arg(newNames.size() + 1, 2, 10, QLatin1Char('0')).arg(*k);
  }
  EXPECT_EQ(ListedNames(), names);
  EXPECT_EQ(Lines(form->afterList), newNames);
  EXPECT_EQ(form->beforeList->count(), form->table.entryCount);
  ExpectSelected(c.selected);
  if (c.selected >= 0) {
    EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("t%1").arg(c.order[c.selected]));
  } else {
    EXPECT_EQ(form->Tags().tagGroup->title(), QStringLiteral("ﾀｸﾞ情報"));
  }
  if (c.status != nullptr) {
    EXPECT_EQ(form->StatusText(), QString::fromUtf8(c.status));
  }
  for (int i = 0; i < c.files; ++i)
    EXPECT_TRUE(PathExists(folder / ("f" + std::to_string(i) + ".mp3")));
}

void Up(MainWindow& f) { f.MoveUp(); }
void Down(MainWindow& f) { f.MoveDown(); }
void Delete(MainWindow& f) { f.DeleteSelected(); }

INSTANTIATE_TEST_SUITE_P(
    Commands, ListEditTest,
    testing::Values(ListEdit{"UpExchangesNeighbours", 3, 2, Up, "021", 1, nullptr},
                    ListEdit{"DownFollowsTheEntry", 3, 0, Down, "102", 1, nullptr},
                    ListEdit{"UpAtTheTopOnlySaysSo", 3, 0, Up, "012", 0, "一番上です"},
                    ListEdit{"DownAtTheBottomOnlySaysSo", 3, 2, Down, "012", 2, "一番下です"},
                    ListEdit{"DeletingTheLastSelectsTheNewLast", 5, 4, Delete, "0123", 3, nullptr},
                    ListEdit{"DeletingAMiddleOneSelectsTheOneMovedUp", 5, 2, Delete, "0134", 2,
                             nullptr},
                    ListEdit{"DeletingTheOnlyOneEmptiesEverything", 1, 0, Delete, "", -1, nullptr},
                    ListEdit{"DeleteKeyInTheAfterList", 3, 1,
                             [](MainWindow& f) { f.ListKeyUp(f.afterList, Qt::Key_Delete); }, "02",
                             1, nullptr}),
    [](const testing::TestParamInfo<ListEdit>& edit) { return edit.param.name; });

TEST_F(EditingTest, WithoutSelectionMoveAndDeleteDoNothing) {
  ListFiles(3);
  form->SetStatusText(QStringLiteral("before"));

  form->MoveUp();
  form->MoveDown();
  form->DeleteSelected();

  EXPECT_EQ(ListedNames(), (Names{"f0.mp3", "f1.mp3", "f2.mp3"}));
  EXPECT_EQ(form->StatusText(), QStringLiteral("before"));
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(EditingTest, SortOrdersByBytesSoUpperCaseComesFirstAndKeepsThePosition) {
  for (const char* name : {"b.mp3", "a.mp3", "B.mp3"}) {
    DemoTag tag{name, "", "", "", "", 1};
    WriteMp3(folder / name, &tag);
    AddFiles(*form, {folder / name});
  }
  Select(0);

  form->SortAll();

  EXPECT_EQ(ListedNames(), (Names{"B.mp3", "a.mp3", "b.mp3"}));
  ExpectSelected(0);
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("B.mp3"));
  EXPECT_EQ(NewName(0), "(01)B.mp3.mp3");
  EXPECT_EQ(NewName(2), "(03)b.mp3.mp3");
}

TEST_F(EditingTest, SortWithoutSelectionLeavesNone) {
  ListFiles(2);
  form->SortAll();
  ExpectSelected(-1);
}

TEST_F(EditingTest, ClearingKeepsTheCopiedTagForFilesAddedLater) {
  ListFiles(2);
  Select(1);
  form->CopyTag();

  form->ClearList();

  EXPECT_EQ(form->table.entryCount, 0);
  EXPECT_EQ(form->beforeList->count(), 0);
  EXPECT_EQ(form->Tags().tagGroup->title(), QStringLiteral("ﾀｸﾞ情報"));
  EXPECT_TRUE(form->Tags().titleBox->text().isEmpty());

  const std::string fresh = folder / "fresh.mp3";
  WriteMp3(fresh, nullptr);
  AddFiles(*form, {fresh});
  Select(0);
  EXPECT_TRUE(form->ActionFor(Command::PasteTag)->isEnabled());
  form->PasteTag();
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("t1"));
}

}  // namespace
