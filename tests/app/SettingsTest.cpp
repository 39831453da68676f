// Window placement, the rule and the two switches between runs.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSettings>
#include <QToolButton>
#include <limits>

#include "tests/app/WindowTestSupport.h"

namespace {

class SettingsTest : public testing::Test {
 protected:
  void SetUp() override {
    ForgetSettings();
    MainWindow::screenSizeOverride = QSize();
  }
  void TearDown() override {
    MainWindow::screenSizeOverride = QSize();
    ForgetSettings();
  }
  static QByteArray Stored(int left, int top, int width, int height) {
    return QStringLiteral("[General]\nParamExist=1\nleft=%1\ntop=%2\nwidth=%3\nheight=%4\n")
        .arg(left)
        .arg(top)
        .arg(width)
        .arg(height)
        .toUtf8();
  }
  QRect Outer() const { return form->frameGeometry(); }

  ScriptedDialogs dialogs;
  std::unique_ptr<MainWindow> form;
};

TEST_F(SettingsTest, FirstRunIsCentredWithTheStartStateAndTheCloseStoresAllNine) {
  MainWindow::screenSizeOverride = QSize(1024, 768);
  form = OpenWindow(dialogs);
  EXPECT_EQ(Outer(), QRect(306, 223, 411, 321));
  EXPECT_EQ(form->ruleBox->text(), QStringLiteral("$T($A).mp3"));
  EXPECT_FALSE(form->ButtonFor(Command::FullPath)->isChecked());
  EXPECT_FALSE(form->ButtonFor(Command::Topmost)->isChecked());
  EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(form->ActionFor(Command::Id3v2)->isChecked());

  // The close releases the entries too.
  for (int i = 0; i < 3; ++i) form->table.Append(std::make_unique<selvane::FileEntry>());
  EXPECT_TRUE(form->close());
  EXPECT_EQ(form->table.entryCount, 0);
  EXPECT_TRUE(form->table.entries.empty());
  const QSettings stored(UserSettingsFile(), QSettings::IniFormat);
  EXPECT_EQ(stored.allKeys().size(), 9);
  EXPECT_EQ(stored.value("id3v2").toString(), QStringLiteral("0"));
  EXPECT_EQ(stored.value("left").toInt(), 306);
  EXPECT_EQ(stored.value("width").toInt(), 411);
  EXPECT_EQ(stored.value("ed1").toString(), QStringLiteral("$T($A).mp3"));
  EXPECT_EQ(stored.value("cb1").toString(), QStringLiteral("0"));
  EXPECT_EQ(stored.value("ParamExist").toString(), QStringLiteral("1"));
}

TEST_F(SettingsTest, RoundTripBringsBackPlaceRuleAndSwitches) {
  form = OpenWindow(dialogs);
  form->move(50, 60);
  form->resize(500, 400);
  form->ruleBox->setText(QStringLiteral("($R)$T－曲.mp3"));  // typed, never applied
  form->ButtonFor(Command::FullPath)->setChecked(true);
  const QRect placed = Outer();
  ASSERT_EQ(placed.topLeft(), QPoint(50, 60));
  ASSERT_TRUE(form->close());

  form = OpenWindow(dialogs);
  EXPECT_EQ(Outer(), placed);
  EXPECT_EQ(form->ruleBox->text(), QStringLiteral("($R)$T－曲.mp3"));
  EXPECT_TRUE(form->ButtonFor(Command::FullPath)->isChecked());
  EXPECT_FALSE(form->ButtonFor(Command::Topmost)->isChecked());
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SettingsTest, PositionIsPulledBackOntoTheScreen) {
  MainWindow::screenSizeOverride = QSize(1024, 768);
  WriteSettings(UserSettingsFile(), Stored(900, 600, 411, 321));
  form = OpenWindow(dialogs);
  EXPECT_EQ(Outer(), QRect(613, 447, 411, 321));

  MainWindow::screenSizeOverride = QSize(800, 600);
  WriteSettings(UserSettingsFile(), Stored(-20, 0, 411, 700));
  form->LoadSettings();
  EXPECT_EQ(Outer(), QRect(-20, -100, 411, 700));  // a negative left stays
}

// Any stored integers end with the window on the screen; a window that no
// part of would be seen comes back to the edge.
TEST_F(SettingsTest, EveryStoredPlaceEndsOnTheScreen) {
  MainWindow::screenSizeOverride = QSize(1024, 768);
  constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
  const struct {
    int left, top, width, height;
    QRect outer;
  } rows[] = {
      {kMax, kMax, 411, 321, QRect(613, 447, 411, 321)},
      {kMin, kMin, 411, 321, QRect(0, 0, 411, 321)},
      {-411, -321, 411, 321, QRect(0, 0, 411, 321)},
      {-410, -320, 411, 321, QRect(-410, -320, 411, 321)},
      {kMax - 100, 5, kMax, kMin, QRect(0, 5, 1024, 300)},
      {kMin, kMax, kMin, kMax, QRect(0, 0, 240, 768)},
  };
  form = OpenWindow(dialogs);
  int written = 0;
  for (const auto& row : rows) {
    // Qt reads a settings file again only when its size or time changed:
    // blank lines make each file longer than the one before.
    WriteSettings(UserSettingsFile(), Stored(row.left, row.top, row.width, row.height) +
                                          QByteArray(100 * ++written, '\n'));
    form->LoadSettings();
    EXPECT_EQ(Outer(), row.outer) << row.left << " " << row.top << " " << row.width << " "
                                  << row.height;
  }
}

TEST_F(SettingsTest, StoredSizesAreHeldToTheLimitsBeforeTheClamp) {
  MainWindow::screenSizeOverride = QSize(1280, 1024);
  WriteSettings(UserSettingsFile(), Stored(500, 10, 2000, 100));
  form = OpenWindow(dialogs);
  EXPECT_EQ(Outer(), QRect(256, 10, 1024, 300));
  WriteSettings(UserSettingsFile(), Stored(0, 0, 100, 5000));
  form->LoadSettings();
  EXPECT_EQ(Outer().size(), QSize(240, 768));
}

TEST_F(SettingsTest, WithoutTheMarkerNothingIsApplied) {
  WriteSettings(UserSettingsFile(), "[General]\nleft=5\ned1=$F.mp3\ncb1=1\n");
  form = OpenWindow(dialogs);
  EXPECT_EQ(form->ruleBox->text(), QStringLiteral("$T($A).mp3"));
  EXPECT_FALSE(form->ButtonFor(Command::FullPath)->isChecked());
}

TEST_F(SettingsTest, MachineWideFileFillsWhatTheUserFileLacks) {
  WriteSettings(MachineSettingsFile(), "[General]\nParamExist=1\ned1=$F.EXT\ncb1=1\n");
  WriteSettings(UserSettingsFile(), "[General]\ncb1=0\n");
  form = OpenWindow(dialogs);
  EXPECT_EQ(form->ruleBox->text(), QStringLiteral("$F.EXT"));
  EXPECT_FALSE(form->ButtonFor(Command::FullPath)->isChecked());
  ASSERT_TRUE(form->close());
  EXPECT_TRUE(QSettings(UserSettingsFile(), QSettings::IniFormat).contains("ParamExist"));
}

TEST_F(SettingsTest, LongStoredRuleIsCutToOneHundredBytesOnACharacterBoundary) {
  const QString rule = QStringLiteral("a") + QString(60, QChar(0x66F2));  // 121 bytes
  WriteSettings(UserSettingsFile(), "[General]\nParamExist=1\ned1=" + rule.toUtf8() + "\n");
  form = OpenWindow(dialogs);
  EXPECT_EQ(form->ruleBox->text(), QStringLiteral("a") + QString(49, QChar(0x66F2)));
}

TEST_F(SettingsTest, WrongTypeStopsTheLoadOnceWithTheErrorBox) {
  WriteSettings(UserSettingsFile(),
                "[General]\nParamExist=1\ned1=$F.mp3\ncb1=1\nleft=abc\nwidth=600\n");
  form = OpenWindow(dialogs);
  for (int i = 0; i < 5; ++i) {
    form->update();
    QCoreApplication::processEvents();
  }
  ASSERT_EQ(dialogs.Texts(ScriptedDialogs::Kind::Error),
            QStringList{QStringLiteral("'left' のデータ型が不正です")});
  EXPECT_EQ(form->ruleBox->text(), QStringLiteral("$F.mp3"));  // before the bad value
  EXPECT_TRUE(form->ButtonFor(Command::FullPath)->isChecked());
  EXPECT_EQ(Outer().width(), 411);  // after it: not applied
}

// The garbled file is told once, at the start; the first close writes a
// clean store and ends.
TEST_F(SettingsTest, GarbledFileCostsOneMessageAndTheCloseWritesItAnew) {
  WriteSettings(UserSettingsFile(), "[General\nParamExist=1\n\x01\x02junk=\n");
  form = OpenWindow(dialogs);
  EXPECT_EQ(dialogs.Texts(ScriptedDialogs::Kind::Error).size(), 1);
  EXPECT_TRUE(form->close());
  EXPECT_EQ(dialogs.shown.size(), 1u);
  const QSettings written(UserSettingsFile(), QSettings::IniFormat);
  EXPECT_EQ(written.status(), QSettings::NoError);
  EXPECT_FALSE(written.allKeys().join(QLatin1Char(' ')).contains(QStringLiteral("junk")));
  EXPECT_EQ(written.value(QStringLiteral("width")).toInt(), 411);
}

TEST_F(SettingsTest, FailedSaveShowsTheErrorAndRefusesTheClose) {
  form = OpenWindow(dialogs);
  // A folder where the file should be: it cannot be written, even by root.
  QDir().mkpath(UserSettingsFile());
  EXPECT_FALSE(form->close());
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(dialogs.Texts(ScriptedDialogs::Kind::Error),
            QStringList{QStringLiteral("'left' の設定に失敗しました")});
}

}  // namespace
