// The two lists: display mode, one common selection, the context menu.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QToolButton>

#include "app/Glyphs.h"
#include "app/ListSelection.h"
#include "tests/app/WindowTestSupport.h"

namespace {

class ListsTest : public WindowTest {
 protected:
  void Click(QAbstractItemView* list, int row, Qt::MouseButton button = Qt::LeftButton) {
    const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
    QTest::mouseClick(list->viewport(), button, Qt::NoModifier, at);
  }
};

// Rows are drawn whole: "ab_cd" and "ab cd" differ on screen, pixel for
// pixel, as they differ in name, also inside a selected row's highlight.
TEST_F(ListsTest, UnderscoreOfANameIsDrawn) {
  form->resize(700, 500);
  for (const char* name : {"ab_cd.mp3", "ab cd.mp3"}) WriteMp3(folder / name, nullptr);
  AddFiles(*form, {folder / "ab_cd.mp3", folder / "ab cd.mp3"});
  QCoreApplication::processEvents();
  const QRect first = form->beforeList->visualRect(form->beforeList->model()->index(0, 0));
  const QRect second = form->beforeList->visualRect(form->beforeList->model()->index(1, 0));
  ASSERT_GE(first.height(), QFontMetrics(form->beforeList->font()).height());
  QImage selected[2];
  for (int row : {0, 1}) {
    Click(form->beforeList, row);
    QCoreApplication::processEvents();
    selected[row] = form->beforeList->viewport()->grab().toImage().copy(row == 0 ? first : second);
  }
  EXPECT_NE(selected[0], selected[1]);
}

// A click below the last row or a Ctrl+click on the selected row leaves the
// one selection where it was, in both lists.
TEST_F(ListsTest, ClicksOutsideTheRowsKeepTheSelection) {
  for (const char* name : {"a.mp3", "b.mp3"}) WriteMp3(folder / name, nullptr);
  AddFiles(*form, {folder / "a.mp3", folder / "b.mp3"});
  Click(form->afterList, 1);
  ExpectSelected(1);
  for (QAbstractItemView* list : {form->beforeList, form->afterList}) {
    const QRect last = list->visualRect(list->model()->index(1, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(last.center().x(), last.bottom() + 30));
    ExpectSelected(1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, last.center());
    ExpectSelected(1);
  }
  EXPECT_TRUE(form->ButtonFor(Command::UpdateTag)->isEnabled());
}

// 変換後 marks the rows the run will refuse or ask about, with the reason
// as a tooltip: an untagged file that keeps its name meets itself and is
// asked about; a row that is simply renamed has neither mark nor tooltip.
TEST_F(ListsTest, AfterListMarksRefusedAndQuestionedRows) {
  const DemoTag empty{"", "", "", "", "", 0}, taken{"Taken", "", "", "", "", 0};
  WriteMp3(folder / "hide.mp3", &empty);
  WriteMp3(folder / "b.mp3", &taken);
  const DemoTag other{"Other", "", "", "", "", 0}, clean{"Clean", "", "", "", "", 0};
  WriteMp3(folder / "Taken.mp3", &other);
  WriteMp3(folder / "c.mp3", nullptr);
  WriteMp3(folder / "d.mp3", &clean);
  form->ruleBox->setText(QStringLiteral("$T.mp3"));
  AddFiles(*form, {folder / "hide.mp3", folder / "b.mp3", folder / "c.mp3", folder / "d.mp3"});
  const ListBox* after = form->afterList;
  EXPECT_EQ(RowData(after, 0, RowMarkRole).toInt(), RefusedRowMark);
  EXPECT_TRUE(
      RowData(after, 0, Qt::ToolTipRole).toString().contains(QStringLiteral("「.」で始まって")));
  EXPECT_EQ(RowData(after, 1, RowMarkRole).toInt(), QuestionRowMark);
  EXPECT_TRUE(
      RowData(after, 1, Qt::ToolTipRole).toString().contains(QStringLiteral("同名のファイル")));
  EXPECT_EQ(RowData(after, 2, RowMarkRole).toInt(), QuestionRowMark);  // untagged: meets itself
  EXPECT_TRUE(
      RowData(after, 2, Qt::ToolTipRole).toString().contains(QStringLiteral("今の名前と同じ")));
  EXPECT_EQ(RowData(after, 3, RowMarkRole).toInt(), NoRowMark);
  EXPECT_TRUE(RowData(after, 3, Qt::ToolTipRole).toString().isEmpty());
  // Row 1 may replace Taken.mp3; listed below it, that file's row is asked about too.
  AddFiles(*form, {folder / "Taken.mp3"});
  EXPECT_EQ(RowData(after, 4, RowMarkRole).toInt(), QuestionRowMark);
  // A title with an escape sequence: refused, its ESC shown as "^[".
  const DemoTag escape{"\x1b[31mRed", "", "", "", "", 0};
  WriteMp3(folder / "e.mp3", &escape);
  AddFiles(*form, {folder / "e.mp3"});
  EXPECT_EQ(Line(after, 5), QStringLiteral("^[[31mRed.mp3"));
  EXPECT_EQ(RowData(after, 5, RowMarkRole).toInt(), RefusedRowMark);
  EXPECT_TRUE(RowData(after, 5, Qt::ToolTipRole).toString().contains(QStringLiteral("制御文字")));
  // Half-width kana take three bytes each on this disk: 90 of them are too long a name.
  std::string kana;
  for (int i = 0; i < 30; ++i) kana += "ｱ";
  const DemoTag longName{kana, kana, kana, "", "", 0};
  WriteMp3(folder / "f.mp3", &longName);
  AddFiles(*form, {folder / "f.mp3"});
  form->ruleBox->setText(QStringLiteral("$T$A$L.mp3"));
  QTest::keyClick(form->ruleBox, Qt::Key_Return);
  EXPECT_EQ(RowData(after, 6, RowMarkRole).toInt(), RefusedRowMark);
  EXPECT_TRUE(RowData(after, 6, Qt::ToolTipRole).toString().contains(QStringLiteral("長すぎます")));
}

TEST_F(ListsTest, EmptyTableGivesEmptyListsAndNoSelection) {
  form->RefreshLists();
  EXPECT_EQ(form->beforeList->count(), 0);
  EXPECT_EQ(form->afterList->count(), 0);
  EXPECT_EQ(form->SelectedIndex(), -1);
}

TEST_F(ListsTest, DisplayModeSwitchesBetweenNamesAndFullPaths) {
  const DemoTag tag{"y", "", "", "", "", 0};
  WriteMp3(folder / "x.mp3", &tag);
  form->ruleBox->setText(QStringLiteral("$T.mp3"));
  AddFiles(*form, {folder / "x.mp3"});
  EXPECT_EQ(Lines(form->beforeList), QStringList{QStringLiteral("x.mp3")});
  EXPECT_EQ(Lines(form->afterList), QStringList{QStringLiteral("y.mp3")});
  SetItemIndex(form->beforeList, 0);

  form->ButtonFor(Command::FullPath)->click();
  EXPECT_EQ(form->StatusText(), QStringLiteral("ﾌﾙﾊﾟｽ表示ﾓｰﾄﾞです"));
  EXPECT_EQ(Lines(form->beforeList), QStringList{QString::fromStdString(folder / "x.mp3")});
  EXPECT_EQ(Lines(form->afterList), QStringList{QString::fromStdString(folder / "y.mp3")});
  EXPECT_EQ(form->SelectedIndex(), -1);
  EXPECT_EQ(ItemIndex(form->afterList), -1);

  form->ButtonFor(Command::FullPath)->click();
  EXPECT_EQ(form->StatusText(), QStringLiteral("ﾌｧｲﾙ名のみ表示ﾓｰﾄﾞです"));
  EXPECT_EQ(Lines(form->beforeList), QStringList{QStringLiteral("x.mp3")});
}

TEST_F(ListsTest, PathEndingInASeparatorShowsAnEmptyName) {
  AddFiles(*form, {folder.path() + "/"});
  EXPECT_EQ(Lines(form->beforeList), QStringList{QString()});
}

// A row is scrollable to its end: the row width covers the widest line,
// also one whose bytes are no Shift-JIS and show as marks from another font.
TEST_F(ListsTest, RowsAreAsWideAsTheWidestLineMarksIncluded) {
  const DemoTag marks{std::string(30, '\x80'), "", "", "", "", 0},
      plain{std::string(30, 'W'), "", "", "", "", 0};
  WriteMp3(folder / "m.mp3", &marks);
  WriteMp3(folder / "p.mp3", &plain);
  form->ruleBox->setText(QStringLiteral("$T.mp3"));
  AddFiles(*form, {folder / "p.mp3", folder / "m.mp3"});
  const ListBox* after = form->afterList;
  ASSERT_TRUE(Line(after, 1).startsWith(QChar(u'\uFFFD')));
  const int rowWidth = after->sizeHintForIndex(after->model()->index(0, 0)).width();
  EXPECT_GE(rowWidth, QFontMetrics(after->font()).horizontalAdvance(Line(after, 1)));
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
  form->afterList->verticalScrollBar()->setValue(20);
  Click(form->afterList, 23);
  EXPECT_EQ(ItemIndex(form->afterList), 23);
  EXPECT_EQ(form->SelectedIndex(), 23);
  EXPECT_GT(form->beforeList->verticalScrollBar()->value(), 0);
  EXPECT_EQ(form->beforeList->verticalScrollBar()->value(),
            form->afterList->verticalScrollBar()->value());
  EXPECT_EQ(form->Tags().tagGroup->title(), QStringLiteral("ﾀｸﾞ情報－あり"));
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("Song 23"));
}

TEST_F(SelectionTest, ArrowKeyInOneListMovesTheOther) {
  Click(form->beforeList, 2);
  EXPECT_EQ(ItemIndex(form->afterList), 2);
  QTest::keyClick(form->beforeList, Qt::Key_Down);
  EXPECT_EQ(ItemIndex(form->beforeList), 3);
  EXPECT_EQ(ItemIndex(form->afterList), 3);
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("Song 3"));
  QTest::keyClick(form->afterList, Qt::Key_Up);
  EXPECT_EQ(ItemIndex(form->beforeList), 2);
}

TEST_F(SelectionTest, DeleteKeyInEitherListDeletesTheSelectedEntry) {
  Click(form->afterList, 5);
  QTest::keyClick(form->afterList, Qt::Key_Delete);
  EXPECT_EQ(form->table.entryCount, 39);
  EXPECT_EQ(form->beforeList->count(), 39);
  QTest::keyClick(form->beforeList, Qt::Key_Delete);
  EXPECT_EQ(form->table.entryCount, 38);
}

TEST_F(SelectionTest, RightClickOpensTheMenuWithoutSelectingTheLine) {
  Click(form->beforeList, 1);
  Click(form->beforeList, 4, Qt::RightButton);
  EXPECT_TRUE(form->Commands().listContextMenu->isVisible());
  EXPECT_EQ(ItemIndex(form->beforeList), 1);
  EXPECT_EQ(ItemIndex(form->afterList), 1);
  form->Commands().listContextMenu->hide();
}

}  // namespace
