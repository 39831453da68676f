#pragma once
// What the file calls give back and take: a result, what a path names, and
// the move's options. Apart from FileOps itself so that the platform's own
// helpers can use them without the interface.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace selvane {

struct [[nodiscard]] FileResult {
  int error = 0;  // errno; 0 = success
  constexpr bool ok() const { return error == 0; }
  constexpr explicit operator bool() const { return ok(); }
};

enum class FileKind { Missing, Regular, Folder, Other };

// What a path names, looked at without opening it. `kind`, `device`,
// `inode` and `length` are those of what the name leads to, links followed
// (a link that leads nowhere is Other, since the name is taken, and then
// carries the link's own identity). `link` tells that the name itself is a
// symbolic link, and `linkText` what it holds; `nameDevice` and `nameInode`
// are the name's own entry,
// equal to `device` and `inode` when it is no link. Two names stand for one
// file when they lead to the same device and inode; deleting a name removes
// the bytes it leads to only when it is no link.
struct FileStatus {
  FileKind kind = FileKind::Missing;
  std::uint64_t device = 0, inode = 0;
  std::int64_t length = 0;
  std::int64_t modified = 0;  // nanoseconds since 1970, of what the name leads to
  bool link = false;
  std::uint64_t nameDevice = 0, nameInode = 0;
  std::string linkText;  // a link's contents as CP932 (empty when it has no CP932 form)

  bool SameFileAs(const FileStatus& other) const {
    return kind != FileKind::Missing && other.kind != FileKind::Missing && device == other.device &&
           inode == other.inode;
  }
  // The same directory entry: one name, or two hard links of one file.
  bool SameEntryAs(const FileStatus& other) const {
    return kind != FileKind::Missing && other.kind != FileKind::Missing &&
           nameDevice == other.nameDevice && nameInode == other.nameInode;
  }
};

// Media without an atomic no-replace rename (FUSE, network shares) reserve
// the new name with an empty placeholder first and then rename over it. A
// kill in between leaves that empty file behind, so a caller that keeps a
// record hears of it at each step.
enum class PlaceholderStep {
  Reserving,  // about to be made: record it now; a failure returned stops the move
  Filled,     // the file lies under the name now: no placeholder is left
  Gone,       // not made, or removed again after a failed rename
  Left,       // the rename failed and the placeholder could not be removed
};

struct MoveOptions {
  // Told the path as the move was given it (the new name).
  std::function<FileResult(PlaceholderStep step, const char* path)> placeholder;
  // renameat2 with RENAME_NOREPLACE, answering as the system does (-1 and
  // errno); tests put in one that answers as a FUSE medium does.
  int (*renameNoReplace)(const char* from, const char* to) = nullptr;
};

// Bytes to write at an offset of a file.
struct FilePiece {
  std::int64_t offset = 0;
  std::string_view bytes;
};

// A file made anew beside the one it replaces: `head`, then the old file's
// bytes from `copyFrom` to `copyTo`, then `tail`.
struct RebuildPlan {
  const char* path = "";    // CP932: the file replaced
  const char* beside = "";  // CP932: the new file's name, in the same folder
  // Their native forms when the caller holds them (empty: made from the above).
  std::string_view nativePath, nativeBeside;
  std::string_view head;
  std::int64_t copyFrom = 0, copyTo = 0;
  std::string_view tail;
  FileStatus expected;  // what `path` must still be (device, inode, length)
};

}  // namespace selvane
