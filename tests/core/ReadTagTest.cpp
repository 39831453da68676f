#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "core/tags/GenreList.h"
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

void ExpectCleared(const FileEntry& entry) {
  EXPECT_EQ(entry.hasTag, 0);
  EXPECT_STREQ(entry.title, "");
  EXPECT_STREQ(entry.artist, "");
  EXPECT_STREQ(entry.album, "");
  EXPECT_STREQ(entry.year, "");
  EXPECT_STREQ(entry.comment, "");
  EXPECT_EQ(entry.genre[0], 0);
  EXPECT_EQ(entry.genre[1], 0);
}

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
  FileEntry entry;
  ASSERT_EQ(Read(TrailerBytes("t", "", "", "05"), entry), ReadTagOk);
  EXPECT_STREQ(entry.year, "05");
  ASSERT_EQ(Read(TrailerBytes("t", "", "", "2005"), entry), ReadTagOk);
  EXPECT_STREQ(entry.year, "2005");
  ASSERT_EQ(Read(TrailerBytes("t", "", "", std::string_view("ab\0d", 4)), entry),
            ReadTagOk);  // no digit check
  EXPECT_STREQ(entry.year, "ab");
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

TEST_F(ReadTagTest, LengthsAroundTheTrailerSize) {
  FileEntry entry;
  EXPECT_EQ(Read("", entry), ReadTagNoFile);
  ExpectCleared(entry);
  EXPECT_EQ(Read(TrailerBytes("t").substr(0, 127), entry), ReadTagNoFile);
  ExpectCleared(entry);
  EXPECT_EQ(Read(TrailerBytes("exactly"), entry), ReadTagOk);
  EXPECT_STREQ(entry.title, "exactly");
}

TEST_F(ReadTagTest, MarkerMustBeUpperCaseTagAt128BeforeTheEnd) {
  FileEntry entry;
  std::string lower = TrailerBytes("t");
  lower.replace(0, 3, "tag");
  EXPECT_EQ(Read(std::string(50, 'x') + lower, entry), ReadTagNoMarker);
  ExpectCleared(entry);
  // A trailer followed by one more byte is not where it should be.
  EXPECT_EQ(Read(TrailerBytes("t") + "x", entry), ReadTagNoMarker);
  ExpectCleared(entry);
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

TEST(GenreList, OneTextPerItemInOrder) {
  for (const std::string_view text : GenreList) EXPECT_FALSE(text.empty());  // none dropped
  EXPECT_EQ(GenreList[0], "Blues");
  EXPECT_EQ(GenreList[40], "AlternRock");
  EXPECT_EQ(GenreList[85], "Bebob");
  EXPECT_EQ(GenreList[123], "A capella");
  EXPECT_EQ(GenreList[147], "SynthPop");
  EXPECT_EQ(GenreList[GenreItemForByte(255)], "Unknown");
}

}  // namespace
}  // namespace selvane
