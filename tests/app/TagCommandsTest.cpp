// Tag update, removal, copy and paste from the main window, on real files.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QToolButton>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/ListSelection.h"
#include "tests/app/WindowTestSupport.h"
#include "tests/core/ReadOnlyFile.h"

namespace {

class TagCommandsTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    form->ruleBox->setText(QStringLiteral("$T.mp3"));
  }

  std::string List(const std::string& name, const DemoTag* tag) {
    const std::string path = folder / name;
    WriteMp3(path, tag);
    AddFiles(*form, {path});
    return path;
  }

  void ExpectStillRunning() {
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->table.entryCount, 1);
  }

  DemoTag song{"Song", "Band", "Disc", "1999", "note", 13};
};

TEST_F(TagCommandsTest, UpdateOfAnUntaggedFileWithEmptyBoxesAddsABlankTrailer) {
  const std::string path = List("bare.mp3", nullptr);
  Select(0);

  form->UpdateTag();

  EXPECT_EQ(ReadBytes(path), Mp3Body + "TAG" + std::string(124, ' ') + "\xFF");
  EXPECT_EQ(form->StatusText(), QStringLiteral("ﾀｸﾞ情報を追加しました"));
  EXPECT_EQ(form->Tags().tagGroup->title(), QStringLiteral("ﾀｸﾞ情報－あり"));
  EXPECT_EQ(form->Tags().genreBox->currentText(), QStringLiteral("Unknown"));
  EXPECT_EQ(form->SelectedIndex(), 0);
}

TEST_F(TagCommandsTest, UpdateReplacesTheTrailerAndTheNewNameFollows) {
  const std::string path = List("song.mp3", &song);
  Select(0);
  form->Tags().titleBox->setText(QStringLiteral("恋の歌"));
  form->Tags().genreBox->setCurrentIndex(0);

  form->UpdateTag();

  EXPECT_EQ(ReadBytes(path),
            Mp3Body + TrailerBytes(selvane::Cp932("恋の歌"), "Band", "Disc", "1999", "note", 0));
  EXPECT_EQ(form->StatusText(), QStringLiteral("ﾀｸﾞ情報を変更しました"));
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("恋の歌"));
  EXPECT_EQ(form->Tags().genreBox->currentText(), QStringLiteral("Blues"));
  EXPECT_TRUE(Line(form->afterList, 0).endsWith(QStringLiteral("恋の歌.mp3")));
}

// A Western tag in Latin-1: each byte that is not Shift-JIS shows as one
// mark and the text goes on; the boxes stay editable; a field the user did
// not touch keeps its bytes, and an edited one that still holds a mark is
// refused by its name.
TEST_F(TagCommandsTest, LatinOneTagIsShownEditableAndKeptUnlessEdited) {
  const std::string path = folder / "cafe.mp3";
  WriteBytes(path, Mp3Body + TrailerBytes("Caf\xE9 Bar", "Band"));
  form->ruleBox->setText(QStringLiteral("$T($A).mp3"));
  AddFiles(*form, {path});
  Select(0);
  const QString mark(QChar::ReplacementCharacter);
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("Caf") + mark + QStringLiteral(" Bar"));
  EXPECT_EQ(Line(form->afterList, 0),
            QStringLiteral("Caf") + mark + QStringLiteral(" Bar(Band).mp3"));

  form->Tags().artistBox->setFocus();
  form->Tags().artistBox->end(false);
  Type(form->Tags().artistBox, QStringLiteral("X"));
  form->UpdateTag();
  EXPECT_EQ(ReadBytes(path), Mp3Body + TrailerBytes("Caf\xE9 Bar", "BandX"));

  form->Tags().titleBox->setFocus();
  form->Tags().titleBox->end(false);
  Type(form->Tags().titleBox, QStringLiteral("!"));
  EXPECT_TRUE(form->Tags().titleBox->text().endsWith(QStringLiteral(" Bar!")));
  form->UpdateTag();
  EXPECT_EQ(ReadBytes(path), Mp3Body + TrailerBytes("Caf\xE9 Bar", "BandX"));
  const QStringList refusals = dialogs.Texts(ScriptedDialogs::Kind::Refusal);
  ASSERT_EQ(refusals.size(), 1);
  EXPECT_TRUE(refusals[0].startsWith(QStringLiteral("「ﾀｲﾄﾙ」"))) << refusals[0].toStdString();
}

