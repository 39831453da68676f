#include "core/tags/TagWriter.h"

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "core/platform/Cp932.h"
#include "core/tags/GenreList.h"
#include "core/tags/Id3v1Tag.h"

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

bool EndsInTrailer(const unsigned char* tail, std::int64_t length) {
  return length >= static_cast<std::int64_t>(TrailerSize) && std::memcmp(tail, "TAG", 3) == 0;
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

// A trailer that is still there is overwritten in place, so the file never
// goes without a tag. `hasTag` only says what the last read saw: another
// program may have stripped the trailer since, and then cutting 128 bytes
// would cut audio, so the marker is looked at again first.
FileResult WriteTag(FileEntry& entry, const Trailer& trailer, FileOps& ops) {
  FileResult result;
  if (entry.hasTag == 1) {
    unsigned char tail[TrailerSize];
    std::int64_t length = 0;
    if (FileResult read = ops.ReadTail(entry.path, tail, length); !read) return read;
    if (EndsInTrailer(tail, length))
      result = ops.WriteAt(entry.path, length - static_cast<std::int64_t>(TrailerSize),
                           trailer.data(), trailer.size());
    else
      result = ops.Append(entry.path, trailer.data(), trailer.size());
  } else {
    result = ops.Append(entry.path, trailer.data(), trailer.size());
  }
  if (!result) return result;
  // The entry follows the file at once rather than waiting for a refresh
  // that may not read tags (empty rule): a later update must know that the
  // file now ends in a trailer, or it would append a second one.
  (void)ReadTag(entry.path, entry, ops);
  return result;
}

FileResult RemoveTag(FileEntry& entry, FileOps& ops) {
  unsigned char tail[TrailerSize];
  std::int64_t length = 0;
  if (FileResult read = ops.ReadTail(entry.path, tail, length); !read) return read;
  if (!EndsInTrailer(tail, length)) {
    // Nothing to cut: the entry learns that the file has no tag.
    ClearTagPart(entry);
    return FileResult{NoTrailerError};
  }
  if (FileResult cut = ops.Truncate(entry.path, length - static_cast<std::int64_t>(TrailerSize));
      !cut)
    return cut;
  ClearTagPart(entry);
  return {};
}

}  // namespace selvane
