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
    EXPECT_EQ(form->GroupBox4->width(), half);
    EXPECT_EQ(form->Panel1->width(), half);
    EXPECT_EQ(form->EditTytle->width(), half - 54 - 8);
    EXPECT_EQ(form->EditAlbum->width(), form->EditTytle->width());
    EXPECT_EQ(form->EditComment->width(), form->Panel2->width() - 54 - 8);
    EXPECT_EQ(form->ComboBoxGenre->width(), form->EditComment->width());
    EXPECT_EQ(form->EditYear->width(), form->EditComment->width());
    EXPECT_EQ(form->Edit1->width(), form->GroupBox6->width() - 16);
    EXPECT_EQ(form->Panel1->width() + form->Panel2->width(),
              form->GroupBox7->contentsRect().width());
  }
};

TEST_F(LayoutTest, DesignedWindowDocksItsBands) {
  EXPECT_EQ(form->frameGeometry().size(), QSize(411, 321));
  EXPECT_EQ(form->SpeedBar->geometry().height(), 33);
  EXPECT_EQ(form->GroupBox7->geometry(), QRect(0, 33, form->centralWidget()->width(), 94));
  EXPECT_EQ(form->GroupBox6->height(), 42);
  EXPECT_EQ(form->GroupBox6->geometry().bottom(), form->centralWidget()->height() - 1);
  EXPECT_EQ(form->StatusBar1->height(), 22);
  EXPECT_EQ(form->Splitter1->handleWidth(), 4);
  // Inside the frame, which Qt draws below the group's caption.
  EXPECT_EQ(form->Edit1->x(), 8);
  EXPECT_TRUE(form->GroupBox6->contentsRect().contains(form->Edit1->geometry()))
      << form->GroupBox6->contentsRect().y() << " " << form->Edit1->y();
  EXPECT_EQ(form->GroupBox4->title(), QStringLiteral("変換前"));
  EXPECT_EQ(form->GroupBox5->title(), QStringLiteral("変換後"));
  EXPECT_EQ(form->GroupBox6->title(), QStringLiteral("命名規則"));
  ExpectHalves(411);
}

TEST_F(LayoutTest, ResizeSetsTheLeftHalvesBackAfterTheSplitterMoved) {
  ResizeOuter(700, 500);
  ExpectHalves(700);
  form->Splitter1->setSizes({100, 500});
  ASSERT_EQ(form->GroupBox4->width(), 100);
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
  form->S1->trigger();  // context menu: sort
  EXPECT_EQ(std::string(form->table[0].path), folder / "a.mp3");
  AddFiles(*form, {folder / "b.mp3"});
  form->SpeedButton11->click();  // toolbar: clear
  EXPECT_EQ(form->table.entryCount, 0);
}

}  // namespace
