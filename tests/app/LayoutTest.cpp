// The window's layout: docking, the widths kept on resize, the size limits.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>

#include "tests/app/WindowTestSupport.h"

namespace {

class LayoutTest : public WindowTest {
 protected:
  void ResizeOuter(int width, int height) {
    const QSize frame = form->frameGeometry().size() - form->size();
    form->resize(width - frame.width(), height - frame.height());
    QCoreApplication::processEvents();
  }
  void ExpectHalves(int outerWidth) {
    const int half = outerWidth / 2;
    EXPECT_EQ(form->beforeGroup->width(), half);
    EXPECT_EQ(form->Tags().leftHalf->width(), half);
    EXPECT_EQ(form->Tags().titleBox->width(), half - 54 - 8);
    EXPECT_EQ(form->Tags().albumBox->width(), form->Tags().titleBox->width());
    EXPECT_EQ(form->Tags().commentBox->width(), form->Tags().rightHalf->width() - 54 - 8);
    EXPECT_EQ(form->Tags().genreBox->width(), form->Tags().commentBox->width());
    EXPECT_EQ(form->Tags().yearBox->width(), form->Tags().commentBox->width());
    EXPECT_EQ(form->ruleBox->width(), form->ruleGroup->width() - 16);
    EXPECT_EQ(form->Tags().leftHalf->width() + form->Tags().rightHalf->width(),
              form->Tags().tagGroup->contentsRect().width());
  }
};

TEST_F(LayoutTest, StartSizeWindowDocksItsBands) {
  EXPECT_EQ(form->frameGeometry().size(), QSize(411, 321));
  EXPECT_EQ(form->toolbar->geometry().height(), 33);
  EXPECT_EQ(form->Tags().tagGroup->geometry(), QRect(0, 33, form->centralWidget()->width(), 94));
  EXPECT_EQ(form->ruleGroup->height(), 42);
  EXPECT_EQ(form->ruleGroup->geometry().bottom(), form->centralWidget()->height() - 1);
  EXPECT_EQ(form->statusBar()->height(), 22);
  EXPECT_EQ(form->splitter->handleWidth(), 4);
  // Inside the frame, which Qt draws below the group's caption.
  EXPECT_EQ(form->ruleBox->x(), 8);
  EXPECT_TRUE(form->ruleGroup->contentsRect().contains(form->ruleBox->geometry()))
      << form->ruleGroup->contentsRect().y() << " " << form->ruleBox->y();
  EXPECT_EQ(form->beforeGroup->title(), QStringLiteral("変換前"));
  EXPECT_EQ(form->afterGroup->title(), QStringLiteral("変換後"));
  EXPECT_EQ(form->ruleGroup->title(), QStringLiteral("命名規則"));
  ExpectHalves(411);
}

TEST_F(LayoutTest, ResizeSetsTheLeftHalvesBackAfterTheSplitterMoved) {
  ResizeOuter(700, 500);
  ExpectHalves(700);
  form->splitter->setSizes({100, 500});
  ASSERT_EQ(form->beforeGroup->width(), 100);
  ResizeOuter(641, 500);
  ExpectHalves(641);
}

TEST_F(LayoutTest, SizeLimitsHoldForTheOuterSize) {
  ResizeOuter(100, 100);
  EXPECT_EQ(form->frameGeometry().size(), QSize(240, 300));
  ResizeOuter(2000, 2000);
  EXPECT_EQ(form->frameGeometry().size(), QSize(1024, 768));
}

TEST_F(LayoutTest, EveryTriggerOfACommandRunsTheSameHandler) {
  for (const char* name : {"b.mp3", "a.mp3"}) WriteMp3(folder / name, nullptr);
  AddFiles(*form, {folder / "b.mp3", folder / "a.mp3"});
  form->ActionFor(Command::Sort)->trigger();  // context menu: sort
  EXPECT_EQ(std::string(form->table[0].path), folder / "a.mp3");
  AddFiles(*form, {folder / "b.mp3"});
  form->ButtonFor(Command::ClearList)->click();  // toolbar: clear
  EXPECT_EQ(form->table.entryCount, 0);
}

}  // namespace
