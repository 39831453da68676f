#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/history/Journal.h"
#include "core/intake/EntryIntake.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"
#include "core/rename/RenameRun.h"
#include "tests/core/FaultyFileOps.h"
#include "tests/core/FolderTrash.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

std::string SkipText(const std::string& oldName, const std::string& newName) {
  return Cp932("変換前：") + oldName + Cp932("\n変換後：") + newName +
         Cp932("\n\n変換後のファイル名に使用できない文字 ") + std::string(ForbiddenNameChars) +
         Cp932(" が含まれています\n\nタグ情報を編集し直して下さい");
}

std::string SkipText(const std::string& oldName, const std::string& newName, NameRefusal why) {
  return Cp932("変換前：") + oldName + Cp932("\n変換後：") + newName + "\n\n" + RefusalReason(why) +
         Cp932("\n\nタグ情報を編集し直して下さい");
}

std::string OverwriteText(const std::string& path, const std::string& newPath) {
  return Cp932("変換前：") + path + Cp932("\n変換後：") + newPath +
         Cp932("\n\n同名のファイルが既に存在します\n上書きしますか？");
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class RenameRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_ = std::make_unique<CurrentDirectoryGuard>(work_.path());
    ASSERT_TRUE(cwd_->entered());
  }
  void TearDown() override { cwd_.reset(); }

  // An entry for `path` whose new path is `newPath`, as a refresh would
  // have left it; the file gets `bytes` unless they are empty.
  FileEntry& Add(const std::string& path, const std::string& newPath,
                 const std::string& bytes = {}) {
    if (!bytes.empty()) WriteBytes(path, bytes);
    table_.Append(std::make_unique<FileEntry>());
    FileEntry& entry = table_[table_.entryCount - 1];
    CopyField(entry.path, path);
    CopyField(entry.newPath, newPath);
    return entry;
  }

  void Run(FileOps& ops) { RunRename(table_, ops, ui_); }
  void Run() { Run(SystemFileOps()); }

  // Every file's bytes lie under a path that an entry knows, and the
  // temporary name is gone.
  void ExpectNothingLost(const std::vector<std::string>& contents) {
    for (const std::string& bytes : contents) {
      bool found = false;
      for (int i = 0; i < table_.entryCount && !found; ++i) {
        std::string native;
        found = Cp932PathToNative(table_[i].path, native) && ReadBytes(native) == bytes;
      }
      EXPECT_TRUE(found) << "no entry knows the file holding \"" << bytes << "\"";
    }
    EXPECT_FALSE(PathExists(work_ / TemporaryName));
  }

  const std::string& Finished() {
    static const std::string text = Cp932("リネーム終了");
    return text;
  }

  TempFolder music_;
  TempFolder work_;  // the current directory, where the temporary name lies
  std::unique_ptr<CurrentDirectoryGuard> cwd_;
  EntryTable table_;
  RecordingPrompts ui_;
};

TEST_F(RenameRunTest, MovesEveryFileAndReportsEachPath) {
  const std::string a = music_ / "a.mp3", b = music_ / "b.mp3";
  Add(a, music_ / "Love(Kei).mp3", "aaa");
  Add(b, music_ / "Rain().mp3", "bbb");

  Run();

  EXPECT_EQ(ReadBytes(music_ / "Love(Kei).mp3"), "aaa");
  EXPECT_EQ(ReadBytes(music_ / "Rain().mp3"), "bbb");
  EXPECT_FALSE(PathExists(a));
  EXPECT_STREQ(table_[0].path, table_[0].newPath);
  EXPECT_STREQ(table_[1].path, table_[1].newPath);
  EXPECT_EQ(ui_.statuses, (std::vector<std::string>{a, b, Finished()}));
  EXPECT_TRUE(ui_.refusals.empty());
  EXPECT_TRUE(ui_.questions.empty());
}

