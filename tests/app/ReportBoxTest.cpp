// A report box longer than the screen keeps its OK button in sight.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QStringList>

#include "app/Dialogs.h"

namespace {

TEST(ReportBox, ALongListScrollsInsideAndTheButtonStaysOnScreen) {
  QStringList lines;
  for (int i = 0; i < 300; ++i)
    lines << QStringLiteral("/media/usb/アルバム/曲 %1.mp3 : 同じ名前のファイルがあります").arg(i);
  for (const int count : {3, 300}) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("リネーム"),
                    lines.mid(0, count).join(QLatin1Char('\n')), QMessageBox::Ok);
    FitCaption(box);
    FitScreen(box);
    box.show();
    QCoreApplication::processEvents();
    const QRect screen = box.screen()->availableGeometry();
    EXPECT_LE(box.frameGeometry().height(), screen.height()) << count;
    QAbstractButton* ok = box.button(QMessageBox::Ok);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isVisible());
    EXPECT_LE(ok->mapTo(&box, QPoint(0, ok->height())).y(), box.height()) << count;
    // Only the long list needs the scroll area.
    EXPECT_EQ(box.findChild<QScrollArea*>() != nullptr, count == 300);
    box.hide();
  }
}

}  // namespace
