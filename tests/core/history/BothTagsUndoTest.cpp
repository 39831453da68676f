// A tag update that writes the ID3v2 tag with the trailer, on real files of
// every tag form: what two readers see afterwards, and undo byte for byte.
#include <gtest/gtest.h>
#include <stdio.h>

#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/history/History.h"
#include "core/history/RecordedTags.h"
#include "core/history/Undo.h"
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

Written Update(const std::string& path, const Values& values, History& history) {
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
  w.result =
      WriteBothTagsRecorded(w.entry, trailer, changes, SystemFileOps(), history, ui, w.refusal);
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

}  // namespace
}  // namespace selvane
