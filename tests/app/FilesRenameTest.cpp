// Files in and names out on the main window: the open dialog, dropped files,
// the rule box with its key filter and presets, and the rename run on real
// files.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <string>
#include <vector>

#include "app/ListSelection.h"
#include "core/UserPrompts.h"
#include "tests/app/WindowTestSupport.h"

namespace {

using Kind = ScriptedDialogs::Kind;

QString Native(const std::string& path) { return QString::fromStdString(path); }

class FilesRenameTest : public WindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(here.entered());
    WindowTest::SetUp();
  }

  // A tagged file in the temporary folder; gives its path.
  std::string Tagged(const std::string& name, const std::string& title,
                     const std::string& artist = "") {
    const std::string path = folder / name;
    DemoTag tag{title, artist, "", "", "", 1};
    WriteMp3(path, &tag);
    return path;
  }

  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (int i = 0; i < form->table.entryCount; ++i) paths.emplace_back(form->table[i].path);
    return paths;
  }

  CurrentDirectoryGuard here{folder.path()};  // the temporary name lies here
};

using PathList = std::vector<std::string>;

// --- The open dialog ---

TEST_F(FilesRenameTest, OpenAddsTheChoiceInOrderSelectsTheFirstAndEntersItsFolder) {
  QDir(Native(folder.path())).mkdir(QStringLiteral("music"));
  const std::string c = Tagged("music/c.mp3", "Cee");
  const std::string a = Tagged("music/a.mp3", "Ay");
  const std::string b = Tagged("music/b.mp3", "Bee");
  dialogs.choices.push_back({Native(c), Native(a), Native(b)});

  form->OpenFiles();

  ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
  EXPECT_EQ(dialogs.fileDialogs[0].title, QStringLiteral("Selvane"));
  EXPECT_EQ(QDir(dialogs.fileDialogs[0].directory).canonicalPath(),
            QDir(Native(folder.path())).canonicalPath());
  EXPECT_EQ(Paths(), (PathList{c, a, b}));
  ExpectSelected(0);
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("Cee"));
  EXPECT_EQ(form->StatusText(), QStringLiteral("アイテム登録終了"));
  EXPECT_EQ(Lines(form->afterList),
            (QStringList{QStringLiteral("Cee().mp3"), QStringLiteral("Ay().mp3"),
                         QStringLiteral("Bee().mp3")}));
  EXPECT_TRUE(dialogs.shown.empty());

  // The next open starts where this choice came from.
  const QString music = QDir(Native(folder / "music")).canonicalPath();
  EXPECT_EQ(QDir::current().canonicalPath(), music);
  form->OpenFiles();
  ASSERT_EQ(dialogs.fileDialogs.size(), 2u);
  EXPECT_EQ(QDir(dialogs.fileDialogs[1].directory).canonicalPath(), music);
}

// The user reads exactly two captions, MP3 files and all files; the hidden
// patterns behind them take every MP3 whatever its case, and every file.
TEST_F(FilesRenameTest, FilterCaptionsAreTheTwoKindsAndTheirPatternsMatchLoosely) {
  form->OpenFiles();
  ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
  const QStringList filters = dialogs.fileDialogs[0].filter.split(QStringLiteral(";;"));
  ASSERT_EQ(filters.size(), 2);
  EXPECT_EQ(dialogs.fileDialogs[0].selectedFilter, filters[0]);

  // Caption, then the pattern list in the last parentheses.
  const QRegularExpression shape(QStringLiteral("^(.*\\S)\\s+\\(([^()]*)\\)$"));
  auto matches = [&](const QString& filter, const QString& name) {
    const QString patterns = shape.match(filter).captured(2);
    for (const QString& pattern : patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts))
      if (QRegularExpression::fromWildcard(pattern, Qt::CaseSensitive).match(name).hasMatch())
        return true;
    return false;
  };
  EXPECT_EQ(shape.match(filters[0]).captured(1), QStringLiteral("MP3ﾌｧｲﾙ(*.mp3)"));
  EXPECT_EQ(shape.match(filters[1]).captured(1), QStringLiteral("すべて(*.*)"));
  for (const char* name : {"a.mp3", "SONG.MP3", "Mixed.Mp3"})
    EXPECT_TRUE(matches(filters[0], QString::fromLatin1(name))) << name;
  for (const char* name : {"a.mp2", "notes.txt", "mp3"})
    EXPECT_FALSE(matches(filters[0], QString::fromLatin1(name))) << name;
  for (const char* name : {"README", "a.mp3", "x.txt"})
    EXPECT_TRUE(matches(filters[1], QString::fromLatin1(name))) << name;
}

