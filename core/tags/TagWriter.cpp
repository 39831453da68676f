#include "core/tags/TagWriter.h"

#include <cstddef>
#include <cstring>

#include "core/platform/Cp932.h"
#include "core/tags/GenreList.h"
#include "core/tags/Id3v1Tag.h"
#include "core/tags/TagChangePlan.h"

namespace selvane {
namespace {

// The text as a C string would give it (up to its first NUL), cut to the
// field's width without splitting a double-byte character.
std::string_view FieldText(std::string_view text, std::size_t width) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  return text.substr(0, CharBoundary(text, width));
}

void PutText(Trailer& trailer, std::size_t offset, std::size_t width, std::string_view text) {
  const std::string_view cut = FieldText(text, width);
  if (!cut.empty()) std::memcpy(trailer.data() + offset, cut.data(), cut.size());
}

}  // namespace

unsigned char GenreByteForItem(int item, unsigned char lastGenre) {
  // Signed comparison: "no item" (-1) wraps to 255 like any other value <= 147.
  if (item < UnknownGenreItem) return static_cast<unsigned char>(item & 0xFF);
  return lastGenre;
}

// Writing each text as a NUL-terminated string in field order and then
// turning the leftover NULs of bytes 0-126 into spaces gives exactly the
// text followed by spaces in every field; the genre byte is never touched by
// that pass, so genre 0 stays 0.
Trailer BuildTrailer(const TagValues& values, unsigned char lastGenre) {
  Trailer trailer;
  trailer.fill(' ');
  std::memcpy(trailer.data(), "TAG", 3);
  PutText(trailer, offsetof(Id3v1Tag, title), sizeof(Id3v1Tag::title), values.title);
  PutText(trailer, offsetof(Id3v1Tag, artist), sizeof(Id3v1Tag::artist), values.artist);
  PutText(trailer, offsetof(Id3v1Tag, album), sizeof(Id3v1Tag::album), values.album);
  PutText(trailer, offsetof(Id3v1Tag, year), sizeof(Id3v1Tag::year), values.year);
  PutText(trailer, offsetof(Id3v1Tag, comment), sizeof(Id3v1Tag::comment), values.comment);
  trailer[offsetof(Id3v1Tag, genre)] = GenreByteForItem(values.genreItem, lastGenre);
  return trailer;
}

// The file decides, not `hasTag`: an entry named under an empty rule has
// read no tag although the file may end in one, and another program may
// have stripped or added a trailer since the last read. A trailer that is
// there is overwritten in place, so the file never goes without a tag and
// never gets a second one.
FileResult WriteTag(FileEntry& entry, const Trailer& trailer, FileOps& ops, bool* replaced) {
  TagChangePlan plan;
  if (FileResult read = PlanTagUpdate(entry.path, trailer, ops, plan); !read) return read;
  return WriteTrailerAsPlanned(entry, plan, ops, replaced);
}

FileResult RemoveTag(FileEntry& entry, FileOps& ops) {
  TagChangePlan plan;
  if (FileResult read = PlanTagRemoval(entry.path, ops, plan); !read) {
    // Nothing to cut: the entry learns that the file has no tag.
    if (read.error == NoTrailerError) ClearTagPart(entry);
    return read;
  }
  return RemoveTrailerAsPlanned(entry, plan, ops);
}

}  // namespace selvane
