#pragma once
// The one decision about a row, shared by the forecast and the run, and
// the names and facts it rests on.
#include <string_view>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/rename/DiskLooks.h"
#include "core/rename/FolderRules.h"
#include "core/rename/RenameTypes.h"

namespace selvane {

inline constexpr bool IsControlByte(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  return b < 0x20 || b == 0x7F;
}

// The refusal of the names alone (every kind but LinkToTarget, which is a
// matter of the disk). A name that begins with "." is not refused when the
// file's name already did: renaming it hides nothing that was shown.
NameRefusal CheckNewName(std::string_view path, std::string_view newPath);
// The same but for NoFileName, which only the conversion to a native name
// tells (a move of such a name fails with EILSEQ).
NameRefusal CheckNames(std::string_view path, std::string_view newPath);
// The part of `newPath` that the naming put behind the folder of `path`;
// all of it when the new path does not start with that folder.
std::string_view AddedText(std::string_view path, std::string_view newPath);

// The refusal of a new name by the medium of its folder.
NameRefusal CheckMedium(std::string_view newPath, FolderRules& folders);

// A row's path and new path as native bytes, made once by the command
// (empty: not made, and made where needed).
struct RowNatives {
  std::string_view native, newNative;
};

// The one decision. `origin` is what the row's path held when the run
// started; `disk` is the file system as the earlier rows left it (the real
// one during the run, a plan of it in the forecast); `folders` tells how
// each folder compares names and what its medium refuses;
// `holdsListedRows` tells that the row is a folder other listed rows lie in.
RowDecision DecideRow(const FileEntry& entry, const FileStatus& origin, DiskLooks& disk,
                      FolderRules& folders, const RunSoFar& soFar, bool holdsListedRows = false,
                      RowNatives natives = {});
// The same decision taken without looking at the disk, for a row whose
// path no earlier row has moved a file to: true when nothing is left to
// decide but the move itself, which never replaces and so finds out by
// failing whether the new name is free.
bool MovesWithoutLooking(const FileEntry& entry, const FileStatus& origin, FolderRules& folders,
                         const RunSoFar& soFar, bool holdsListedRows);

// What each row's path holds now.
std::vector<FileStatus> Origins(const EntryTable& table, DiskLooks& disk);
// The origins given, when they are one per row, else looked at now (kept in `own`).
const std::vector<FileStatus>& OriginsToUse(const EntryTable& table, DiskLooks& disk,
                                            const std::vector<FileStatus>* given,
                                            std::vector<FileStatus>& own);
// For each row: a folder (as it was at the start) that other listed rows
// lie in, or are to be moved into, by name or through a link, or a listed
// link their names pass through. Empty when the table holds neither.
std::vector<char> FoldersHoldingRows(const EntryTable& table,
                                     const std::vector<FileStatus>& origins, DiskLooks& disk);

}  // namespace selvane
