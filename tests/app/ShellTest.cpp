// Always on top, the help window and the About box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>

#include "app/AboutBox.h"
#include "app/Glyphs.h"
#include "app/HelpViewer.h"
#include "tests/app/WindowTestSupport.h"

namespace {

bool StaysOnTop(const MainWindow& form) {
  const bool widgetFlag = form.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
  const QWindow* native = form.windowHandle();
  const bool nativeFlag =
      native == nullptr ? widgetFlag : native->flags().testFlag(Qt::WindowStaysOnTopHint);
  EXPECT_EQ(widgetFlag, nativeFlag) << "widget and window disagree about the z-order mode";
  return widgetFlag;
}

// The help file the help command looks for, as the program names it.
QString HelpBesideExecutable() {
  return QCoreApplication::applicationDirPath() + QStringLiteral("/Selvane.hlp");
}

// From the build (__FILE__ may be relative to the build folder, as a
// compiler cache makes it).
QString ProjectHelpFile() { return QStringLiteral(SELVANE_HELP_FILE); }

void WriteText(const QString& path, const QString& text) {
  QFile out(path);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
  out.write(text.toUtf8());
}

// The text of the block at the top of the help view.
QString TopLine(const HelpViewer& viewer) {
  return viewer.Browser->cursorForPosition(QPoint(8, 8)).block().text();
}

class ShellTest : public WindowTest {
 protected:
  void SetUp() override {
    // No help file may lie beside the test program, or the missing-file case
    // would not be what it claims.
    ASSERT_FALSE(QFileInfo::exists(HelpBesideExecutable()));
    WindowTest::SetUp();
  }
};

TEST_F(ShellTest, TopmostSwitchTwiceEndsInNormalMode) {
  form->ButtonFor(Command::Topmost)->click();
  EXPECT_TRUE(form->ButtonFor(Command::Topmost)->isChecked());
  EXPECT_TRUE(StaysOnTop(*form));
  EXPECT_EQ(form->StatusText(), QStringLiteral("常に最前面表示ﾓｰﾄﾞです"));
  EXPECT_TRUE(form->isVisible());

  form->ButtonFor(Command::Topmost)->click();
  EXPECT_FALSE(form->ButtonFor(Command::Topmost)->isChecked());
  EXPECT_FALSE(StaysOnTop(*form));
  EXPECT_EQ(form->StatusText(), QStringLiteral("通常表示ﾓｰﾄﾞです"));
  EXPECT_TRUE(form->isVisible()) << "the switch must not leave the window hidden";
}

TEST_F(ShellTest, TopmostStateComesBackAfterRestartWithoutStatusText) {
  EXPECT_FALSE(StaysOnTop(*form));
  form->ButtonFor(Command::Topmost)->click();
  form->close();  // saves the settings
  form.reset();

  // Created but not yet shown: the mode is set, and the window stays hidden
  // until the program shows it.
  firstPaintPending = 1;
  MainWindow hidden({}, dialogs);
  EXPECT_TRUE(hidden.ButtonFor(Command::Topmost)->isChecked());
  EXPECT_TRUE(StaysOnTop(hidden));
  EXPECT_FALSE(hidden.isVisible());
  EXPECT_EQ(hidden.StatusText(), QString());

  form = OpenWindow(dialogs);
  EXPECT_TRUE(form->ButtonFor(Command::Topmost)->isChecked());
  EXPECT_TRUE(StaysOnTop(*form));
  EXPECT_NE(form->StatusText(), QStringLiteral("常に最前面表示ﾓｰﾄﾞです"));
}

TEST_F(ShellTest, HelpCommandTwiceOpensTheSameFileInTheSameWindow) {
  EXPECT_TRUE(form->helpFile.isEmpty());
  EXPECT_EQ(form->Help(), nullptr);

  form->ButtonFor(Command::Help)->click();
  HelpViewer* first = form->Help();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(form->helpFile, HelpBesideExecutable());
  EXPECT_EQ(first->CurrentFile(), HelpBesideExecutable());
  EXPECT_TRUE(first->isVisible());
  EXPECT_FALSE(first->isModal());

  first->close();
  form->ActionFor(Command::Help)->trigger();
  EXPECT_EQ(form->Help(), first) << "one help window, reused";
  EXPECT_EQ(form->helpFile, HelpBesideExecutable());
  EXPECT_EQ(first->CurrentFile(), HelpBesideExecutable());
  EXPECT_TRUE(first->isVisible());
}

TEST_F(ShellTest, MissingHelpFileIsToldInTheHelpWindow) {
  form->ShowHelp();
  const QString text = form->Help()->Browser->toPlainText();
  EXPECT_TRUE(text.contains(QStringLiteral("見つかりません"))) << text.toStdString();
  EXPECT_TRUE(text.contains(HelpBesideExecutable())) << text.toStdString();
  EXPECT_TRUE(dialogs.shown.empty()) << "the program itself reports nothing";
  EXPECT_EQ(form->Help()->ContentsTree->topLevelItemCount(), 0);
  EXPECT_EQ(form->Help()->IndexList->count(), 0);
}

class HelpViewerTest : public testing::Test {
 protected:
  TempFolder folder;
  HelpViewer viewer;
};

TEST_F(HelpViewerTest, ShowsContentsAndIndexAndJumpsToAnchors) {
  QString body;
  for (int i = 0; i < 60; ++i) body += QStringLiteral("<p>本文 %1</p>\n").arg(i);
  const QString file = QString::fromStdString(folder / "Selvane.hlp");
  WriteText(file, QStringLiteral(
                      "<html><head><meta charset=\"utf-8\"></head><body>"
                      "<h1>ヘルプ</h1>"
                      "<h2>ファイル</h2>%1"
                      "<h3>開く</h3><p><a class=\"index\" name=\"k1\" title=\"開く\" "
                      "data-reading=\"ひらく\"></a>開く説明</p>%1"
                      "<h2>リネーム</h2>%1"
                      "<p><a name=\"k2\" class=\"term index\" title=\"上書き\" "
                      "data-reading=\"うわがき\"></a>上書きの説明</p>"
                      "<!-- <a class=\"index\" name=\"k3\" title=\"消した項目\"></a> -->"
                      "<p><a class=\"index\" name=\"k4\" title=\"アイテム\"></a>一つ目</p>%1"
                      "<h2>制限</h2><p><a class=\"index\" name=\"k5\" title=\"アイテム\"></a>二つ目"
                      "<a class=\"index\" name=\"nowhere\" title=\"\"></a></p>%1"
                      "</body></html>")
                      .arg(body));
  viewer.ShowContents(file);
  EXPECT_EQ(viewer.CurrentFile(), file);

  // Headings nest by level under the one top heading.
  ASSERT_EQ(viewer.ContentsTree->topLevelItemCount(), 1);
  QTreeWidgetItem* top = viewer.ContentsTree->topLevelItem(0);
  ASSERT_EQ(top->childCount(), 3);
  EXPECT_EQ(top->child(0)->text(0), QStringLiteral("ファイル"));
  ASSERT_EQ(top->child(0)->childCount(), 1);
  EXPECT_EQ(top->child(0)->child(0)->text(0), QStringLiteral("開く"));
  EXPECT_EQ(top->child(2)->text(0), QStringLiteral("制限"));

  // Sorted by reading; a term at two places is told apart by its section;
  // a commented-out term and a term without text are left out.
  EXPECT_EQ(Lines(viewer.IndexList),
            (QStringList{QStringLiteral("アイテム（リネーム）"), QStringLiteral("アイテム（制限）"),
                         QStringLiteral("上書き"), QStringLiteral("開く")}));

  viewer.IndexList->setCurrentRow(1);
  emit viewer.IndexList->itemActivated(viewer.IndexList->item(1));
  EXPECT_EQ(TopLine(viewer), QStringLiteral("二つ目"));

  viewer.IndexFilter->setText(QStringLiteral("開"));
  EXPECT_FALSE(
      viewer.IndexList->findItems(QStringLiteral("開く"), Qt::MatchExactly)[0]->isHidden());
  EXPECT_TRUE(viewer.IndexList->item(0)->isHidden());
  emit viewer.IndexFilter->returnPressed();  // opens the first term still shown
  EXPECT_EQ(TopLine(viewer), QStringLiteral("開く説明"));

  emit viewer.ContentsTree->itemActivated(top->child(1), 0);
  EXPECT_EQ(TopLine(viewer), QStringLiteral("リネーム"));
  emit viewer.ContentsTree->itemActivated(top, 0);
  EXPECT_EQ(viewer.Browser->verticalScrollBar()->value(),
            viewer.Browser->verticalScrollBar()->minimum());
}

TEST_F(HelpViewerTest, FilesItCannotShowAreToldInItsOwnWords) {
  const QString folderName = QString::fromStdString(folder / "a-folder.hlp");
  ASSERT_TRUE(QDir().mkpath(folderName));
  viewer.ShowContents(folderName);
  EXPECT_TRUE(viewer.Browser->toPlainText().contains(QStringLiteral("開けません")))
      << viewer.Browser->toPlainText().toStdString();

  const QString binary = QString::fromStdString(folder / "old.hlp");
  QFile out(binary);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(QByteArray("\x3f\x5f\x03\x00\xff\xfe\x00\x80\x81\xff", 10));
  out.close();
  viewer.ShowContents(binary);
  EXPECT_TRUE(
      viewer.Browser->toPlainText().contains(QStringLiteral("表示できる形式ではありません")))
      << viewer.Browser->toPlainText().toStdString();
  EXPECT_EQ(viewer.ContentsTree->topLevelItemCount(), 0);
}

// The shipped help: every index term finds its anchor, and the contents
// cover the commands.
TEST_F(HelpViewerTest, ShippedHelpHasWorkingIndexAndContents) {
  const QString file = ProjectHelpFile();
  QFile in(file);
  ASSERT_TRUE(in.open(QIODevice::ReadOnly)) << file.toStdString();
  const QString html = QString::fromUtf8(in.readAll());
  const QList<HelpViewer::IndexTerm> terms = HelpViewer::FindIndexTerms(html);
  ASSERT_GE(terms.size(), 40);

  viewer.ShowContents(file);
  EXPECT_EQ(viewer.IndexList->count(), terms.size()) << "an index term lost its anchor";
  QStringList headings;
  for (QTreeWidgetItemIterator it(viewer.ContentsTree); *it != nullptr; ++it)
    headings << (*it)->text(0);
  for (const char* needed : {"ﾌｧｲﾙ(F)", "ﾀｸﾞ情報(T)", "ﾘｽﾄ情報(L)", "命名規則(N)", "ﾍﾙﾌﾟ(H)",
                             "ツールバー", "右クリックメニュー", "トークン", "プリセット",
                             "一時ファイル SelvaneBk.tmp", "設定の保存", "制限"}) {
    EXPECT_TRUE(headings.contains(QString::fromUtf8(needed))) << needed;
  }
  const QString text = viewer.Browser->toPlainText();
  for (const char* token : {"$T", "$A", "$L", "$R", "$F", "$R.$T($A／$L).mp3", "$F.EXT"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(token))) << token;
}

class AboutBoxTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    box = form->AboutDialog();
    ASSERT_NE(box, nullptr);
    // Shown without a nested event loop, so the test can act on it.
    box->runModal = [](AboutBox& shown) {
      shown.show();
      [[maybe_unused]] const bool exposed = QTest::qWaitForWindowExposed(&shown);
      return 0;
    };
  }
  // Through the box's own window, as the window system delivers a move.
  void MoveTo(const QPoint& pos) {
    QTest::mouseMove(box->windowHandle(), pos);
    QCoreApplication::processEvents();
  }
  void MoveOnto(const QWidget* target) { MoveTo(target->geometry().center()); }
  QColor Colour(const QLabel* label) const { return label->palette().color(QPalette::WindowText); }

  AboutBox* box = nullptr;
  const QColor blue{0, 0, 255};
  const QColor black{0, 0, 0};
};

