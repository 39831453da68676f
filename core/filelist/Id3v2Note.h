#pragma once
// How the last naming of a file used its ID3v2 tag, kept with the file's
// entry so that the list can tell where each name came from.
#include "core/filelist/TagField.h"

namespace selvane {

// How the text of an ID3v2 frame was read into CP932.
enum class Id3v2Reading : unsigned char {
  AsIs,         // Unicode converted, or Latin-1 read as Latin-1
  ShiftJis,     // a Latin-1 frame whose bytes are Shift-JIS
  Repaired,     // a Unicode frame of Shift-JIS bytes that another tool read as Latin-1
  NoCp932Form,  // a character has no CP932 form (`missing` shows the first)
};

// Where a value of the name came from.
enum class Id3v2Source : unsigned char {
  Id3v1,       // the ID3v1 field (or the frame had nothing)
  NoId3v1Tag,  // the ID3v2 frame: the file has no ID3v1 tag
  EmptyId3v1,  // the ID3v2 frame: the ID3v1 field is empty
  CutId3v1,    // the ID3v2 frame: the ID3v1 field is its first 30 bytes
};

// Which of title, artist and album the name took (bit 1 << FieldIndex),
// and per field (by FieldIndex) where its value came from, how the text was
// read, and the first character that has no CP932 form (UTF-8).
struct Id3v2Note {
  unsigned char used;
  bool unread;  // ID3v2 only, and the tags read were ID3v1 alone
  Id3v2Source from[NameFieldCount];
  Id3v2Reading reading[NameFieldCount];
  char missing[NameFieldCount][5];
  bool operator==(const Id3v2Note&) const = default;
};

}  // namespace selvane
