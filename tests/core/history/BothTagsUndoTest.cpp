// A tag update that writes the ID3v2 tag with the trailer, on real files of
// every tag form: what two readers see afterwards, and undo byte for byte.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/history/History.h"
#include "core/history/RecordedTags.h"
#include "core/history/Undo.h"
#include "core/history/UndoTagHead.h"
#include "core/platform/Cp932.h"
#include "core/tags/Id3v2Read.h"
#include "tests/core/FolderTrash.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

const std::string Forms = std::string(SELVANE_FIXTURES) + "/id3v2/splice_forms.py";
constexpr std::array<const char*, 6> Keys = {"title", "artist",  "album",
                                             "year",  "comment", "genre"};
using Values = std::array<const char*, 6>;  // UTF-8; nullptr: not changed

std::string Shell(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  char buffer[4096];
  for (std::size_t n; pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, n);
  return pipe != nullptr && ::pclose(pipe) == 0 ? out : out + "<failed>";
}

using Seen = std::map<std::string, std::multimap<std::string, std::string>>;

// "file<TAB>reader" -> key -> value, as mutagen and eyeD3 read the folder
// (a file without ID3v2 tag has no lines).
Seen ReadBack(const std::string& dir) {
  Seen seen;
  const std::string out = Shell("/usr/bin/python3 " + Forms + " dump " + dir);
  for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = out.substr(at, end - at);
    const std::size_t reader = line.find('\t'), key = line.find('\t', reader + 1),
                      value = line.find('\t', key + 1);
    seen[line.substr(0, key)].emplace(line.substr(key + 1, value - key - 1),
                                      line.substr(value + 1));
  }
  return seen;
}

struct Written {
  FileEntry entry{};
  FileResult result;
  Id3v2Refusal refusal = Id3v2Refusal::None;
};

Written Update(const std::string& path, const Values& values, History& history,
               FileOps& ops = SystemFileOps()) {
  Written w;
  CopyField(w.entry.path, path);
  std::array<std::string, 6> cp932;
  Id3v2Changes changes;
  std::optional<std::string>* fields[] = {&changes.title, &changes.artist,  &changes.album,
                                          &changes.year,  &changes.comment, &changes.genre};
  for (std::size_t i = 0; i < values.size(); ++i)
    if (values[i] != nullptr) *fields[i] = cp932[i] = Cp932(values[i]);
  const Trailer trailer = BuildTrailer({cp932[0], cp932[1], cp932[2], cp932[3], cp932[4], -1}, 0);
  RecordingPrompts ui;
  w.result = WriteBothTagsRecorded(w.entry, trailer, changes, ops, history, ui, w.refusal);
  return w;
}

struct Row {
  const char* form;
  Values values;
  bool trailer;  // the file ends in a trailer before
  bool grows;
};

const Row Rows[] = {
    {"v22.mp3", {"新しい題名", "", nullptr, nullptr, "コメント", "Rock"}, true, false},
    {"v23-utf16.mp3", {"題名", nullptr, nullptr, "2024", "新しいコメント", nullptr}, false, false},
    {"v24-utf8.mp3", {nullptr, nullptr, "アルバム", "2024", "", nullptr}, true, false},
    {"v23-no-padding.mp3",
     {"ずっと長い題名になった", nullptr, nullptr, nullptr, nullptr, nullptr},
     true,
     true},
    {"v23-picture.mp3",
     {"絵のある歌・第二版のとても長い題名です", nullptr, nullptr, nullptr, nullptr, nullptr},
     false,
     true},
    {"no-tag.mp3", {"新しい", "誰か", nullptr, nullptr, nullptr, nullptr}, true, true},
};

