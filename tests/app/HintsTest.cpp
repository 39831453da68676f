// Hints: "short|long" split on CP932 characters, tooltips, and the status
// line following the pointer and the highlighted menu item.
#include <gtest/gtest.h>

#include <QCursor>
#include <QDialog>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

#include "app/Hints.h"
#include "tests/app/WindowTestSupport.h"

namespace {

using selvane::Cp932;

TEST(SplitHintTest, SplitsAtTheFirstBarThatIsACharacterOfItsOwn) {
  // "－" is 0x81 0x7C in CP932: its trail byte is the bar's code.
  ASSERT_EQ(Cp932("－"), "\x81\x7C");
  const struct {
    std::string hint, shortHint, longHint;
  } cases[] = {
      {Cp932("ﾀｸﾞ情報－あり|右－左|末尾"), Cp932("ﾀｸﾞ情報－あり"), Cp932("右－左|末尾")},
      {Cp932("目次－索引"), Cp932("目次－索引"), Cp932("目次－索引")},  // no bar: both whole
      {"", "", ""},
      {Cp932("|命名規則入力"), "", Cp932("命名規則入力")},
      {"ab\x81", "ab\x81", "ab\x81"},  // a lead byte at the very end stands alone
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hint);
    const HintParts parts = SplitHint(c.hint);
    EXPECT_EQ(parts.shortHint, c.shortHint);
    EXPECT_EQ(parts.longHint, c.longHint);
  }
}

class StatusHintTest : public WindowTest {
 protected:
  // The events below are sent by hand; the pointer itself is kept off the
  // window, so that they read as the pointer really moving.
  void SetUp() override {
    WindowTest::SetUp();
    QCursor::setPos(QPoint(5000, 5000));
  }
  void Enter(QWidget* widget) {
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(widget, &enter);
  }
  void Leave(QWidget* widget) {
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &leave);
  }
};

TEST_F(StatusHintTest, ToolbarTooltipsShowTheShortHintAndTheRuleBoxNone) {
  EXPECT_EQ(form->ButtonFor(Command::Open)->toolTip(), QStringLiteral("開く"));
  EXPECT_EQ(form->ButtonFor(Command::FullPath)->toolTip(), QStringLiteral("ﾌﾙﾊﾟｽ表示切替"));
  EXPECT_EQ(form->ButtonFor(Command::CopyTag)->toolTip(), QStringLiteral("ﾀｸﾞ情報ｺﾋﾟｰ"));
  EXPECT_TRUE(form->ruleBox->toolTip().isEmpty());
  EXPECT_TRUE(form->beforeList->toolTip().isEmpty());
}

TEST_F(StatusHintTest, StatusLineFollowsThePointerOnlyWhenTheHintChanges) {
  Enter(form->ButtonFor(Command::Open));
  EXPECT_EQ(form->StatusText(), QStringLiteral("ﾌｧｲﾙを開いてﾘｽﾄに追加"));
  // A command's text stays while the pointer rests on the same button.
  form->SetStatusText(QStringLiteral("アイテム登録終了"));
  Leave(form->ButtonFor(Command::Open));
  Enter(form->ButtonFor(Command::Open));
  EXPECT_EQ(form->StatusText(), QStringLiteral("ﾌｧｲﾙを開いてﾘｽﾄに追加"));
  form->SetStatusText(QStringLiteral("アイテム登録終了"));
  Enter(form->ButtonFor(Command::Open));
  EXPECT_EQ(form->StatusText(), QStringLiteral("アイテム登録終了"));
  Enter(form->ButtonFor(Command::Rename));
  EXPECT_EQ(form->StatusText(), QStringLiteral("ﾘﾈｰﾑを実行"));
  // A list has no hint, nor have its parents up to the window.
  Enter(form->beforeList->viewport());
  EXPECT_EQ(form->StatusText(), QString());
  Enter(form->ruleBox);
  EXPECT_EQ(form->StatusText(), QStringLiteral("命名規則入力"));
  Leave(form->ruleBox);
  EXPECT_EQ(form->StatusText(), QString());
}

