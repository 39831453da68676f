#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/tags/GenreList.h"
#include "core/tags/Id3v1Tag.h"
#include "core/tags/TagWriter.h"
#include "tests/core/ReadOnlyFile.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

using Bytes = std::string;

// "TAG", then the five fields as written (text, then spaces), then genre.
Bytes WrittenTrailer(const Bytes& title, const Bytes& artist, const Bytes& album, const Bytes& year,
                     const Bytes& comment, unsigned char genre) {
  return TrailerBytes(title, artist, album, year, comment, genre, ' ');
}

Bytes ToBytes(const Trailer& trailer) { return Bytes(trailer.begin(), trailer.end()); }

// An entry as the list would hold it right after adding the file.
FileEntry Listed(const std::string& path) {
  FileEntry entry{};
  CopyField(entry.path, path);
  (void)ReadTag(entry.path, entry);
  return entry;
}

// The panel's values for an entry, as ShowTagPanel would show them.
TagValues PanelOf(const FileEntry& entry) {
  return TagValues{entry.title,   entry.artist,
                   entry.album,   entry.year,
                   entry.comment, entry.hasTag == 1 ? GenreItemForByte(entry.genre[0]) : -1};
}

class TagWriterTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const Bytes& bytes) {
    return folder_.Write(name, bytes);
  }

  TempFolder folder_;
};

// Audio stand-in with a NUL and high bytes, so any shift or cut shows.
const Bytes Audio = Bytes("audio\0\xff\x10", 8) + Bytes(300, 'Z');

TEST(GenreByteTest, ListedItemsAreTheirByteNoneIs255AndUnknownKeepsTheLastRead) {
  EXPECT_EQ(GenreByteForItem(0, 9), 0);
  EXPECT_EQ(GenreByteForItem(147, 9), 147);
  EXPECT_EQ(GenreByteForItem(-1, 9), 255);
  EXPECT_EQ(GenreByteForItem(UnknownGenreItem, 200), 200);
  EXPECT_EQ(GenreByteForItem(UnknownGenreItem, 0), 0);
}

TEST(BuildTrailerTest, EmptyPanelGivesMarkerSpacesAnd255) {
  EXPECT_EQ(ToBytes(BuildTrailer(TagValues{}, 0)), "TAG" + Bytes(124, ' ') + "\xff");
}

TEST(BuildTrailerTest, TextsLandInTheirFieldsUntrimmedAndGenreZeroStaysZero) {
  const TagValues values{" Title ", "Artist", "Album", "05", "comment  ", 0};
  EXPECT_EQ(ToBytes(BuildTrailer(values, 77)),
            WrittenTrailer(" Title ", "Artist", "Album", "05", "comment  ", 0));
}

TEST(BuildTrailerTest, FullWidthTextsDoNotSpillIntoTheNextField) {
  const Bytes t30(30, 'T'), a30(30, 'A'), l30(30, 'L'), c30(30, 'C');
  const Trailer trailer = BuildTrailer({t30, a30, l30, "2005", c30, 17}, 0);
  EXPECT_EQ(ToBytes(trailer), WrittenTrailer(t30, a30, l30, "2005", c30, 17));
}

TEST(BuildTrailerTest, OverlongTextsAreCutAtTheWidthOnACharacterBoundary) {
  // 29 ASCII bytes and a double-byte character: the character would cross
  // byte 30, so it is dropped whole and its place stays a space.
  const Bytes title = Bytes(29, 'x') + "\x83\x5c";
  const Bytes artist(40, 'a');
  const Trailer trailer = BuildTrailer({title, artist, "", "20051", Bytes(31, 'c'), 3}, 0);
  EXPECT_EQ(ToBytes(trailer),
            WrittenTrailer(Bytes(29, 'x'), Bytes(30, 'a'), "", "2005", Bytes(30, 'c'), 3));
}

TEST(BuildTrailerTest, TextStopsAtAnEmbeddedNul) {
  const Trailer trailer = BuildTrailer({Bytes("ab\0cd", 5), "", "", "", "", 1}, 0);
  EXPECT_EQ(ToBytes(trailer), WrittenTrailer("ab", "", "", "", "", 1));
}

