// The forecast's view of the disk as the run will leave it: marks told before
// the run are what the run does, and every taken name is found.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/core/FaultyFileOps.h"
#include "tests/core/rename/RenameRunFixture.h"

namespace selvane {
namespace {

class PlannedDiskTest : public RenameRunFixture {};

// The forecast and the run take each row's fate from one decision: over a
// table of odd rows the marks told before the run are what the run does
// when every question is answered Yes. The forecast changes nothing.
TEST_F(PlannedDiskTest, ForecastAndRunAgreeRowByRow) {
  const auto dir = [&](const char* name) { ASSERT_EQ(::mkdir((music_ / name).c_str(), 0700), 0); };
  const auto link = [&](const char* target, const char* name) {
    ASSERT_EQ(::symlink(target, (music_ / name).c_str()), 0);
  };
  dir("Dir.mp3");
  dir("DirX.mp3");
  dir("kept");
  ASSERT_EQ(::mkfifo((music_ / "pipe.mp3").c_str(), 0600), 0);
  WriteBytes(music_ / "Taken.mp3", "someone's");
  WriteBytes(music_ / "Song.mp3", "the song");
  link("Song.mp3", "x.mp3");
  WriteBytes(music_ / "hardT.mp3", "twice named");
  ASSERT_EQ(::link((music_ / "hardT.mp3").c_str(), (music_ / "hard.mp3").c_str()), 0);
  const struct {
    const char* path;
    const char* newPath;
    const char* bytes;
    Outlook expected;
  } rows[] = {
      {"self.mp3", "self.mp3", "1", Outlook::MeetsItself},         // untagged, name kept
      {"hide.mp3", ".mp3", "2", Outlook::Refused},                 // hidden
      {"a.mp3", "Taken.mp3", "3", Outlook::AsksExisting},          // on disk
      {"b.mp3", "Twice.mp3", "4", Outlook::Moves},                 //
      {"c.mp3", "Twice.mp3", "5", Outlook::AsksEarlierRow},        // the row above
      {"d.mp3", "Dir.mp3", "6", Outlook::CannotMove},              // a folder there
      {"Taken.mp3", "Else.mp3", nullptr, Outlook::MayBeReplaced},  // row 3 replaces it
      {"e.mp3", "b.mp3", "8", Outlook::Moves},                     // row 4 gave that name up
      {"x.mp3", "Song.mp3", nullptr, Outlook::Refused},            // a link to its own new name
      {"real.mp3", "Tune.mp3", "real", Outlook::Moves},            //
      {"alias.mp3", "Tune.mp3", nullptr, Outlook::Refused},        // a link to row 10's file
      {"ctl.mp3", "Red\x1b[31m.mp3", "c", Outlook::Refused},       // ESC in a title
      {"kept", "kept", nullptr, Outlook::Unchanged},               // a listed folder keeps its name
      {"pipe.mp3", "pipe.mp3", nullptr, Outlook::Unchanged},       // so does a pipe
      {"f.mp3", "none/f.mp3", "f", Outlook::CannotMove},           // no such folder
      {"gone.mp3", "Gone2.mp3", nullptr, Outlook::CannotMove},     // listed, then deleted
      {"g.mp3", "DirX.mp3", "g", Outlook::CannotMove},             // a folder: g stays...
      {"h.mp3", "g.mp3", "h", Outlook::AsksExisting},              // ...so this one is asked
      {"hard.mp3", "hardT.mp3", nullptr, Outlook::AsksExisting},   // a hard link: safe
      {"album", "album2", nullptr, Outlook::CannotMove},           // a folder the next row is in
      {"album/t.mp3", "album/T.mp3", "t", Outlook::Moves},         //
      {"p.mp3", "q.mp3", "p", Outlook::Moves},                     // takes the name of...
      {"q.mp3", "r.mp3", nullptr, Outlook::CannotMove},            // ...a file gone before the run
      {"lnk.mp3", "DirX/lnk.mp3", nullptr, Outlook::CannotMove},   // a link leaving its folder
      {"disc", "disc2", nullptr, Outlook::Moves},                  // a folder's name made longer
      {"box", "box/in", nullptr, Outlook::CannotMove},             // a folder into itself
      {"i.mp3", "Song.mp3/i.mp3", "i", Outlook::CannotMove},       // a file as the folder
      {"src.mp3", "Lead.mp3", "src", Outlook::Moves},              // the file a dangling link...
      {"ln.mp3", "Lead.mp3", nullptr, Outlook::Refused},           // ...leads to once it is there
      {"a2.mp3", "T2.mp3", "a2", Outlook::AsksExisting},           // replaces what...
      {"s.mp3", "X2.mp3", nullptr, Outlook::MayBeReplaced},        // ...this link leads to
      {"selfh.mp3", "SelfH.mp3", nullptr, Outlook::Moves},         // a twin of row 1, put back
  };
  link("real.mp3", "alias.mp3");
  link("Song.mp3", "lnk.mp3");
  link("Lead.mp3", "ln.mp3");
  link("T2.mp3", "s.mp3");
  WriteBytes(music_ / "T2.mp3", "t2");
  dir("album");
  dir("disc");
  dir("box");
  for (const auto& row : rows)
    Add(music_ / row.path, music_ / row.newPath, row.bytes != nullptr ? row.bytes : "");
  ASSERT_EQ(::link((music_ / "self.mp3").c_str(), (music_ / "selfh.mp3").c_str()), 0);
  FaultyFileOps ops;

  const std::vector<RowOutlook> forecast = ForecastRename(table_, ops);
  EXPECT_EQ(ops.Calls(FileOp::Move) + ops.Calls(FileOp::Delete), 0);
  ui_.unscriptedAnswer = true;
  const std::vector<RunRow> run = RunRename(table_, ops, ui_);

  ASSERT_EQ(forecast.size(), std::size(rows));
  ASSERT_EQ(run.size(), std::size(rows));
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const RowOutlook& told = forecast[i];
    const RunRow& done = run[i];
    SCOPED_TRACE(std::string("row ") + rows[i].path);
    EXPECT_EQ(told.outlook, rows[i].expected);
    EXPECT_EQ(told.Asks(), done.asked);
    EXPECT_EQ(told.outlook == Outlook::Moves || told.Asks(), done.moved);
    EXPECT_EQ(told.outlook == Outlook::Refused, done.decision.fate == RowFate::Refused);
    EXPECT_EQ(told.refusal, done.decision.refusal);
    EXPECT_EQ(told.outlook == Outlook::CannotMove, done.decision.fate == RowFate::CannotMove);
    EXPECT_EQ(told.error, done.decision.error);
    EXPECT_EQ(told.outlook == Outlook::MayBeReplaced, done.decision.fate == RowFate::NotCarriedOn);
    EXPECT_EQ(OutlookText(told).empty(), !told.Marked());
  }
  EXPECT_EQ(forecast[8].refusal, NameRefusal::LinkToTarget);
  EXPECT_EQ(forecast[10].refusal, NameRefusal::LinkToTarget);
  EXPECT_EQ(forecast[11].refusal, NameRefusal::ControlChars);
  EXPECT_EQ(forecast[14].error, NoTargetFolderError);
  EXPECT_EQ(forecast[19].error, HoldsListedRowsError);
  EXPECT_EQ(forecast[22].error, ENOENT);
  EXPECT_EQ(forecast[23].error, LinkLeavesFolderError);
  EXPECT_EQ(forecast[25].error, EINVAL);
  EXPECT_EQ(forecast[26].error, NoTargetFolderError);
  EXPECT_EQ(forecast[28].refusal, NameRefusal::LinkToTarget);
  EXPECT_EQ(ReadBytes(music_ / "Lead.mp3"), "src");
  EXPECT_EQ(ReadBytes(music_ / "q.mp3"), "p");  // row 21's file, where it went
  // Nothing a link leads to was deleted; the hard link took its twin's name.
  EXPECT_EQ(ReadBytes(music_ / "Song.mp3"), "the song");
  EXPECT_EQ(ReadBytes(music_ / "Tune.mp3"), "real");
  EXPECT_EQ(ReadBytes(music_ / "hardT.mp3"), "twice named");
  EXPECT_FALSE(PathExists(music_ / "Red\x1b[31m.mp3"));
  EXPECT_FALSE(PathExists(work_ / TemporaryName));
  // The closing report tells the rows that could not move, and no other.
  const std::string& report = ui_.refusals.back().text;
  EXPECT_TRUE(Contains(report, music_ / "g.mp3"));
  EXPECT_FALSE(Contains(report, music_ / "kept"));
  EXPECT_FALSE(Contains(report, music_ / "pipe.mp3"));
}

// Over many rows into one folder the forecast reads the folder once; what
// it holds (a folder, files under Japanese names) is still found taken.
TEST_F(PlannedDiskTest, ForecastOverManyRowsOfOneFolderFindsEveryTakenName) {
  ASSERT_EQ(::mkdir((music_ / "曲80.mp3").c_str(), 0700), 0);
  for (int i = 0; i < 100; ++i) {
    const std::string n = std::to_string(i);
    if (i % 10 == 9) WriteBytes(music_ / ("曲" + n + ".mp3"), "taken");
    Add(music_ / ("s" + n + ".mp3"), music_.path() + Cp932("/曲" + n + ".mp3"), "s");
  }
  const std::vector<RowOutlook> forecast = ForecastRename(table_, SystemFileOps());
  for (std::size_t i = 0; i < forecast.size(); ++i)
    EXPECT_EQ(forecast[i].outlook, i == 80       ? Outlook::CannotMove
                                   : i % 10 == 9 ? Outlook::AsksExisting
                                                 : Outlook::Moves)
        << i;
}

}  // namespace
}  // namespace selvane
