#include <cstddef>
#include <cstring>

#include "core/tags/Id3v1Tag.h"
#include "core/tags/Id3v2Read.h"

namespace selvane {
namespace {

// Trailing spaces are cleared from the field's last byte backwards; a NUL
// stops the trim at once. The text then ends at the first NUL.
template <std::size_t N>
void TrimAndCopy(char (&dst)[N], std::string_view field) {
  static_assert(N > 1);
  char scratch[N];
  const std::size_t width = field.size() < N - 1 ? field.size() : N - 1;
  std::memcpy(scratch, field.data(), width);
  scratch[width] = '\0';
  for (std::size_t i = width; i > 0 && scratch[i - 1] == ' '; --i) scratch[i - 1] = '\0';
  CopyField(dst, std::string_view(scratch, std::strlen(scratch)));
}

std::string_view Field(const unsigned char* tail, std::size_t offset, std::size_t width) {
  return {reinterpret_cast<const char*>(tail) + offset, width};
}

}  // namespace

bool EndsInTrailer(const unsigned char* tail, std::int64_t length, const unsigned char* head,
                   std::size_t headRead) {
  if (length < static_cast<std::int64_t>(TrailerSize) || std::memcmp(tail, "TAG", 3) != 0)
    return false;
  // A file that is all ID3v2 tag may hold "TAG" 128 bytes before its end. A
  // tag that claims more than the file holds is cut or broken: its header
  // tells nothing, and the file's own trailer is not hidden behind it.
  const std::uint64_t tagEnd = Id3v2TagEnd(head, headRead);
  const auto bytes = static_cast<std::uint64_t>(length);
  return tagEnd > bytes || bytes - TrailerSize >= tagEnd;
}

FileResult ReadTrailerHead(FileResult tailRead, const PlannedPath& path, std::int64_t length,
                           const unsigned char* tail, unsigned char* head, std::size_t& headRead,
                           FileOps& ops) {
  // A file that is nothing but its trailer begins with "TAG", not "ID3".
  if (!tailRead || length <= static_cast<std::int64_t>(TrailerSize) ||
      std::memcmp(tail, "TAG", 3) != 0 || headRead >= Id3v2HeaderSize)
    return tailRead;
  headRead = 0;
  if (FileResult read = ops.ReadAtPlanned(path, 0, head, Id3v2HeaderSize); !read) return read;
  headRead = Id3v2HeaderSize;
  return {};
}

TrailerFields ParseTrailer(const unsigned char* trailer) {
  TrailerFields fields;
  fields.title = Field(trailer, offsetof(Id3v1Tag, title), sizeof(Id3v1Tag::title));
  fields.artist = Field(trailer, offsetof(Id3v1Tag, artist), sizeof(Id3v1Tag::artist));
  fields.album = Field(trailer, offsetof(Id3v1Tag, album), sizeof(Id3v1Tag::album));
  fields.year = Field(trailer, offsetof(Id3v1Tag, year), sizeof(Id3v1Tag::year));
  fields.comment = Field(trailer, offsetof(Id3v1Tag, comment), sizeof(Id3v1Tag::comment));
  fields.genre = trailer[offsetof(Id3v1Tag, genre)];
  return fields;
}

int ReadTag(const PlannedPath& path, FileEntry& entry, FileOps& ops, FileStatus* status) {
  unsigned char tail[TrailerSize];
  unsigned char head[Id3v2HeaderSize];
  std::int64_t length = -1;
  std::size_t headRead = 0;
  // Both ends through one open: "TAG" at the end is a trailer only past an
  // ID3v2 tag at the head.
  const FileResult read =
      ops.ReadEndsPlanned(path, tail, length, status, head, sizeof head, headRead);
  return TakeTrailer(ReadTrailerHead(read, path, length, tail, head, headRead, ops), length, tail,
                     head, headRead, entry);
}

int TakeTrailer(FileResult read, std::int64_t length, const unsigned char* tail,
                const unsigned char* head, std::size_t headRead, FileEntry& entry) {
  ClearTagPart(entry);
  // A known length of at least 128 bytes means the file was opened and only
  // the read itself failed.
  if (!read)
    return length >= static_cast<std::int64_t>(TrailerSize) ? ReadTagNoStream : ReadTagNoFile;
  if (length < static_cast<std::int64_t>(TrailerSize)) return ReadTagNoFile;
  if (!EndsInTrailer(tail, length, head, headRead)) return ReadTagNoMarker;
  TakeTrailerFields(tail, entry);
  return ReadTagOk;
}

void TakeTrailerFields(const unsigned char* trailer, FileEntry& entry) {
  ClearTagPart(entry);
  const TrailerFields tag = ParseTrailer(trailer);
  static_assert(sizeof(entry.title) == sizeof(Id3v1Tag::title) + 1);
  static_assert(sizeof(entry.year) == sizeof(Id3v1Tag::year) + 1);
  static_assert(sizeof(entry.comment) == sizeof(Id3v1Tag::comment) + 1);
  TrimAndCopy(entry.title, tag.title);
  TrimAndCopy(entry.artist, tag.artist);
  TrimAndCopy(entry.album, tag.album);
  TrimAndCopy(entry.year, tag.year);
  TrimAndCopy(entry.comment, tag.comment);
  entry.genre[0] = tag.genre;
  entry.genre[1] = 0;
  entry.hasTag = 1;
}

}  // namespace selvane
