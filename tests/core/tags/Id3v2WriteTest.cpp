// Rewriting an ID3v2 tag: only the changed frames differ for two readers,
// what cannot be rewritten safely is refused, the old room filled or grown.
#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <vector>

#include "core/platform/Cp932.h"
#include "core/tags/Id3v2Read.h"
#include "core/tags/Id3v2Write.h"
#include "tests/core/Id3v2SpliceCheck.h"
#include "tests/core/TempFolder.h"

using namespace std::string_literals;

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

// Per "file<TAB>reader", the lines "key<TAB>value" that reader gives for
// that file of the folder.
std::map<std::string, std::vector<std::string>> ReadBack(const std::string& folder) {
  const std::string out = RunCommand("/usr/bin/python3 " + Forms + " dump " + folder);
  std::map<std::string, std::vector<std::string>> files;
  for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = out.substr(at, end - at);
    const std::size_t split = line.find('\t', line.find('\t') + 1);
    files[line.substr(0, split)].push_back(line.substr(split + 1));
  }
  return files;
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

Id3v2Changes ChangesOf(const std::array<const char*, 6>& values) {
  Id3v2Changes changes;
  std::optional<std::string>* fields[] = {&changes.title, &changes.artist,  &changes.album,
                                          &changes.year,  &changes.comment, &changes.genre};
  for (std::size_t field = 0; field < values.size(); ++field)
    if (values[field] != nullptr) *fields[field] = Cp932(values[field]);
  return changes;
}

// Tags laid out byte by byte, for the forms no writer makes on purpose.
std::string Size(std::size_t n, int bytes, bool synchsafe) {
  std::string out(bytes, '\0');
  for (int i = bytes - 1; i >= 0; --i, n >>= synchsafe ? 7 : 8)
    out[i] = static_cast<char>(n & (synchsafe ? 0x7F : 0xFF));
  return out;
}

// A 2.3 or 2.4 frame; `flags` is its second flag byte, the one about its form.
std::string Frame(int version, std::string_view id, unsigned char flags, std::string_view content) {
  return std::string(id) + Size(content.size(), 4, version == 4) + '\0' + static_cast<char>(flags) +
         std::string(content);
}

std::string Tag(int version, unsigned char flags, std::string_view body) {
  return "ID3" + std::string{static_cast<char>(version), '\0', static_cast<char>(flags)} +
         Size(body.size(), 4, true) + std::string(body);
}

// Tags as other programs write them, edited, then read back by two
// readers: only the changed fields differ, and every other frame keeps its
// bytes and its order.
TEST(Id3v2WriteTest, OnlyTheChangedFramesDiffer) {
  struct Row {
    const char* form;
    std::array<const char*, 6> values;  // UTF-8; nullptr: not changed
    bool inPlace;
    bool eyed3 = true;  // eyeD3 reads no 2.4 tag with plain sizes
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
      {"v24-plain-sizes.mp3",
       {"長い題名ですね、とても長い題名ですね、まだまだ続く長い題名ですね、そしてやっと終わる題名で"
        "す",
        nullptr, nullptr, nullptr, nullptr, nullptr},
       true,
       false},
      {"v23-extended-header.mp3", {"題", nullptr, nullptr, nullptr, nullptr, nullptr}, true},
      {"no-tag.mp3", {"新しい", "誰か", nullptr, nullptr, nullptr, nullptr}, false},
  };
  TempFolder folder;
  ASSERT_EQ(RunCommand("/usr/bin/python3 " + Forms + " make " + folder.path()), "");
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.form);
    const std::string before = ReadBytes(folder / row.form);
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
      EXPECT_EQ(splice.block.substr(16, 4), Size(layout.padding, 4, false));
    }
    EXPECT_EQ(UntouchedFrames(splice.block, changes), UntouchedFrames(oldBlock, changes));
    folder.Write("edited-" + std::to_string(i) + "-" + row.form,
                 splice.block + before.substr(tagSize));
  }

  auto seen = ReadBack(folder.path());
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    for (const std::string reader : {"mutagen", "eyed3"}) {
      SCOPED_TRACE(std::string(row.form) + " " + reader);
      if (!row.eyed3 && reader == "eyed3") continue;
      const std::string edited = "edited-" + std::to_string(i) + "-" + row.form;
      EXPECT_EQ(seen[edited + "\t" + reader],
                Expected(seen[row.form + ("\t" + reader)], row.values));
    }
  }
}