TEST_F(AboutBoxTest, HoverColoursFollowThePointer) {
  EXPECT_FALSE(box->isVisible()) << "created hidden";
  form->ShowAbout();
  ASSERT_TRUE(box->isVisible());
  const QColor windowText = box->palette().color(QPalette::WindowText);
  EXPECT_EQ(Colour(box->mailLink), windowText);
  EXPECT_EQ(Colour(box->webLink), windowText);

  MoveOnto(box->mailLink);
  EXPECT_EQ(Colour(box->mailLink), blue);
  EXPECT_EQ(Colour(box->webLink), black);

  MoveOnto(box->webLink);  // straight from one link to the other
  EXPECT_EQ(Colour(box->webLink), blue);
  EXPECT_EQ(Colour(box->mailLink), black);

  for (const QWidget* other :
       {static_cast<QWidget*>(box->copyrightLabel), static_cast<QWidget*>(box->icon),
        static_cast<QWidget*>(box->okButton)}) {
    MoveOnto(other);
    EXPECT_EQ(Colour(box->webLink), blue) << other->objectName().toStdString();
    EXPECT_EQ(Colour(box->mailLink), black) << other->objectName().toStdString();
  }

  MoveTo(QPoint(200, 30));  // bare surface
  EXPECT_EQ(Colour(box->mailLink), black);
  EXPECT_EQ(Colour(box->webLink), black);

  // Colours carry over to the next showing.
  MoveOnto(box->mailLink);
  box->okButton->click();
  EXPECT_FALSE(box->isVisible());
  form->ShowAbout();
  EXPECT_EQ(Colour(box->mailLink), blue);
}

