// Files coming into the list: each path made absolute once, duplicates and
// what cannot be listed faithfully refused, named by the rule as they come in.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/intake/EntryIntake.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"
#include "tests/core/filelist/ListedTable.h"

// The table allocates its records with new (std::nothrow); this lets a test
// make that allocation fail on cue. Everything else allocates as usual.
namespace {
bool refuseNothrowNew = false;
}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (refuseNothrowNew) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace selvane {
namespace {

std::string Text(const std::string& utf8) { return Cp932(utf8); }

class EntryIntakeTest : public ListedTable {};

TEST_F(EntryIntakeTest, DuplicatesAreByteExactAndCaseSensitive) {
  EXPECT_EQ(AddEntry(table_, "/m/a.mp3", "", ui_), AddResult::Added);
  EXPECT_EQ(AddEntry(table_, "/m/a.mp3", "", ui_), AddResult::Duplicate);
  EXPECT_EQ(AddEntry(table_, "/m/A.mp3", "", ui_), AddResult::Added);
  EXPECT_EQ(AddEntry(table_, "\\m\\a.mp3", "", ui_), AddResult::Added);  // not normalised
  EXPECT_EQ(AddEntry(table_, "/m/./a.mp3", "", ui_), AddResult::Added);
  EXPECT_EQ(Paths(),
            (std::vector<std::string>{"/m/a.mp3", "/m/A.mp3", "\\m\\a.mp3", "/m/./a.mp3"}));
  EXPECT_TRUE(ui_.errors.empty());
  EXPECT_TRUE(ui_.refusals.empty());
}

// A relative path names the file in the folder current when it was added,
// for the entry's whole life; its "." parts go, ".." parts stay.
TEST_F(EntryIntakeTest, RelativePathIsMadeAbsoluteOnceAsItComesIn) {
  CurrentDirectoryGuard here(folder_.path());
  ASSERT_TRUE(here.entered());
  EXPECT_EQ(AddEntry(table_, "./a.mp3", "", ui_), AddResult::Added);
  EXPECT_EQ(AddEntry(table_, "a.mp3", "", ui_), AddResult::Duplicate);
  EXPECT_EQ(AddEntry(table_, "sub/.//../b.mp3", "", ui_), AddResult::Added);
  {
    CurrentDirectoryGuard elsewhere("/");
    EXPECT_EQ(AddEntry(table_, "c.mp3", "", ui_), AddResult::Added);
  }
  EXPECT_EQ(Paths(),
            (std::vector<std::string>{folder_ / "a.mp3", folder_ / "sub/../b.mp3", "/c.mp3"}));
}

TEST_F(EntryIntakeTest, NewEntryIsNamedWithItsPosition) {
  const std::string missing = folder_ / "missing.mp3";
  ASSERT_EQ(AddEntry(table_, missing.c_str(), "$R $T.mp3", ui_), AddResult::Added);
  EXPECT_EQ(table_[0].hasTag, 0);
  EXPECT_STREQ(table_[0].newPath, missing.c_str());

  folder_.Write("b.mp3", "x");
  const std::string third =
      folder_.Write("c.mp3", std::string(64, '\0') + TrailerBytes("Love", "Kei"));
  AddEntry(table_, (folder_ / "b.mp3").c_str(), "$R $T.mp3", ui_);
  AddEntry(table_, third.c_str(), "$R $T.mp3", ui_);
  ASSERT_EQ(table_.entryCount, 3);
  EXPECT_EQ(table_[2].hasTag, 1);
  EXPECT_STREQ(table_[2].artist, "Kei");
  EXPECT_EQ(std::string(table_[2].newPath), folder_ / "03 Love.mp3");
}

// Files listed first and named together (on two threads) take the names,
// positions and statuses they take when each is named as it comes in.
TEST_F(EntryIntakeTest, NamingPutOffNamesAsNamingEachDoes) {
  constexpr int Count = TwoThreadsFrom + 44;
  std::vector<std::string> paths;
  for (int i = 0; i < Count; ++i)
    paths.push_back(folder_.Write(std::to_string(i) + ".mp3",
                                  TrailerBytes(("T" + std::to_string(i)).c_str(), "Kei")));
  EntryTable later;
  AddBatch each(table_, ui_), together(later, ui_);
  together.Add(paths[0].c_str(), "$R $T.mp3");
  together.NameLater();
  for (const std::string& path : paths) {
    each.Add(path.c_str(), "$R $T.mp3");
    together.Add(path.c_str(), "$R $T.mp3");
  }
  EXPECT_STREQ(later[1].newPath, later[1].path);  // unnamed rows keep their names meanwhile
  together.NameTheRest("$R $T.mp3");
  ASSERT_EQ(later.entryCount, Count);
  for (int i = 0; i < Count; ++i) {
    EXPECT_STREQ(later[i].newPath, table_[i].newPath) << i;
    EXPECT_STREQ(later[i].artist, "Kei") << i;
  }
  const std::vector<FileStatus>& read = together.Statuses();
  ASSERT_EQ(read.size(), each.Statuses().size());
  for (std::size_t i = 0; i < read.size(); ++i)
    EXPECT_TRUE(read[i].SameEntryAs(each.Statuses()[i]) && read[i].length == 128) << i;
  ClearEntries(later);
}

TEST_F(EntryIntakeTest, PathOver1023BytesIsRefusedNotCut) {
  const std::string longest = "/" + std::string(1022, 'p');
  const std::string over = "/" + std::string(1023, 'p');
  EXPECT_EQ(AddEntry(table_, over.c_str(), "$F.EXT", ui_), AddResult::PathTooLong);
  EXPECT_EQ(table_.entryCount, 0);
  ASSERT_EQ(AddEntry(table_, longest.c_str(), "$F.EXT", ui_), AddResult::Added);
  EXPECT_EQ(std::string(table_[0].path), longest);
  EXPECT_EQ(std::string(table_[0].newPath), longest);
}

TEST_F(EntryIntakeTest, FailedAllocationIsToldAndAddsNothing) {
  refuseNothrowNew = true;
  const AddResult result = AddEntry(table_, "/m/a.mp3", "", ui_);
  refuseNothrowNew = false;
  EXPECT_EQ(result, AddResult::OutOfMemory);
  EXPECT_EQ(table_.entryCount, 0);
  EXPECT_EQ(ui_.errors, std::vector<std::string>{Text("動的メモリの確保ができませんでした。")});
  EXPECT_EQ(AddEntry(table_, "/m/a.mp3", "", ui_), AddResult::Added);
}

TEST_F(EntryIntakeTest, BatchTellsEveryRefusalInOneMessage) {
  {
    AddBatch batch(table_, ui_);
    batch.Add("/m/a.mp3", "");
    batch.Add("/m/a.mp3", "");  // a duplicate is not worth a word
    batch.Finish();
    EXPECT_TRUE(ui_.refusals.empty());
  }
  AddBatch batch(table_, ui_);
  for (int i = 0; i < 30; ++i)
    batch.Add(("/m/x/" + std::string(1100, 'q') + std::to_string(i)).c_str(), "");
  batch.RefuseUnconvertible("/home/u/\xF0\x9F\x98\x80song.mp3");  // emoji: no CP932 form
  batch.RefuseUnconvertible("/home/u/x\xC2\xA5.mp3");             // "¥" reads back as "\\"
  batch.Finish();
  ASSERT_EQ(ui_.refusals.size(), 1u);
  // Shown natively, every name as it is on disk.
  const std::string text = MessageToNative(ui_.refusals[0].text);
  EXPECT_EQ(ui_.refusals[0].caption, "Selvane");
  EXPECT_NE(text.find("1023"), std::string::npos);
  EXPECT_NE(text.find("    " + std::string(80, 'q') + "…"), std::string::npos);
  EXPECT_NE(text.find("ほか 20 件"), std::string::npos);  // the long list is shortened
  EXPECT_EQ(text.find("/m/"), std::string::npos);         // names, not folders
  EXPECT_NE(text.find("\xF0\x9F\x98\x80song.mp3"), std::string::npos);
  EXPECT_NE(text.find("x\xC2\xA5.mp3"), std::string::npos);
  batch.Finish();
  EXPECT_EQ(ui_.refusals.size(), 1u);  // told once
}

// Started in a folder whose name has no CP932 form, a relative name cannot
// be made absolute: it is refused as its absolute form would be, never
// listed relative (the open dialog moves the current folder later).
TEST_F(EntryIntakeTest, RelativeNameInAFolderWithoutCp932FormIsRefused) {
  TempFolder base;
  const std::string odd = base / "Sigur R\xC3\xB3s";  // "ó"
  ASSERT_EQ(::mkdir(odd.c_str(), 0700), 0);
  WriteBytes(odd + "/01.mp3", "audio");
  CurrentDirectoryGuard inside(odd);
  ASSERT_TRUE(inside.entered());
  EXPECT_EQ(AddEntry(table_, "01.mp3", "", ui_), AddResult::NoCp932Form);
  AddBatch batch(table_, ui_);
  EXPECT_EQ(batch.Add("01.mp3", ""), AddResult::NoCp932Form);
  batch.Finish();
  EXPECT_EQ(table_.entryCount, 0);
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_NE(MessageToNative(ui_.refusals[0].text).find("Sigur R\xC3\xB3s/01.mp3"),
            std::string::npos);
}

}  // namespace
}  // namespace selvane
