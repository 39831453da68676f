#include "core/tags/TagChangePlan.h"

#include <cerrno>

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

}  // namespace selvane