TEST_F(TagWriterTest, UpdateOfAnUntaggedFileWithEmptyBoxesAppendsOneTrailer) {
  const std::string path = Write("a.mp3", Audio);
  FileEntry entry = Listed(path);
  ASSERT_EQ(entry.hasTag, 0);

  ASSERT_TRUE(WriteTag(entry, BuildTrailer(PanelOf(entry), entry.genre[0])));

  EXPECT_EQ(ReadBytes(path), Audio + "TAG" + Bytes(124, ' ') + "\xff");
  EXPECT_EQ(entry.hasTag, 1);  // read back from the file
  EXPECT_EQ(entry.genre[0], 255);
}

// Without a refresh in between (an empty naming rule reads no tags), the
// second update must still know that the first one left a trailer.
TEST_F(TagWriterTest, SecondUpdateReplacesTheTrailerTheFirstAppended) {
  const std::string path = Write("twice.mp3", Audio);
  FileEntry entry = Listed(path);

  ASSERT_TRUE(WriteTag(entry, BuildTrailer({"one", "", "", "", "", 1}, 0)));
  ASSERT_TRUE(WriteTag(entry, BuildTrailer({"two", "", "", "", "", 2}, 0)));

  EXPECT_EQ(ReadBytes(path), Audio + WrittenTrailer("two", "", "", "", "", 2));
}

TEST_F(TagWriterTest, UpdateWithoutChangesKeepsTheLengthAndPadsWithSpaces) {
  // NUL-padded fields and a track number in the last comment bytes.
  Bytes comment = "note" + Bytes(24, '\0') + Bytes("\0\x07", 2);
  const std::string path =
      Write("b.mp3", Audio + TrailerBytes("Song", "Band", "Disc", "1999", comment, 13, '\0'));
  FileEntry entry = Listed(path);
  ASSERT_EQ(entry.hasTag, 1);

  ASSERT_TRUE(WriteTag(entry, BuildTrailer(PanelOf(entry), entry.genre[0])));

  EXPECT_EQ(ReadBytes(path), Audio + WrittenTrailer("Song", "Band", "Disc", "1999", "note", 13));
}

TEST_F(TagWriterTest, UnknownGenreKeepsAnUnlistedByte) {
  const std::string path = Write("c.mp3", Audio + WrittenTrailer("t", "", "", "", "", 200));
  FileEntry entry = Listed(path);
  TagValues values = PanelOf(entry);
  ASSERT_EQ(values.genreItem, UnknownGenreItem);
  values.title = "new";

  ASSERT_TRUE(WriteTag(entry, BuildTrailer(values, entry.genre[0])));

  EXPECT_EQ(ReadBytes(path), Audio + WrittenTrailer("new", "", "", "", "", 200));
}

TEST_F(TagWriterTest, UnknownGenreOnAFileWithoutTrailerWritesZero) {
  const std::string path = Write("d.mp3", Audio);
  FileEntry entry = Listed(path);
  TagValues values = PanelOf(entry);
  values.genreItem = UnknownGenreItem;

  ASSERT_TRUE(WriteTag(entry, BuildTrailer(values, entry.genre[0])));

  EXPECT_EQ(ReadBytes(path), Audio + WrittenTrailer("", "", "", "", "", 0));
}

TEST_F(TagWriterTest, TrailerStrippedSinceTheReadIsNotCutButAppendedTo) {
  const std::string path = Write("e.mp3", Audio + WrittenTrailer("old", "", "", "", "", 1));
  FileEntry entry = Listed(path);
  ASSERT_EQ(entry.hasTag, 1);
  Write("e.mp3", Audio);  // another program removes the tag meanwhile

  ASSERT_TRUE(WriteTag(entry, BuildTrailer({"new", "", "", "", "", 2}, entry.genre[0])));

  EXPECT_EQ(ReadBytes(path), Audio + WrittenTrailer("new", "", "", "", "", 2));
}

