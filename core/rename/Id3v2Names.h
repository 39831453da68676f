#pragma once
// Names from ID3v2 too: $T, $A and $L take the ID3v2 value where the file
// has no ID3v1 tag, where the ID3v1 field is empty, or where it is the
// ID3v2 value cut at 30 bytes; everywhere else the ID3v1 value stands, so a
// title written with the tag panel still names the file.
#include <string>
#include <string_view>

#include "core/filelist/FileEntry.h"
#include "core/platform/FileOps.h"
#include "core/tags/Id3v2Read.h"

namespace selvane {

// Whether the ID3v1 field `v1` lost the end of the ID3v2 value `v2` (both
// CP932) to its 30 bytes: cut on a character boundary, or in the middle of
// one, with the trailing spaces a writer pads with.
bool IsCutFrom(std::string_view v1, std::string_view v2);

// The value a name takes for `field` (one of NameFields): the ID3v1 field
// `v1` of a file with a trailer or without (`v1Tagged`), or the decoded
// ID3v2 text where it completes an absent, empty or cut `v1`. `note` learns
// where the value came from and how its text was read. The tag panel asks
// the same, so what it shows is what the names use.
std::string_view TakeNameValue(TagField field, std::string_view v1, bool v1Tagged,
                               const Id3v2Text& v2, Id3v2Note& note);

// The values a file's name takes, each worked out when first asked for: an
// ID3v2 frame is decoded only for a token the rule holds, and only where the
// ID3v1 field may fall short.
class NameValues {
 public:
  // Reads the file's tags into the entry, as ReadTag does, and clears its
  // note. True when the file has a tag to name it by. `native`, when not
  // empty, is the entry's path made native by the caller.
  bool Read(FileEntry& entry, TagSources sources, FileOps& ops, FileStatus* status,
            std::string_view native = {});
  // What the last Read returned (false before any).
  bool Tagged() const { return tagged_; }
  // One of NameFields; also fills that field's part of the note.
  std::string_view Get(TagField field);

 private:
  FileEntry* entry_ = nullptr;
  bool v1Tagged_ = false, tagged_ = false;
  Id3v2Frames v2_;
  Id3v2Text text_[NameFieldCount];
};

// After the expansion: which of the three values the name took.
void NoteUsedFields(Id3v2Note& note, bool title, bool artist, bool album);

// A value of the name came from ID3v2.
bool NamedFromId3v2(const Id3v2Note& note);
// The lines telling where the name's values came from, or that the ID3v2
// tag would name the file; empty when ID3v2 played no part. A character
// that CP932 lacks is marked as Cp932Showing does.
std::string Id3v2NoteText(const Id3v2Note& note);

// The new name needs a character of an ID3v2 value that CP932 lacks (the
// name holds its stand-in byte), and the rename run refuses it.
bool NeedsMissingCharacter(const FileEntry& entry);

}  // namespace selvane
