#include "core/tags/TagChangePlan.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>

#include "core/platform/Process.h"
#include "core/tags/Id3v1Tag.h"
#include "core/tags/Id3v2Read.h"

namespace selvane {
namespace {

// What an update of both tags reads of the head with the tail: a tag with
// the room the next edit needs most often fits, and a larger one is read
// again whole.
constexpr std::size_t HeadReadWithTail = 4096;

// The look at the file that plans a change: what the path names and its
// tail through one open, with its first `headSize` bytes into `head` when
// more than a header is wanted; else the header only where the tail begins
// with "TAG".
FileResult PlanTagChange(const char* path, FileOps& ops, TagChangePlan& plan, std::string& head,
                         std::size_t headSize) {
  plan = TagChangePlan{};
  plan.path = path;
  head.resize(std::max(headSize, Id3v2HeaderSize));
  auto* bytes = reinterpret_cast<unsigned char*>(head.data());
  std::int64_t length = 0;
  std::size_t headRead = 0;
  const FileResult ends =
      headSize > Id3v2HeaderSize
          ? ops.ReadEnds(path, plan.oldTail.data(), length, &plan.file, bytes, headSize, headRead)
          : ops.ReadTailAndStatus(path, plan.oldTail.data(), length, plan.file);
  if (plan.file.kind == FileKind::Missing) return FileResult{ENOENT};
  if (plan.file.kind != FileKind::Regular)
    return FileResult{plan.file.kind == FileKind::Folder ? EISDIR : NotRegularFileError};
  if (FileResult read =
          ReadTrailerHead(ends, path, length, plan.oldTail.data(), bytes, headRead, ops);
      !read)
    return read;
  head.resize(headRead);
  plan.file.length = length;
  plan.hadTrailer = EndsInTrailer(plan.oldTail.data(), length, bytes, headRead);
  if (!plan.hadTrailer) plan.oldTail.fill(0);
  return {};
}

// The plan's look stands for the file only while the file is still that one
// and as long: a question may have stood between, and a write by a stale
// length would land in the audio or cut what was added since.
FileResult StillAsPlanned(const TagChangePlan& plan, FileOps& ops) {
  const FileStatus now = ops.Status(plan.path.c_str());
  if (now.kind == FileKind::Missing) return FileResult{ENOENT};
  if (!now.SameFileAs(plan.file) || now.length != plan.file.length)
    return FileResult{ChangedSinceLookError};
  return {};
}

// The old tag block at the file's head, whose first bytes `head` holds:
// none when it does not begin with "ID3"; Malformed when it does but the
// block cannot be read whole before the trailer.
Id3v2Refusal ReadOldBlock(const TagChangePlan& plan, std::string_view head, FileOps& ops,
                          std::string& block) {
  block.clear();
  const std::int64_t body =
      plan.file.length - (plan.hadTrailer ? static_cast<std::int64_t>(TrailerSize) : 0);
  if (body < 3 || head.substr(0, 3) != "ID3") return Id3v2Refusal::None;
  if (body < static_cast<std::int64_t>(Id3v2HeaderSize) || head.size() < Id3v2HeaderSize)
    return Id3v2Refusal::Malformed;
  const std::size_t size =
      Id3v2TagEnd(reinterpret_cast<const unsigned char*>(head.data()), head.size());
  if (size == 0 || static_cast<std::int64_t>(size) > body) return Id3v2Refusal::Malformed;
  if (size <= head.size()) {
    block.assign(head.substr(0, size));
    return Id3v2Refusal::None;
  }
  block.resize(size);
  if (!ops.ReadAt(plan.path.c_str(), 0, block.data(), size)) return Id3v2Refusal::Malformed;
  return Id3v2Refusal::None;
}

// A name of the program's own beside the file, new for every write.
std::string BesideName(const std::string& path) {
  static std::atomic<unsigned> made{0};
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  return folder + ".selvane-" + std::to_string(std::time(nullptr)) + "-" +
         std::to_string(ThisProcess().pid) + "-" + std::to_string(++made) + ".new";
}

}  // namespace

FileResult PlanTagUpdate(const char* path, const Trailer& trailer, FileOps& ops,
                         TagChangePlan& plan) {
  std::string head;
  if (FileResult read = PlanTagChange(path, ops, plan, head, Id3v2HeaderSize); !read) return read;
  plan.newEnd.assign(reinterpret_cast<const char*>(trailer.data()), trailer.size());
  return {};
}

FileResult PlanTagRemoval(const char* path, FileOps& ops, TagChangePlan& plan) {
  std::string head;
  if (FileResult read = PlanTagChange(path, ops, plan, head, Id3v2HeaderSize); !read) return read;
  if (!plan.hadTrailer) return FileResult{NoTrailerError};
  plan.removes = true;
  const std::int64_t rest = plan.file.length - static_cast<std::int64_t>(TrailerSize);
  const std::int64_t kept = rest < 128 ? rest : 128;
  plan.newEnd.assign(static_cast<std::size_t>(kept), '\0');
  if (kept > 0) return ops.ReadAt(path, rest - kept, plan.newEnd.data(), plan.newEnd.size());
  return {};
}

FileResult WriteTrailerAsPlanned(FileEntry& entry, const TagChangePlan& plan, FileOps& ops,
                                 bool* replaced) {
  if (plan.removes || plan.newEnd.size() != TrailerSize) return FileResult{EINVAL};
  if (FileResult same = StillAsPlanned(plan, ops); !same) return same;
  const std::int64_t tagAt = plan.file.length - static_cast<std::int64_t>(TrailerSize);
  const FileResult result =
      plan.hadTrailer
          ? ops.WriteAt(plan.path.c_str(), tagAt, plan.newEnd.data(), plan.newEnd.size())
          : ops.Append(plan.path.c_str(), plan.newEnd.data(), TrailerSize);
  if (!result) return result;
  if (replaced != nullptr) *replaced = plan.hadTrailer;
  // The entry follows the file at once rather than waiting for a refresh
  // that may not read tags (empty rule); the bytes just written are the tail.
  TakeTrailerFields(reinterpret_cast<const unsigned char*>(plan.newEnd.data()), entry);
  return result;
}

FileResult RemoveTrailerAsPlanned(FileEntry& entry, const TagChangePlan& plan, FileOps& ops) {
  if (!plan.removes || !plan.hadTrailer) return FileResult{EINVAL};
  if (FileResult same = StillAsPlanned(plan, ops); !same) return same;
  const std::int64_t tagAt = plan.file.length - static_cast<std::int64_t>(TrailerSize);
  if (FileResult cut = ops.Truncate(plan.path.c_str(), tagAt); !cut) return cut;
  ClearTagPart(entry);
  return {};
}

FileResult PlanBothTags(const char* path, const Trailer& trailer, const Id3v2Changes& changes,
                        FileOps& ops, TagChangePlan& plan, Id3v2Refusal& refusal) {
  refusal = Id3v2Refusal::None;
  std::string first;
  if (FileResult read = PlanTagChange(path, ops, plan, first, HeadReadWithTail); !read) return read;
  plan.newEnd.assign(reinterpret_cast<const char*>(trailer.data()), trailer.size());
  HeadChange head;
  refusal = ReadOldBlock(plan, first, ops, head.oldBlock);
  Id3v2Splice splice;
  if (refusal == Id3v2Refusal::None) {
    splice = SpliceId3v2(head.oldBlock, changes);
    refusal = splice.refusal;
  }
  if (refusal != Id3v2Refusal::None) return FileResult{Id3v2RefusedError};
  head.newBlock = std::move(splice.block);
  head.inPlace = splice.inPlace;
  if (!head.inPlace) {
    if (plan.file.link) return FileResult{LinkedFileError};
    head.beside = BesideName(plan.path);
  }
  plan.head = std::move(head);
  return {};
}

FileResult WriteBothAsPlanned(FileEntry& entry, const TagChangePlan& plan, FileOps& ops,
                              FileStatus& placed, bool* replaced) {
  placed = {};
  if (!plan.head || plan.removes || plan.newEnd.size() != TrailerSize) return FileResult{EINVAL};
  if (FileResult same = StillAsPlanned(plan, ops); !same) return same;
  const HeadChange& head = *plan.head;
  const std::int64_t body =
      plan.file.length - (plan.hadTrailer ? static_cast<std::int64_t>(TrailerSize) : 0);
  FileResult result;
  if (head.inPlace) {
    const FilePiece pieces[] = {{0, head.newBlock}, {body, plan.newEnd}};
    result = ops.WriteSynced(plan.path.c_str(), pieces);
    if (result) placed = ops.Status(plan.path.c_str());
  } else {
    RebuildPlan rebuild;
    rebuild.path = plan.path.c_str();
    rebuild.beside = head.beside.c_str();
    rebuild.head = head.newBlock;
    rebuild.copyFrom = static_cast<std::int64_t>(head.oldBlock.size());
    rebuild.copyTo = body;
    rebuild.tail = plan.newEnd;
    rebuild.expected = plan.file;
    result = ops.RebuildFile(rebuild, placed);
  }
  if (!result) return result;
  if (replaced != nullptr) *replaced = plan.hadTrailer;
  TakeTrailerFields(reinterpret_cast<const unsigned char*>(plan.newEnd.data()), entry);
  return result;
}

}  // namespace selvane
