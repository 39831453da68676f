// The rename on a folder that takes names differing only in letter case for
// one (as exFAT does), and on media that refuse some names: the forecast,
// the run and undo compare and judge names as the folder does.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/history/History.h"
#include "core/history/Undo.h"
#include "core/platform/Trash.h"
#include "core/rename/RenameRun.h"
#include "tests/core/MemoryFileOps.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

// A trash that takes nothing: a replaced file is deleted (the user agreed).
class NoTrash : public FreedesktopTrash {
 public:
  FileResult MoveToTrash(const PlannedPath&, TrashedFile&) override { return FileResult{EXDEV}; }
};

void List(EntryTable& table, const Rows& rows) {
  for (const auto& [from, to] : rows) {
    table.Append(std::make_unique<FileEntry>());
    CopyField(table[table.entryCount - 1].path, from);
    CopyField(table[table.entryCount - 1].newPath, to);
  }
}

struct CaseRow {
  const char* name;
  bool ignoresCase;
  std::vector<std::pair<std::string, std::string>> files;  // path, bytes
  std::vector<std::string> goneBeforeRun;                  // listed, then deleted after the refresh
  Rows rows;
  std::vector<bool> answers;
  std::vector<Outlook> outlooks;
  std::size_t questions;
  std::vector<std::string> after;  // the listing after the run
};

TEST(FolderIgnoringCase, ForecastAndRunCompareNamesAsTheFolderDoes) {
  const CaseRow cases[] = {
      {"two new names differing in case are asked about",
       true,
       {{"/m/a.mp3", "A"}, {"/m/b.mp3", "B"}},
       {},
       {{"/m/a.mp3", "/m/Song.mp3"}, {"/m/b.mp3", "/m/SONG.mp3"}},
       {false},
       {Outlook::Moves, Outlook::AsksEarlierRow},
       1,
       {"/m folder", "/m/Song.mp3 file #3 A", "/m/b.mp3 file #4 B"}},
      {"a change of case alone asks, and Yes takes the new spelling without a detour",
       true,
       {{"/m/a.mp3", "A"}, {"/" + std::string(TemporaryName), "left by a crash"}},
       {},
       {{"/m/a.mp3", "/m/A.mp3"}},
       {true},
       {Outlook::MeetsItself},
       1,
       {"/SelvaneBk.tmp file #4 left by a crash", "/m folder", "/m/A.mp3 file #3 A"}},
      {"a change of case alone answered No changes nothing",
       true,
       {{"/m/a.mp3", "A"}},
       {},
       {{"/m/a.mp3", "/m/A.mp3"}},
       {false},
       {Outlook::MeetsItself},
       1,
       {"/m folder", "/m/a.mp3 file #3 A"}},
      {"where the folder compares case, the other spelling is another file",
       false,
       {{"/m/a.mp3", "A"}, {"/m/A.mp3", "X"}},
       {},
       {{"/m/a.mp3", "/m/A.mp3"}},
       {false},
       {Outlook::AsksExisting},
       1,
       {"/m folder", "/m/A.mp3 file #4 X", "/m/a.mp3 file #3 A"}},
      {"a row whose file is gone does not reach a moved file by another spelling",
       true,
       {{"/m/a.mp3", "A"}, {"/m/b.mp3", "B"}},
       {"/m/b.mp3"},
       {{"/m/a.mp3", "/m/B.mp3"}, {"/m/b.mp3", "/m/c.mp3"}},
       {},
       {Outlook::Moves, Outlook::CannotMove},
       0,
       {"/m folder", "/m/B.mp3 file #3 A"}},
  };
  for (const CaseRow& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileOps ops;
    if (c.ignoresCase) ops.IgnoreCase();
    ASSERT_TRUE(ops.AddFolder("/m"));
    for (const auto& [path, bytes] : c.files) ASSERT_TRUE(ops.AddFile(path, bytes));
    EntryTable table;
    List(table, c.rows);
    RealDisk disk(ops);
    const std::vector<FileStatus> refreshed = Origins(table, disk);
    for (const std::string& path : c.goneBeforeRun) ASSERT_TRUE(ops.Delete(path.c_str()));

    std::vector<Outlook> outlooks;
    for (const RowOutlook& row : ForecastRename(table, ops, nullptr, &ops.Rules()))
      outlooks.push_back(row.outlook);
    EXPECT_EQ(outlooks, c.outlooks);

    RecordingPrompts ui;
    ui.answers.assign(c.answers.begin(), c.answers.end());
    RunRename(table, ops, ui, {.origins = &refreshed, .folders = &ops.Rules()});
    EXPECT_EQ(ui.questions.size(), c.questions);
    EXPECT_EQ(ops.Listing(), c.after);
  }
}

