#include "core/filelist/FileEntry.h"

#include <cstring>

#include "core/platform/Cp932.h"

namespace selvane {

bool CopyField(char* dst, std::size_t dstSize, std::string_view src) {
  if (dstSize == 0) return src.empty();
  const std::size_t n = CharBoundary(src, dstSize - 1);
  std::memcpy(dst, src.data(), n);
  dst[n] = '\0';
  return n == src.size();
}

bool CopyField(PathText& dst, std::string_view src) {
  const std::size_t n = CharBoundary(src, MaxPathBytes);
  dst.text_.assign(src.data(), n);
  return n == src.size();
}

void ClearTagPart(FileEntry& entry) {
  entry.hasTag = 0;
  entry.title[0] = '\0';
  entry.artist[0] = '\0';
  entry.album[0] = '\0';
  entry.year[0] = '\0';
  entry.comment[0] = '\0';
  entry.genre[0] = 0;
  entry.genre[1] = 0;
}

}  // namespace selvane
