// The list's own commands: delete, move, clear and the byte-order sort, on a
// few rows and over a whole collection of 100,000.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/intake/EntryIntake.h"
#include "core/rename/NamingRule.h"
#include "tests/core/filelist/ListedTable.h"

namespace selvane {
namespace {

class EntryTableTest : public ListedTable {};

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
