#include "core/rename/PlannedDisk.h"

#include <utility>
#include <vector>

#include "core/filelist/PathNames.h"
#include "core/platform/Cp932.h"

namespace selvane {
namespace {

std::string Parent(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

PlannedDisk::Spelled PlannedDisk::Spell(std::string_view name, std::string& storage) {
  const std::string_view plain = NameKey(name, storage);
  return {plain, LastPartStart(plain)};
}

void PlannedDisk::Moved(std::string_view from, std::string_view to) {
  Place moved;
  std::string storage, keyStorage;
  const Spelled spelled = Spell(from, storage);
  if (PlainFolder(spelled.Folder())) {
    const std::string_view key =
        rules_.SpelledPathKey(spelled.plain, spelled.lastStart, keyStorage);
    if (const auto it = names_.find(key); it != names_.end()) {
      moved.status = it->second.status;
      moved.real = it->second.real;
    } else {
      moved.status = Real(from, false);
      moved.real = std::string(spelled.plain);
    }
  } else {
    bool touched = false;
    int links = 0;
    moved = Walk(from, false, links, touched);
  }
  if (moved.status.kind == FileKind::Missing) moved.real = std::string(from);
  std::pmr::string fromKey = LocatedKey(from), toKey = LocatedKey(to);
  if (moved.status.kind == FileKind::Folder || moved.status.link) {
    plain_.clear();
    hasLast_ = false;
  }
  names_[std::move(fromKey)] = PlannedEntry{};
  names_[std::move(toKey)] = PlannedEntry{moved.status, std::move(moved.real)};
}

bool PlannedDisk::Planned(std::string_view name) {
  if (names_.empty()) return false;
  const std::pmr::string key = LocatedKey(name);
  const auto it = names_.find(std::string_view(key));
  return it != names_.end() && it->second.status.kind != FileKind::Missing;
}

FileStatus PlannedDisk::Status(const char* path) {
  if (names_.empty()) return Real(path, false);
  // Nearly always the name lies in a folder that nothing planned and no
  // link touches, and is no link itself: it is where it is written.
  std::string storage, keyStorage;
  const Spelled spelled = Spell(path, storage);
  if (PlainFolder(spelled.Folder())) {
    const std::string_view key =
        rules_.SpelledPathKey(spelled.plain, spelled.lastStart, keyStorage);
    if (const auto it = names_.find(key); it != names_.end()) {
      if (!it->second.status.link) return it->second.status;
    } else if (FileStatus real = Real(path, false); !real.link) {
      return real;
    }
  }
  bool touched = false;
  int links = 0;
  Place place = Walk(path, true, links, touched);
  return touched ? std::move(place.status) : Real(path, false);
}

// A folder that is where it is written: walked through the plan, it met
// no planned name and no link. Kept until a folder or a link moves.
bool PlannedDisk::PlainFolder(std::string_view folder) {
  if (folder.empty()) return false;
  if (hasLast_ && folder == lastFolder_) return lastPlain_;
  bool plain = false;
  if (const auto it = plain_.find(folder); it != plain_.end()) {
    plain = it->second;
  } else {
    bool touched = false;
    int links = 0;
    const Place place = Walk(folder, true, links, touched, true);
    plain = !touched && place.status.kind == FileKind::Folder && place.at == folder;
    plain_.emplace(std::string(folder), plain);
  }
  lastFolder_.assign(folder);
  lastPlain_ = plain;
  hasLast_ = true;
  return plain;
}

// Where a name lies in the plan: its folder walked through the plan and
// its links, then its own last part (or the name as written, when its
// folder is not there).
std::string PlannedDisk::Located(std::string_view name) {
  std::string storage;
  const std::string_view plain = NameKey(name, storage);
  const std::string_view folder = FolderOf(plain);
  if (folder.empty() || PlainFolder(folder)) return std::string(plain);
  bool touched = false;
  int links = 0;
  const Place place = Walk(folder, true, links, touched, true);
  if (place.status.kind != FileKind::Folder || place.at.empty()) return std::string(plain);
  return place.at + std::string(plain.substr(folder.size()));
}

std::pmr::string PlannedDisk::LocatedKey(std::string_view name) {
  std::string storage, keyStorage;
  const Spelled spelled = Spell(name, storage);
  if (spelled.Folder().empty() || PlainFolder(spelled.Folder()))
    return std::pmr::string(rules_.SpelledPathKey(spelled.plain, spelled.lastStart, keyStorage),
                            &arena_);
  return std::pmr::string(Key(Located(name), keyStorage), &arena_);
}

// The real disk's answer: the current row's path as it was before the
// first row, a folder on the way as it was looked at once, anything else
// now.
FileStatus PlannedDisk::Real(std::string_view name, bool folderOnTheWay) {
  if (currentOrigin_ != nullptr && name.data() == currentPath_) return *currentOrigin_;
  if (!folderOnTheWay) {
    const bool isNew = IsCurrentNew(name);
    if (KnownAbsent(name, isNew ? currentNew_.native : std::string_view())) return {};
    if (isNew) return real_.Status(currentNew_);
    return real_.Status(std::string(name).c_str());
  }
  const auto it = folders_.find(name);
  if (it != folders_.end()) return it->second;
  return folders_.emplace(std::string(name), real_.Status(std::string(name).c_str())).first->second;
}

// A name in a folder read whole that does not hold it. Only a folder that
// compares names byte for byte, on no FAT-family medium, is read: there a
// name absent from the listing is absent. On a share this spares a round
// trip per name; a server matching names more loosely still makes the
// move, which never replaces, fail rather than overwrite.
bool PlannedDisk::KnownAbsent(std::string_view name, std::string_view native) {
  const std::size_t start = LastPartStart(name);
  if (start == 0 || start == name.size()) return false;
  const std::string_view last = name.substr(start);
  if (last == "." || last == "..") return false;
  const FolderRule& rule = rules_.RuleFor(name);
  if (rule.ignoresCase || rule.medium.fatFamily) return false;
  // A separator is one byte in both forms and never inside a character, so
  // the native last part is what follows the native path's last '/'.
  std::string made;
  if (!native.empty())
    native.remove_prefix(native.rfind('/') + 1);
  else if (Cp932PathToNative(last, made))
    native = made;
  else
    return false;
  return listed_.Find(name.substr(0, start == 1 ? 1 : start - 1), native) ==
         ListedFolders::Holds::Absent;
}

bool PlannedDisk::OnShare(std::string_view folder) {
  std::string native;
  return Cp932PathToNative(folder, native) && waits_.PaysForWaiting(native);
}

// A folder much larger than the plan's rows is left to be asked name by name.
bool PlannedDisk::ListWhole(std::string_view folder, const ListedFolders::Each& each) {
  const std::size_t most = 4 * rows_ + 1024;
  std::size_t count = 0;
  bool whole = true;
  const bool read = real_.ListFolder(std::string(folder).c_str(), [&](std::string_view native) {
    whole = ++count <= most && each(native, false);
    return whole;
  });
  return read && whole;
}

// The entry at `at` (the plan's name) whose real name is `real`.
PlannedDisk::PlannedEntry PlannedDisk::EntryAt(const std::string& at, const std::string& real,
                                               bool folderOnTheWay, bool& touched) {
  for (const std::string* name : {&at, &real}) {
    std::string storage;
    const auto it = names_.find(Key(*name, storage));
    if (it != names_.end()) {
      touched = true;
      return it->second;
    }
    if (at == real) break;
  }
  return PlannedEntry{Real(real, folderOnTheWay), real};
}

// Walks `path` part by part; `follow` follows a link in the last part too;
// `folder` tells that the path is a folder (looked at once, like the
// folders on the way).
PlannedDisk::Place PlannedDisk::Walk(std::string_view path, bool follow, int& links, bool& touched,
                                     bool folder) {
  Place none;
  if (path.empty() || !IsSeparatorAt(path, 0)) {
    none.status = Real(path, false);  // a name of no folder of ours: as it is
    return none;
  }
  std::vector<std::string_view> parts;
  ForEachPart(path, [&parts](std::string_view part, std::size_t, bool) {
    if (!part.empty() && part != ".") parts.push_back(part);
    return true;
  });
  std::string at, real;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const std::string_view part = parts[k];
    if (part == "..") {
      at = Parent(at);
      real = Parent(real);
      continue;
    }
    const bool last = k + 1 == parts.size();
    std::string candidate = at + "/" + std::string(part);
    PlannedEntry entry =
        EntryAt(candidate, real + "/" + std::string(part), !last || folder, touched);
    if (entry.status.kind == FileKind::Missing) return none;
    if (entry.status.link && (!last || follow) && !entry.status.linkText.empty()) {
      Place leads;
      const bool loops = ++links > MaxLinks;
      if (!loops) {
        const std::string& text = entry.status.linkText;
        leads = Walk(text.front() == '/' ? text : at + "/" + text, true, links, touched);
      }
      if (!last) {
        if (loops || leads.status.kind != FileKind::Folder) return none;
        at = std::move(leads.at);
        real = std::move(leads.real);
        continue;
      }
      return FollowLast(std::move(entry), std::move(candidate), std::move(leads), loops);
    }
    if (!last) {
      if (entry.status.kind != FileKind::Folder) return none;
      at = std::move(candidate);
      real = std::move(entry.real);
      continue;
    }
    return Place{std::move(entry.status), std::move(candidate), std::move(entry.real)};
  }
  none.status = Real("/", true);  // the root itself
  return none;
}

// A link in the last part, followed: the name stands where the link leads,
// or, leading nowhere, is a name taken by something that is no file.
PlannedDisk::Place PlannedDisk::FollowLast(PlannedEntry entry, std::string candidate, Place leads,
                                           bool loops) {
  const bool nowhere = loops || leads.dangling || leads.status.kind == FileKind::Missing;
  Place place{std::move(entry.status), nowhere ? std::move(candidate) : std::move(leads.at),
              nowhere ? std::move(entry.real) : std::move(leads.real)};
  FileStatus& own = place.status;
  if (nowhere) {
    place.dangling = true;
    own.kind = FileKind::Other;
    own.device = own.nameDevice;
    own.inode = own.nameInode;
    own.length = 0;
  } else {
    own.kind = leads.status.kind;
    own.device = leads.status.device;
    own.inode = leads.status.inode;
    own.length = leads.status.length;
  }
  return place;
}

}  // namespace selvane
