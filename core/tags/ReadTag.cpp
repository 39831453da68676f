#include <cstring>

#include "core/tags/Id3v1Tag.h"
#include "core/tags/TagWriter.h"

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

}  // namespace

int ReadTag(const char* path, FileEntry& entry, FileOps& ops, FileStatus* status) {
  unsigned char tail[TrailerSize];
  std::int64_t length = -1;
  const FileResult read = status != nullptr ? ops.ReadTailAndStatus(path, tail, length, *status)
                                            : ops.ReadTail(path, tail, length);
  return TakeTrailer(read, length, tail, entry);
}

int TakeTrailer(FileResult read, std::int64_t length, const unsigned char* tail, FileEntry& entry) {
  if (read.ok()) return TakeTrailer(tail, length, entry);
  ClearTagPart(entry);
  // A known length of at least 128 bytes means the file was opened and only
  // the read itself failed.
  return length >= static_cast<std::int64_t>(TrailerSize) ? ReadTagNoStream : ReadTagNoFile;
}

int TakeTrailer(const unsigned char* tail, std::int64_t length, FileEntry& entry) {
  ClearTagPart(entry);
  if (length < static_cast<std::int64_t>(TrailerSize)) return ReadTagNoFile;
  TrailerFields tag;
  if (!ParseTrailer(tail, length, tag)) return ReadTagNoMarker;

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
  return ReadTagOk;
}

}  // namespace selvane
