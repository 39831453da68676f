// "ID3v2 も使う" on the real window: the names every form of ID3v2 tag gives
// through the menu, in 変換後 and on disk, the tag panel showing and carrying
// the values the names take, and the tag bytes at the head that only an
// update touches.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QToolButton>
#include <string>

#include "app/Glyphs.h"
#include "app/Hints.h"
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

  void SetItem(bool on) {
    if (form->ActionFor(Command::Id3v2)->isChecked() != on)
      form->ActionFor(Command::Id3v2)->trigger();
  }

  // Trailer title cut from the ID3v2 one; a trailer alone; ID3v2 alone,
  // its title with a character Shift-JIS lacks.
  void ListPanelRows() {
    folder.Write("cut.mp3", Fixture("v23-utf16-cut.mp3"));
    WriteMp3(folder / "plain.mp3", &plain);
    folder.Write("senor.mp3", Fixture("v23-latin1-senor.mp3"));
    form->ruleBox->setText(QStringLiteral("$T.mp3"));
    AddFiles(*form, {folder / "cut.mp3", folder / "plain.mp3", folder / "senor.mp3"});
  }

  const QString whole = QStringLiteral("春の終わりに咲く花のうた（シングル・ヴァージョン）");
  const QString cut = QStringLiteral("春の終わりに咲く花のうた（シン");
  const DemoTag plain{"短い題", "Band", "", "", "", 0};
};

// The fields in Id3v2Changes' order, each ended by "|", "-" for one not changed.
std::string Changed(const selvane::Id3v2Changes& c) {
  std::string out;
  for (const auto* value : {&c.title, &c.artist, &c.album, &c.year, &c.comment, &c.genre})
    out += value->value_or("-") + "|";
  return out;
}

TEST_F(Id3v2ItemTest, EveryFormIsNamedThroughTheMenuAndRenamedOnDisk) {
  ListFixtures();
  const QStringList before = Lines(form->afterList);
  EXPECT_EQ(before[8], QStringLiteral("v24-utf8.mp3"));
  // The run would ask about the name it keeps; the reason says more.
  EXPECT_EQ(RowData(form->afterList, 8, RowMarkRole).toInt(), QuestionRowMark);
  EXPECT_TRUE(RowData(form->afterList, 8, Qt::ToolTipRole)
                  .toString()
                  .contains(QStringLiteral("「ID3v2 も使う」をオンにすると")));

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

// The panel shows the value the names take, marked where it came from
// ID3v2; with the item off, the trailer's own fields.
TEST_F(Id3v2ItemTest, PanelShowsTheValuesTheNamesTake) {
  ListPanelRows();
  const QString tip = QStringLiteral("タイトル：ID3v2（ID3v1 ");
  const struct {
    QString off, on, mark;
  } rows[] = {
      {cut, whole, tip + QStringLiteral("は 30 バイトで切れています）")},
      {QStringLiteral("短い題"), QStringLiteral("短い題"), QString()},
      {QString(), QStringLiteral("Se\uFFFDor"),
       tip + QStringLiteral("タグがありません・「ñ」は Shift-JIS にない文字です）")},
  };
  for (const bool on : {false, true}) {
    SetItem(on);
    for (int row = 0; row < 3; ++row) {
      Select(row);
      const QLineEdit* title = form->Tags().titleBox;
      EXPECT_EQ(title->text(), on ? rows[row].on : rows[row].off) << row;
      EXPECT_TRUE(!on || Line(form->afterList, row) == title->text() + QStringLiteral(".mp3"));
      const QList<QAction*> marks = title->actions();
      EXPECT_EQ(marks.isEmpty() ? QString() : marks[0]->toolTip(), on ? rows[row].mark : QString());
    }
    EXPECT_EQ(LongHintOf(form->ButtonFor(Command::RemoveTag)).contains(QStringLiteral("ID3v2")),
              on);
  }
  // Whole values typed too; the year stays four characters.
  Select(0);
  const QString long40(20, QChar(0x6F22));  // "漢" x 20: 40 bytes
  Type(form->Tags().commentBox, long40);
  Type(form->Tags().yearBox, QStringLiteral("1"));
  EXPECT_EQ(form->Tags().commentBox->text(), long40);
  EXPECT_EQ(form->Tags().yearBox->text(), QStringLiteral("2001"));
}

// What the update is to write into the ID3v2 tag: the fields changed from
// what the panel showed; the whole title, untouched, is not among them.
TEST_F(Id3v2ItemTest, EditedFieldsAreTheOnesChangedFromWhatThePanelShowed) {
  ListPanelRows();
  const std::string none = "-|-|-|-|-|-|";
  const struct {
    bool on;
    void (*edit)(TagPanel&);
    std::string expected;
  } rows[] = {
      {true, [](TagPanel&) {}, none},
      {true, [](TagPanel& t) { t.artistBox->setText(QStringLiteral("月光楽団!")); },
       "-|" + selvane::Cp932("月光楽団!") + "|-|-|-|-|"},
      {true, [](TagPanel& t) { t.titleBox->clear(); }, "|-|-|-|-|-|"},
      {true, [](TagPanel& t) { t.genreBox->setCurrentIndex(17); }, "-|-|-|-|-|Rock|"},
      {true, [](TagPanel& t) { t.genreBox->setCurrentIndex(148); }, none},  // "Unknown"
      {false, [](TagPanel& t) { t.artistBox->setText(QStringLiteral("x")); }, none},
  };
  for (const auto& row : rows) {
    SetItem(row.on);
    Select(0);
    row.edit(form->Tags());
    EXPECT_EQ(Changed(form->Tags().EditedFields()), row.expected);
  }
}

// Paste puts the source's whole title in the panel, a change from the
// selected file's own; the update writes the trailer's 30 bytes of it.
TEST_F(Id3v2ItemTest, PasteCarriesTheWholeValue) {
  ListPanelRows();
  for (const bool on : {false, true}) {
    SetItem(on);
    Select(0);
    form->CopyTag();
    Select(1);
    form->PasteTag();
    EXPECT_EQ(form->Tags().titleBox->text(), on ? whole : cut);
    EXPECT_EQ(form->Tags().EditedFields().title,
              on ? std::optional(selvane::Cp932(whole.toStdString())) : std::nullopt);
  }
  form->UpdateTag();
  const std::string written = ReadBytes(folder / "plain.mp3");  // now with an ID3v2 tag ahead
  EXPECT_EQ(written.substr(written.size() - 125, 30), selvane::Cp932(cut.toStdString()));
  // ... and the ID3v2 tag the whole title (UTF-16 with a BOM in the new 2.3 tag).
  const std::u16string title = whole.toStdU16String();
  EXPECT_NE(
      written.find(std::string(reinterpret_cast<const char*>(title.data()), title.size() * 2)),
      std::string::npos);
}

// The stand-in byte of a character Shift-JIS lacks never reaches the
// trailer: left as it is, the field keeps the trailer's own bytes.
TEST_F(Id3v2ItemTest, UpdateNeverWritesTheStandInOfAMissingCharacter) {
  ListPanelRows();
  SetItem(true);
  Select(2);
  form->UpdateTag();
  EXPECT_EQ(ReadBytes(folder / "senor.mp3").substr(Fixture("v23-latin1-senor.mp3").size()),
            TrailerBytes("", "Los Lobos", selvane::Cp932("A×B"), "", "", 255));
}

}  // namespace
