#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/intake/EntryIntake.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"

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

class EntryTableTest : public ::testing::Test {
 protected:
  ~EntryTableTest() override { ClearEntries(table_); }

  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (int i = 0; i < table_.entryCount; ++i) paths.emplace_back(table_[i].path);
    return paths;
  }

  EntryTable table_;
  RecordingPrompts ui_;
  TempFolder folder_;
};

TEST_F(EntryTableTest, DuplicatesAreByteExactAndCaseSensitive) {
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
TEST_F(EntryTableTest, RelativePathIsMadeAbsoluteOnceAsItComesIn) {
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

TEST_F(EntryTableTest, NewEntryIsNamedWithItsPosition) {
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
TEST_F(EntryTableTest, NamingPutOffNamesAsNamingEachDoes) {
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

// A whole collection: the commands over 100,000 entries keep the list's
// rules (no duplicate, "$R" by position, sorted by bytes, one slot per row).
TEST(WholeCollection, CommandsOverAHundredThousandEntries) {
  constexpr int Count = 100000;
  EntryTable table;
  RecordingPrompts ui;
  const auto path = [](int i) {  // numbered from the back, so the sort has work
    const std::string digits = std::to_string(Count - i);
    return "/m/" + std::string(6 - digits.size(), '0') + digits + ".mp3";
  };
  AddBatch batch(table, ui);
  for (int i = 0; i < Count; ++i) ASSERT_EQ(batch.Add(path(i).c_str(), "$R.EXT"), AddResult::Added);
  EXPECT_EQ(batch.Add(path(Count / 2).c_str(), "$R.EXT"), AddResult::Duplicate);
  // The statuses read on the way stand row for row for the forecast.
  EXPECT_EQ(batch.Statuses().size(), static_cast<std::size_t>(Count));
  batch.Finish();
  ASSERT_EQ(table.entryCount, Count);
  EXPECT_EQ(table.entries.size(), static_cast<std::size_t>(Count));
  // An untagged file takes only "$F"; "$R" stays text, the name is kept.
  EXPECT_STREQ(table[Count - 1].newPath, "/m/000001.mp3");
  ExpandAll("$F $R", table);  // on two threads, each half of the rows
  for (const int row : {0, Count / 2 - 1, Count / 2, Count - 1})
    EXPECT_EQ(std::string(table[row].newPath), path(row).substr(0, 9) + " $R") << row;

  const struct {
    const char* command;
    void (*run)(EntryTable&);
    const char* first;
    const char* last;
    int count;
  } steps[] = {
      {"sort", [](EntryTable& t) { SortEntries(t); }, "/m/000001.mp3", "/m/100000.mp3", Count},
      {"delete the first", [](EntryTable& t) { DeleteEntry(t, 0); }, "/m/000002.mp3",
       "/m/100000.mp3", Count - 1},
      {"move the last up",
       [](EntryTable& t) { SwapEntries(t, t.entryCount - 2, t.entryCount - 1); }, "/m/000002.mp3",
       "/m/099999.mp3", Count - 1},
      {"delete in the middle", [](EntryTable& t) { DeleteEntry(t, Count / 2); }, "/m/000002.mp3",
       "/m/099999.mp3", Count - 2},
      {"clear", [](EntryTable& t) { ClearEntries(t); }, nullptr, nullptr, 0},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.command);
    step.run(table);
    ASSERT_EQ(table.entryCount, step.count);
    ASSERT_EQ(table.entries.size(), static_cast<std::size_t>(step.count));
    if (step.count == 0) continue;
    EXPECT_STREQ(table[0].path, step.first);
    EXPECT_STREQ(table[step.count - 1].path, step.last);
  }
  AddBatch again(table, ui);
  EXPECT_EQ(again.Add(path(0).c_str(), ""), AddResult::Added);  // no stale duplicate
  EXPECT_TRUE(again.Statuses().empty());                        // nothing read under an empty rule
}

TEST_F(EntryTableTest, PathOver1023BytesIsRefusedNotCut) {
  const std::string longest = "/" + std::string(1022, 'p');
  const std::string over = "/" + std::string(1023, 'p');
  EXPECT_EQ(AddEntry(table_, over.c_str(), "$F.EXT", ui_), AddResult::PathTooLong);
  EXPECT_EQ(table_.entryCount, 0);
  ASSERT_EQ(AddEntry(table_, longest.c_str(), "$F.EXT", ui_), AddResult::Added);
  EXPECT_EQ(std::string(table_[0].path), longest);
  EXPECT_EQ(std::string(table_[0].newPath), longest);
}

// A path lies in the record or in a buffer of its own by its length; it
// reads back whole, NUL-terminated, on either road, also written from itself.
TEST(PathText, ReadsBackWholeOnEitherRoad) {
  PathText path;
  const std::string shortText(20, 's'), longText(600, 'l'), longest(1023, 'm');
  for (const std::string* text : {&shortText, &longText, &longest, &longText, &shortText}) {
    ASSERT_TRUE(CopyField(path, *text));
    EXPECT_EQ(std::string(path.c_str()), *text);
  }
  CopyField(path, longest);
  CopyField(path, std::string_view(path).substr(1));
  EXPECT_EQ(std::string(path.c_str()), longest.substr(1));
  CopyField(path, std::string_view(path).substr(0, 5));
  EXPECT_EQ(std::string(path.c_str()), longest.substr(1, 5));
  const PathText copy = path;
  EXPECT_TRUE(copy == path);
  CopyField(path, std::string_view("/a/b\0c", 6));  // a C text ends at its NUL
  EXPECT_EQ(std::string_view(path), "/a/b");
}

TEST_F(EntryTableTest, FailedAllocationIsToldAndAddsNothing) {
  refuseNothrowNew = true;
  const AddResult result = AddEntry(table_, "/m/a.mp3", "", ui_);
  refuseNothrowNew = false;
  EXPECT_EQ(result, AddResult::OutOfMemory);
  EXPECT_EQ(table_.entryCount, 0);
  EXPECT_EQ(ui_.errors, std::vector<std::string>{Text("動的メモリの確保ができませんでした。")});
  EXPECT_EQ(AddEntry(table_, "/m/a.mp3", "", ui_), AddResult::Added);
}

TEST_F(EntryTableTest, BatchTellsEveryRefusalInOneMessage) {
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
TEST_F(EntryTableTest, RelativeNameInAFolderWithoutCp932FormIsRefused) {
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

TEST_F(EntryTableTest, DeleteMovesLaterEntriesUpAndClearEmpties) {
  for (const char* p : {"/a", "/b", "/c", "/d"}) AddEntry(table_, p, "", ui_);
  const FileEntry* deleted = table_.entries[1].get();
  DeleteEntry(table_, 1);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/a", "/c", "/d"}));
  EXPECT_EQ(table_.entries.size(), 3u);
  for (const auto& entry : table_.entries) EXPECT_NE(entry.get(), deleted);
  DeleteEntry(table_, 2);
  DeleteEntry(table_, 5);
  DeleteEntry(table_, -1);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/a", "/c"}));
  SwapEntries(table_, 0, 1);
  SwapEntries(table_, 0, 2);  // outside the list: nothing
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/c", "/a"}));
  ClearEntries(table_);
  EXPECT_EQ(table_.entryCount, 0);
  EXPECT_TRUE(table_.entries.empty());
  EXPECT_EQ(AddEntry(table_, "/a", "", ui_), AddResult::Added);  // no stale duplicate
}

TEST_F(EntryTableTest, SortIsByUnsignedBytesWithPrefixFirst) {
  for (const char* p : {"/b", "/a", "/B", "/ab", "/\x83\x5C", "/A", "/a"})
    AddEntry(table_, p, "", ui_);
  SortEntries(table_);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"/A", "/B", "/a", "/ab", "/b", "/\x83\x5C"}));
}

// The pairwise exchange over whole records that the list has always sorted
// with: the reference.
void ReferenceSort(std::vector<FileEntry>& records) {
  for (std::size_t i = 0; i + 1 < records.size(); ++i)
    for (std::size_t j = i + 1; j < records.size(); ++j)
      if (std::strcmp(records[i].path, records[j].path) > 0) std::swap(records[i], records[j]);
}

TEST(SortEntries, SameOrderAsTheExchangeSortIncludingEqualPaths) {
  std::mt19937 random(20240611);
  for (const int count : {0, 1, 2, 3, 17, 200, SmallListEntries}) {
    SCOPED_TRACE(count);
    // Few distinct paths, so most have twins; the title tells twins apart.
    // Records are placed directly: AddEntry would refuse the twins.
    std::uniform_int_distribution<int> pick(0, count / 3 + 1);
    EntryTable table;
    std::vector<FileEntry> reference;
    for (int i = 0; i < count; ++i) {
      auto entry = std::make_unique<FileEntry>();
      const int key = pick(random);
      const std::string path = (key % 4 == 0   ? "\x83\x5C"
                                : key % 4 == 1 ? "B"
                                               : "a") +
                               std::string(static_cast<std::size_t>(key % 3), 'x') +
                               std::to_string(key);
      CopyField(entry->path, path);
      CopyField(entry->title, std::to_string(i));
      reference.push_back(*entry);
      table.Append(std::move(entry));
    }
    ReferenceSort(reference);
    SortEntries(table);
    ASSERT_EQ(table.entryCount, count);
    for (int i = 0; i < count; ++i) {
      ASSERT_STREQ(table[i].path, reference[static_cast<std::size_t>(i)].path) << i;
      ASSERT_STREQ(table[i].title, reference[static_cast<std::size_t>(i)].title) << i;
    }
  }
}

}  // namespace
}  // namespace selvane