TEST_F(TagWriterTest, ReadOnlyFileIsLeftAsItWas) {
  const Bytes tagged = Audio + WrittenTrailer("keep", "", "", "", "", 5);
  const std::string path = Write("ro.mp3", tagged);
  const std::string bare = Write("ro-bare.mp3", Audio);
  FileEntry entry = Listed(path);
  FileEntry bareEntry = Listed(bare);
  const FileEntry before = entry;

  FileResult tagResult, bareResult;
  {
    ReadOnlyFile guard(folder_.path(), path);
    ReadOnlyFile guardBare(folder_.path(), bare);
    if (!guard.active()) GTEST_SKIP() << "cannot make a file read-only here";
    tagResult = WriteTag(entry, BuildTrailer({"lost", "", "", "", "", 0}, 0));
    bareResult = WriteTag(bareEntry, BuildTrailer({"lost", "", "", "", "", 0}, 0));
  }

  EXPECT_EQ(tagResult.error, EACCES);
  EXPECT_EQ(bareResult.error, EACCES);
  EXPECT_EQ(ReadBytes(path), tagged);
  EXPECT_EQ(ReadBytes(bare), Audio);
  EXPECT_EQ(std::memcmp(&entry, &before, sizeof entry), 0);
}

TEST_F(TagWriterTest, VanishedFileOrAFolderGivesAnErrorAndNothingIsCreated) {
  const std::string path = Write("gone.mp3", Audio + WrittenTrailer("x", "", "", "", "", 5));
  FileEntry tagged = Listed(path);
  FileEntry untagged = tagged;
  untagged.hasTag = 0;
  std::filesystem::remove(path);

  EXPECT_EQ(WriteTag(tagged, BuildTrailer({}, 0)).error, ENOENT);
  EXPECT_EQ(WriteTag(untagged, BuildTrailer({}, 0)).error, ENOENT);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(tagged.hasTag, 1);

  std::filesystem::create_directory(folder_ / "folder.mp3");
  FileEntry folder{};
  CopyField(folder.path, folder_ / "folder.mp3");
  EXPECT_FALSE(WriteTag(folder, BuildTrailer({}, 0)));
  EXPECT_TRUE(std::filesystem::is_empty(folder_ / "folder.mp3"));
}

TEST_F(TagWriterTest, RemovalOfATrailerOnlyFileLeavesItEmpty) {
  const std::string path = Write("only.mp3", WrittenTrailer("t", "a", "l", "2000", "c", 4));
  FileEntry entry = Listed(path);
  ASSERT_EQ(entry.hasTag, 1);

  ASSERT_TRUE(RemoveTag(entry));

  EXPECT_EQ(ReadBytes(path), "");
  EXPECT_EQ(entry.hasTag, 0);
  EXPECT_STREQ(entry.title, "");
  EXPECT_EQ(entry.genre[0], 0);
}

TEST_F(TagWriterTest, RemovalDoesNotCutAFileWhoseTrailerVanished) {
  const std::string path = Write("g.mp3", Audio + WrittenTrailer("t", "", "", "", "", 4));
  FileEntry entry = Listed(path);
  Write("g.mp3", Audio);

  EXPECT_EQ(RemoveTag(entry).error, NoTrailerError);

  EXPECT_EQ(ReadBytes(path), Audio);
  EXPECT_EQ(entry.hasTag, 0);
}

TEST_F(TagWriterTest, RemovalFailureLeavesFileAndEntry) {
  const Bytes tagged = Audio + WrittenTrailer("keep", "", "", "", "", 5);
  const std::string path = Write("h.mp3", tagged);
  FileEntry entry = Listed(path);
  FileResult result;
  {
    ReadOnlyFile guard(folder_.path(), path);
    if (!guard.active()) GTEST_SKIP() << "cannot make a file read-only here";
    result = RemoveTag(entry);
  }
  EXPECT_EQ(result.error, EACCES);
  EXPECT_EQ(ReadBytes(path), tagged);
  EXPECT_EQ(entry.hasTag, 1);

  std::filesystem::remove(path);
  EXPECT_EQ(RemoveTag(entry).error, ENOENT);
  EXPECT_EQ(entry.hasTag, 1);
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace selvane
