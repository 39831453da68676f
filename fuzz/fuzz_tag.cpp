// The trailer writer and reader: what BuildTrailer writes, ReadTag gives
// back by its trim rules; WriteTag and RemoveTag touch only the last 128
// bytes, never leave two trailers, and change nothing when they fail.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/filelist/FileEntry.h"
#include "core/platform/Cp932.h"
#include "core/tags/Id3v1Tag.h"
#include "core/tags/TagWriter.h"
#include "fuzz/FuzzCheck.h"
#include "tests/core/MemoryFileOps.h"

using namespace selvane;

namespace {

// The reader's view of a field the writer filled with `text`: up to a NUL,
// cut to the width on a character boundary, trailing spaces dropped.
std::string Expected(std::string_view text, std::size_t width) {
  text = text.substr(0, text.find('\0'));
  std::string out(text.substr(0, CharBoundary(text, width)));
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// "TAG" 128 bytes before the end, past any ID3v2 tag at the head (its
// header's synchsafe size, and a 2.4 footer) that the file holds whole.
bool EndsInTrailer(const std::string& bytes) {
  if (bytes.size() < TrailerSize || bytes.compare(bytes.size() - TrailerSize, 3, "TAG") != 0)
    return false;
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  std::size_t end = 0;
  if (bytes.size() >= 10 && bytes.starts_with("ID3") && at(3) >= 2 && at(3) <= 4 && at(4) != 0xFF &&
      ((at(6) | at(7) | at(8) | at(9)) & 0x80) == 0)
    end = 10 +
          (std::size_t{at(6)} << 21 | std::size_t{at(7)} << 14 | std::size_t{at(8)} << 7 | at(9)) +
          (at(3) == 4 && (at(5) & 0x10) != 0 ? 10 : 0);
  return end > bytes.size() || bytes.size() - TrailerSize >= end;
}

void CheckFields(const FileEntry& entry, const std::string (&texts)[5]) {
  FUZZ_CHECK(entry.hasTag == 1);
  FUZZ_CHECK(Expected(texts[0], 30) == entry.title);
  FUZZ_CHECK(Expected(texts[1], 30) == entry.artist);
  FUZZ_CHECK(Expected(texts[2], 30) == entry.album);
  FUZZ_CHECK(Expected(texts[3], 4) == entry.year);
  FUZZ_CHECK(Expected(texts[4], 30) == entry.comment);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const int genreItem = in.ConsumeIntegralInRange(-1, 148);
  const auto lastGenre = in.ConsumeIntegral<unsigned char>();
  const int where = in.ConsumeIntegralInRange(0, 4);  // file, link, pipe, folder, missing
  std::string texts[5];
  for (std::string& text : texts) text = in.ConsumeRandomLengthString(40);
  const std::string body = in.ConsumeRemainingBytesAsString();  // may end in a trailer

  const Trailer trailer =
      BuildTrailer({texts[0], texts[1], texts[2], texts[3], texts[4], genreItem}, lastGenre);
  FUZZ_CHECK(std::memcmp(trailer.data(), "TAG", 3) == 0);
  FUZZ_CHECK(trailer[127] == GenreByteForItem(genreItem, lastGenre));
  const std::string written(reinterpret_cast<const char*>(trailer.data()), trailer.size());

  // The trailer as the last 128 bytes of a file reads back field by field,
  // unless it lies inside an ID3v2 tag.
  {
    MemoryFileOps fs;
    fs.AddFile("/a.mp3", body + written);
    FileEntry entry{};
    const bool read = EndsInTrailer(body + written);
    FUZZ_CHECK(ReadTag("/a.mp3", entry, fs) == (read ? ReadTagOk : ReadTagNoMarker));
    if (read) {
      CheckFields(entry, texts);
      FUZZ_CHECK(entry.genre[0] == trailer[127] && entry.genre[1] == 0);
    }
  }

  MemoryFileOps fs;
  fs.AddFile("/real.mp3", body);
  if (where == 1) fs.AddLink("/a.mp3", "real.mp3");
  if (where == 2) fs.AddOther("/a.mp3");
  if (where == 3) fs.AddFolder("/a.mp3");
  const char* path = where == 0 ? "/real.mp3" : "/a.mp3";
  const bool reachable = where <= 1;
  const auto listing = fs.Listing();

  FileEntry entry{};
  CopyField(entry.path, path);
  bool replaced = false;
  const FileResult write = WriteTag(entry, trailer, fs, &replaced);
  std::string after;
  FUZZ_CHECK(write.ok() == reachable);
  if (!write) {
    FUZZ_CHECK(fs.Listing() == listing);
    return 0;
  }
  FUZZ_CHECK(fs.Read("/real.mp3", after));
  const bool had = EndsInTrailer(body);
  FUZZ_CHECK(replaced == had);
  const std::string kept = had ? body.substr(0, body.size() - TrailerSize) : body;
  FUZZ_CHECK(after == kept + written);
  CheckFields(entry, texts);

  const FileResult removed = RemoveTag(entry, fs);
  // A tag that claimed a little more than the file had holds the trailer
  // appended: the one file whose trailer is then not read as one.
  if (!EndsInTrailer(after)) {
    FUZZ_CHECK(!had && removed.error == NoTrailerError);
    FUZZ_CHECK(fs.Read("/real.mp3", after) && after == kept + written);
    return 0;
  }
  FUZZ_CHECK(removed.ok() && entry.hasTag == 0);
  FUZZ_CHECK(fs.Read("/real.mp3", after) && after == kept);
  // With no trailer left, another remove cuts nothing unless the audio
  // itself ends in "TAG" bytes, which then look like a trailer.
  const FileResult again = RemoveTag(entry, fs);
  FUZZ_CHECK(fs.Read("/real.mp3", after));
  if (EndsInTrailer(kept))
    FUZZ_CHECK(again.ok() && after == kept.substr(0, kept.size() - TrailerSize));
  else
    FUZZ_CHECK(again.error == NoTrailerError && after == kept);
  return 0;
}