TEST_F(AboutBoxTest, LinksOpenMailAndWebAddresses) {
  form->ShowAbout();
  QTest::mouseClick(box->mailLink, Qt::LeftButton);
  QTest::mouseClick(box->webLink, Qt::LeftButton);
  QTest::mouseClick(box->copyrightLabel, Qt::LeftButton);
  ASSERT_EQ(dialogs.openedUrls.size(), 2u);
  EXPECT_EQ(dialogs.openedUrls[0].toString(), QStringLiteral("mailto:") + box->mailLink->text());
  EXPECT_EQ(dialogs.openedUrls[0].path(), QStringLiteral("support@selvane.example"));
  EXPECT_EQ(dialogs.openedUrls[1], QUrl(box->webLink->text()));
  EXPECT_EQ(dialogs.openedUrls[1].host(), QStringLiteral("selvane.example"));
}

TEST_F(AboutBoxTest, CentredFirstThenShownWhereItWasLeft) {
  form->ShowAbout();
  const QRect screen = box->screen()->geometry();
  const QRect frame = box->frameGeometry();
  EXPECT_EQ(frame.left() - screen.left(), (screen.width() - frame.width()) / 2);
  EXPECT_EQ(frame.top() - screen.top(), (screen.height() - frame.height()) / 2);

  box->move(40, 50);
  box->Close();
  EXPECT_FALSE(box->isVisible());
  form->ShowAbout();
  EXPECT_TRUE(box->isVisible());
  EXPECT_EQ(box->pos(), QPoint(40, 50));
}