TEST_F(TagCommandsTest, ReadOnlyFileIsToldAndLeftAndTheProgramGoesOn) {
  const std::string path = List("locked.mp3", &song);
  const std::string before = ReadBytes(path);
  Select(0);
  form->SetStatusText(QStringLiteral("ﾀｸﾞ情報を変更しました"));  // from an earlier update
  form->Tags().titleBox->setText(QStringLiteral("typed"));
  {
    // The history stays writable for the user the guard takes on.
    std::filesystem::permissions(stateHome.path(), std::filesystem::perms::all);
    ReadOnlyFile guard(folder.path(), path);
    if (!guard.active()) GTEST_SKIP() << "cannot make a file read-only here";
    form->UpdateTag();
  }

  EXPECT_EQ(ReadBytes(path), before);
  ExpectStillRunning();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, ScriptedDialogs::Kind::Refusal);
  EXPECT_TRUE(dialogs.shown[0].text.contains(QString::fromStdString(path)));
  EXPECT_TRUE(dialogs.shown[0].text.contains(QString::fromLocal8Bit(std::strerror(EACCES))));
  EXPECT_NE(form->StatusText(), QStringLiteral("ﾀｸﾞ情報を変更しました"));
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("typed"));  // can be tried again
  EXPECT_EQ(form->table[0].hasTag, 1);
}

TEST_F(TagCommandsTest, VanishedFileIsToldAndNothingIsCreated) {
  const std::string path = List("gone.mp3", nullptr);
  Select(0);
  std::remove(path.c_str());

  form->UpdateTag();

  EXPECT_FALSE(PathExists(path));
  ExpectStillRunning();
  ASSERT_EQ(dialogs.Texts(ScriptedDialogs::Kind::Refusal).size(), 1);
  EXPECT_TRUE(dialogs.shown[0].text.contains(QString::fromStdString(path)));
  EXPECT_TRUE(dialogs.shown[0].text.contains(QString::fromLocal8Bit(std::strerror(ENOENT))));
  EXPECT_NE(form->StatusText(), QStringLiteral("ﾀｸﾞ情報を追加しました"));
}

TEST_F(TagCommandsTest, RemovalAsksAndCutsTheTrailer) {
  const std::string path = List("song.mp3", &song);
  Select(0);
  dialogs.answers = {true};

  form->RemoveTag();

  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, ScriptedDialogs::Kind::Question);
  EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("タグ情報を削除します\nよろしいですか？"));
  EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("確認"));
  EXPECT_EQ(ReadBytes(path), Mp3Body);
  EXPECT_EQ(form->Tags().tagGroup->title(), QStringLiteral("ﾀｸﾞ情報－なし"));
  EXPECT_TRUE(form->Tags().titleBox->text().isEmpty());
  EXPECT_EQ(form->SelectedIndex(), 0);
}

TEST_F(TagCommandsTest, RemovalAnsweredNoLeavesEverything) {
  const std::string path = List("song.mp3", &song);
  Select(0);
  const std::string before = ReadBytes(path);
  const selvane::FileEntry entry = form->table[0];
  form->SetStatusText(QStringLiteral("before"));
  form->Tags().titleBox->setText(QStringLiteral("typed"));
  dialogs.answers = {false};

  form->RemoveTag();

  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_TRUE(form->table[0] == entry);
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("typed"));
  EXPECT_EQ(form->StatusText(), QStringLiteral("before"));
}

TEST_F(TagCommandsTest, RemovalDoesNotCutAFileWhoseTrailerWentMeanwhile) {
  const std::string path = List("song.mp3", &song);
  Select(0);
  WriteMp3(path, nullptr);  // another program strips the tag
  dialogs.answers = {true};

  form->RemoveTag();

  EXPECT_EQ(ReadBytes(path), Mp3Body);
  EXPECT_EQ(dialogs.Texts(ScriptedDialogs::Kind::Refusal).size(), 1);
  EXPECT_EQ(form->Tags().tagGroup->title(), QStringLiteral("ﾀｸﾞ情報－なし"));
}

TEST_F(TagCommandsTest, RemovalOfAReadOnlyFileIsToldAndLeft) {
  const std::string path = List("locked.mp3", &song);
  const std::string before = ReadBytes(path);
  Select(0);
  dialogs.answers = {true};
  {
    // The history stays writable for the user the guard takes on.
    std::filesystem::permissions(stateHome.path(), std::filesystem::perms::all);
    ReadOnlyFile guard(folder.path(), path);
    if (!guard.active()) GTEST_SKIP() << "cannot make a file read-only here";
    form->RemoveTag();
  }
  EXPECT_EQ(ReadBytes(path), before);
  const QStringList refusals = dialogs.Texts(ScriptedDialogs::Kind::Refusal);
  ASSERT_EQ(refusals.size(), 1);
  EXPECT_TRUE(refusals[0].contains(QString::fromStdString(path)));
  EXPECT_EQ(form->table[0].hasTag, 1);
}

