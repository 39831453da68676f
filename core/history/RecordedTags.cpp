#include "core/history/RecordedTags.h"

#include "core/platform/Cp932.h"

namespace selvane {

FileResult WriteTagRecorded(FileEntry& entry, const Trailer& trailer, FileOps& ops,
                            TagChangeJournal& journal, UserPrompts& ui, bool* replaced) {
  TagChangePlan plan;
  if (FileResult planned = PlanTagUpdate(entry.path, trailer, ops, plan); !planned) return planned;
  if (!GoOnAfterRecording(journal.BeginTagChange(plan), ui, Cp932("タグ情報の更新")))
    return FileResult{NotRecordedError};
  const FileResult written = WriteTrailerAsPlanned(entry, plan, ops, replaced);
  journal.FinishTagChange(written.ok());
  return written;
}

FileResult WriteBothTagsRecorded(FileEntry& entry, const Trailer& trailer,
                                 const Id3v2Changes& changes, FileOps& ops,
                                 TagChangeJournal& journal, UserPrompts& ui, Id3v2Refusal& refusal,
                                 bool* replaced) {
  TagChangePlan plan;
  if (FileResult planned = PlanBothTags(entry.path, trailer, changes, ops, plan, refusal); !planned)
    return planned;
  if (!GoOnAfterRecording(journal.BeginTagChange(plan), ui, Cp932("タグ情報の更新")))
    return FileResult{NotRecordedError};
  FileStatus placed;
  const FileResult written = WriteBothAsPlanned(entry, plan, ops, placed, replaced);
  // A folder that could not be synced after the new file took the name
  // still leaves a change to take back.
  journal.FinishTagChange(
      written.ok() || (placed.kind != FileKind::Missing && !placed.SameFileAs(plan.file)), placed);
  return written;
}

FileResult RemoveTagRecorded(FileEntry& entry, FileOps& ops, TagChangeJournal& journal,
                             UserPrompts& ui) {
  TagChangePlan plan;
  if (FileResult planned = PlanTagRemoval(entry.path, ops, plan); !planned) {
    // As RemoveTag: the entry learns that the file has no tag.
    if (planned.error == NoTrailerError) ClearTagPart(entry);
    return planned;
  }
  if (!GoOnAfterRecording(journal.BeginTagChange(plan), ui, Cp932("タグ情報の削除")))
    return FileResult{NotRecordedError};
  const FileResult removed = RemoveTrailerAsPlanned(entry, plan, ops);
  journal.FinishTagChange(removed.ok());
  return removed;
}

}  // namespace selvane
