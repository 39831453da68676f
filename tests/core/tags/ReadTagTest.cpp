// Reading the ID3v1 trailer into an entry: each field trimmed and copied,
// only a trailer that ends the file, and every failure clearing the tag.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "core/tags/Id3v1Tag.h"
#include "tests/core/FaultyFileOps.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

FileEntry FilledEntry() {
  FileEntry entry{};
  entry.hasTag = 1;
  std::strcpy(entry.title, "old title");
  std::strcpy(entry.artist, "old artist");
  std::strcpy(entry.album, "old album");
  std::strcpy(entry.year, "1999");
  std::strcpy(entry.comment, "old comment");
  entry.genre[0] = 17;
  return entry;
}

// The tag part of an entry, comparable at once.
auto TagPart(const FileEntry& e) {
  return std::tuple(e.hasTag, std::string(e.title), std::string(e.artist), std::string(e.album),
                    std::string(e.year), std::string(e.comment), e.genre[0], e.genre[1]);
}

void ExpectCleared(const FileEntry& entry) { EXPECT_EQ(TagPart(entry), TagPart(FileEntry{})); }

class ReadTagTest : public ::testing::Test {
 protected:
  // Reads `bytes` as a file's whole content into a pre-filled entry.
  int Read(const std::string& bytes, FileEntry& entry) {
    entry = FilledEntry();
    return ReadTag(folder_.Write("f.mp3", bytes).c_str(), entry);
  }
  TempFolder folder_;
};

TEST_F(ReadTagTest, ReadsEveryField) {
  FileEntry entry;
  const std::string audio(1000, '\xFF');
  ASSERT_EQ(
      Read(audio + TrailerBytes("Love", "Kei", "\x83\x5C\x83\x7C", "2005", "note", 146), entry),
      ReadTagOk);
  EXPECT_EQ(entry.hasTag, 1);
  EXPECT_STREQ(entry.title, "Love");
  EXPECT_STREQ(entry.artist, "Kei");
  EXPECT_STREQ(entry.album, "\x83\x5C\x83\x7C");
  EXPECT_STREQ(entry.year, "2005");
  EXPECT_STREQ(entry.comment, "note");
  EXPECT_EQ(entry.genre[0], 146);
  EXPECT_EQ(entry.genre[1], 0);
}

TEST_F(ReadTagTest, TrimAndCopyRule) {
  const std::string abc = "abc";
  struct Case {
    std::string field;  // 30 bytes
    std::string text;
  } cases[] = {
      {abc + std::string(27, ' '), "abc"},
      {abc + std::string(27, '\0'), "abc"},
      {abc + "  " + std::string(25, '\0'), "abc  "},
      {abc + std::string(1, '\0') + "xyz" + std::string(23, ' '), "abc"},
      {std::string(30, ' '), ""},
      {"comment of 28 bytes here...." + std::string(1, '\0') + "\x07",
       "comment of 28 bytes here...."},
      {std::string(30, 'x'), std::string(30, 'x')},
      {std::string(29, 'x') + "\x82", std::string(29, 'x') + "\x82"},  // bytes kept as stored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(c.field.size(), 30u);
    FileEntry entry;
    ASSERT_EQ(Read(TrailerBytes(c.field, c.field, c.field, "", c.field), entry), ReadTagOk);
    EXPECT_EQ(std::string(entry.title), c.text);
    EXPECT_EQ(std::string(entry.artist), c.text);
    EXPECT_EQ(std::string(entry.album), c.text);
    EXPECT_EQ(std::string(entry.comment), c.text);
  }
}

TEST_F(ReadTagTest, YearKeepsUpToFourBytes) {
  const std::pair<std::string_view, const char*> cases[] = {
      {"05", "05"}, {"2005", "2005"}, {std::string_view("ab\0d", 4), "ab"}};  // no digit check
  for (const auto& [stored, year] : cases) {
    FileEntry entry;
    ASSERT_EQ(Read(TrailerBytes("t", "", "", stored), entry), ReadTagOk);
    EXPECT_STREQ(entry.year, year);
  }
}

TEST_F(ReadTagTest, GenreByteIsStoredUnchanged) {
  for (const int byte : {0, 147, 148, 200, 255}) {
    const auto genre = static_cast<unsigned char>(byte);
    FileEntry entry;
    ASSERT_EQ(Read(TrailerBytes("t", "", "", "", "", genre), entry), ReadTagOk);
    EXPECT_EQ(entry.genre[0], genre);
    EXPECT_EQ(entry.genre[1], 0);
  }
}

// Only an upper-case "TAG" exactly 128 bytes before the end is a trailer;
// anything else clears an earlier tag.
TEST_F(ReadTagTest, OnlyATrailerEndingTheFileCounts) {
  std::string lower = TrailerBytes("t");
  lower.replace(0, 3, "tag");
  const std::pair<std::string, int> cases[] = {
      {"", ReadTagNoFile},
      {TrailerBytes("t").substr(0, 127), ReadTagNoFile},
      {std::string(50, 'x') + lower, ReadTagNoMarker},
      {TrailerBytes("t") + "x", ReadTagNoMarker},  // one byte too early
      {TrailerBytes("exactly"), ReadTagOk},
  };
  for (const auto& [bytes, result] : cases) {
    SCOPED_TRACE(bytes.size());
    FileEntry entry;
    EXPECT_EQ(Read(bytes, entry), result);
    if (result != ReadTagOk)
      ExpectCleared(entry);
    else
      EXPECT_STREQ(entry.title, "exactly");
  }
}

TEST_F(ReadTagTest, MissingFileOrGoneTrailerClearsAnEarlierTag) {
  FileEntry entry = FilledEntry();
  EXPECT_EQ(ReadTag((folder_ / "none.mp3").c_str(), entry), ReadTagNoFile);
  ExpectCleared(entry);

  // The trailer was read once, then cut off the file.
  ASSERT_EQ(Read(std::string(300, 'a') + TrailerBytes("t"), entry), ReadTagOk);
  folder_.Write("f.mp3", std::string(300, 'a'));
  EXPECT_EQ(ReadTag((folder_ / "f.mp3").c_str(), entry), ReadTagNoMarker);
  ExpectCleared(entry);
}

// A file that opens but whose read fails cannot be produced on cue.
class FailingReadOps : public NoDiskFileOps {
 public:
  FileResult Length(const char*, std::int64_t& length) override {
    length = 4096;
    return {};
  }
  FileResult ReadTail(const char*, unsigned char*, std::int64_t& length) override {
    length = 4096;
    return {EIO};
  }
};

TEST_F(ReadTagTest, ReadFailureAfterOpeningIsMinusTwo) {
  FailingReadOps ops;
  FileEntry entry = FilledEntry();
  EXPECT_EQ(ReadTag("x.mp3", entry, ops), ReadTagNoStream);
  ExpectCleared(entry);
}

}  // namespace
}  // namespace selvane