Id3v2Changes Change(std::optional<std::string> Id3v2Changes::*field, std::string value) {
  Id3v2Changes changes;
  changes.*field = std::move(value);
  return changes;
}

// A tag that cannot be rewritten safely gives its reason and no bytes; a
// frame the edit does not touch may be in any form.
TEST(Id3v2WriteTest, RefusesWhatItCannotRewriteSafely) {
  using enum Id3v2Refusal;
  const std::string title = Frame(3, "TIT2", 0,
                                  "\x01\xFF\xFE"
                                  "a\0"s),
                    padding(16, '\0');
  const std::string text4 = Frame(4, "TIT2", 0, "\x03a"), deflated = "\0\0\0\x05x\x9C"s;
  const std::string tag = Tag(3, 0, title + padding);
  struct Row {
    std::string block;
    Id3v2Refusal refusal;
    Id3v2Changes changes = Change(&Id3v2Changes::title, "b");
  };
  const Row rows[] = {
      {Tag(3, 0x80, title + padding), UnsynchronisedTag},
      {Tag(4, 0x10, text4 + padding) + "3DI\x04" + std::string(6, '\0'), Footer},
      {Tag(3, 0x40, Size(10, 4, false) + "\x80" + std::string(9, '\0') + title), ExtendedHeaderCrc},
      {Tag(4, 0x40, Size(12, 4, true) + "\x01\x20\x05" + std::string(5, '\0') + text4),
       ExtendedHeaderCrc},
      {Tag(3, 0, Frame(3, "TIT2", 0x80, deflated) + padding), CompressedFrame},
      {Tag(3, 0, Frame(3, "COMM", 0x80, deflated)), CompressedFrame,
       Change(&Id3v2Changes::comment, "b")},
      {Tag(2, 0x40, padding), CompressedFrame},
      {Tag(4, 0, Frame(4, "TIT2", 0x04, "\x01\x03a")), EncryptedFrame},
      {Tag(4, 0, Frame(4, "TIT2", 0x02, "\x03a")), UnsynchronisedFrame},
      {Tag(3, 0, title.substr(0, 12)), Malformed},
      {Tag(3, 0, "tit2" + title.substr(4)), Malformed},
      {Tag(3, 0x01, title), Malformed},
      {tag.substr(0, tag.size() - 1), Malformed},
      {"MP3 audio, no tag", Malformed},
      {tag, BadText, Change(&Id3v2Changes::title, std::string("a") + NoCp932FormByte)},
      {tag, BadText, Change(&Id3v2Changes::album, std::string("a\0b", 3))},
      // A compressed frame left as it is.
      {Tag(3, 0, Frame(3, "TALB", 0x80, deflated) + title + padding), None},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.block));
    const Id3v2Splice splice = SpliceId3v2(row.block, row.changes);
    EXPECT_EQ(splice.refusal, row.refusal);
    EXPECT_EQ(splice.block.empty(), row.refusal != None);
  }
}

// The new frames fit the old tag's frames and padding to the byte, or the
// tag grows with room for the next edit.
TEST(Id3v2WriteTest, FillsTheOldRoomOrGrows) {
  const std::string title = Frame(3, "TIT2", 0,
                                  "\x01\xFF\xFE"
                                  "a\0"s);  // "abc" needs 4 more
  struct Row {
    std::size_t padding;
    const char* value;
    bool inPlace;
    std::size_t newPadding;
  };
  const Row rows[] = {{4, "abc", true, 0}, {3, "abc", false, 0}, {0, "", true, title.size()}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.padding);
    const std::string old = Tag(3, 0, title + std::string(row.padding, '\0'));
    const Id3v2Splice splice = SpliceId3v2(old, Change(&Id3v2Changes::title, row.value));
    ASSERT_EQ(splice.refusal, Id3v2Refusal::None);
    EXPECT_EQ(splice.room, title.size() + row.padding);
    EXPECT_EQ(splice.inPlace, row.inPlace);
    const Id3v2Layout layout = ReadId3v2Layout(splice.block);
    if (row.inPlace) {
      EXPECT_EQ(splice.block.size(), old.size());
      EXPECT_EQ(layout.padding, row.newPadding);
    } else {
      EXPECT_GE(layout.padding, Id3v2GrownPadding);
    }
  }
}

}  // namespace
}  // namespace selvane
