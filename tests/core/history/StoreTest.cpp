// The history's store: it tells when a batch to take back appears and goes,
// keeps the newest hundred batches whole, brings an older layout up to date,
// and a garbled, held or newer store is put aside or kept, and said so.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <functional>
#include <thread>

#include "core/history/StoreLayout.h"
#include "tests/core/history/HistoryFixtures.h"

namespace selvane {
namespace {

class StoreTest : public HistoryFixture {};
class StoreFileTest : public UndoFixture {};

// The window enables 元に戻す from what the history tells: a batch that can
// be taken back is told as it appears, and gone once the last is undone; a
// change that was not made tells nothing.
TEST_F(StoreTest, TellsWhenABatchToTakeBackAppearsAndGoes) {
  const std::string song = music_.Write("song.mp3", Audio);
  History history;
  std::vector<bool> told;
  history.store().OnUndoableChanged([&told](bool undoable) { told.push_back(undoable); });
  FileEntry entry{};
  CopyField(entry.path, song);
  ASSERT_TRUE(WriteTagRecorded(entry, Titled("New"), ops_, history, ui_));
  EXPECT_EQ(told, std::vector<bool>{true});
  Undo(history);
  EXPECT_EQ(told, (std::vector<bool>{true, false}));

  TagChangePlan plan;
  ASSERT_TRUE(PlanTagUpdate(song.c_str(), Titled("T"), ops_, plan));
  ASSERT_TRUE(history.BeginTagChange(plan).recorded);
  history.FinishTagChange(false);
  EXPECT_EQ(told, (std::vector<bool>{true, false}));
}

// Whatever is wrong with the store, undo says so, puts the store aside
// under another name and changes nothing on disk; recording then starts a
// new store.
TEST_F(StoreTest, AGarbledStoreIsPutAsideAndNothingOnDiskChanges) {
  const std::string song = music_.Write("song.mp3", "SONG");
  const struct {
    const char* name;
    std::function<void(const std::string& store)> garble;
  } cases[] = {
      {"random bytes", [](const std::string& store) { WriteBytes(store, std::string(5000, 'x')); }},
      {"another program's database",
       [](const std::string& store) {
         sql::Database db;
         ASSERT_TRUE(db.Open(store));
         ASSERT_TRUE(db.Execute("CREATE TABLE songs(title TEXT)"));
       }},
      {"a page overwritten",
       [this](const std::string& store) {
         RecordOneRename();
         std::string bytes = ReadBytes(store);
         ASSERT_GT(bytes.size(), 8192u);
         bytes.replace(4096, 4096, std::string(4096, '\x5a'));
         WriteBytes(store, bytes);
       }},
      {"a page no query of ours reads",
       [this](const std::string& store) {
         RecordOneRename();
         sql::Database db;
         ASSERT_TRUE(db.Open(store));
         ASSERT_TRUE(
             db.Execute("CREATE TABLE spare(x); INSERT INTO spare VALUES(zeroblob(20000))"));
         db.Close();
         std::string bytes = ReadBytes(store);
         bytes.replace(bytes.size() - 4096, 4096, std::string(4096, '\x5a'));
         WriteBytes(store, bytes);
       }},
      // A pipe is no log, beside a store that is sound otherwise.
      {"a pipe in the log's place",
       [this](const std::string& store) {
         RecordOneRename();
         ASSERT_EQ(::mkfifo((store + "-wal").c_str(), 0600), 0);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(state_ / "selvane");
    std::filesystem::create_directories(state_ / "selvane");
    c.garble(Store());
    const std::string garbled = ReadBytes(Store());

    History history;
    ui_ = RecordingPrompts{};
    EXPECT_FALSE(RunUndo(history.store(), ops_, trash_, ui_).undone);
    EXPECT_TRUE(ui_.questions.empty());
    ASSERT_EQ(ui_.refusals.size(), 1u);
    const std::string& message = ui_.refusals[0].text;
    EXPECT_TRUE(Contains(message, "操作の履歴を読み取れない")) << message;
    EXPECT_FALSE(PathExists(Store()));
    std::vector<std::string> asides;
    for (const std::string& name : Listing(state_ / "selvane"))
      if (name.find("-wal") == std::string::npos && name.find("-shm") == std::string::npos)
        asides.push_back(name);
    ASSERT_EQ(asides.size(), 1u);
    EXPECT_NE(message.find(asides[0]), std::string::npos) << "says where it lies";
    EXPECT_EQ(ReadBytes(state_ / ("selvane/" + asides[0])), garbled);
    EXPECT_EQ(ReadBytes(song), "SONG");

    // A new store, and the next record goes into it without a word.
    TagChangePlan plan;
    ASSERT_TRUE(PlanTagUpdate(song.c_str(), Titled("T"), ops_, plan));
    const RecordResult recorded = history.BeginTagChange(plan);
    EXPECT_TRUE(recorded.recorded);
    EXPECT_TRUE(recorded.notice.empty());
    history.FinishTagChange(true);
    EXPECT_TRUE(history.store().MayUndo());
  }

  // Recording meets a garbled store: put aside, a new one, told once.
  {
    History history;
    WriteBytes(Store(), std::string(5000, 'y'));
    TagChangePlan plan;
    ASSERT_TRUE(PlanTagUpdate(song.c_str(), Titled("T"), ops_, plan));
    const RecordResult recorded = history.BeginTagChange(plan);
    EXPECT_TRUE(recorded.recorded);
    EXPECT_TRUE(Contains(recorded.notice, "新しい履歴を始めました")) << recorded.notice;
    history.FinishTagChange(true);
  }
  History reopened;
  EXPECT_TRUE(reopened.store().MayUndo());
  EXPECT_EQ(UndoHistory(reopened.store()).OfferUndo().state, UndoOffer::State::Ready);

  // Garbled while open in this window and in another that wrote to it since:
  // this window's next record finds it so, and does the same.
  History here, there;
  ASSERT_TRUE(here.store().MayUndo());
  ASSERT_TRUE(there.store().MayUndo());
  std::string bytes = ReadBytes(Store());
  bytes.replace(0, 16, std::string(16, 'y'));
  WriteBytes(Store(), bytes);
  TagChangePlan plan;
  ASSERT_TRUE(PlanTagUpdate(song.c_str(), Titled("T"), ops_, plan));
  ASSERT_TRUE(there.BeginTagChange(plan).recorded);
  there.FinishTagChange(false);
  const RecordResult recorded = here.BeginTagChange(plan);
  EXPECT_TRUE(recorded.recorded) << recorded.error;
  EXPECT_TRUE(Contains(recorded.notice, "新しい履歴を始めました")) << recorded.notice;
}

// A prompt that, as the first row starts, lets another program hold the
// history, so that the run's outcome cannot be written.
class LockingPrompts : public RecordingPrompts {
 public:
  explicit LockingPrompts(std::string store) : store_(std::move(store)) {}
  void SetStatus(std::string_view text) override {
    if (!holder_.isOpen() && holder_.Open(store_).ok())
      locked_ = holder_.Execute("BEGIN EXCLUSIVE").ok();
    RecordingPrompts::SetStatus(text);
  }
  bool locked_ = false;

 private:
  std::string store_;
  sql::Database holder_;
};

TEST_F(StoreFileTest, TheHistoryTellsWhatItCouldNotWriteAndKeepsANewerStore) {
  const std::string a = music_.Write("a.mp3", "A");
  History history;
  {
    LockingPrompts locking(Store());
    Rename(history, {{a, music_ / "b.mp3"}}, locking);
    ASSERT_TRUE(locking.locked_);
    ASSERT_EQ(locking.refusals.size(), 1u);
    EXPECT_TRUE(Contains(locking.refusals[0].text, "記録できませんでした"));
  }

  struct stat st {};
  for (const char* suffix : {"", "-wal", "-shm"}) {
    ASSERT_EQ(::stat((Store() + suffix).c_str(), &st), 0) << suffix;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << suffix;
  }
  ASSERT_EQ(::stat((state_ / "selvane").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  Execute("PRAGMA user_version=99");
  History newer;
  RecordingPrompts asked;
  asked.answers.push_back(false);
  Rename(newer, {{music_ / "b.mp3", music_ / "c.mp3"}}, asked);
  ASSERT_EQ(asked.questions.size(), 1u);
  EXPECT_TRUE(Contains(asked.questions[0].text, "新しい版"));
  EXPECT_TRUE(PathExists(music_ / "b.mp3"));
  for (const auto& item : std::filesystem::directory_iterator(state_ / "selvane"))
    EXPECT_EQ(item.path().string().find(".broken"), std::string::npos) << item.path();
}

// Another program holding the store, or a moment without memory, is no
// sign of a garbled store: undo and recording say why they cannot go on
// and keep it as it is. A hold of a moment is waited out.
TEST_F(StoreFileTest, AStoreHeldOrShortOfMemoryIsKeptAsItIs) {
  {
    History history;
    RecordingPrompts run;
    Rename(history, {{music_.Write("a.mp3", "A"), music_ / "b.mp3"}}, run);
  }
  const auto keptAsItIs = [this] {
    EXPECT_TRUE(PathExists(Store()));
    for (const auto& item : std::filesystem::directory_iterator(state_ / "selvane"))
      EXPECT_EQ(item.path().string().find(".broken"), std::string::npos) << item.path();
  };
  // As a backup tool holds it: nobody else may even read it meanwhile.
  const auto holdWhole = [this](sql::Database& holder) {
    ASSERT_TRUE(holder.Open(Store()));
    ASSERT_TRUE(holder.Execute("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE"));
  };
  {
    SCOPED_TRACE("held as undo opens it");
    sql::Database holder;
    holdWhole(holder);
    History later;
    const UndoOffer offer = UndoHistory(later.store()).OfferUndo();
    EXPECT_EQ(offer.state, UndoOffer::State::Unreadable);
    EXPECT_TRUE(Contains(offer.message, "ほかのプログラムが使っています")) << offer.message;
    keptAsItIs();
  }
  {
    SCOPED_TRACE("held for a moment");
    sql::Database holder;
    holdWhole(holder);
    std::thread release([&holder] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      holder.Close();
    });
    History later;
    EXPECT_EQ(UndoHistory(later.store()).OfferUndo().state, UndoOffer::State::Ready);
    release.join();
  }
  {
    SCOPED_TRACE("held as a record is written");
    History history;
    sql::Database holder;
    ASSERT_TRUE(holder.Open(Store()));
    ASSERT_TRUE(holder.Execute("BEGIN IMMEDIATE"));
    const RecordResult recorded =
        history.BeginRename(Plan({{music_ / "b.mp3", music_ / "c.mp3"}}), TemporaryName);
    EXPECT_FALSE(recorded.recorded);
    EXPECT_TRUE(Contains(recorded.error, "ほかのプログラムが使っています")) << recorded.error;
    keptAsItIs();
  }
  {
    SCOPED_TRACE("out of memory as undo reads it");
    History history;
    EXPECT_TRUE(history.store().MayUndo());  // open, and read once
    ::sqlite3_hard_heap_limit64(1);
    const UndoOffer offer = UndoHistory(history.store()).OfferUndo();
    ::sqlite3_hard_heap_limit64(0);
    EXPECT_EQ(offer.state, UndoOffer::State::Unreadable);
    keptAsItIs();
  }
}

// Only the newest 100 batches are kept, each whole: the one recorded past
// them takes the place of the oldest.
TEST_F(StoreFileTest, TheNewestHundredBatchesAreKeptWhole) {
  const std::string a = music_.Write("a.mp3", "A");
  History history;
  ASSERT_TRUE(history.BeginRename(Plan({{a, music_ / "b.mp3"}}), TemporaryName).recorded);
  const std::string copies =
      "WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i < 100) ";
  Execute(copies +
          "INSERT INTO batch(id, kind, made, state, files) "
          "SELECT i, kind, made, state, files FROM n, batch WHERE id = 1");
  Execute(copies +
          "INSERT INTO step(batch, seq, path, new_path, dev, ino, length) "
          "SELECT i, seq, path, new_path, dev, ino, length FROM n, step WHERE batch = 1");
  ASSERT_TRUE(history.BeginRename(Plan({{a, music_ / "c.mp3"}}), TemporaryName).recorded);

  sql::Database db;
  ASSERT_TRUE(db.Open(Store()));
  sql::Statement query;
  bool row = false;
  ASSERT_TRUE(query.Prepare(db,
                            "SELECT count(*), min(id), max(id), "
                            "(SELECT count(DISTINCT batch) FROM step) FROM batch"));
  ASSERT_TRUE(query.Step(row));
  ASSERT_TRUE(row);
  EXPECT_EQ(query.Integer(0), 100);
  EXPECT_EQ(query.Integer(1), 2);
  EXPECT_EQ(query.Integer(2), 101);
  EXPECT_EQ(query.Integer(3), 100) << "each kept batch keeps its step";
}

// A history kept by the program before: brought up to date, its batch
// still comes back.
TEST_F(StoreFileTest, AStoreOfTheFirstLayoutIsBroughtUpToDate) {
  const std::string a = music_ / "a.mp3", b = music_.Write("b.mp3", "A");
  const FileStatus moved = NativeStatus(b);
  std::filesystem::create_directories(state_ / "selvane");
  Execute(std::string(layout::Schema) + "PRAGMA user_version=1;" +
          "INSERT INTO batch VALUES(1, 1, 0, NULL, 1, 1);" +
          "INSERT INTO step(batch, seq, path, new_path, dev, ino, length, outcome, placed_dev, "
          "placed_ino) VALUES(1, 0, '" +
          a + "', '" + b + "', " + std::to_string(static_cast<std::int64_t>(moved.device)) + ", " +
          std::to_string(moved.inode) + ", 1, 1, " +
          std::to_string(static_cast<std::int64_t>(moved.device)) + ", " +
          std::to_string(moved.inode) + ")");
  History history;
  EXPECT_TRUE(Undo(history).undone);
  EXPECT_TRUE(ui_.refusals.empty()) << ui_.refusals[0].text;
  EXPECT_EQ(ReadBytes(a), "A");
  EXPECT_FALSE(history.store().MayUndo());
}

}  // namespace
}  // namespace selvane
