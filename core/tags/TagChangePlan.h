#pragma once
// A tag change as planned, before the file is touched: the file's state now
// and the end it will have afterwards, so that the change can be recorded
// first and taken back later.
#include <string>

#include "core/filelist/FileEntry.h"
#include "core/platform/FileOps.h"
#include "core/tags/Id3v1Tag.h"

namespace selvane {

struct TagChangePlan {
  std::string path;  // CP932
  FileStatus file;
  bool hadTrailer = false;  // the file ends in a trailer now ...
  Trailer oldTail{};        // ... and these are its 128 bytes
  bool removes = false;
  // The new trailer, or for a removal the bytes (up to 128) that end the
  // file once its trailer is cut.
  std::string newEnd;
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

}  // namespace selvane
