#pragma once
// A tag change as planned, before the file is touched: the file's state now
// and the end it will have afterwards, so that the change can be recorded
// first and taken back later.
#include <optional>
#include <string>

#include "core/filelist/FileEntry.h"
#include "core/platform/FileOps.h"
#include "core/tags/Id3v1Tag.h"
#include "core/tags/Id3v2Write.h"

namespace selvane {

// The ID3v2 tag at the file's head, written with the trailer: in place
// when the new block is as long as the old one, else through a new file
// made beside the old one and renamed over it.
struct HeadChange {
  std::string oldBlock;  // the block the file begins with now (empty: none)
  std::string newBlock;
  bool inPlace = false;
  std::string beside;  // CP932: the new file's path, when the tag grows
};

struct TagChangePlan {
  std::string path;  // CP932
  FileStatus file;
  bool hadTrailer = false;  // the file ends in a trailer now ...
  Trailer oldTail{};        // ... and these are its 128 bytes
  bool removes = false;
  // The new trailer, or for a removal the bytes (up to 128) that end the
  // file once its trailer is cut.
  std::string newEnd;
  std::optional<HeadChange> head;
};

// Read the file as it is now and plan writing `trailer` into it / cutting
// its trailer. A removal of a file that ends in no trailer gives
// NoTrailerError.
FileResult PlanTagUpdate(const char* path, const Trailer& trailer, FileOps& ops,
                         TagChangePlan& plan);
FileResult PlanTagRemoval(const char* path, FileOps& ops, TagChangePlan& plan);

// Carry out a plan made just before: its read is the look at the file, so
// the trailer is replaced in place when the file ended in one then and
// appended when it did not; `replaced` tells which. On success the entry's
// tag part is the trailer written (or cleared for a removal); on failure
// nothing changes.
FileResult WriteTrailerAsPlanned(FileEntry& entry, const TagChangePlan& plan, FileOps& ops,
                                 bool* replaced = nullptr);
FileResult RemoveTrailerAsPlanned(FileEntry& entry, const TagChangePlan& plan, FileOps& ops);

// Given when the ID3v2 tag cannot be rewritten safely; the plan's
// `refusal` says why, and nothing is written.
inline constexpr int Id3v2RefusedError = -3;

// PlanTagUpdate with `changes` spliced into the ID3v2 tag at the head.
FileResult PlanBothTags(const char* path, const Trailer& trailer, const Id3v2Changes& changes,
                        FileOps& ops, TagChangePlan& plan, Id3v2Refusal& refusal);
// Writes both tags of such a plan: the head and the trailer in place with
// one data sync, or a new file renamed over the old one (`placed` gets
// what the path names then).
FileResult WriteBothAsPlanned(FileEntry& entry, const TagChangePlan& plan, FileOps& ops,
                              FileStatus& placed, bool* replaced = nullptr);

}  // namespace selvane
