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

// A path ends at its first NUL, as every reader of it as a C text sees it.
bool CopyField(PathText& dst, std::string_view src) {
  const std::string_view text = src.substr(0, src.find('\0'));
  const std::size_t n = CharBoundary(text, MaxPathBytes);
  dst.Assign(text.substr(0, n));
  return n == src.size();
}

// `text` may lie in this very path: it is copied before any buffer it may
// lie in is let go.
void PathText::Assign(std::string_view text) {
  char* to = inline_;
  std::unique_ptr<char[]> bigger;
  if (text.size() > InlineBytes) {
    if (heap_ == nullptr || capacity_ < text.size()) {
      bigger.reset(new char[text.size() + 1]);
      to = bigger.get();
    } else {
      to = heap_.get();
    }
  }
  std::memmove(to, text.data(), text.size());
  to[text.size()] = '\0';
  if (bigger != nullptr) {
    heap_ = std::move(bigger);
    capacity_ = static_cast<std::uint16_t>(text.size());
  } else if (to == inline_) {
    heap_.reset();
    capacity_ = 0;
  }
  size_ = static_cast<std::uint16_t>(text.size());
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