// Each form updated through the history, read back by both readers (only
// the changed fields differ), then undone: the very bytes come back, and
// nothing is left beside the files.
TEST(BothTagsUndoTest, WritesBothTagsAndUndoesThemByteForByte) {
  TempFolder made, state;
  ASSERT_EQ(Shell("/usr/bin/python3 " + Forms + " make " + made.path()), "");
  TempFolder music;
  std::vector<std::string> before;
  for (const Row& row : Rows) {
    std::string bytes = ReadBytes(made / row.form);
    if (row.trailer) bytes += TrailerBytes("old title", "old artist");
    before.push_back(bytes);
    music.Write(row.form, bytes);
  }
  Seen seenBefore = ReadBack(music.path());
  for (std::size_t i = 0; i < std::size(Rows); ++i) {
    SCOPED_TRACE(Rows[i].form);
    History history(state / "history.sqlite3");
    const Written w = Update(music / Rows[i].form, Rows[i].values, history);
    ASSERT_TRUE(w.result.ok()) << w.result.error;
    const std::string after = ReadBytes(music / Rows[i].form);
    const auto tagOf = [](const std::string& b) {
      return Id3v2TagSize(reinterpret_cast<const unsigned char*>(b.data()), b.size());
    };
    EXPECT_EQ(tagOf(after) != tagOf(before[i]), Rows[i].grows);
    // The audio between the tags keeps its bytes.
    const std::size_t audio = before[i].size() - tagOf(before[i]) - (Rows[i].trailer ? 128 : 0);
    EXPECT_EQ(after.size(), tagOf(after) + audio + TrailerSize);
    EXPECT_TRUE(after.substr(tagOf(after), audio) == before[i].substr(tagOf(before[i]), audio));
  }
  Seen seenAfter = ReadBack(music.path());
  for (const Row& row : Rows) {
    for (const std::string reader : {"mutagen", "eyed3"}) {
      SCOPED_TRACE(std::string(row.form) + " " + reader);
      auto expected = seenBefore[row.form + ("\t" + reader)];
      for (std::size_t f = 0; f < Keys.size(); ++f) {
        if (row.values[f] == nullptr) continue;
        const auto old = expected.find(Keys[f]);
        const std::string language = f != 4                  ? ""
                                     : old == expected.end() ? "jpn:"
                                                             : old->second.substr(0, 4);
        if (old != expected.end()) expected.erase(old);
        if (*row.values[f] != '\0') expected.emplace(Keys[f], language + row.values[f]);
      }
      EXPECT_EQ(seenAfter[row.form + ("\t" + reader)], expected);
    }
  }
  for (std::size_t i = std::size(Rows); i-- > 0;) {
    SCOPED_TRACE(Rows[i].form);
    History history(state / "history.sqlite3");
    FolderTrash trash(state.path());
    RecordingPrompts ui;
    ui.unscriptedAnswer = true;
    EXPECT_TRUE(RunUndo(history.store(), SystemFileOps(), trash, ui).undone);
    EXPECT_TRUE(ui.refusals.empty());
    EXPECT_TRUE(ReadBytes(music / Rows[i].form) == before[i]);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(music.path()), {}),
            static_cast<long>(std::size(Rows)));
}

// A tag it cannot rewrite safely: nothing written, the trailer neither,
// and nothing in the history.
TEST(BothTagsUndoTest, ARefusedTagWritesNothing) {
  TempFolder music, state;
  const std::string bytes =
      ReadBytes(std::string(SELVANE_FIXTURES) + "/id3v2/v23-unsynchronised.mp3") +
      TrailerBytes("old");
  const std::string path = music.Write("song.mp3", bytes);
  History history(state / "history.sqlite3");
  const Written w = Update(path, {"新しい", nullptr, nullptr, nullptr, nullptr, nullptr}, history);
  EXPECT_EQ(w.result.error, Id3v2RefusedError);
  EXPECT_EQ(w.refusal, Id3v2Refusal::UnsynchronisedTag);
  EXPECT_EQ(ReadBytes(path), bytes);
  EXPECT_FALSE(history.store().MayUndo());
}

// A file reached through a symbolic link whose tag keeps its room is
// written where the link leads, and taken back there; the link stays.
TEST(BothTagsUndoTest, ALinkedFileIsUpdatedInPlaceAndTakenBack) {
  TempFolder made, music, state;
  ASSERT_EQ(Shell("/usr/bin/python3 " + Forms + " make " + made.path()), "");
  const std::string bytes = ReadBytes(made / "v23-utf16.mp3") + TrailerBytes("old");
  const std::string path = music.Write("song.mp3", bytes), link = music / "link.mp3";
  ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
  History history(state / "history.sqlite3");
  const Written w = Update(link, {"題名", nullptr, nullptr, nullptr, nullptr, nullptr}, history);
  ASSERT_TRUE(w.result.ok()) << w.result.error;
  EXPECT_NE(ReadBytes(path), bytes);
  FolderTrash trash(state.path());
  RecordingPrompts ui;
  ui.unscriptedAnswer = true;
  EXPECT_TRUE(RunUndo(history.store(), SystemFileOps(), trash, ui).undone);
  EXPECT_TRUE(ReadBytes(path) == bytes);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
}

