// Writing and removing the ID3v1 trailer: the bytes built from the panel, the
// file's end changed and nothing else, and a failure leaving file and entry.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/tags/GenreList.h"
#include "core/tags/Id3v1Tag.h"
#include "core/tags/Id3v2Read.h"
#include "core/tags/TagChangePlan.h"
#include "core/tags/TagWriter.h"
#include "tests/core/FaultyFileOps.h"
#include "tests/core/ReadOnlyFile.h"
#include "tests/core/TempFolder.h"
#include "tests/core/tags/TagFiles.h"

namespace selvane {
namespace {

Bytes ToBytes(const Trailer& trailer) { return Bytes(trailer.begin(), trailer.end()); }

// The panel's values for an entry, as ShowTagPanel would show them.
TagValues PanelOf(const FileEntry& entry) {
  return TagValues{entry.title,   entry.artist,
                   entry.album,   entry.year,
                   entry.comment, entry.hasTag == 1 ? GenreItemForByte(entry.genre[0]) : -1};
}

class TagWriterTest : public ::testing::Test {
 protected:
  TempFolder folder_;
};

// What an empty panel writes: the marker, spaces, and genre 255.
const Bytes Blank = "TAG" + Bytes(124, ' ') + "\xff";

TEST(GenreByteTest, ListedItemsAreTheirByteNoneIs255AndUnknownKeepsTheLastRead) {
  const struct {
    int item;
    unsigned char lastGenre, byte;
  } cases[] = {{0, 9, 0},
               {147, 9, 147},
               {-1, 9, 255},
               {UnknownGenreItem, 200, 200},
               {UnknownGenreItem, 0, 0}};
  for (const auto& c : cases) EXPECT_EQ(GenreByteForItem(c.item, c.lastGenre), c.byte) << c.item;
  EXPECT_EQ(GenreItemForByte(200), UnknownGenreItem);  // what the panel shows for it
}

// Written fields are the text, untrimmed, then spaces; none spills into the
// next. An overlong text is cut at the width on a character boundary.
TEST(BuildTrailerTest, TextsLandInTheirFieldsCutOnCharacterBoundaries) {
  const Bytes t30(30, 'T'), a30(30, 'A'), l30(30, 'L'), c30(30, 'C');
  // 29 ASCII bytes and a double-byte character that would cross byte 30:
  // it is dropped whole and its place stays a space.
  const Bytes crossing = Bytes(29, 'x') + "\x83\x5c", a40(40, 'a'), c31(31, 'c');
  const Bytes withNul("ab\0cd", 5);
  const struct {
    TagValues values;
    unsigned char lastGenre;
    Bytes trailer;
  } cases[] = {
      {{}, 0, Blank},
      {{" Title ", "Artist", "Album", "05", "comment  ", 0},
       77,  // genre 0 stays 0
       TrailerBytes(" Title ", "Artist", "Album", "05", "comment  ", 0)},
      {{t30, a30, l30, "2005", c30, 17}, 0, TrailerBytes(t30, a30, l30, "2005", c30, 17)},
      {{crossing, a40, "", "20051", c31, 3},
       0,
       TrailerBytes(Bytes(29, 'x'), Bytes(30, 'a'), "", "2005", Bytes(30, 'c'), 3)},
      {{withNul, "", "", "", "", 1}, 0, Titled("ab", 1)},  // the text ends at a NUL
  };
  for (const auto& c : cases)
    EXPECT_EQ(ToBytes(BuildTrailer(c.values, c.lastGenre)), c.trailer) << c.values.title;
}

// One update from the panel: the file as listed, as another program left it
// since (when not empty), the user's edit, and the file afterwards.
TEST_F(TagWriterTest, UpdateFromThePanelWritesOnlyTheTrailer) {
  const Bytes padded = "note" + Bytes(24, '\0') + Bytes("\0\x07", 2);  // a track number
  using Edit = void (*)(TagValues&);
  const struct {
    const char* what;
    Bytes listed, meanwhile;
    Edit edit;
    Bytes after;
  } cases[] = {
      {"untagged file, empty boxes: one blank trailer appended", Audio, "", nullptr, Audio + Blank},
      {"no change keeps the length and pads with spaces",
       Audio + TrailerBytes("Song", "Band", "Disc", "1999", padded, 13, '\0'), "", nullptr,
       Audio + TrailerBytes("Song", "Band", "Disc", "1999", "note", 13)},
      {"unknown genre keeps an unlisted byte", Audio + Titled("t", 200), "",
       [](TagValues& v) { v.title = "new"; }, Audio + Titled("new", 200)},
      {"unknown genre without a trailer writes 0", Audio, "",
       [](TagValues& v) { v.genreItem = UnknownGenreItem; }, Audio + Titled("", 0)},
      {"trailer stripped since the read is not cut but appended to", Audio + Titled("old", 1),
       Audio, [](TagValues& v) { v = {"new", "", "", "", "", 2}; }, Audio + Titled("new", 2)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = folder_.Write("u.mp3", c.listed);
    FileEntry entry = Listed(path);
    if (!c.meanwhile.empty()) folder_.Write("u.mp3", c.meanwhile);
    TagValues values = PanelOf(entry);
    if (c.edit != nullptr) c.edit(values);

    ASSERT_TRUE(WriteTag(entry, BuildTrailer(values, entry.genre[0])));

    EXPECT_EQ(ReadBytes(path), c.after);
    EXPECT_EQ(entry.hasTag, 1);  // read back from the file
    EXPECT_EQ(entry.genre[0], static_cast<unsigned char>(c.after.back()));
  }
}

// Without a refresh in between (an empty naming rule reads no tags), the
// second update must still know that the first one left a trailer. Each
// update looks at the file's end once: the look that decides is the write's.
TEST_F(TagWriterTest, SecondUpdateReplacesTheTrailerTheFirstAppended) {
  const std::string path = folder_.Write("twice.mp3", Audio);
  FileEntry entry = Listed(path);
  FaultyFileOps counting;

  ASSERT_TRUE(WriteTag(entry, BuildTrailer({"one", "", "", "", "", 1}, 0), counting));
  ASSERT_TRUE(WriteTag(entry, BuildTrailer({"two", "", "", "", "", 2}, 0), counting));

  EXPECT_EQ(ReadBytes(path), Audio + Titled("two", 2));
  EXPECT_STREQ(entry.title, "two");
  EXPECT_EQ(counting.Calls(FileOp::ReadTail), 2);
  // Only the first bytes, to see that "TAG" lies past any ID3v2 tag.
  EXPECT_EQ(counting.Calls(FileOp::ReadAt), 1);
}

// "TAG" 128 bytes before the end is a trailer only past the end of an ID3v2
// tag at the head (its header's size, and its footer): reading, updating
// and removing agree on every such file.
TEST_F(TagWriterTest, TagInsideAnId3v2TagIsNoTrailer) {
  // An ID3v2 tag header (`flags` 0x10: a footer) of `size`, 200 bytes, and
  // "TAG" after `between`.
  const auto file = [](char version, char flags, std::size_t size, const char* between) {
    const Bytes header{version, 0, flags, 0, 0, static_cast<char>(size >> 7), char(size & 0x7F)};
    return "ID3" + header + Bytes(200, '\0') + between + Titled("in", 4);
  };
  const struct {
    Bytes file;
    bool trailer;
  } cases[] = {
      {file(3, 0, 328, ""), false},       // the tag is the whole file
      {file(4, 0x10, 200, "3D"), false},  // "TAG" inside the footer
      {file(3, 0, 200, ""), true},        // a trailer right after the tag
      {file(4, 0x10, 190, ""), true},     // and right after its footer
      {file(3, 0, 5000, ""), true},       // a tag claiming more than the file
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.size());
    const std::string path = folder_.Write("in.mp3", c.file);
    FileEntry entry{};
    CopyField(entry.path, path);
    EXPECT_EQ(ReadTag(entry.path, entry), c.trailer ? ReadTagOk : ReadTagNoMarker);
    Id3v2Frames frames;
    EXPECT_EQ(ReadTagAndId3v2(entry.path, entry, frames, SystemFileOps(), nullptr) == ReadTagOk,
              c.trailer);
    const Bytes kept = c.trailer ? c.file.substr(0, c.file.size() - 128) : c.file;
    ASSERT_TRUE(WriteTag(entry, BuildTrailer({"new", "", "", "", "", 2}, 0)));
    EXPECT_EQ(ReadBytes(path), kept + Titled("new", 2));
    folder_.Write("in.mp3", c.file);
    EXPECT_EQ(RemoveTag(entry).error, c.trailer ? 0 : NoTrailerError);
    EXPECT_EQ(ReadBytes(path), kept);
  }
}

TEST_F(TagWriterTest, ReadOnlyFileIsLeftAsItWas) {
  const Bytes tagged = Audio + Titled("keep", 5);
  const std::string path = folder_.Write("ro.mp3", tagged);
  const std::string bare = folder_.Write("ro-bare.mp3", Audio);
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
  EXPECT_TRUE(entry == before);
}

TEST_F(TagWriterTest, VanishedFileOrAFolderGivesAnErrorAndNothingIsCreated) {
  const std::string path = folder_.Write("gone.mp3", Audio + Titled("x", 5));
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
  const std::string path = folder_.Write("only.mp3", TrailerBytes("t", "a", "l", "2000", "c", 4));
  FileEntry entry = Listed(path);
  ASSERT_EQ(entry.hasTag, 1);

  ASSERT_TRUE(RemoveTag(entry));

  EXPECT_EQ(ReadBytes(path), "");
  EXPECT_EQ(entry.hasTag, 0);
  EXPECT_STREQ(entry.title, "");
  EXPECT_EQ(entry.genre[0], 0);
}

TEST_F(TagWriterTest, RemovalDoesNotCutAFileWhoseTrailerVanished) {
  const std::string path = folder_.Write("g.mp3", Audio + Titled("t", 4));
  FileEntry entry = Listed(path);
  folder_.Write("g.mp3", Audio);

  EXPECT_EQ(RemoveTag(entry).error, NoTrailerError);

  EXPECT_EQ(ReadBytes(path), Audio);
  EXPECT_EQ(entry.hasTag, 0);
}

TEST_F(TagWriterTest, RemovalFailureLeavesFileAndEntry) {
  const Bytes tagged = Audio + Titled("keep", 5);
  const std::string path = folder_.Write("h.mp3", tagged);
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