// As the platform does it: the pointer rests on the button while a box
// comes and goes, and the end of the box is not the pointer entering the
// button.
TEST_F(StatusHintTest, BoxOpenedAndClosedUnderARestingPointerKeepsTheStatus) {
  QTest::mouseMove(form->ButtonFor(Command::Open));
  form->SetStatusText(QStringLiteral("アイテム登録終了"));
  {
    QDialog box(form.get());
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    QCoreApplication::processEvents();
    box.hide();
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(form->StatusText(), QStringLiteral("アイテム登録終了"));
}

TEST_F(StatusHintTest, HighlightedMenuItemShowsItsHintAndClosingEmptiesIt) {
  form->SetStatusText(QStringLiteral("リネーム終了"));
  form->Commands().ruleMenu->popup(form->mapToGlobal(QPoint(0, 0)));
  form->Commands().ruleMenu->setActiveAction(form->ActionFor(Command::PresetTitle));
  EXPECT_EQ(form->StatusText(), QStringLiteral("シングル用途１"));
  form->Commands().ruleMenu->setActiveAction(form->ActionFor(Command::PresetExtension));
  EXPECT_EQ(form->StatusText(), QStringLiteral("拡張子変更用途"));
  form->Commands().ruleMenu->hide();
  EXPECT_EQ(form->StatusText(), QString());
  form->Commands().fileMenu->popup(form->mapToGlobal(QPoint(0, 0)));
  form->Commands().fileMenu->setActiveAction(form->ActionFor(Command::Open));
  EXPECT_EQ(form->StatusText(), QString());
  form->Commands().fileMenu->hide();
}

// The rows of a long run go by faster than the line is painted; a box must
// still come up over the row it asks about, not an earlier one.
TEST_F(StatusHintTest, BoxOfALongRunComesUpOverItsOwnRow) {
  const auto* line = form->findChild<QLabel*>(QStringLiteral("StatusText"));
  ASSERT_NE(line, nullptr);
  QStringList painted;
  dialogs.beforeBox = [&] { painted << line->text(); };
  for (const int row : {1800, 1801, 2050}) form->Prompts().Progress(row, 2100);
  form->Prompts().Ask(Cp932("上書きしますか？"), Cp932("確認"));
  form->Prompts().Progress(2051, 2100);
  form->Prompts().Refuse(Cp932("使用できない文字です"), Cp932("Selvane"));
  EXPECT_EQ(painted, QStringList({QStringLiteral("2050 / 2100"), QStringLiteral("2051 / 2100")}));
}

// A menu item chosen with the keyboard leaves the pointer where it was: once
// the command is done, the control under it gives the hint again, as when
// the item is clicked.
TEST_F(StatusHintTest, MenuClosedFromTheKeyboardGivesTheHintUnderThePointerBack) {
  const std::string song = folder / "song.mp3";
  WriteMp3(song, nullptr);
  AddFiles(*form, {song});
  QTest::mouseMove(form->ruleBox);
  Enter(form->ruleBox);
  ASSERT_EQ(form->StatusText(), QStringLiteral("命名規則入力"));
  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::Rename)));
  QCoreApplication::processEvents();
  EXPECT_EQ(form->StatusText(), QStringLiteral("命名規則入力"));
}

// Left and Right move from one menu of the bar to the next, highlighting
// its first item: the line shows that item's hint, whatever lies under the
// resting pointer.
TEST_F(StatusHintTest, MenuSwitchedFromTheKeyboardShowsItsHighlightedItemsHint) {
  QWidget* open = form->ButtonFor(Command::Open);
  QTest::mouseMove(open);
  Enter(open);
  ASSERT_EQ(form->StatusText(), QStringLiteral("ﾌｧｲﾙを開いてﾘｽﾄに追加"));
  QApplication::setActiveWindow(form.get());
  QTest::keyClick(form.get(), Qt::Key_H, Qt::AltModifier);
  ASSERT_EQ(QApplication::activePopupWidget(), form->Commands().helpMenu);
  const auto move = [](Qt::Key key) {
    QTest::keyClick(QApplication::activePopupWidget(), key);
    QCoreApplication::processEvents();
  };
  move(Qt::Key_Left);
  ASSERT_EQ(QApplication::activePopupWidget(), form->Commands().ruleMenu);
  EXPECT_EQ(form->StatusText(), QStringLiteral("シングル用途１"));
  move(Qt::Key_Right);
  EXPECT_EQ(form->StatusText(), QString()) << "Selvaneヘルプ has no hint";
  move(Qt::Key_Escape);
}

}  // namespace