TEST_F(FilesRenameTest, OpenWithAnEntrySelectedKeepsThatIndex) {
  AddFiles(*form, {Tagged("a.mp3", "A"), Tagged("b.mp3", "B"), Tagged("c.mp3", "C")});
  Select(1);
  dialogs.choices.push_back({Native(Tagged("d.mp3", "D")), Native(Tagged("e.mp3", "E"))});

  form->OpenFiles();

  EXPECT_EQ(form->table.entryCount, 5);
  ExpectSelected(1);
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("B"));
  EXPECT_EQ(form->StatusText(), QStringLiteral("アイテム登録終了"));
}

TEST_F(FilesRenameTest, CancelledOpenAddsNothingAndLeavesSelectionStatusAndFolder) {
  AddFiles(*form, {Tagged("a.mp3", "A"), Tagged("b.mp3", "B")});
  Select(1);
  form->SetStatusText(QStringLiteral("before"));
  form->Tags().titleBox->setText(QStringLiteral("typed, not written"));
  const QString before = QDir::currentPath();

  form->OpenFiles();

  EXPECT_EQ(form->table.entryCount, 2);
  ExpectSelected(1);
  EXPECT_EQ(form->StatusText(), QStringLiteral("before"));
  EXPECT_EQ(QDir::currentPath(), before);
  // The tag panel was shown again all the same.
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("B"));
  EXPECT_TRUE(dialogs.shown.empty());
}

// The dialog's buffer holds the folder once and every name, each with its
// NUL, and a closing NUL: 65519 bytes. One byte more fails like a cancel,
// which the user is told about.
TEST_F(FilesRenameTest, ChoiceBeyondTheDialogBufferCountsAsCancelled) {
  const QString dir = Native(folder.path());
  auto choice = [&](qsizetype total) {
    QStringList names;
    qsizetype bytes = dir.size() + 2;
    int i = 0;
    while (total - bytes > 201 + 10) {
      names << dir + QLatin1Char('/') + QStringLiteral("%1").arg(i++, 4, 10, QLatin1Char('0')) +
                   QString(196, QLatin1Char('x'));
      bytes += 201;
    }
    names << dir + QLatin1Char('/') + QString(total - bytes - 1, QLatin1Char('z'));
    return names;
  };
  form->SetStatusText(QStringLiteral("before"));
  dialogs.choices.push_back(choice(65520));

  form->OpenFiles();

  EXPECT_EQ(form->table.entryCount, 0);
  EXPECT_EQ(form->StatusText(), QStringLiteral("before"));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, Kind::Refusal);
  EXPECT_TRUE(dialogs.shown[0].text.contains(QStringLiteral("65519")));

  const QStringList fits = choice(65519);
  dialogs.choices.push_back(fits);
  form->OpenFiles();
  EXPECT_EQ(form->table.entryCount, fits.size());
  EXPECT_EQ(form->StatusText(), QStringLiteral("アイテム登録終了"));
  EXPECT_EQ(dialogs.shown.size(), 1u);
}

// --- Dropped files ---

TEST_F(FilesRenameTest, DroppingAListedFileOnlyRebuildsTheListsAndEnds) {
  const std::string a = Tagged("a.mp3", "A");
  form->AddDroppedFiles({a});
  ASSERT_EQ(form->table.entryCount, 1);
  ExpectSelected(0);
  form->ButtonFor(Command::FullPath)->setChecked(true);  // unseen until the lists are rebuilt
  form->SetStatusText(QStringLiteral("before"));

  form->AddDroppedFiles({a});

  EXPECT_EQ(Paths(), (PathList{a}));
  EXPECT_EQ(Lines(form->beforeList), QStringList{QString::fromStdString(a)});
  EXPECT_EQ(form->StatusText(), QStringLiteral("アイテム登録終了"));
  ExpectSelected(0);
  EXPECT_TRUE(dialogs.shown.empty());
}