// Through the menus as a person uses them: copy on row 1, a click on row 2,
// paste, and the update is there to be chosen and writes the pasted tag.
TEST_F(TagCommandsTest, CopyPasteUpdateCarriesTheTagToAnotherFile) {
  const std::string source = List("source.mp3", &song);
  DemoTag other{"Other", "", "", "", "", 200};
  const std::string target = List("target.mp3", &other);
  const std::string sourceBytes = ReadBytes(source);
  ClickRow(form->beforeList, 0);

  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::CopyTag)));
  EXPECT_EQ(form->StatusText(), QStringLiteral("一時バッファにコピー終了"));
  ClickRow(form->beforeList, 1);
  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::PasteTag)));

  EXPECT_EQ(form->StatusText(), QStringLiteral("貼り付け終了。反映させるには『更新』を忘れずに"));
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("Song"));
  EXPECT_EQ(form->Tags().commentBox->text(), QStringLiteral("note"));
  EXPECT_EQ(form->Tags().tagGroup->title(), QStringLiteral("ﾀｸﾞ情報－あり"));
  // The selected file's own entry is back, the lists show its names, and
  // the commands follow the selected row.
  EXPECT_STREQ(form->table[1].path, target.c_str());
  EXPECT_STREQ(form->table[1].title, "Other");
  EXPECT_TRUE(Line(form->beforeList, 1).endsWith(QStringLiteral("target.mp3")));
  EXPECT_TRUE(Line(form->afterList, 1).endsWith(QStringLiteral("Other.mp3")));
  EXPECT_EQ(form->SelectedIndex(), 1);
  EXPECT_EQ(ItemIndex(form->afterList), 1);
  for (QAction* command : {form->ActionFor(Command::UpdateTag), form->ActionFor(Command::RemoveTag),
                           form->ActionFor(Command::CopyTag), form->ActionFor(Command::PasteTag),
                           form->ActionFor(Command::MoveUp), form->ActionFor(Command::DeleteRow)})
    EXPECT_TRUE(command->isEnabled()) << command->objectName().toStdString();
  EXPECT_FALSE(form->ActionFor(Command::MoveDown)->isEnabled());  // the last row cannot move down

  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::UpdateTag)));

  EXPECT_EQ(ReadBytes(target), Mp3Body + TrailerBytes("Song", "Band", "Disc", "1999", "note", 13));
  EXPECT_EQ(ReadBytes(source), sourceBytes);
}

// A key that a menu or a box took ends there: its release reaching the list
// would show the row's own tag again and lose the pasted one. Here the
// removal question is answered No with Esc, whose press went to the box.
TEST_F(TagCommandsTest, KeyThatChoseAnItemOrClosedABoxKeepsThePastedTag) {
  List("source.mp3", &song);
  DemoTag other{"Other", "", "", "", "", 9};
  const std::string target = List("target.mp3", &other);
  ClickRow(form->beforeList, 0);
  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::CopyTag)));
  ClickRow(form->beforeList, 1);
  ASSERT_EQ(form->focusWidget(), form->beforeList);
  ASSERT_TRUE(ChooseMenuItem(
      *form, form->ActionFor(Command::PasteTag)));  // the P key is let go over the list
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("Song"));

  dialogs.answers = {false};
  QTest::mouseClick(form->ButtonFor(Command::RemoveTag), Qt::LeftButton);
  QWidget box;
  box.show();
  QTest::keyPress(&box, Qt::Key_Escape);
  box.hide();
  QTest::keyRelease(form->focusWidget(), Qt::Key_Escape);
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("Song"));

  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::UpdateTag)));
  EXPECT_EQ(ReadBytes(target), Mp3Body + TrailerBytes("Song", "Band", "Disc", "1999", "note", 13));
}

// Copy takes the tag as read, not the panel's unwritten edits; paste shows
// the source file as it is at the paste.
TEST_F(TagCommandsTest, CopyTakesTheTagAsReadAndPasteTheSourceAsItIsNow) {
  List("source.mp3", &song);
  List("target.mp3", nullptr);
  Select(0);
  form->Tags().titleBox->setText(QStringLiteral("typed, not written"));
  form->CopyTag();
  Select(1);
  form->PasteTag();
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("Song"));

  Select(0);
  form->Tags().titleBox->setText(QStringLiteral("Edited"));
  form->UpdateTag();  // the source changes after the copy
  Select(1);
  form->PasteTag();
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("Edited"));
  EXPECT_EQ(form->table[1].hasTag, 0);
  EXPECT_FALSE(form->ActionFor(Command::RemoveTag)->isEnabled());  // the target's own state
}

// From an untagged entry, removal and copy only say so; the buffer stays.
TEST_F(TagCommandsTest, RemovalAndCopyOfAnUntaggedEntryOnlySaySo) {
  List("bare.mp3", nullptr);
  Select(0);

  form->RemoveTag();
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(form->StatusText(), QStringLiteral("ﾀｸﾞ情報はありません"));

  form->SetStatusText(QStringLiteral("before"));
  form->CopyTag();
  EXPECT_EQ(form->StatusText(), QStringLiteral("ﾀｸﾞ情報はありません"));
  EXPECT_EQ(form->TagClipboard().hasTag, 0);
  EXPECT_FALSE(form->ActionFor(Command::PasteTag)->isEnabled());
}

}  // namespace
