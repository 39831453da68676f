// The tag panel: captions, fields, the genre item, and the byte limits of
// its edit boxes and of the rule box.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>

#include "app/ByteLimitValidator.h"
#include "app/Cp932Text.h"
#include "app/ListSelection.h"
#include "tests/app/WindowTestSupport.h"

namespace {

class TagPanelTest : public WindowTest {
 protected:
  void ShowEntry(int row) {
    SetItemIndex(form->beforeList, row);
    form->ShowTagPanel();
  }
};

TEST_F(TagPanelTest, TaggedEntryShowsItsFieldsAndGenre) {
  const DemoTag blues{"桜の坂道", "青葉ミナト", "春の記憶", "2003", "デモ", 0};
  const DemoTag synth{"b", "", "", "", "", 147};
  const DemoTag unknown{"c", "", "", "", "", 255};
  WriteMp3(folder / "a.mp3", &blues);
  WriteMp3(folder / "b.mp3", &synth);
  WriteMp3(folder / "c.mp3", &unknown);
  AddFiles(*form, {folder / "a.mp3", folder / "b.mp3", folder / "c.mp3"});

  ShowEntry(0);
  EXPECT_EQ(form->Tags().tagGroup->title(), QStringLiteral("ﾀｸﾞ情報－あり"));
  EXPECT_EQ(form->Tags().titleBox->text(), QStringLiteral("桜の坂道"));
  EXPECT_EQ(form->Tags().artistBox->text(), QStringLiteral("青葉ミナト"));
  EXPECT_EQ(form->Tags().albumBox->text(), QStringLiteral("春の記憶"));
  EXPECT_EQ(form->Tags().commentBox->text(), QStringLiteral("デモ"));
  EXPECT_EQ(form->Tags().yearBox->text(), QStringLiteral("2003"));
  EXPECT_EQ(form->Tags().genreBox->currentText(), QStringLiteral("Blues"));
  ShowEntry(1);
  EXPECT_EQ(form->Tags().genreBox->currentText(), QStringLiteral("SynthPop"));
  ShowEntry(2);
  EXPECT_EQ(form->Tags().genreBox->currentIndex(), 148);
  EXPECT_EQ(form->Tags().genreBox->currentText(), QStringLiteral("Unknown"));
}

TEST_F(TagPanelTest, EntryWithoutTagAndNoSelectionEmptyThePanel) {
  const DemoTag tag{"t", "a", "l", "1999", "c", 5};
  WriteMp3(folder / "tagged.mp3", &tag);
  WriteMp3(folder / "plain.mp3", nullptr);
  AddFiles(*form, {folder / "tagged.mp3", folder / "plain.mp3"});
  ShowEntry(0);
  ShowEntry(1);
  EXPECT_EQ(form->Tags().tagGroup->title(), QStringLiteral("ﾀｸﾞ情報－なし"));
  for (QLineEdit* edit : {form->Tags().titleBox, form->Tags().artistBox, form->Tags().albumBox,
                          form->Tags().commentBox, form->Tags().yearBox})
    EXPECT_TRUE(edit->text().isEmpty()) << edit->objectName().toStdString();
  EXPECT_EQ(form->Tags().genreBox->currentIndex(), -1);

  ShowEntry(0);
  form->Tags().titleBox->setText(QStringLiteral("typed, not written"));
  ShowEntry(-1);
  EXPECT_EQ(form->Tags().tagGroup->title(), QStringLiteral("ﾀｸﾞ情報"));
  EXPECT_TRUE(form->Tags().titleBox->text().isEmpty());
  EXPECT_EQ(form->Tags().genreBox->currentIndex(), -1);
}

TEST_F(TagPanelTest, GenreChoiceHoldsTheWholeListAndCannotBeTyped) {
  EXPECT_EQ(form->Tags().genreBox->count(), 149);
  EXPECT_FALSE(form->Tags().genreBox->isEditable());
  EXPECT_EQ(form->Tags().genreBox->itemText(40), QStringLiteral("AlternRock"));
}

TEST_F(TagPanelTest, EditBoxesCountCp932BytesAndRefuseCharactersWithoutAForm) {
  QLineEdit* title = form->Tags().titleBox;
  title->setFocus();
  title->clear();
  Type(title, QStringLiteral("あいうえおかきくけこさしすせそ"));  // 30 bytes
  EXPECT_EQ(title->text(), QStringLiteral("あいうえおかきくけこさしすせそ"));
  Type(title, QStringLiteral("たx"));
  EXPECT_EQ(title->text().size(), 15);

  title->clear();
  Type(title, QString(29, QLatin1Char('a')));
  Type(title, QStringLiteral("あb"));  // two bytes do not fit in one; one does
  EXPECT_EQ(title->text(), QString(29, QLatin1Char('a')) + QLatin1Char('b'));

  title->clear();
  Type(title, QStringLiteral("a한b"));  // Hangul has no CP932 form
  EXPECT_EQ(title->text(), QStringLiteral("ab"));

  form->Tags().yearBox->clear();
  Type(form->Tags().yearBox, QStringLiteral("20031"));
  EXPECT_EQ(form->Tags().yearBox->text(), QStringLiteral("2003"));
}

TEST(ByteLimitValidatorTest, PastedTextIsCutBeforeTheCursorToFit) {
  ByteLimitValidator validator(10, nullptr);
  QString text = QStringLiteral("ab漢字漢字漢字cd");  // 16 bytes, "漢字漢字漢字" just pasted
  int cursor = 8;
  EXPECT_EQ(validator.validate(text, cursor), QValidator::Acceptable);
  EXPECT_EQ(text, QStringLiteral("ab漢字漢cd"));
  EXPECT_EQ(cursor, 5);
}

TEST_F(TagPanelTest, RuleBoxTakesAtMostOneHundredBytes) {
  form->ruleBox->clear();
  form->ruleBox->setFocus();
  Type(form->ruleBox, QString(49, QChar(0x66F2)));  // "曲" x 49 = 98 bytes
  Type(form->ruleBox, QStringLiteral("曲$"));
  EXPECT_EQ(Cp932Length(form->ruleBox->text()), 100);
  EXPECT_TRUE(form->ruleBox->text().endsWith(QStringLiteral("曲")));
}

}  // namespace
