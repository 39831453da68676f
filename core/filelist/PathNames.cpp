#include "core/filelist/PathNames.h"

#include <utility>

#include "core/platform/FolderCase.h"

namespace selvane {

namespace {

// Whether a character starts at s[p], the text read from `from` on. A byte
// that is no lead byte ends a character wherever it stands, so a character
// starts just after the run of lead bytes before `p`; those pair off from
// the run's start, and `p` starts a character when the run is even.
bool StartsChar(std::string_view s, std::size_t from, std::size_t p) {
  std::size_t run = 0;
  while (p > from + run && IsLeadByte(static_cast<unsigned char>(s[p - run - 1]))) ++run;
  return run % 2 == 0;
}

bool IsSeparatorByte(char c) { return c == '/' || c == '\\'; }

}  // namespace

// Searched from the end: only the last part is read, and only a '/' or '\'
// byte asks whether it starts a character (a '\' may be a trail byte).
std::size_t LastPartStart(std::string_view path, std::size_t from) {
  for (std::size_t p = path.size(); p > from; --p)
    if (IsSeparatorByte(path[p - 1]) && StartsChar(path, from, p - 1)) return p;
  return from;
}

ViewSplit SplitView(std::string_view path) {
  const std::size_t driveEnd =
      path.size() >= 2 && CharLength(path, 0) == 1 && path[1] == ':' ? 2 : 0;
  const std::size_t start = LastPartStart(path, driveEnd);
  const std::string_view name = path.substr(start);
  if (name == "." || name == "..") return {path, {}};
  return {path.substr(0, start), name};
}

std::string_view FolderOf(std::string_view path) {
  const std::size_t start = LastPartStart(path);
  return start == 0 ? std::string_view() : path.substr(0, start - 1);
}

namespace {

// A name needs a key of its own only when it holds a '\', "//" or "/./".
// Only the separator bytes are looked at, each asked whether it starts a
// character.
bool IsPlain(std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (!IsSeparatorByte(name[i]) || !StartsChar(name, 0, i)) continue;
    if (name[i] == '\\') return false;
    if (i + 1 < name.size() &&
        (name[i + 1] == '/' || (name[i + 1] == '.' && i + 2 < name.size() && name[i + 2] == '/')))
      return false;
  }
  return true;
}

}  // namespace

std::string_view NameKey(std::string_view name, std::string& storage) {
  if (IsPlain(name)) return name;
  storage.clear();
  for (std::size_t i = 0; i < name.size(); i += CharLength(name, i)) {
    if (!IsSeparatorAt(name, i)) {
      storage.append(name.substr(i, CharLength(name, i)));
      continue;
    }
    if (!storage.empty() && storage.back() == '/') continue;
    // "/./" reads as "/".
    if (storage.size() >= 2 && storage.back() == '.' && storage[storage.size() - 2] == '/') {
      storage.pop_back();
      continue;
    }
    storage += '/';
  }
  return storage;
}

bool SameName(std::string_view a, std::string_view b) {
  std::string aStorage, bStorage;
  return NameKey(a, aStorage) == NameKey(b, bStorage);
}

std::string_view NameKey(std::string_view name, std::string& storage, bool ignoresCase) {
  std::string plainStorage;
  const std::string_view plain = NameKey(name, plainStorage);
  const std::size_t start = LastPartStart(plain);
  if (!ignoresCase || start == plain.size()) {
    if (plain.data() == name.data()) return name;
    storage = std::move(plainStorage);
    return storage;
  }
  std::string key(plain.substr(0, start));
  key += CaseFoldKey(plain.substr(start));
  storage = std::move(key);
  return storage;
}

bool SameName(std::string_view a, std::string_view b, bool ignoresCase) {
  std::string aStorage, bStorage;
  return NameKey(a, aStorage, ignoresCase) == NameKey(b, bStorage, ignoresCase);
}

bool LiesInside(std::string_view name, std::string_view folder) {
  std::string nameStorage, folderStorage;
  const std::string_view to = NameKey(name, nameStorage), from = NameKey(folder, folderStorage);
  return to.size() > from.size() && to.substr(0, from.size()) == from && to[from.size()] == '/';
}

}  // namespace selvane