// Dies (SIGKILL: no handler, no cleanup) just before (1) or just after (2)
// the write of the file.
class KillingOps : public ForwardingFileOps {
 public:
  explicit KillingOps(int killAt) : ForwardingFileOps(SystemFileOps()), killAt_(killAt) {}
  FileResult WriteSynced(const char* p, std::span<const FilePiece> pieces,
                         std::int64_t length) override {
    Die(1);
    const FileResult result = inner_.WriteSynced(p, pieces, length);
    Die(2);
    return result;
  }
  FileResult RebuildFile(const RebuildPlan& plan, FileStatus& placed) override {
    Die(1);
    const FileResult result = inner_.RebuildFile(plan, placed);
    Die(2);
    return result;
  }

 private:
  void Die(int at) const {
    if (at == killAt_) ::raise(SIGKILL);
  }
  int killAt_;
};

// An update killed before and after the write on both paths, and, for the
// tag that grows, at moments spread over the copy of a larger file; then,
// as after a restart, the leftovers cleared and undo: the file was old or
// new, comes back byte for byte, and nothing is left beside it.
TEST(BothTagsUndoTest, AKilledUpdateIsTakenBackWholeAfterARestart) {
  TempFolder made;
  ASSERT_EQ(Shell("/usr/bin/python3 " + Forms + " make " + made.path()), "");
  struct Case {
    const char* form;
    Values values;
    std::size_t audio;  // bytes added after the form's own
  };
  const Case cases[] = {
      {"v23-utf16.mp3", {"題名", nullptr, nullptr, nullptr, "新しいコメント", nullptr}, 0},
      {"v23-no-padding.mp3",
       {"ずっと長い題名になった", nullptr, nullptr, nullptr, nullptr, nullptr},
       0},
      {"v23-no-padding.mp3",
       {"ずっと長い題名になった", nullptr, nullptr, nullptr, nullptr, nullptr},
       std::size_t{24} << 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.form) + " + " + std::to_string(c.audio));
    const std::string before =
        ReadBytes(made / c.form) + std::string(c.audio, '\x55') + TrailerBytes("old");
    std::string after;
    {
      TempFolder music, state;
      History history(state / "history.sqlite3");
      ASSERT_TRUE(Update(music.Write("song.mp3", before), c.values, history).result.ok());
      after = ReadBytes(music / "song.mp3");
    }
    // Kill points: around the write, or for the large file microseconds.
    const bool timed = c.audio != 0;
    for (int at = 1; at <= (timed ? 24 : 3); ++at) {
      TempFolder music, state;
      const std::string path = music.Write("song.mp3", before);
      const pid_t child = ::fork();
      if (child == 0) {
        KillingOps ops(timed ? 0 : at);
        History history(state / "history.sqlite3");
        ::_exit(Update(path, c.values, history, ops).result.ok() ? 0 : 1);
      }
      ASSERT_GT(child, 0);
      if (timed) {
        std::this_thread::sleep_for(std::chrono::microseconds(at * at * 200));
        ::kill(child, SIGKILL);
      }
      int status = 0;
      ::waitpid(child, &status, 0);
      const bool finished = WIFEXITED(status);
      const std::string left = ReadBytes(path);
      EXPECT_TRUE(left == (finished ? after : before) || (!finished && left == after)) << at;

      History history(state / "history.sqlite3");
      ClearTagLeftovers(history.store(), SystemFileOps());  // as the next update would
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(music.path()), {}), 1) << at;
      FolderTrash trash(state.path());
      RecordingPrompts ui;
      ui.unscriptedAnswer = true;
      if (history.store().MayUndo()) RunUndo(history.store(), SystemFileOps(), trash, ui);
      EXPECT_TRUE(ui.refusals.empty()) << at << ": " << ui.refusals[0].text;
      EXPECT_TRUE(ReadBytes(path) == before) << at;
    }
  }
}

}  // namespace
}  // namespace selvane