// Over many files a drop lists them first and names them together: each
// row takes its own name, and a file already listed stays listed once.
TEST_F(FilesRenameTest, ALargeDropNamesEveryRowAndListsEachFileOnce) {
  std::vector<std::string> paths;
  for (int i = 0; i <= selvane::ProgressFrom; ++i)
    paths.push_back(Tagged("t" + std::to_string(i) + ".mp3", "T" + std::to_string(i)));
  form->AddDroppedFiles({paths.back()});
  form->AddDroppedFiles(paths);

  ASSERT_EQ(form->table.entryCount, selvane::ProgressFrom + 1);
  EXPECT_EQ(std::string(form->table[0].path), paths.back());
  for (const int row : {1, selvane::ProgressFrom})
    EXPECT_EQ(std::string(form->table[row].newPath),
              folder / ("T" + std::to_string(row - 1) + "().mp3"));
  EXPECT_EQ(form->StatusText(), QStringLiteral("アイテム登録終了"));
}

TEST_F(FilesRenameTest, DroppedFolderIsListedWithoutTag) {
  const std::string sub = folder / "album";
  ASSERT_TRUE(QDir().mkdir(Native(sub)));

  form->AddDroppedFiles({sub});

  ASSERT_EQ(Paths(), (PathList{sub}));
  EXPECT_EQ(form->table[0].hasTag, 0);
  EXPECT_EQ(std::string(form->table[0].newPath), sub);
  ExpectSelected(0);
  EXPECT_EQ(form->Tags().tagGroup->title(), QStringLiteral("ﾀｸﾞ情報－なし"));
}

TEST_F(FilesRenameTest, DroppedNameWithoutCp932FormIsRefusedByNameAndTheRestGoIn) {
  const std::string a = Tagged("a.mp3", "A");
  const std::string odd = Tagged("\xF0\x9F\x8E\xB5song.mp3", "Odd");  // a music-note emoji
  const std::string b = Tagged("b.mp3", "B");

  form->AddDroppedFiles({a, odd, b});

  EXPECT_EQ(Paths(), (PathList{a, b}));
  EXPECT_EQ(form->StatusText(), QStringLiteral("アイテム登録終了"));
  const QStringList refusals = dialogs.Texts(Kind::Refusal);
  ASSERT_EQ(refusals.size(), 1);
  EXPECT_TRUE(refusals[0].contains(QString::fromUtf8("\xF0\x9F\x8E\xB5song.mp3")))
      << refusals[0].toStdString();
}

