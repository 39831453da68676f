#pragma once
// A batch as the store keeps it: the plan, and the outcome when the batch
// got as far as recording it.
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "core/history/Journal.h"
#include "core/platform/Process.h"

namespace selvane {

enum class BatchKind { Rename = 1, TagUpdate = 2, TagRemoval = 3 };

// The identity undo compares: for a rename the name's own device and inode
// (a link moves as itself), for a tag change those of the file written.
// Where the medium does not keep inode numbers (FUSE, a remount), the file
// is known by its length, modification time and last bytes instead.
struct Identity {
  bool known = false;
  std::uint64_t device = 0, inode = 0;
  std::int64_t length = 0;
  std::int64_t modified = 0;  // nanoseconds; 0: not known
  std::string tail;           // the last bytes (at most 128); empty: not known
};

// The medium a batch worked on, as core/platform/Volume tells it.
struct RecordedVolume {
  std::string uuid, label;  // empty where the medium has none
  std::string mountPoint;   // native, where it was mounted
  std::uint64_t device = 0;
  bool keepsInodes = true;  // false on FUSE and FAT-family media
};

// A planned step on its way into the store (native paths, viewed where the
// plan keeps them; empty: the row had none).
struct PlannedStep {
  std::string_view path, newPath;
  Identity file, target;
};

// What the run did with one planned step.
struct StepOutcome {
  std::size_t seq = 0;
  RowOutcome outcome = RowOutcome::NotMoved;
  std::string place;  // native; empty when the file is at its path or new path
  Identity placed;
  ReplacedFate replaced = ReplacedFate::None;
  std::string replacedPath;  // native, in the trash
  Identity replacedFile;
};

struct StoredStep {
  std::size_t seq = 0;
  bool undone = false;        // taken back by an earlier undo that was cut short
  std::string path, newPath;  // CP932
  // The same as stored: the disk and the comparing of paths use these.
  std::string nativePath, nativeNewPath;
  Identity file;
  Identity target;  // what held newPath just before this step replaced it
  bool hasOldTail = false;
  std::string oldTail;  // 128 bytes
  std::string newEnd;   // tag changes: what the file ends in afterwards
  bool outcomeKnown = false;
  RowOutcome outcome = RowOutcome::NotMoved;
  std::string place;  // CP932; where a failure left the file
  std::string nativePlace;
  Identity placed;  // the name's identity where the run left it
  ReplacedFate replaced = ReplacedFate::None;
  std::string replacedPath;  // native, in the trash
  Identity replacedFile;
};

// A tag update that wrote the ID3v2 tag at the file's head too.
struct StoredTagHead {
  bool present = false;
  std::string oldBlock;       // the block the file began with (empty: none)
  std::int64_t newSize = 0;   // the block written
  std::string newSums;        // its CRC-32 per TagHeadChunk bytes, 4 bytes each
  std::string beside;         // native: the new file's name (empty: written in place)
  std::string besideCp932;    // the same as CP932
  std::int64_t recorded = 0;  // seconds since 1970, when `beside` was written down
};

inline constexpr std::size_t TagHeadChunk = 4096;

struct StoredBatch {
  std::int64_t id = 0;
  BatchKind kind = BatchKind::Rename;
  std::time_t made = 0;
  std::string temporary;  // CP932; empty when none
  std::string nativeTemporary;
  bool finished = false;  // the outcome was recorded
  int files = 0;
  int undoneSteps = 0;  // steps an earlier undo took back
  ProcessMark owner;    // the process that ran it
  RecordedVolume volume;
  std::vector<StoredStep> steps;
  struct Placeholder {
    std::string path;       // native
    std::int64_t made = 0;  // seconds since 1970, when it was written down
  };
  std::vector<Placeholder> placeholders;
  StoredTagHead head;  // tag updates only
};

}  // namespace selvane
