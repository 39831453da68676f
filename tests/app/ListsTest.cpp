// The two lists: display mode, one common selection, the context menu.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QToolButton>

#include "app/ListSelection.h"
#include "tests/app/WindowTestSupport.h"

namespace {

class ListsTest : public WindowTest {
 protected:
  void Click(QListWidget* list, int row, Qt::MouseButton button = Qt::LeftButton) {
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), button, Qt::NoModifier, at);
  }
};

TEST_F(ListsTest, EmptyTableGivesEmptyListsAndNoSelection) {
  form->RefreshLists();
  EXPECT_EQ(form->ListBox1->count(), 0);
  EXPECT_EQ(form->ListBox2->count(), 0);
  EXPECT_EQ(form->SelectedIndex(), -1);
}

TEST_F(ListsTest, DisplayModeSwitchesBetweenNamesAndFullPaths) {
  const DemoTag tag{"y", "", "", "", "", 0};
  WriteMp3(folder / "x.mp3", &tag);
  form->Edit1->setText(QStringLiteral("$T.mp3"));
  AddFiles(*form, {folder / "x.mp3"});
  EXPECT_EQ(Lines(form->ListBox1), QStringList{QStringLiteral("x.mp3")});
  EXPECT_EQ(Lines(form->ListBox2), QStringList{QStringLiteral("y.mp3")});
  SetItemIndex(form->ListBox1, 0);

  form->SpeedButton7->click();
  EXPECT_EQ(form->StatusText(), QStringLiteral("ﾌﾙﾊﾟｽ表示ﾓｰﾄﾞです"));
  EXPECT_EQ(Lines(form->ListBox1), QStringList{QString::fromStdString(folder / "x.mp3")});
  EXPECT_EQ(Lines(form->ListBox2), QStringList{QString::fromStdString(folder / "y.mp3")});
  EXPECT_EQ(form->SelectedIndex(), -1);
  EXPECT_EQ(ItemIndex(form->ListBox2), -1);

  form->SpeedButton7->click();
  EXPECT_EQ(form->StatusText(), QStringLiteral("ﾌｧｲﾙ名のみ表示ﾓｰﾄﾞです"));
  EXPECT_EQ(Lines(form->ListBox1), QStringList{QStringLiteral("x.mp3")});
}

TEST_F(ListsTest, PathEndingInASeparatorShowsAnEmptyName) {
  AddFiles(*form, {folder.path() + "/"});
  EXPECT_EQ(Lines(form->ListBox1), QStringList{QString()});
}

class SelectionTest : public ListsTest {
 protected:
  void SetUp() override {
    ListsTest::SetUp();
    form->resize(form->width(), 330);  // a few rows visible: both lists scroll
    for (int i = 0; i < 40; ++i) {
      const DemoTag tag{"Song " + std::to_string(i), "", "", "", "", 0};
      const std::string name = folder / (std::to_string(100 + i) + ".mp3");
      WriteMp3(name, &tag);
      AddFiles(*form, {name});
    }
    QCoreApplication::processEvents();
  }
};

TEST_F(SelectionTest, ClickInTheRightListSelectsAndScrollsTheLeftOne) {
  form->ListBox2->verticalScrollBar()->setValue(20);
  Click(form->ListBox2, 23);
  EXPECT_EQ(ItemIndex(form->ListBox2), 23);
  EXPECT_EQ(form->SelectedIndex(), 23);
  EXPECT_GT(form->ListBox1->verticalScrollBar()->value(), 0);
  EXPECT_EQ(form->ListBox1->verticalScrollBar()->value(),
            form->ListBox2->verticalScrollBar()->value());
  EXPECT_EQ(form->GroupBox7->title(), QStringLiteral("ﾀｸﾞ情報－あり"));
  EXPECT_EQ(form->EditTytle->text(), QStringLiteral("Song 23"));
}

TEST_F(SelectionTest, ArrowKeyInOneListMovesTheOther) {
  Click(form->ListBox1, 2);
  EXPECT_EQ(ItemIndex(form->ListBox2), 2);
  QTest::keyClick(form->ListBox1, Qt::Key_Down);
  EXPECT_EQ(ItemIndex(form->ListBox1), 3);
  EXPECT_EQ(ItemIndex(form->ListBox2), 3);
  EXPECT_EQ(form->EditTytle->text(), QStringLiteral("Song 3"));
  QTest::keyClick(form->ListBox2, Qt::Key_Up);
  EXPECT_EQ(ItemIndex(form->ListBox1), 2);
}

TEST_F(SelectionTest, DeleteKeyInEitherListDeletesTheSelectedEntry) {
  Click(form->ListBox2, 5);
  QTest::keyClick(form->ListBox2, Qt::Key_Delete);
  EXPECT_EQ(form->table.entryCount, 39);
  EXPECT_EQ(form->ListBox1->count(), 39);
  QTest::keyClick(form->ListBox1, Qt::Key_Delete);
  EXPECT_EQ(form->table.entryCount, 38);
}

TEST_F(SelectionTest, RightClickOpensTheMenuWithoutSelectingTheLine) {
  Click(form->ListBox1, 1);
  Click(form->ListBox1, 4, Qt::RightButton);
  EXPECT_TRUE(form->PopupMenu1->isVisible());
  EXPECT_EQ(ItemIndex(form->ListBox1), 1);
  EXPECT_EQ(ItemIndex(form->ListBox2), 1);
  form->PopupMenu1->hide();
}

}  // namespace
