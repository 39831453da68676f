#pragma once
// The tag commands' file work with its batch in the history: the file as it
// is now and the end it will have are recorded before it is touched, the
// outcome after.
#include <cerrno>

#include "core/UserPrompts.h"
#include "core/filelist/FileEntry.h"
#include "core/history/Journal.h"
#include "core/platform/FileOps.h"
#include "core/tags/TagWriter.h"

namespace selvane {

// The history could not record the change and the user chose to leave the
// file as it is.
inline constexpr int NotRecordedError = ECANCELED;

// WriteTag and RemoveTag, each one batch. A file that cannot be read first
// is not written and gives the error of that read.
FileResult WriteTagRecorded(FileEntry& entry, const Trailer& trailer, FileOps& ops,
                            TagChangeJournal& journal, UserPrompts& ui, bool* replaced = nullptr);
// WriteTagRecorded with `changes` written into the ID3v2 tag at the head
// too, as one batch. A tag that cannot be rewritten safely gives
// Id3v2RefusedError and its reason in `refusal`; nothing is written.
FileResult WriteBothTagsRecorded(FileEntry& entry, const Trailer& trailer,
                                 const Id3v2Changes& changes, FileOps& ops,
                                 TagChangeJournal& journal, UserPrompts& ui, Id3v2Refusal& refusal,
                                 bool* replaced = nullptr);
FileResult RemoveTagRecorded(FileEntry& entry, FileOps& ops, TagChangeJournal& journal,
                             UserPrompts& ui);

}  // namespace selvane