// From tags on disk to names on disk, the way the window drives it.
TEST_F(RenameRunTest, NamesFromTagsReachTheDisk) {
  WriteBytes(music_ / "01.mp3", "audio1" + TrailerBytes("Love", "Kei", "", "", "", 0x0D));
  WriteBytes(music_ / "02.mp3",
             "audio2" + TrailerBytes("\x8B\xC8", "", "", "", "", 0x0D));  // title "曲"
  WriteBytes(music_ / "03.mp3", "no tag here");
  const std::string rule = "$T($A).mp3";
  for (const char* name : {"01.mp3", "02.mp3", "03.mp3"})
    ASSERT_EQ(AddEntry(table_, (music_ / name).c_str(), rule, ui_), AddResult::Added);
  ExpandAll(rule, table_);

  Run();

  EXPECT_EQ(ReadBytes(music_ / "Love(Kei).mp3").substr(0, 6), "audio1");
  EXPECT_EQ(ReadBytes(music_ / "曲().mp3").substr(0, 6), "audio2");
  EXPECT_EQ(ReadBytes(music_ / "03.mp3"), "no tag here");  // no tag, no "$F": name kept
  EXPECT_EQ(table_[1].path, music_.path() + "/\x8B\xC8().mp3");
  // The untagged file meets itself; the default answer No leaves it.
  EXPECT_EQ(ui_.questions.size(), 1u);
}

TEST_F(RenameRunTest, EmptyListShowsNothingAndEmptyNewPathIsPassedOver) {
  Run();
  EXPECT_TRUE(ui_.statuses.empty());

  const std::string a = music_ / "a.mp3";
  Add(a, "", "aaa");
  Run();
  EXPECT_EQ(ReadBytes(a), "aaa");
  EXPECT_EQ(ui_.statuses, (std::vector<std::string>{a, Finished()}));
}

TEST_F(RenameRunTest, ForbiddenCharacterSkipsThatFileOnly) {
  // "曲.mp3" (CP932) whose title brings a colon; the names in the message
  // stay CP932 bytes and carry no directory.
  const std::string kyoku = "\x8B\xC8.mp3";
  ASSERT_TRUE(::mkdir((music_ / "d").c_str(), 0700) == 0);
  Add(music_ / "d/" + kyoku, music_ / "d/Love:Me.mp3");
  WriteBytes(music_ / "d/曲.mp3", "colon");
  Add(music_ / "b.mp3", music_ / "B.mp3", "bbb");

  Run();

  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_EQ(ui_.refusals[0].text, SkipText(kyoku, "Love:Me.mp3"));
  EXPECT_EQ(ui_.refusals[0].caption, Cp932("リネーム作業をスキップします"));
  EXPECT_EQ(ReadBytes(music_ / "d/曲.mp3"), "colon");
  EXPECT_EQ(ReadBytes(music_ / "B.mp3"), "bbb");
  EXPECT_EQ(ui_.statuses.back(), Finished());
}

TEST_F(RenameRunTest, SlashLeadsIntoAnExistingSubfolderOnly) {
  ASSERT_EQ(::mkdir((music_ / "AC").c_str(), 0700), 0);
  Add(music_ / "a.mp3", music_ / "AC/DC.mp3", "slash");
  Add(music_ / "b.mp3", music_ / "AC\\DC2.mp3", "backslash");
  Add(music_ / "c.mp3", music_ / "No/Where.mp3", "missing");

  Run();

  EXPECT_EQ(ReadBytes(music_ / "AC/DC.mp3"), "slash");
  EXPECT_EQ(ReadBytes(music_ / "AC/DC2.mp3"), "backslash");
  EXPECT_EQ(ReadBytes(music_ / "c.mp3"), "missing");
  EXPECT_EQ(table_[2].path, music_ / "c.mp3");
  // The one that could not go is told once, with its reason.
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_TRUE(Contains(ui_.refusals[0].text, music_ / "c.mp3"));
  EXPECT_TRUE(Contains(ui_.refusals[0].text, Cp932("変換後の名前が指すフォルダがありません")));
  EXPECT_EQ(ui_.refusals[0].caption, Cp932("リネームできなかったファイルがあります"));
  ExpectNothingLost({"slash", "backslash", "missing"});
}

