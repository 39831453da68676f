#include "core/filelist/FileListReport.h"

namespace selvane {

std::string FileListReport(const ReportTexts& texts, std::size_t count,
                           const std::function<ReportedFile(std::size_t)>& fileAt,
                           std::size_t shownAtMost) {
  std::string text(texts.head);
  const std::size_t shown = count < shownAtMost ? count : shownAtMost;
  for (std::size_t i = 0; i < shown; ++i) {
    const ReportedFile f = fileAt(i);
    text.append("\n").append(f.from);
    if (!f.to.empty()) text.append(texts.arrow).append(f.to);
    text.append("\n  ").append(f.reason);
    if (!f.where.empty()) text.append(texts.nowAt).append(f.where);
    text.append("\n");
  }
  if (count > shown)
    text.append(texts.moreBefore).append(std::to_string(count - shown)).append(texts.moreAfter);
  return text;
}

}  // namespace selvane
