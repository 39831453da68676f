#pragma once
// The naming rule: tokens $T $A $L $R $F, the expansion of one entry, the
// forbidden-character test and the six presets.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/filelist/FileEntry.h"
#include "core/platform/FileOps.h"

namespace selvane {

class UserPrompts;

inline constexpr std::string_view DefaultNamingRule = "$T($A).mp3";
inline constexpr std::size_t RuleBoxLimit = 100;   // bytes, as typed
inline constexpr std::size_t WorkTextLimit = 127;  // bytes of an expanded name

// "\/:,;*?"<>|" in this order; also the text the messages show.
inline constexpr std::string_view ForbiddenNameChars = "\\/:,;*?\"<>|";

// Replaces the first occurrence of the two-byte token in `work` by `value`,
// literally. True when the token occurred.
bool ReplaceToken(std::string& work, std::string_view token, std::string_view value);

class NameValues;

// The naming in two steps. First the read: a non-empty rule (CP932) reads
// the tag of entry.path into the entry and `values`; an empty one reads
// nothing. `status`, when given, gets what the path named as its tag was
// read (left as it is when nothing is read). `sources` says whether the
// ID3v2 tag fills in for the trailer (see Id3v2Names.h); `native`, when not
// empty, is entry.path made native by the caller.
void ReadRuleValues(std::string_view rule, FileEntry& entry, NameValues& values, FileOps& ops,
                    FileStatus* status, TagSources sources, std::string_view native = {});
// Then the expansion, which touches no disk: entry.newPath from `rule` and
// the values read for it. An expansion longer than 127 bytes, or a new path
// over 1023 bytes, leaves the name unchanged (newPath = path).
void ExpandRule(std::string_view rule, FileEntry& entry, int position, NameValues& values);
// Both steps for one entry.
void ExpandRule(std::string_view rule, FileEntry& entry, int position,
                FileOps& ops = SystemFileOps(), FileStatus* status = nullptr,
                TagSources sources = TagSources::Id3v1);

// From this many rows on, ExpandAll reads on two threads where `ops` may.
inline constexpr int TwoThreadsFrom = 256;

// ExpandRule for every entry from row `from` on, in list order, positions
// from from + 1. `statuses`, when given, gets each of those rows' status as
// its tag was read (empty under an empty rule); `progress`, when given,
// hears how far it is over more than ProgressFrom rows.
void ExpandAll(std::string_view rule, EntryTable& table, FileOps& ops = SystemFileOps(),
               std::vector<FileStatus>* statuses = nullptr, UserPrompts* progress = nullptr,
               int from = 0);

// ForbiddenNameChars when `text` holds any of them (trail bytes never
// count), else an empty view.
std::string_view FindForbiddenChars(std::string_view text);

// The six preset rules (UTF-8), in the order the menu offers them.
extern const std::array<const char*, 6> PresetRules;

}  // namespace selvane