TEST_F(RenameRunTest, NameLeadingOutOfItsFolderIsRefused) {
  ASSERT_EQ(::mkdir((music_ / "in").c_str(), 0700), 0);
  Add(music_ / "in/a.mp3", music_ / "in/../a.mp3", "up");
  Add(music_ / "in/b.mp3", music_ / "in/x/./b.mp3", "dot");
  Add(music_ / "in/c.mp3", music_ / "in/..\\c.mp3", "backslash");
  Add("d.mp3", "/tmp/d.mp3");  // a bare name made absolute
  Add(music_ / "in/e.mp3", music_ / "in/e..mp3", "dots in a name");

  Run();

  ASSERT_EQ(ui_.refusals.size(), 4u);
  const NameRefusal out = NameRefusal::LeavesFolder;
  EXPECT_EQ(ui_.refusals[0].text, SkipText("a.mp3", "../a.mp3", out));
  EXPECT_EQ(ui_.refusals[1].text, SkipText("b.mp3", "x/./b.mp3", out));
  EXPECT_EQ(ui_.refusals[2].text, SkipText("c.mp3", "..\\c.mp3", out));
  EXPECT_EQ(ui_.refusals[3].text, SkipText("d.mp3", "/tmp/d.mp3", out));
  EXPECT_NE(RefusalReason(out), RefusalReason(NameRefusal::ForbiddenChars));
  EXPECT_EQ(ReadBytes(music_ / "in/a.mp3"), "up");
  EXPECT_EQ(ReadBytes(music_ / "in/e..mp3"), "dots in a name");
  EXPECT_FALSE(PathExists(music_ / "a.mp3"));
}

// Each refusal is decided on the whole new name, before anything moves.
TEST(CheckNewName, RefusesWhatWouldHideLoseOrMisnameTheFile) {
  const std::string deep = "/" + std::string(240, 'd') + "/";
  const struct {
    const char* label;
    std::string path, newPath;
    NameRefusal expected;
  } cases[] = {
      {"plain", "/m/a.mp3", "/m/Love(Kei).mp3", NameRefusal::None},
      {"subfolder", "/m/a.mp3", "/m/AC/DC.mp3", NameRefusal::None},
      {"empty title", "/m/a.mp3", "/m/.mp3", NameRefusal::Hidden},
      {"hidden folder", "/m/a.mp3", "/m/.x/a.mp3", NameRefusal::Hidden},
      {"already hidden", "/m/.a.mp3", "/m/.b.mp3", NameRefusal::None},
      {"hidden, into a hidden folder", "/m/.a.mp3", "/m/.x/.a.mp3", NameRefusal::Hidden},
      {"dot dot", "/m/a.mp3", "/m/../a.mp3", NameRefusal::LeavesFolder},
      {"forbidden past byte 260", deep + "a.mp3", deep + "Love*.mp3", NameRefusal::ForbiddenChars},
      {"Latin-1 title", "/m/a.mp3", "/m/Caf\xE9 Bar.mp3", NameRefusal::NoFileName},
      {"trail byte 0x5C", "/m/a.mp3", "/m/\x83\x5C.mp3", NameRefusal::None},
      {"newline", "/m/a.mp3", "/m/a\nb.mp3", NameRefusal::ControlChars},
      {"tab in a new folder", "/m/a.mp3", "/m/x\ty/a.mp3", NameRefusal::ControlChars},
      {"DEL", "/m/a.mp3", "/m/a\x7F.mp3", NameRefusal::ControlChars},
      {"ends in a separator", "/m/a.mp3", "/m/sub/", NameRefusal::EmptyName},
      {"empty title, no extension", "/m/a.mp3", "/m/", NameRefusal::EmptyName},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckNewName(c.path, c.newPath), c.expected) << c.label;
}

TEST_F(RenameRunTest, HiddenOrUnnameableNewNameIsRefusedWithItsOwnReason) {
  Add(music_ / "a.mp3", music_ / ".mp3", "empty title");
  Add(music_ / "b.mp3", music_ / "Caf\xE9 Bar.mp3", "latin-1");

  Run();

  ASSERT_EQ(ui_.refusals.size(), 2u);
  EXPECT_EQ(ui_.refusals[0].text, SkipText("a.mp3", ".mp3", NameRefusal::Hidden));
  EXPECT_EQ(ui_.refusals[1].text, SkipText("b.mp3", "Caf\xE9 Bar.mp3", NameRefusal::NoFileName));
  EXPECT_EQ(ui_.refusals[1].caption, Cp932("リネーム作業をスキップします"));
  EXPECT_EQ(ReadBytes(music_ / "a.mp3"), "empty title");
  EXPECT_EQ(ReadBytes(music_ / "b.mp3"), "latin-1");
}

