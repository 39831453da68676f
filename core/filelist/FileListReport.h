#pragma once
// The one report of files that a command left as they were: the rename
// run's failures and undo's leftovers read alike, in CP932.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace selvane {

// A report shows at most this many files; a box taller than the screen
// helps nobody, and the lists show the rest.
inline constexpr std::size_t ReportedFiles = 20;

// One file of a report, shown as given: where it was, where it should have
// gone (empty: no arrow), why it did not, and where it lies now when that is
// neither of the two (empty: not said).
struct ReportedFile {
  std::string from, to, reason, where;
};
// The words of a report around its files.
struct ReportTexts {
  std::string_view head, arrow, nowAt, moreBefore, moreAfter;
};
// The report of `count` files: the first `shownAtMost` as `fileAt` gives
// them, then how many more there are.
std::string FileListReport(const ReportTexts& texts, std::size_t count,
                           const std::function<ReportedFile(std::size_t)>& fileAt,
                           std::size_t shownAtMost = ReportedFiles);

}  // namespace selvane
