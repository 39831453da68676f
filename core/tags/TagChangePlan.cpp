#include "core/tags/TagChangePlan.h"

#include <atomic>
#include <cerrno>
#include <ctime>

#include "core/platform/Process.h"
#include "core/tags/Id3v1Tag.h"
#include "core/tags/Id3v2Read.h"

namespace selvane {
namespace {

FileResult PlanTagChange(const char* path, FileOps& ops, TagChangePlan& plan) {
  plan = TagChangePlan{};
  plan.path = path;
  plan.file = ops.Status(path);
  if (plan.file.kind == FileKind::Missing) return FileResult{ENOENT};
  if (plan.file.kind != FileKind::Regular)
    return FileResult{plan.file.kind == FileKind::Folder ? EISDIR : NotRegularFileError};
  std::int64_t length = 0;
  unsigned char head[Id3v2HeaderSize];
  std::size_t headRead = 0;
  const FileResult tail = ops.ReadTail(path, plan.oldTail.data(), length);
  if (FileResult read =
          ReadTrailerHead(tail, path, length, plan.oldTail.data(), head, headRead, ops);
      !read)
    return read;
  plan.file.length = length;
  plan.hadTrailer = EndsInTrailer(plan.oldTail.data(), length, head, headRead);
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

// The old tag block at the file's head: none when it does not begin with
// "ID3"; Malformed when it does but the block cannot be read whole before
// the trailer.
Id3v2Refusal ReadOldBlock(const TagChangePlan& plan, FileOps& ops, std::string& block) {
  block.clear();
  unsigned char header[Id3v2HeaderSize];
  const std::int64_t body =
      plan.file.length - (plan.hadTrailer ? static_cast<std::int64_t>(TrailerSize) : 0);
  if (body < 3 || !ops.ReadAt(plan.path.c_str(), 0, header, 3) ||
      std::string_view(reinterpret_cast<const char*>(header), 3) != "ID3")
    return Id3v2Refusal::None;
  if (body < static_cast<std::int64_t>(Id3v2HeaderSize) ||
      !ops.ReadAt(plan.path.c_str(), 0, header, sizeof header))
    return Id3v2Refusal::Malformed;
  const std::size_t size = Id3v2TagEnd(header, sizeof header);
  if (size == 0 || static_cast<std::int64_t>(size) > body) return Id3v2Refusal::Malformed;
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
  if (FileResult read = PlanTagChange(path, ops, plan); !read) return read;
  plan.newEnd.assign(reinterpret_cast<const char*>(trailer.data()), trailer.size());
  return {};
}

FileResult PlanTagRemoval(const char* path, FileOps& ops, TagChangePlan& plan) {
  if (FileResult read = PlanTagChange(path, ops, plan); !read) return read;
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
  if (FileResult read = PlanTagUpdate(path, trailer, ops, plan); !read) return read;
  HeadChange head;
  refusal = ReadOldBlock(plan, ops, head.oldBlock);
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