// Only a regular file of the new name is asked about; a folder or a pipe
// there brings no question, no wait, and a reason after the run.
TEST_F(RenameRunTest, FolderOrPipeInTheWayIsToldNotAsked) {
  ASSERT_EQ(::mkdir((music_ / "Folder.mp3").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo((music_ / "Pipe.mp3").c_str(), 0600), 0);
  Add(music_ / "a.mp3", music_ / "Folder.mp3", "aaa");
  Add(music_ / "b.mp3", music_ / "Pipe.mp3", "bbb");
  ui_.unscriptedAnswer = true;

  Run();

  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_EQ(ReadBytes(music_ / "a.mp3"), "aaa");
  EXPECT_EQ(ReadBytes(music_ / "b.mp3"), "bbb");
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_TRUE(Contains(ui_.refusals[0].text, Cp932("変換後の名前のフォルダが既にあります")));
  EXPECT_TRUE(Contains(ui_.refusals[0].text, Cp932("通常のファイルではないもの")));
}

// Row 1 replaces B.mp3; row 2's own file was B.mp3, so it has none left:
// it is skipped and keeps naming B.mp3, where row 1's file now lies.
TEST_F(RenameRunTest, FileReplacedEarlierInTheRunIsNotCarriedOn) {
  const std::string a = music_ / "A.mp3", b = music_ / "B.mp3", c = music_ / "C.mp3";
  Add(a, b, "audio of A");
  Add(b, c, "audio of B");
  ui_.answers = {true};

  Run();

  EXPECT_EQ(ReadBytes(b), "audio of A");
  EXPECT_FALSE(PathExists(c));
  EXPECT_EQ(table_[0].path, b);
  EXPECT_EQ(table_[1].path, b);
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_TRUE(Contains(ui_.refusals[0].text, b + Cp932("\n  → ") + c));
  EXPECT_TRUE(Contains(ui_.refusals[0].text, Cp932("前の行のファイルに上書きされたため")));
}

// The forecast and the run take each row's fate from one decision: over a
// table of odd rows the marks told before the run are what the run does
// when every question is answered Yes. The forecast changes nothing.
TEST_F(RenameRunTest, ForecastAndRunAgreeRowByRow) {
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
TEST_F(RenameRunTest, ForecastOverManyRowsOfOneFolderFindsEveryTakenName) {
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

// A link refused for its target, and a control character, are told in the
// skip box with their own reasons; the control character shows as ^[.
TEST_F(RenameRunTest, LinkToItsNewNameAndControlCharactersAreRefusedInTheSkipBox) {
  WriteBytes(music_ / "Song.mp3", "the song");
  ASSERT_EQ(::symlink("Song.mp3", (music_ / "x.mp3").c_str()), 0);
  Add(music_ / "x.mp3", music_ / "Song.mp3");
  Add(music_ / "c.mp3", music_ / "Red\x1b[31m\n.mp3", "c");
  ui_.unscriptedAnswer = true;

  Run();

  ASSERT_EQ(ui_.refusals.size(), 2u);
  EXPECT_EQ(ui_.refusals[0].text, SkipText("x.mp3", "Song.mp3", NameRefusal::LinkToTarget));
  EXPECT_EQ(ui_.refusals[1].text, SkipText("c.mp3", "Red^[[31m^J.mp3", NameRefusal::ControlChars));
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_EQ(ReadBytes(music_ / "Song.mp3"), "the song");
}

TEST_F(RenameRunTest, SameNewNameAsksAndYesReplacesTheFirst) {
  const std::string same = music_ / "Same.mp3";
  const std::string b = music_ / "b.mp3";
  Add(music_ / "a.mp3", same, "first");
  Add(b, same, "second");
  ui_.answers = {true};

  Run();

  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0].text, OverwriteText(b, same));
  EXPECT_EQ(ui_.questions[0].caption, Cp932("上書き確認"));
  EXPECT_EQ(ReadBytes(same), "second");
  EXPECT_STREQ(table_[0].path, same.c_str());
  EXPECT_STREQ(table_[1].path, same.c_str());
  EXPECT_FALSE(PathExists(b));
  EXPECT_FALSE(PathExists(work_ / TemporaryName));
  EXPECT_TRUE(ui_.refusals.empty());
}

TEST_F(RenameRunTest, NoToTheQuestionLeavesBothFiles) {
  const std::string same = music_ / "Same.mp3";
  Add(music_ / "a.mp3", same, "first");
  Add(music_ / "b.mp3", same, "second");
  ui_.answers = {false};

  Run();

  EXPECT_EQ(ReadBytes(same), "first");
  EXPECT_EQ(ReadBytes(music_ / "b.mp3"), "second");
  ExpectNothingLost({"first", "second"});
}

TEST_F(RenameRunTest, SecondRunAsksOncePerFileAndLeavesEveryFileInPlace) {
  Add(music_ / "a.mp3", music_ / "A.mp3", "aaa");
  Add(music_ / "b.mp3", music_ / "B.mp3", "bbb");
  Run();
  ASSERT_TRUE(ui_.questions.empty());

  ui_ = RecordingPrompts{};
  ui_.answers = {true, false};
  Run();

  ASSERT_EQ(ui_.questions.size(), 2u);
  EXPECT_EQ(ui_.questions[0].text, OverwriteText(music_ / "A.mp3", music_ / "A.mp3"));
  EXPECT_EQ(ReadBytes(music_ / "A.mp3"), "aaa");
  EXPECT_EQ(ReadBytes(music_ / "B.mp3"), "bbb");
  EXPECT_TRUE(ui_.refusals.empty());
  ExpectNothingLost({"aaa", "bbb"});
}

// --- Failing steps: no file lost, nothing left under the temporary name.

TEST_F(RenameRunTest, UnwritableCurrentDirectoryOrMissingSourceDeletesNothing) {
  FaultyFileOps ops;
  ops.FailWhen(
      FileOp::Move, [](const std::string&, const std::string& to) { return to == TemporaryName; },
      EACCES, 1);
  Add(music_ / "a.mp3", music_ / "T.mp3", "mine");
  WriteBytes(music_ / "T.mp3", "target");
  // Listed, but gone from the disk before the run.
  Add(music_ / "gone.mp3", music_ / "U.mp3");
  WriteBytes(music_ / "U.mp3", "other target");
  ui_.answers = {true, true};

  Run(ops);

  EXPECT_EQ(ops.Calls(FileOp::Delete), 0);
  EXPECT_EQ(ReadBytes(music_ / "a.mp3"), "mine");
  EXPECT_EQ(ReadBytes(music_ / "T.mp3"), "target");
  EXPECT_EQ(ReadBytes(music_ / "U.mp3"), "other target");
  EXPECT_EQ(table_[1].path, music_ / "gone.mp3");
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_TRUE(Contains(ui_.refusals[0].text, std::strerror(EACCES)));
  EXPECT_TRUE(Contains(ui_.refusals[0].text, Cp932("ファイルが見つかりません")));
  EXPECT_EQ(ui_.questions.size(), 1u);  // a file that is gone is not asked about
  ExpectNothingLost({"mine"});
}

// Matches a move away from the temporary name.
bool FromTemporary(const std::string& from, const std::string&) { return from == TemporaryName; }

// One step of the road to "T.mp3" fails: the file is back under its own
// name, the target as it was (unless the user agreed to lose it), the
// temporary name as it was, and the failure told once.
struct StepFault {
  const char* name;
  void (*arrange)(FaultyFileOps& ops, const std::string& target);
  const char* targetBefore;     // nullptr: no file there at the start
  const char* targetAfter;      // nullptr: not checked
  const char* temporaryBefore;  // someone's file under the temporary name
  std::string told;             // part of the refusal
};

// Names the case in test listings.
void PrintTo(const StepFault& c, std::ostream* out) { *out << c.name; }

// Keeps what a run writes down: the files it is about to replace, and the
// rows' outcomes at its end.
class RecordingJournal final : public RenameJournal {
 public:
  RecordResult BeginRename(std::span<const RenamePlanRow>, std::string_view) override {
    return {true, {}, {}};
  }
  void RecordReplacing(std::size_t, const char*, const FileStatus&) override { ++replacing; }
  RecordResult FinishRename(std::span<const RenamePlanRow>,
                            std::span<const RenameRowResult> results, FileOps&) override {
    for (const RenameRowResult& result : results) outcomes.push_back(result.outcome);
    return {true, {}, {}};
  }

  int replacing = 0;
  std::vector<RowOutcome> outcomes;
};

class RenameStepFaultTest : public RenameRunTest,
                            public ::testing::WithParamInterface<StepFault> {};

TEST_P(RenameStepFaultTest, FileStaysUnderItsOwnNameAndTheFailureIsTold) {
  const StepFault& c = GetParam();
  const std::string a = music_ / "a.mp3", target = music_ / "T.mp3",
                    temporary = work_ / TemporaryName;
  FaultyFileOps ops;
  if (c.arrange != nullptr) c.arrange(ops, target);
  if (c.targetBefore != nullptr) WriteBytes(target, c.targetBefore);
  if (c.temporaryBefore != nullptr) WriteBytes(temporary, c.temporaryBefore);
  Add(a, target, "mine");
  ui_.answers = {true};
  RecordingJournal journal;
  RunServices services;
  services.history = &journal;

  RunRename(table_, ops, ui_, services);

  EXPECT_EQ(ReadBytes(a), "mine");
  EXPECT_EQ(table_[0].path, a);
  // Written down as not moved, so that undo does not take it "back".
  EXPECT_EQ(journal.outcomes, std::vector<RowOutcome>{RowOutcome::Failed});
  // The agreed target is written down before anything touches it.
  EXPECT_EQ(journal.replacing, c.targetBefore != nullptr ? 1 : 0);
  if (c.targetAfter != nullptr) {
    EXPECT_EQ(ReadBytes(target), c.targetAfter);
  }
  EXPECT_EQ(ReadBytes(temporary), c.temporaryBefore ? c.temporaryBefore : "<missing>");
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_TRUE(Contains(ui_.refusals[0].text, c.told)) << ui_.refusals[0].text;
  EXPECT_EQ(ui_.statuses.back(), Finished());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RenameStepFaultTest,
    ::testing::Values(
        // A taken temporary name stops the run before any delete.
        StepFault{"TakenTemporaryName", nullptr, "target", "target", "someone's file",
                  std::strerror(EEXIST)},
        StepFault{
            "FailedDelete",
            [](FaultyFileOps& ops, const std::string&) { ops.FailCall(FileOp::Delete, 1, EACCES); },
            "target", "target", nullptr, Cp932("上書きするファイルを削除できません：")},
        StepFault{"FailedLastMove",
                  [](FaultyFileOps& ops, const std::string&) {
                    ops.FailWhen(FileOp::Move, FromTemporary, EIO, 1);
                  },
                  "agreed to replace", nullptr, nullptr, std::strerror(EIO)},
        // Nothing in the way, yet the move is refused (rights).
        StepFault{"FailedMove",
                  [](FaultyFileOps& ops, const std::string& target) {
                    ops.FailWhen(
                        FileOp::Move,
                        [target](const std::string&, const std::string& to) {
                          return to == target;
                        },
                        EACCES);
                  },
                  nullptr, nullptr, nullptr, std::strerror(EACCES)}),
    [](const ::testing::TestParamInfo<StepFault>& step) { return step.param.name; });

// A file that takes the new name just before the move is never replaced
// unasked: the move, which never replaces, finds it, and the user is asked
// about that very file.
TEST_F(RenameRunTest, TargetAppearingBeforeTheMoveIsAskedAbout) {
  FaultyFileOps ops;
  const std::string a = music_ / "a.mp3", target = music_ / "T.mp3";
  ops.BeforeCall(FileOp::Move, 1,
                 [&](const std::string&, const std::string&) { WriteBytes(target, "intruder"); });
  Add(a, target, "mine");
  ui_.answers = {false};

  Run(ops);

  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0].text, OverwriteText(a, target));
  EXPECT_EQ(ReadBytes(a), "mine");
  EXPECT_EQ(ReadBytes(target), "intruder");
}

