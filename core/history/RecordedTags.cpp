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
