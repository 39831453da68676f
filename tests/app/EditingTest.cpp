// Move, sort, delete and clear on the main window.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <string>
#include <vector>

#include "app/ListSelection.h"
#include "tests/app/WindowTestSupport.h"

namespace {

class EditingTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    form->Edit1->setText(QStringLiteral("($R)$T.mp3"));
  }

  // Files f0..f{n-1}, titled t0..t{n-1}, listed in that order.
  void ListFiles(int n) {
    for (int i = 0; i < n; ++i) {
      const std::string path = folder / ("f" + std::to_string(i) + ".mp3");
      DemoTag tag{"t" + std::to_string(i), "", "", "", "", 1};
      WriteMp3(path, &tag);
      AddFiles(*form, {path});
    }
    form->Edit1Exit();
  }

  // The listed files' names (f0.mp3 ...) in table order.
  std::vector<std::string> ListedNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < form->table.entryCount; ++i) {
      const std::string path = form->table[i].path;
      names.push_back(path.substr(path.rfind('/') + 1));
    }
    return names;
  }

  std::string NewName(int i) const {
    const std::string path = form->table[i].newPath;
    return path.substr(path.rfind('/') + 1);
  }
};

using Names = std::vector<std::string>;

TEST_F(EditingTest, MovingUpExchangesNeighboursAndTheirNumbers) {
  ListFiles(3);
  Select(2);

  form->P1Click();

  EXPECT_EQ(ListedNames(), (Names{"f0.mp3", "f2.mp3", "f1.mp3"}));
  ExpectSelected(1);
  EXPECT_EQ(NewName(1), "(02)t2.mp3");
  EXPECT_EQ(NewName(2), "(03)t1.mp3");
  EXPECT_EQ(form->EditTytle->text(), QStringLiteral("t2"));
  EXPECT_TRUE(form->ListBox2->item(1)->text().endsWith(QStringLiteral("(02)t2.mp3")));
}

TEST_F(EditingTest, MovingDownFollowsTheEntry) {
  ListFiles(3);
  Select(0);

  form->N1Click();

  EXPECT_EQ(ListedNames(), (Names{"f1.mp3", "f0.mp3", "f2.mp3"}));
  ExpectSelected(1);
  EXPECT_EQ(NewName(0), "(01)t1.mp3");
  EXPECT_EQ(NewName(1), "(02)t0.mp3");
}

TEST_F(EditingTest, MovingPastAnEdgeOnlySaysSo) {
  ListFiles(3);
  Select(0);
  form->P1Click();
  EXPECT_EQ(form->StatusText(), QStringLiteral("一番上です"));
  EXPECT_EQ(ListedNames(), (Names{"f0.mp3", "f1.mp3", "f2.mp3"}));
  ExpectSelected(0);

  Select(2);
  form->N1Click();
  EXPECT_EQ(form->StatusText(), QStringLiteral("一番下です"));
  EXPECT_EQ(ListedNames(), (Names{"f0.mp3", "f1.mp3", "f2.mp3"}));
  ExpectSelected(2);
}

TEST_F(EditingTest, WithoutSelectionMoveAndDeleteDoNothing) {
  ListFiles(3);
  form->SetStatusText(QStringLiteral("before"));

  form->P1Click();
  form->N1Click();
  form->D2Click();

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

  form->S2Click();

  EXPECT_EQ(ListedNames(), (Names{"B.mp3", "a.mp3", "b.mp3"}));
  ExpectSelected(0);
  EXPECT_EQ(form->EditTytle->text(), QStringLiteral("B.mp3"));
  EXPECT_EQ(NewName(0), "(01)B.mp3.mp3");
  EXPECT_EQ(NewName(2), "(03)b.mp3.mp3");
}

TEST_F(EditingTest, SortWithoutSelectionLeavesNone) {
  ListFiles(2);
  form->S2Click();
  ExpectSelected(-1);
}

TEST_F(EditingTest, DeletingTheLastEntrySelectsTheNewLast) {
  ListFiles(5);
  Select(4);

  form->D2Click();

  EXPECT_EQ(ListedNames(), (Names{"f0.mp3", "f1.mp3", "f2.mp3", "f3.mp3"}));
  ExpectSelected(3);
  EXPECT_TRUE(PathExists(folder / "f4.mp3"));  // only the list forgets it
}

TEST_F(EditingTest, DeletingAMiddleEntrySelectsTheOneThatMovedUp) {
  ListFiles(5);
  Select(2);

  form->D2Click();

  EXPECT_EQ(ListedNames(), (Names{"f0.mp3", "f1.mp3", "f3.mp3", "f4.mp3"}));
  ExpectSelected(2);
  EXPECT_EQ(form->EditTytle->text(), QStringLiteral("t3"));
  EXPECT_EQ(NewName(2), "(03)t3.mp3");
  EXPECT_EQ(form->ListBox1->count(), 4);
  EXPECT_EQ(form->ListBox2->count(), 4);
}

TEST_F(EditingTest, DeletingTheOnlyEntryEmptiesEverything) {
  ListFiles(1);
  Select(0);

  form->D2Click();

  EXPECT_EQ(form->table.entryCount, 0);
  EXPECT_EQ(form->ListBox1->count(), 0);
  EXPECT_EQ(form->ListBox2->count(), 0);
  ExpectSelected(-1);
  EXPECT_EQ(form->GroupBox7->title(), QStringLiteral("ﾀｸﾞ情報"));
}

TEST_F(EditingTest, DeleteKeyInTheAfterListDeletes) {
  ListFiles(3);
  Select(1);

  form->ListBox1KeyUp(form->ListBox2, Qt::Key_Delete);

  EXPECT_EQ(ListedNames(), (Names{"f0.mp3", "f2.mp3"}));
  ExpectSelected(1);
}

TEST_F(EditingTest, ClearingKeepsTheCopiedTagForFilesAddedLater) {
  ListFiles(2);
  Select(1);
  form->C2Click();

  form->Clear1Click();

  EXPECT_EQ(form->table.entryCount, 0);
  EXPECT_EQ(form->ListBox1->count(), 0);
  EXPECT_EQ(form->GroupBox7->title(), QStringLiteral("ﾀｸﾞ情報"));
  EXPECT_TRUE(form->EditTytle->text().isEmpty());

  const std::string fresh = folder / "fresh.mp3";
  WriteMp3(fresh, nullptr);
  AddFiles(*form, {fresh});
  Select(0);
  EXPECT_TRUE(form->P2->isEnabled());
  form->P2Click();
  EXPECT_EQ(form->EditTytle->text(), QStringLiteral("t1"));
}

}  // namespace