// The real modal showing: the box is the modal window until OK ends it.
TEST_F(AboutBoxTest, ModalShowingEndsWithOk) {
  box->runModal = nullptr;
  bool wasModal = false;
  QTimer::singleShot(0, box, [this, &wasModal] {
    wasModal = QApplication::activeModalWidget() == box;
    box->okButton->click();
  });
  QTimer::singleShot(5000, box, [this] { box->done(-1); });  // never hang the run
  EXPECT_EQ(box->ShowModal(), QDialog::Accepted);
  EXPECT_TRUE(wasModal);
  EXPECT_FALSE(box->isVisible());
}

// A box with a short text and a long caption is made wide enough for the
// caption to fit the title bar; a long caption stops at the screen's width.
TEST(MessageBoxTest, WideEnoughForItsCaption) {
  for (const QString& caption :
       {QStringLiteral("命名規則に使用できない文字です！"), QString(400, QChar(u'字'))}) {
    QMessageBox box(QMessageBox::Warning, caption, QStringLiteral("\\/:"), QMessageBox::Ok);
    FitCaption(box);
    box.show();  // the box settles its size when shown
    QFont title = box.font();
    title.setBold(true);
    const int screen = box.screen()->availableGeometry().width();
    const int wanted = QFontMetrics(title).horizontalAdvance(caption);
    EXPECT_GE(box.width(), std::min(wanted, screen - 200)) << caption.size();
    EXPECT_LE(box.width(), screen);
    box.hide();
  }
}

TEST(GlyphsTest, ThirteenButtonsHaveNormalAndGreyDisabledGlyphs) {
  const char* glyphButtons[] = {
      "openButton",     "renameButton",   "updateTagButton", "removeTagButton", "moveUpButton",
      "moveDownButton", "sortButton",     "deleteRowButton", "clearListButton", "helpButton",
      "aboutButton",    "fullPathButton", "topmostButton"};
  QList<QImage> seen;
  for (const char* name : glyphButtons) {
    const QIcon icon = ToolbarGlyph(QString::fromLatin1(name));
    ASSERT_FALSE(icon.isNull()) << name;
    const QImage normal = icon.pixmap(QSize(20, 20), 1.0, QIcon::Normal).toImage();
    const QImage disabled = icon.pixmap(QSize(20, 20), 1.0, QIcon::Disabled).toImage();
    ASSERT_EQ(normal.size(), QSize(20, 20)) << name;
    bool coloured = false;
    bool grey = true;
    int inked = 0;
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 20; ++x) {
        const QColor n = normal.pixelColor(x, y);
        const QColor d = disabled.pixelColor(x, y);
        if (n.alpha() > 0 && (n.red() != n.green() || n.green() != n.blue())) coloured = true;
        if (d.alpha() > 0) {
          ++inked;
          if (d.red() != d.green() || d.green() != d.blue()) grey = false;
        }
      }
    }
    EXPECT_TRUE(coloured) << name;
    EXPECT_TRUE(grey) << name;
    EXPECT_GT(inked, 20) << name << ": the disabled glyph must still show its shape";
    for (const QImage& other : seen) EXPECT_NE(normal, other) << name << " repeats a glyph";
    seen << normal;
  }
  for (const char* name : {"copyTagButton", "pasteTagButton", "Nothing"})
    EXPECT_TRUE(ToolbarGlyph(QString::fromLatin1(name)).isNull()) << name;
}

// The window's icon offers the small sizes; the installed icons come in
// every size of the theme.
TEST(GlyphsTest, ApplicationIconComesInEveryThemeSize) {
  const QList<QSize> sizes = ApplicationIcon().availableSizes();
  for (const int size : {16, 32, 48}) EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QImage image = ApplicationIconImage(size);
    EXPECT_EQ(image.size(), QSize(size, size));
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << "corners stay transparent at " << size;
    EXPECT_GT(image.pixelColor(size / 2, size / 2).alpha(), 0) << size;
  }
}

}  // namespace
