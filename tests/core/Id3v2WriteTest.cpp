#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "core/platform/Cp932.h"
#include "core/tags/Id3v2Read.h"
#include "core/tags/Id3v2Write.h"
#include "tests/core/Id3v2SpliceCheck.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

const std::string Forms = std::string(SELVANE_FIXTURES) + "/id3v2/splice_forms.py";
constexpr std::array<const char*, 6> FieldNames = {"title", "artist",  "album",
                                                   "year",  "comment", "genre"};

std::string RunCommand(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return "<cannot run>";
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  return ::pclose(pipe) == 0 ? out : out + "<failed>";
}

// "key<TAB>value" per frame, as an independent reader sees the file.
std::vector<std::string> ReadBack(const char* reader, const std::string& path) {
  const std::string out = RunCommand("/usr/bin/python3 " + Forms + " dump " + reader + " " + path);
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(out.substr(at, end - at));
  if (out.find('\n') == std::string::npos && !out.empty()) lines.push_back(out);
  return lines;
}

// What a reader should see after the edit: its lines before, with each
// changed field's line replaced (a new comment in Japanese, a replaced one
// in its own language).
std::vector<std::string> Expected(std::vector<std::string> lines,
                                  const std::array<const char*, 6>& values) {
  for (std::size_t field = 0; field < values.size(); ++field) {
    if (values[field] == nullptr) continue;
    const std::string key = std::string(FieldNames[field]) + "\t";
    const auto old = std::find_if(lines.begin(), lines.end(),
                                  [&](const std::string& l) { return l.starts_with(key); });
    std::string prefix = field != 4 ? "" : old == lines.end() ? "jpn:" : old->substr(8, 4);
    if (old != lines.end()) lines.erase(old);
    if (*values[field] != '\0') lines.push_back(key + prefix + values[field]);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::size_t BigEndian(std::string_view bytes) {
  std::size_t value = 0;
  for (const char c : bytes) value = value << 8 | static_cast<unsigned char>(c);
  return value;
}

Id3v2Changes ChangesOf(const std::array<const char*, 6>& values) {
  Id3v2Changes changes;
  std::optional<std::string>* fields[] = {&changes.title, &changes.artist,  &changes.album,
                                          &changes.year,  &changes.comment, &changes.genre};
  for (std::size_t field = 0; field < values.size(); ++field)
    if (values[field] != nullptr) *fields[field] = Cp932(values[field]);
  return changes;
}

// Tags as other programs write them, edited, then read back by two
// readers: only the changed fields differ; every other frame keeps its
// bytes and its order, and the audio stays.
TEST(Id3v2WriteTest, OnlyTheChangedFramesDiffer) {
  struct Row {
    const char* form;
    std::array<const char*, 6> values;  // UTF-8; nullptr: not changed
    bool inPlace;
  };
  const Row rows[] = {
      {"v22.mp3", {"新しい題名", "", nullptr, nullptr, "コメント", "Rock"}, true},
      {"v23-utf16.mp3", {"題名", nullptr, nullptr, "2024", "新しいコメント", "Pop"}, true},
      {"v24-utf8.mp3", {nullptr, nullptr, "アルバム", "2024", "", nullptr}, true},
      {"v23-no-padding.mp3", {"短", nullptr, nullptr, nullptr, nullptr, nullptr}, true},
      {"v23-no-padding.mp3",
       {"ずっと長い題名になった", nullptr, nullptr, nullptr, nullptr, nullptr},
       false},
      {"v23-picture.mp3",
       {"絵のある歌・第二版のとても長い題名です", nullptr, nullptr, nullptr, nullptr, nullptr},
       false},
      {"v23-extended-header.mp3", {"題", nullptr, nullptr, nullptr, nullptr, nullptr}, true},
      {"no-tag.mp3", {"新しい", "誰か", nullptr, nullptr, nullptr, nullptr}, false},
  };
  TempFolder folder;
  ASSERT_EQ(RunCommand("/usr/bin/python3 " + Forms + " make " + folder.path()), "");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.form);
    const std::string path = folder.path() + "/" + row.form;
    const std::string before = ReadBytes(path);
    const std::size_t tagSize =
        Id3v2TagSize(reinterpret_cast<const unsigned char*>(before.data()), before.size());
    const std::string_view oldBlock = std::string_view(before).substr(0, tagSize);
    const Id3v2Changes changes = ChangesOf(row.values);

    const Id3v2Splice splice = SpliceId3v2(oldBlock, changes);
    ASSERT_EQ(splice.refusal, Id3v2Refusal::None);
    EXPECT_EQ(splice.inPlace, row.inPlace);
    const Id3v2Layout layout = ReadId3v2Layout(splice.block);
    ASSERT_EQ(layout.refusal, Id3v2Refusal::None);
    if (row.inPlace) {
      EXPECT_EQ(splice.block.size(), tagSize);
    } else {
      EXPECT_GE(layout.padding, Id3v2GrownPadding);
    }
    if (layout.extendedHeader != 0) {  // 2.3's tells the padding's size
      EXPECT_EQ(BigEndian(splice.block.substr(16, 4)), layout.padding);
    }
    EXPECT_EQ(UntouchedFrames(splice.block, changes), UntouchedFrames(oldBlock, changes));

    const std::string after =
        folder.Write(std::string("edited-") + row.form, splice.block + before.substr(tagSize));
    for (const char* reader : {"mutagen", "eyed3"}) {
      SCOPED_TRACE(reader);
      EXPECT_EQ(ReadBack(reader, after), Expected(ReadBack(reader, path), row.values));
    }
  }
}

}  // namespace
}  // namespace selvane