// A drop from a file manager arrives as a list of file addresses. It is taken
// as a copy even when the manager proposes a move: told "moved", some file
// managers remove their source.
TEST_F(FilesRenameTest, DropEventListsLocalFilesAndAlwaysAnswersCopy) {
  const std::string a = Tagged("a.mp3", "A");
  const std::string b = Tagged("b.mp3", "B");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(Native(a)), QUrl(QStringLiteral("https://example.org/x.mp3")),
                QUrl::fromLocalFile(Native(b))});
  ASSERT_TRUE(form->acceptDrops());

  const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  QDragEnterEvent enter(QPoint(100, 150), offered, &data, Qt::LeftButton, Qt::ShiftModifier);
  enter.setDropAction(Qt::MoveAction);
  QCoreApplication::sendEvent(form.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  EXPECT_EQ(enter.dropAction(), Qt::CopyAction);

  QDropEvent drop(QPointF(100, 150), offered, &data, Qt::LeftButton, Qt::ShiftModifier);
  drop.setDropAction(Qt::MoveAction);
  QCoreApplication::sendEvent(form.get(), &drop);

  EXPECT_TRUE(drop.isAccepted());
  EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
  EXPECT_EQ(Paths(), (PathList{a, b}));
  EXPECT_EQ(form->StatusText(), QStringLiteral("アイテム登録終了"));

  // A source that offers nothing but a move is turned away.
  const std::string c = Tagged("c.mp3", "C");
  QMimeData onlyMove;
  onlyMove.setUrls({QUrl::fromLocalFile(Native(c))});
  QDragEnterEvent moveEnter(QPoint(100, 150), Qt::MoveAction, &onlyMove, Qt::LeftButton,
                            Qt::NoModifier);
  QCoreApplication::sendEvent(form.get(), &moveEnter);
  EXPECT_FALSE(moveEnter.isAccepted());
  QDropEvent move(QPointF(100, 150), Qt::MoveAction, &onlyMove, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(form.get(), &move);
  EXPECT_EQ(form->table.entryCount, 2);
}

// --- The rule box and the presets ---

TEST_F(FilesRenameTest, ForbiddenKeysShowTheMessageAndStayOutOfTheBox) {
  form->ruleBox->setText(QStringLiteral("$T"));
  for (const char key : {'/', ',', ';', ':', '*', '?', '"', '<', '>', '|', '\\'})
    QTest::keyClick(form->ruleBox, key);

  EXPECT_EQ(form->ruleBox->text(), QStringLiteral("$T"));
  ASSERT_EQ(dialogs.shown.size(), 11u);
  for (const ScriptedDialogs::Box& box : dialogs.shown) {
    EXPECT_EQ(box.kind, Kind::Refusal);
    EXPECT_EQ(box.caption, QStringLiteral("命名規則に使用できない文字です！"));
    EXPECT_EQ(box.text, QStringLiteral("\\/:,;*?\"<>|"));
  }

  // Letters and the full-width slash go in.
  QTest::keyClick(form->ruleBox, 'x');
  Type(form->ruleBox, QStringLiteral("／"));
  EXPECT_EQ(form->ruleBox->text(), QStringLiteral("$Tx／"));
  EXPECT_EQ(dialogs.shown.size(), 11u);
}

TEST_F(FilesRenameTest, EnterRegeneratesEveryNewName) {
  AddFiles(*form, {Tagged("a.mp3", "Alpha", "X"), Tagged("b.mp3", "Beta", "Y")});
  Select(1);
  form->ruleBox->setText(QStringLiteral("$A-$T.mp3"));
  EXPECT_EQ(std::string(form->table[0].newPath), folder / "Alpha(X).mp3");

  QTest::keyClick(form->ruleBox, Qt::Key_Return);

  EXPECT_EQ(std::string(form->table[0].newPath), folder / "X-Alpha.mp3");
  EXPECT_EQ(std::string(form->table[1].newPath), folder / "Y-Beta.mp3");
  EXPECT_EQ(Lines(form->afterList),
            (QStringList{QStringLiteral("X-Alpha.mp3"), QStringLiteral("Y-Beta.mp3")}));
  EXPECT_EQ(form->ruleBox->text(), QStringLiteral("$A-$T.mp3"));
  ExpectSelected(1);
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FilesRenameTest, LeavingTheBoxForAnotherControlRegeneratesButAMenuDoesNot) {
  AddFiles(*form, {Tagged("a.mp3", "Alpha")});
  form->ruleBox->setText(QStringLiteral("$T.mp3"));

  // A menu or a message box taking the focus is no leaving.
  for (const Qt::FocusReason reason :
       {Qt::PopupFocusReason, Qt::MenuBarFocusReason, Qt::ActiveWindowFocusReason}) {
    QFocusEvent out(QEvent::FocusOut, reason);
    QCoreApplication::sendEvent(form->ruleBox, &out);
  }
  EXPECT_EQ(std::string(form->table[0].newPath), folder / "Alpha().mp3");

  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  form->ruleBox->setFocus(Qt::MouseFocusReason);
  ASSERT_TRUE(form->ruleBox->hasFocus());
  form->beforeList->setFocus(Qt::MouseFocusReason);

  EXPECT_EQ(std::string(form->table[0].newPath), folder / "Alpha.mp3");
  EXPECT_EQ(Lines(form->afterList), QStringList{QStringLiteral("Alpha.mp3")});
}

TEST_F(FilesRenameTest, PresetsSetTheirRuleRegenerateAndShowTheirHints) {
  const std::string x = folder / "x.mp3";
  DemoTag tag{"Love", "Kei", "Best", "", "", 1};
  WriteMp3(x, &tag);
  AddFiles(*form, {x});
  Select(0);

  struct Expected {
    QAction* item;
    const char* caption;
    const char* hint;
    const char* rule;
    const char* newName;
  };
  const Expected presets[] = {
      {form->ActionFor(Command::PresetTitle), "\"ﾀｲﾄﾙ.mp3\"(&A)", "シングル用途１", "$T.mp3",
       "Love.mp3"},
      {form->ActionFor(Command::PresetTitleArtist), "\"ﾀｲﾄﾙ(ｱｰﾃｨｽﾄ).mp3\"(&B)", "シングル用途２",
       "$T($A).mp3", "Love(Kei).mp3"},
      {form->ActionFor(Command::PresetArtistTitle), "\"(ｱｰﾃｨｽﾄ)ﾀｲﾄﾙ.mp3\"(&C)", "シングル用途３",
       "($A)$T.mp3", "(Kei)Love.mp3"},
      {form->ActionFor(Command::PresetNumberTitle), "\"(曲番)ﾀｲﾄﾙ.mp3\"(&D)", "アルバム用途１",
       "($R)$T.mp3", "(01)Love.mp3"},
      {form->ActionFor(Command::PresetAlbum), "\"曲番.ﾀｲﾄﾙ(ｱｰﾃｨｽﾄ／ｱﾙﾊﾞﾑ名).mp3\"(&E)",
       "アルバム用途２", "$R.$T($A／$L).mp3", "01.Love(Kei／Best).mp3"},
      {form->ActionFor(Command::PresetExtension), "\"元ﾌｧｲﾙ名.EXT\"(&F)", "拡張子変更用途",
       "$F.EXT", "x.EXT"},
  };
  for (const Expected& preset : presets) {
    SCOPED_TRACE(preset.rule);
    EXPECT_EQ(preset.item->text(), QString::fromUtf8(preset.caption));
    QMenu* menu = form->Commands().ruleMenu;
    menu->popup(form->mapToGlobal(QPoint(0, 0)));
    menu->setActiveAction(preset.item);
    EXPECT_EQ(form->StatusText(), QString::fromUtf8(preset.hint));
    menu->hide();

    preset.item->trigger();

    EXPECT_EQ(form->ruleBox->text(), QString::fromUtf8(preset.rule));
    EXPECT_EQ(form->NamingRule(), selvane::Cp932(preset.rule));
    EXPECT_EQ(std::string(form->table[0].newPath), selvane::Cp932(folder / preset.newName));
    EXPECT_EQ(Lines(form->afterList), QStringList{QString::fromUtf8(preset.newName)});
    ExpectSelected(0);
  }

  // Three groups: separators after the third and the fifth; then the
  // ID3v2 item after a separator of its own.
  QStringList shape;
  for (const QAction* item : form->Commands().ruleMenu->actions())
    shape << (item->isSeparator() ? QStringLiteral("-") : item->objectName());
  EXPECT_EQ(shape,
            QStringList({"presetTitleAction", "presetTitleArtistAction", "presetArtistTitleAction",
                         "-", "presetNumberTitleAction", "presetAlbumAction", "-",
                         "presetExtensionAction", "-", "id3v2Action"}));
}

// --- The rename run on real files ---

TEST_F(FilesRenameTest, RenameOfAnEmptyListDoesNothingAtAll) {
  form->SetStatusText(QStringLiteral("before"));
  form->RenameAll();
  EXPECT_EQ(form->StatusText(), QStringLiteral("before"));
  EXPECT_TRUE(dialogs.shown.empty());
}

// While the run asks about a row, the after list still shows every row's
// new name on screen, those of the rows still to come included.
TEST_F(FilesRenameTest, EveryRowKeepsItsNewNameWhileAQuestionIsUp) {
  AddFiles(*form, {Tagged("a.mp3", "Same"), Tagged("b.mp3", "Same"), Tagged("c.mp3", "Cee"),
                   Tagged("d.mp3", "Dee")});
  form->ruleBox->setText(QStringLiteral("$T.mp3"));  // typed: the run names the rows first
  QStringList shown;
  std::vector<int> inkedRows;
  dialogs.beforeBox = [&] {
    shown = Lines(form->afterList);
    const QImage image = form->afterList->viewport()->grab().toImage();
    for (int row = 0; row < form->afterList->count(); ++row) {
      const QRect rect = form->afterList->visualRect(form->afterList->model()->index(row, 0));
      int ink = 0;
      for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
          ink += image.pixel(x, y) != image.pixel(rect.right(), y) ? 1 : 0;
      if (ink > 20) inkedRows.push_back(row);
    }
  };
  form->RenameAll();
  ASSERT_EQ(dialogs.Texts(Kind::Question).size(), 1u);
  EXPECT_EQ(shown, QStringList({"Same.mp3", "Same.mp3", "Cee.mp3", "Dee.mp3"}));
  EXPECT_EQ(inkedRows, std::vector<int>({0, 1, 2, 3}));
}

TEST_F(FilesRenameTest, RenameMovesEveryFileAndEndsWithIdenticalListsAndTheFirstRow) {
  const std::string a = Tagged("a.mp3", "Alpha");
  const std::string b = Tagged("b.mp3", "Beta");
  const std::string c = Tagged("c.mp3", "Gamma");
  const std::string bBytes = ReadBytes(b);
  AddFiles(*form, {a, b, c});
  Select(2);
  // Typed but not yet applied: the run regenerates the names first.
  form->ruleBox->setText(QStringLiteral("$T.mp3"));

  form->RenameAll();

  EXPECT_EQ(Paths(), (PathList{folder / "Alpha.mp3", folder / "Beta.mp3", folder / "Gamma.mp3"}));
  for (const std::string& old : {a, b, c}) EXPECT_FALSE(PathExists(old)) << old;
  EXPECT_EQ(ReadBytes(folder / "Beta.mp3"), bBytes);
  EXPECT_EQ(Lines(form->beforeList), Lines(form->afterList));
  EXPECT_EQ(Lines(form->beforeList),
            (QStringList{QStringLiteral("Alpha.mp3"), QStringLiteral("Beta.mp3"),
                         QStringLiteral("Gamma.mp3")}));
  EXPECT_EQ(form->StatusText(), QStringLiteral("リネーム終了"));
  ExpectSelected(0);
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("Alpha"));
  EXPECT_FALSE(PathExists(folder / "SelvaneBk.tmp"));
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FilesRenameTest, SameNewNameAsksAndYesReplacesTheFirstWithTheSecond) {
  const std::string a = Tagged("a.mp3", "Same");
  const std::string b = Tagged("b.mp3", "Same", "other");
  const std::string bBytes = ReadBytes(b);
  form->ruleBox->setText(QStringLiteral("$T.mp3"));
  AddFiles(*form, {a, b});
  dialogs.answers = {true};

  form->RenameAll();

  const std::string same = folder / "Same.mp3";
  const QStringList questions = dialogs.Texts(Kind::Question);
  ASSERT_EQ(questions.size(), 1);
  EXPECT_EQ(
      questions[0],
      QStringLiteral("変換前：%1\n変換後：%2\n\n同名のファイルが既に存在します\n上書きしますか？")
          .arg(Native(b), Native(same)));
  EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("上書き確認"));
  EXPECT_EQ(Paths(), (PathList{same, same}));
  EXPECT_EQ(ReadBytes(same), bBytes);
  EXPECT_FALSE(PathExists(a));
  EXPECT_FALSE(PathExists(b));
  EXPECT_FALSE(PathExists(folder / "SelvaneBk.tmp"));
  EXPECT_EQ(form->StatusText(), QStringLiteral("リネーム終了"));
}

