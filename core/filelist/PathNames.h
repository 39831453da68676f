#pragma once
// How the program reads a CP932 path: where its separators are, its folder
// and its last name, and when two names are the same. Names are compared
// here and nowhere else, so that a medium that compares them another way
// changes one place.
#include <cstddef>
#include <string>
#include <string_view>

#include "core/platform/Cp932.h"

namespace selvane {

// True when the character at s[i] is a separator ('\' or '/'). A trail byte
// is never one, so `i` must be the start of a character.
inline constexpr bool IsSeparatorAt(std::string_view s, std::size_t i) {
  return CharLength(s, i) == 1 && (s[i] == '\\' || s[i] == '/');
}

// Where the last part of `path` starts: just after its last separator
// (from `from` on), or `from` when it has none.
std::size_t LastPartStart(std::string_view path, std::size_t from = 0);

// A path as its folder part (drive and directory, separator included) and
// its name, without copying. A last part "." or ".." is no name.
struct ViewSplit {
  std::string_view prefix, name;
};
ViewSplit SplitView(std::string_view path);

// Everything before the last separator, or empty.
std::string_view FolderOf(std::string_view path);

// Calls `visit` with each part of `text` between separators, its offset and
// whether it is the last; stops when `visit` returns false.
template <typename Visit>
void ForEachPart(std::string_view text, Visit visit) {
  std::size_t start = 0;
  for (std::size_t i = 0;;) {
    const bool end = i == text.size();
    if (end || IsSeparatorAt(text, i)) {
      if (!visit(text.substr(start, i - start), i, end) || end) return;
      start = i + 1;
    }
    i += end ? 1 : CharLength(text, i);
  }
}

// The spelling of a name that the file system resolves the same way: '\'
// and '/' are one separator, and doubled separators or "/./" parts are
// one. A name written plainly (nearly every name) is its own key, returned
// without a copy; otherwise the key is built in `storage`.
std::string_view NameKey(std::string_view name, std::string& storage);
bool SameName(std::string_view a, std::string_view b);
// The same for a name whose folder takes names differing only in letter
// case for one (when `ignoresCase`): its last part is keyed in one case.
// Which folders do is FolderRules' to know (core/rename).
std::string_view NameKey(std::string_view name, std::string& storage, bool ignoresCase);
bool SameName(std::string_view a, std::string_view b, bool ignoresCase);
// True when `name` lies inside `folder` (as the file system spells them).
bool LiesInside(std::string_view name, std::string_view folder);

}  // namespace selvane