// Replaced after all: the agreed file comes back out of the trash when the
// last move fails, rather than the user losing it for nothing.
TEST_F(RenameRunTest, AgreedFileLeavesTheTrashWhenTheLastMoveFails) {
  TempFolder trashFolder;
  FolderTrash trash(trashFolder.path());
  FaultyFileOps ops;
  ops.FailWhen(FileOp::Move, FromTemporary, EIO, 1);
  const std::string a = music_ / "a.mp3", target = music_ / "T.mp3";
  Add(a, target, "mine");
  WriteBytes(target, "agreed to replace");
  ui_.answers = {true};
  RunServices services;
  services.trash = &trash;

  RunRename(table_, ops, ui_, services);

  EXPECT_EQ(ReadBytes(a), "mine");
  EXPECT_EQ(ReadBytes(target), "agreed to replace");
}

// The file of the new name goes away by itself after the question (another
// program, or the file itself under another spelling): the move still ends.
TEST_F(RenameRunTest, TargetGoneBeforeItsDeleteIsNoFailure) {
  FaultyFileOps ops;
  const std::string target = music_ / "T.mp3";
  WriteBytes(target, "agreed to replace");
  ops.BeforeCall(FileOp::Delete, 1,
                 [&](const std::string&, const std::string&) { ::unlink(target.c_str()); });
  Add(music_ / "a.mp3", target, "mine");
  ui_.answers = {true};

  Run(ops);

  EXPECT_EQ(ReadBytes(target), "mine");
  EXPECT_TRUE(ui_.refusals.empty());
  ExpectNothingLost({"mine"});
}