TEST_F(FilesRenameTest, SameNewNameAnsweredNoLeavesTheSecondFileAlone) {
  const std::string a = Tagged("a.mp3", "Same");
  const std::string b = Tagged("b.mp3", "Same", "other");
  const std::string aBytes = ReadBytes(a);
  const std::string bBytes = ReadBytes(b);
  form->ruleBox->setText(QStringLiteral("$T.mp3"));
  AddFiles(*form, {a, b});
  dialogs.answers = {false};

  form->RenameAll();

  EXPECT_EQ(dialogs.Texts(Kind::Question).size(), 1);
  EXPECT_EQ(Paths(), (PathList{folder / "Same.mp3", b}));
  EXPECT_EQ(ReadBytes(folder / "Same.mp3"), aBytes);
  EXPECT_EQ(ReadBytes(b), bBytes);
  EXPECT_EQ(Lines(form->beforeList),
            (QStringList{QStringLiteral("Same.mp3"), QStringLiteral("b.mp3")}));
  EXPECT_EQ(form->StatusText(), QStringLiteral("リネーム終了"));
}

TEST_F(FilesRenameTest, TitleWithAColonIsSkippedWithTheMessageAndTheOthersMove) {
  const std::string a = Tagged("a.mp3", "Part 1: Dawn");
  const std::string b = Tagged("b.mp3", "Fine");
  form->ruleBox->setText(QStringLiteral("$T.mp3"));
  AddFiles(*form, {a, b});

  form->RenameAll();

  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, Kind::Refusal);
  EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("リネーム作業をスキップします"));
  EXPECT_EQ(dialogs.shown[0].text,
            QStringLiteral("変換前：a.mp3\n変換後：Part 1: Dawn.mp3\n\n"
                           "変換後のファイル名に使用できない文字 \\/:,;*?\"<>| が含まれています\n\n"
                           "タグ情報を編集し直して下さい"));
  EXPECT_EQ(Paths(), (PathList{a, folder / "Fine.mp3"}));
  EXPECT_TRUE(PathExists(a));
  EXPECT_TRUE(PathExists(folder / "Fine.mp3"));
  EXPECT_EQ(form->StatusText(), QStringLiteral("リネーム終了"));
  ExpectSelected(0);
}

