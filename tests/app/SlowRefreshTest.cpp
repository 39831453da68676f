// A long refresh over files on a medium that pays for waiting keeps the
// window alive and can be stopped.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <string>
#include <vector>

#include "app/Glyphs.h"
#include "app/StatusLine.h"
#include "core/UserPrompts.h"
#include "tests/app/WindowTestSupport.h"

namespace {

// Esc stops the reading (here before it starts) and the status line's
// "中止" shows while it lasts: the rows not read keep their names rather
// than being read one by one after all, and the button goes again.
TEST_F(WindowTest, ALongRefreshStoppedLeavesTheRowsNotReadWithTheirNames) {
  const int files = selvane::ProgressFrom + 1;
  std::vector<std::string> paths;
  for (int i = 0; i < files; ++i) {
    const DemoTag tag{"T" + std::to_string(i), "", "", "", "", 1};
    paths.push_back(folder / (std::to_string(i) + ".mp3"));
    WriteMp3(paths.back(), &tag);
  }
  form->AddDroppedFiles(paths);
  form->ruleBox->setText(QStringLiteral("$T.mp3"));
  bool pressed = false;
  form->readAheadWaits = [&](const std::string&) {
    if (!pressed) QTest::keyClick(form.get(), Qt::Key_Escape);
    pressed = true;
    return true;
  };
  QPushButton* stop = form->Status().StopButton();
  bool shown = false;
  QTimer::singleShot(0, form.get(), [&] { shown = stop->isVisible(); });
  form->RefreshNames();

  EXPECT_TRUE(shown);
  EXPECT_FALSE(stop->isVisible());
  for (int i = 0; i < files; ++i) ASSERT_EQ(std::string(form->table[i].newPath), paths[i]) << i;
  EXPECT_EQ(Line(form->afterList, files - 1),
            QString::fromStdString(std::to_string(files - 1) + ".mp3"));
  EXPECT_EQ(RowData(form->afterList, files - 1, RowMarkRole).toInt(), NoRowMark);
  EXPECT_EQ(RowData(form->afterList, files - 1, Qt::ToolTipRole).toString(), QString());
}

}  // namespace