// Another program removes a listed file and an earlier row moves into its
// name: the file there now is that row's, and is not moved on.
TEST_F(RenameRunTest, NameAnEarlierRowMovedIntoIsNotMovedOn) {
  FaultyFileOps ops;
  const std::string x = music_ / "x.mp3", y = music_ / "y.mp3", z = music_ / "z.mp3";
  Add(x, y, "x's");
  Add(y, z, "y's");
  ops.BeforeCall(FileOp::Move, 1,
                 [&](const std::string&, const std::string&) { ::unlink(y.c_str()); });

  Run(ops);

  EXPECT_EQ(ReadBytes(y), "x's");
  EXPECT_FALSE(PathExists(z));
  EXPECT_EQ(table_[0].path, y);
}

TEST_F(RenameRunTest, OldNameTakenMeanwhileSendsTheFileToItsNewName) {
  FaultyFileOps ops;
  const std::string a = music_ / "a.mp3";
  ops.FailWhen(FileOp::Move, FromTemporary, EIO, 1);
  // While the file is away, another one takes its old name.
  ops.BeforeCall(FileOp::Delete, 1,
                 [&](const std::string&, const std::string&) { WriteBytes(a, "intruder"); });
  Add(a, music_ / "T.mp3", "mine");
  WriteBytes(music_ / "T.mp3", "agreed to replace");
  ui_.answers = {true};

  Run(ops);

  EXPECT_EQ(ReadBytes(music_ / "T.mp3"), "mine");
  EXPECT_EQ(ReadBytes(a), "intruder");
  EXPECT_EQ(table_[0].path, music_ / "T.mp3");
  ExpectNothingLost({"mine"});
}