// 元に戻す through the menu as a person chooses it: after a run that
// replaced an unlisted file and a tag update that appended a trailer, every
// file is back byte for byte under its old name, the replaced one out of
// the trash, and the rows follow their files.
TEST_F(FilesRenameTest, UndoThroughTheMenuTakesBackATagUpdateThenARun) {
  const std::string a = Tagged("a.mp3", "Alpha");
  const std::string b = Tagged("b.mp3", "Beta");
  const std::string taken = folder.Write("Beta.mp3", "someone else's Beta");
  const std::string aBytes = ReadBytes(a), bBytes = ReadBytes(b);
  form->ruleBox->setText(QStringLiteral("$T.mp3"));
  AddFiles(*form, {a, b});
  dialogs.answers = {true};
  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::Rename)));
  ASSERT_EQ(ReadBytes(taken), bBytes);
  Select(0);
  form->Tags().titleBox->setText(QStringLiteral("Omega"));
  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::UpdateTag)));
  ASSERT_EQ(ReadBytes(folder / "Alpha.mp3").size(), aBytes.size());

  dialogs.answers = {true, true};
  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::Undo)));
  EXPECT_EQ(ReadBytes(folder / "Alpha.mp3"), aBytes);
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("Alpha"));
  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::Undo)));

  const QStringList questions = dialogs.Texts(Kind::Question);
  ASSERT_EQ(questions.size(), 3);
  EXPECT_TRUE(
      questions[1].endsWith(QStringLiteral("のタグ情報の更新（1 ファイル）を元に戻しますか？")));
  EXPECT_TRUE(questions[2].endsWith(QStringLiteral("のリネーム（2 ファイル）を元に戻しますか？")));
  EXPECT_EQ(ReadBytes(a), aBytes);
  EXPECT_EQ(ReadBytes(b), bBytes);
  EXPECT_EQ(ReadBytes(taken), "someone else's Beta");
  EXPECT_FALSE(PathExists(folder / "Alpha.mp3"));
  EXPECT_TRUE(QDir(QString::fromStdString(dataHome.path() + "/Trash/files"))
                  .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
  EXPECT_EQ(Paths(), (PathList{a, b}));
  EXPECT_EQ(Lines(form->beforeList),
            (QStringList{QStringLiteral("a.mp3"), QStringLiteral("b.mp3")}));
  EXPECT_EQ(form->StatusText(), QStringLiteral("リネームを元に戻しました"));
  EXPECT_FALSE(form->ActionFor(Command::Undo)->isEnabled());
}

}  // namespace