TEST(FolderIgnoringCase, ChangeOfCaseAloneIsTakenBack) {
  TempFolder state;
  MemoryFileOps ops;
  ops.IgnoreCase();
  ASSERT_TRUE(ops.AddFolder("/m") && ops.AddFile("/m/song.mp3", "S"));
  History history(state / "history.sqlite3");
  EntryTable table;
  List(table, {{"/m/song.mp3", "/m/Song.mp3"}});
  RecordingPrompts ui;
  ui.unscriptedAnswer = true;
  RunRename(table, ops, ui, {.history = &history, .folders = &ops.Rules()});
  ASSERT_EQ(ops.Listing(), (std::vector<std::string>{"/m folder", "/m/Song.mp3 file #3 S"}));
  ASSERT_TRUE(history.store().MayUndo());

  NoTrash trash;
  const UndoRun undone = RunUndo(history.store(), ops, trash, ui);
  EXPECT_TRUE(ui.refusals.empty()) << ui.refusals.back().text;
  EXPECT_EQ(ops.Listing(), (std::vector<std::string>{"/m folder", "/m/song.mp3 file #3 S"}));
  EXPECT_EQ(undone.changes.size(), 1u);
}

struct RefusalRow {
  const char* newName;
  Medium medium;
  NameRefusal refusal;
};

TEST(MediumNames, RefusedBeforeTheRunWithTheirOwnReason) {
  const Medium fat{true, 255}, ext4{false, 255};
  const std::string kanji = Cp932("曲");  // two bytes, three in UTF-8, one UTF-16 unit
  std::string wide;
  for (int i = 0; i < 100; ++i) wide += kanji;
  const RefusalRow rows[] = {
      {"CON.mp3", fat, NameRefusal::DeviceName},
      {"lpt9", fat, NameRefusal::DeviceName},
      {"CON.mp3", ext4, NameRefusal::None},
      {"COM10.mp3", fat, NameRefusal::None},
      {"Song.", fat, NameRefusal::TrailingDotOrSpace},
      {"Song ", fat, NameRefusal::TrailingDotOrSpace},
      {"Song.", ext4, NameRefusal::None},
      {"", ext4, NameRefusal::TooLong},  // wide + wide + ".mp3": 604 bytes in UTF-8
      {"", fat, NameRefusal::None},      // ... and 204 UTF-16 units
  };
  for (const RefusalRow& row : rows) {
    const std::string name = *row.newName != '\0' ? row.newName : wide + wide + ".mp3";
    SCOPED_TRACE(name.substr(0, 12) + (row.medium.fatFamily ? " on FAT" : " on ext4"));
    MemoryFileOps ops;
    ops.SetMedium(row.medium);
    ASSERT_TRUE(ops.AddFolder("/m") && ops.AddFile("/m/a.mp3", "A"));
    EntryTable table;
    List(table, {{"/m/a.mp3", "/m/" + name}});
    const std::vector<RowOutlook> forecast = ForecastRename(table, ops, nullptr, &ops.Rules());
    EXPECT_EQ(forecast[0].refusal, row.refusal);
    if (row.refusal == NameRefusal::None) continue;
    EXPECT_NE(OutlookText(forecast[0]).find(RefusalReason(row.refusal)), std::string::npos);
    RecordingPrompts ui;
    RunRename(table, ops, ui, {.folders = &ops.Rules()});
    ASSERT_EQ(ui.refusals.size(), 1u);
    EXPECT_NE(ui.refusals[0].text.find(RefusalReason(row.refusal)), std::string::npos);
    EXPECT_EQ(ops.Listing(), (std::vector<std::string>{"/m folder", "/m/a.mp3 file #3 A"}));
  }
}

}  // namespace
}  // namespace selvane
