#pragma once
// The disk as the forecast expects the earlier rows to leave it: names the
// rows vacate and take over the real disk, which is never changed. A name
// is walked part by part as the system walks it, through the planned names
// and links (a link's ".." counts from where the link leads, not from its
// text), so a link whose target an earlier row moves is seen as the run
// will see it; a folder a row moves carries what lies in it. The rows' own
// paths are looked at once, before the first row (or taken from a refresh
// that has just read them); every folder on the way once at most.
#include <cstddef>
#include <functional>
#include <memory_resource>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/platform/FolderListing.h"
#include "core/platform/ManyReads.h"
#include "core/rename/DiskLooks.h"
#include "core/rename/FolderRules.h"

namespace selvane {

class PlannedDisk final : public DiskLooks {
 public:
  // `rules` tells which folders take names differing only in case for one.
  // `rows`: how many rows the plan is made for (a folder far larger than
  // that is not read whole).
  PlannedDisk(DiskLooks& real, FolderRules& rules, int rows = 0)
      : real_(real),
        rules_(rules),
        listed_([this](std::string_view folder,
                       const ListedFolders::Each& each) { return ListWhole(folder, each); },
                [this](std::string_view folder) { return OnShare(folder); }),
        rows_(rows < 0 ? 0 : static_cast<std::size_t>(rows)) {
    names_.reserve(2 * rows_);  // each row vacates one name and takes another
  }

  // The row about to be decided: its path held `origin` before the first
  // row, which stands for it until a planned name says otherwise. Its new
  // path is looked at through `newNative`, that path's native form, when
  // the caller made it.
  void Current(const char* path, const FileStatus& origin, std::string_view newPath = {},
               std::string_view newNative = {}) {
    currentPath_ = path;
    currentOrigin_ = &origin;
    currentNew_ = PlannedPath{newPath.data(), newNative};
    currentNewSize_ = newPath.size();
  }
  // The row's file moves from `from` to `to`. The plan keeps both names
  // where they lie, through any link on the way.
  void Moved(std::string_view from, std::string_view to);
  // An earlier row's file is planned to lie at `name`.
  bool Planned(std::string_view name);

  FileStatus Status(const char* path) override;
  using DiskLooks::Status;

 private:
  struct PlannedEntry {
    FileStatus status;  // kind Missing: vacated
    std::string real;   // where the entry lies on the real disk
  };
  // A name spelled as NameKey spells it, and where its last part starts.
  struct Spelled {
    std::string_view plain;
    std::size_t lastStart;
    std::string_view Folder() const {
      return lastStart == 0 ? std::string_view() : plain.substr(0, lastStart - 1);
    }
  };
  static Spelled Spell(std::string_view name, std::string& storage);
  // Where a walk ended: what is there, and its name in the plan and on the
  // real disk (they differ under a folder a row moves).
  struct Place {
    FileStatus status;
    std::string at, real;
    bool dangling = false;  // a link that leads nowhere (status: its own identity)
  };

  static constexpr int MaxLinks = 40;  // as many as the system follows in one name

  bool PlainFolder(std::string_view folder);
  std::string Located(std::string_view name);
  // The key of where a name lies in the plan, kept in the plan's arena.
  std::pmr::string LocatedKey(std::string_view name);
  std::string_view Key(std::string_view name, std::string& storage) {
    return rules_.PathKey(name, storage);
  }
  FileStatus Real(std::string_view name, bool folderOnTheWay);
  bool KnownAbsent(std::string_view name, std::string_view native);
  // The current row's new path, by where its bytes lie.
  bool IsCurrentNew(std::string_view name) const {
    return !currentNew_.native.empty() && name.data() == currentNew_.cp932 &&
           name.size() == currentNewSize_;
  }
  bool ListWhole(std::string_view folder, const ListedFolders::Each& each);
  PlannedEntry EntryAt(const std::string& at, const std::string& real, bool folderOnTheWay,
                       bool& touched);
  Place Walk(std::string_view path, bool follow, int& links, bool& touched, bool folder = false);
  static Place FollowLast(PlannedEntry entry, std::string candidate, Place leads, bool loops);

  DiskLooks& real_;
  FolderRules& rules_;
  // Keyed by strings, looked up by views.
  struct ByText {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  template <typename Value>
  using ByName = std::unordered_map<std::string, Value, ByText, std::equal_to<>>;
  // The plan's names live as long as the plan: they are taken from one
  // arena and given back together.
  std::pmr::monotonic_buffer_resource arena_;
  std::pmr::unordered_map<std::pmr::string, PlannedEntry, ByText, std::equal_to<>> names_{&arena_};
  ByName<bool> plain_;
  // The folder asked last and its answer: rows come folder by folder.
  std::string lastFolder_;
  bool lastPlain_ = false, hasLast_ = false;
  const char* currentPath_ = nullptr;
  const FileStatus* currentOrigin_ = nullptr;
  PlannedPath currentNew_{nullptr, {}};
  std::size_t currentNewSize_ = 0;
  ByName<FileStatus> folders_;
  // Over many names asked after in one folder, the folder is read once and
  // a name it does not hold needs no look of its own.
  // A folder where each status is a round trip is listed at the first name.
  bool OnShare(std::string_view folder);
  MediumWaits waits_;
  ListedFolders listed_;
  std::size_t rows_;
};

}  // namespace selvane
