// "ID3v2 で補う" on the real window: the names every form of ID3v2 tag gives
// through the menu, in 変換後 and on disk, and the tag bytes at the head
// that only an update touches.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <string>

#include "app/Glyphs.h"
#include "tests/app/WindowTestSupport.h"

namespace {

using Kind = ScriptedDialogs::Kind;

const char* const kFixtures[] = {
    "v22-ucs2.mp3",        "v23-garbled.mp3",   "v23-latin1-senor.mp3",
    "v23-latin1-sjis.mp3", "v23-truncated.mp3", "v23-utf16-cut-odd.mp3",
    "v23-utf16-cut.mp3",   "v24-mojibake.mp3",  "v24-utf8.mp3",
};

std::string Fixture(const std::string& name) {
  return ReadBytes(std::string(SELVANE_FIXTURES) + "/id3v2/" + name);
}

// A file's bytes without its ID3v1 trailer: the ID3v2 tag and the audio.
std::string BeforeTrailer(const char* cp932Path) {
  std::string path;
  if (!selvane::Cp932PathToNative(cp932Path, path)) return "<no native path>";
  std::string bytes = ReadBytes(path);
  if (bytes.size() >= 128 && bytes.compare(bytes.size() - 128, 3, "TAG") == 0)
    bytes.resize(bytes.size() - 128);
  return bytes;
}

class Id3v2ItemTest : public WindowTest {
 protected:
  void ListFixtures() {
    for (const char* name : kFixtures) {
      folder.Write(name, Fixture(name));
      AddFiles(*form, {folder / name});
    }
  }
};

TEST_F(Id3v2ItemTest, EveryFormIsNamedThroughTheMenuAndRenamedOnDisk) {
  ListFixtures();
  const QStringList before = Lines(form->afterList);
  EXPECT_EQ(before[8], QStringLiteral("v24-utf8.mp3"));
  // The run would ask about the name it keeps; the reason says more.
  EXPECT_EQ(RowData(form->afterList, 8, RowMarkRole).toInt(), QuestionRowMark);
  EXPECT_TRUE(RowData(form->afterList, 8, Qt::ToolTipRole)
                  .toString()
                  .contains(QStringLiteral("「ID3v2 で補う」をオンにすると")));

  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::Id3v2)));
  EXPECT_TRUE(form->ActionFor(Command::Id3v2)->isChecked());
  const QStringList expected = {
      QStringLiteral("夜空の向こう(青い鳥).mp3"),
      QStringLiteral("Garbled(Noise).mp3"),
      QStringLiteral("Se\uFFFDor(Los Lobos).mp3"),
      QStringLiteral("恋のうた(山田花子).mp3"),
      QStringLiteral("v23-truncated.mp3"),
      QStringLiteral("A春の終わりに咲く花のうた（シングル）().mp3"),
      QStringLiteral("春の終わりに咲く花のうた（シングル・ヴァージョン）(月光楽団).mp3"),
      QStringLiteral("夢の中へ(井上).mp3"),
      QStringLiteral("桜～さくら～(東京－大阪).mp3"),
  };
  EXPECT_EQ(Lines(form->afterList), expected);

  const auto mark = [&](int row) { return RowData(form->afterList, row, RowMarkRole).toInt(); };
  const auto tip = [&](int row) {
    return RowData(form->afterList, row, Qt::ToolTipRole).toString();
  };
  EXPECT_EQ(mark(6), Id3v2RowMark);
  EXPECT_EQ(tip(6), QStringLiteral("タイトル：ID3v2（ID3v1 は 30 バイトで切れています）\n"
                                   "アーティスト：ID3v1"));
  EXPECT_TRUE(tip(3).contains(
      QStringLiteral("アーティスト：ID3v2（ID3v1 タグがありません・Shift-JIS として読みました）")));
  EXPECT_TRUE(
      tip(7).contains(QStringLiteral("文字化けしていたのを Shift-JIS として読み直しました")));
  EXPECT_EQ(mark(2), RefusedRowMark);
  EXPECT_TRUE(tip(2).contains(QStringLiteral("「ñ」は Shift-JIS にない文字です")));
  EXPECT_EQ(mark(1), NoRowMark);  // a garbled tag counts for nothing: ID3v1 names it
  EXPECT_FALSE(tip(4).contains(QStringLiteral("ID3v2")));

  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::Rename)));
  const QStringList refusals = dialogs.Texts(Kind::Refusal);
  ASSERT_EQ(refusals.size(), 1) << refusals.join(QStringLiteral("\n---\n")).toStdString();
  EXPECT_TRUE(refusals[0].contains(QStringLiteral("Shift-JIS にない文字")))
      << refusals[0].toStdString();
  for (int row : {0, 1, 3, 5, 6, 7, 8}) {
    const std::string name = expected[row].toStdString();
    EXPECT_TRUE(PathExists(folder / name)) << name;
  }
  EXPECT_TRUE(PathExists(folder / "v23-latin1-senor.mp3"));
  EXPECT_TRUE(PathExists(folder / "v23-truncated.mp3"));

  // The item is kept with the settings.
  ASSERT_TRUE(form->close());
  form = OpenWindow(dialogs);
  EXPECT_TRUE(form->ActionFor(Command::Id3v2)->isChecked());
  EXPECT_EQ(form->table.tagSources, selvane::TagSources::WithId3v2);
}

// With the item on an update writes the ID3v2 tag too (the field changed
// there, whole); removal and the rename run work on the trailer and the name
// alone; undo gives the update's file back byte for byte.
TEST_F(Id3v2ItemTest, UpdateWritesTheId3v2TagAndOtherCommandsLeaveIt) {
  for (const char* name : {"v23-utf16-cut.mp3", "v24-utf8.mp3"}) {
    folder.Write(name, Fixture(name));
    AddFiles(*form, {folder / name});
  }
  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::Id3v2)));
  const std::string before = ReadBytes(folder / "v24-utf8.mp3");
  std::string head[2];
  const auto takeHeads = [&] {
    for (int i = 0; i < 2; ++i) head[i] = BeforeTrailer(form->table[i].path);
  };
  const auto expectHeadsKept = [&](const char* step) {
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(BeforeTrailer(form->table[i].path), head[i]) << step << " row " << i;
  };
  takeHeads();

  Select(1);
  form->Tags().titleBox->setText(QStringLiteral("Edited"));
  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::UpdateTag)));
  EXPECT_EQ(Line(form->afterList, 1), QStringLiteral("Edited(東京－大阪).mp3"));
  EXPECT_EQ(BeforeTrailer(form->table[0].path), head[0]);
  EXPECT_NE(BeforeTrailer(form->table[1].path), head[1]);
  // Only the title: the artist stays whole in the ID3v2 tag.
  EXPECT_NE(BeforeTrailer(form->table[1].path).find("東京−大阪"), std::string::npos);
  takeHeads();
  dialogs.answers = {true};
  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::RemoveTag)));
  expectHeadsKept("removal");
  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::Rename)));
  expectHeadsKept("rename");
  dialogs.answers = {true, true, true, true, true, true};
  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::Undo)));  // the rename
  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::Undo)));  // the removal
  ASSERT_TRUE(ChooseMenuItem(*form, form->ActionFor(Command::Undo)));  // the update
  EXPECT_TRUE(ReadBytes(folder / "v24-utf8.mp3") == before);
}

}  // namespace