TEST_F(RenameRunTest, FileThatCannotLeaveTheTemporaryNameIsNamedWhereItIs) {
  FaultyFileOps ops;
  ops.FailWhen(FileOp::Move, FromTemporary, EIO);
  Add(music_ / "a.mp3", music_ / "T.mp3", "mine");
  WriteBytes(music_ / "T.mp3", "agreed to replace");
  ui_.answers = {true};

  Run(ops);

  const std::string stuck = work_ / TemporaryName;
  EXPECT_EQ(table_[0].path, stuck);
  EXPECT_EQ(ReadBytes(stuck), "mine");
  ASSERT_EQ(ui_.refusals.size(), 1u);
  EXPECT_TRUE(Contains(ui_.refusals[0].text, Cp932("現在の場所：") + stuck));
}

TEST_F(RenameRunTest, LongFailureListShowsTwentyAndCountsTheRest) {
  for (int i = 0; i < 25; ++i)
    Add(music_ / ("f" + std::to_string(i) + ".mp3"), music_ / ("none/" + std::to_string(i)), "x");

  Run();

  ASSERT_EQ(ui_.refusals.size(), 1u);
  const std::string& text = ui_.refusals[0].text;
  EXPECT_TRUE(Contains(text, music_ / "f19.mp3"));
  EXPECT_FALSE(Contains(text, music_ / "f20.mp3"));
  EXPECT_TRUE(Contains(text, Cp932("ほか 5 件")));
  EXPECT_EQ(ui_.statuses.back(), Finished());
}

TEST_F(RenameRunTest, ReplaceThroughTemporaryNameOnAnotherFileSystem) {
  TempFolder shm("/dev/shm");
  if (SameFileSystem(music_.path(), shm.path()))
    GTEST_SKIP() << "/dev/shm is on the same file system here";
  CurrentDirectoryGuard inShm(shm.path());
  ASSERT_TRUE(inShm.entered());
  const std::string same = music_ / "Same.mp3";
  Add(music_ / "a.mp3", same, "first");
  Add(music_ / "b.mp3", same, std::string(200000, 's'));
  ui_.answers = {true};

  Run();

  EXPECT_EQ(ReadBytes(same), std::string(200000, 's'));
  EXPECT_STREQ(table_[1].path, same.c_str());
  EXPECT_FALSE(PathExists(shm / TemporaryName));
  EXPECT_TRUE(ui_.refusals.empty());
}

}  // namespace
}  // namespace selvane
