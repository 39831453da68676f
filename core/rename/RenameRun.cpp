#include "core/rename/RenameRun.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/filelist/PathNames.h"
#include "core/history/Journal.h"
#include "core/platform/Cp932.h"
#include "core/platform/ManyReads.h"
#include "core/platform/NativePaths.h"
#include "core/rename/OverwriteRoad.h"
#include "core/rename/PlannedDisk.h"

namespace selvane {
namespace {

// The forecast's mark of a decided row; a question tells whether an
// earlier row of the plan takes the name first.
Outlook OutlookOf(const RowDecision& d, PlannedDisk& disk, const FileEntry& entry) {
  switch (d.fate) {
    case RowFate::LeftAlone:
      return Outlook::Unchanged;
    case RowFate::Refused:
      return Outlook::Refused;
    case RowFate::CannotMove:
      return Outlook::CannotMove;
    case RowFate::NotCarriedOn:
      return Outlook::MayBeReplaced;
    case RowFate::Moves:
      return Outlook::Moves;
    case RowFate::Asks:
      if (d.meetsItself) return Outlook::MeetsItself;
      return disk.Planned(entry.newPath) ? Outlook::AsksEarlierRow : Outlook::AsksExisting;
  }
  return Outlook::Moves;
}

// Where earlier rows of a run moved files to: a row whose path is one of
// them no longer holds its own file. Places are told apart by the identity
// of the folder and the name in it (so that another spelling or a link on
// the way is the same place); each folder is looked at once, again after a
// folder or a link has moved, and only for a row whose name is among the
// names moved into.
class Arrivals {
 public:
  // Only a name that some row starts at can be taken from under it: the
  // rows' last names are hashed once, and a move into any other name is
  // not kept (nearly every move of a run, which the run then never looks
  // up).
  Arrivals(DiskLooks& disk, FolderRules& rules, const EntryTable& table)
      : disk_(disk), rules_(rules) {
    startNames_.reserve(static_cast<std::size_t>(table.entryCount));
    std::string storage;
    for (int i = 0; i < table.entryCount; ++i)
      startNames_.push_back(HashOf(LastName(table[i].path, storage)));
    std::sort(startNames_.begin(), startNames_.end());
  }

  // The row's file, which held `origin` at the start, now lies at its new path.
  void Arrived(const FileEntry& entry, const FileStatus& origin) {
    if (origin.kind == FileKind::Folder || origin.link) folders_.clear();
    std::string storage;
    const std::string_view newPath = entry.newPath;
    std::string_view key = rules_.PathKey(newPath, storage);
    if (!std::binary_search(startNames_.begin(), startNames_.end(), HashOf(SplitView(key).name)))
      return;
    // A key of its own (folded, or spelled anew) is kept here; else it is a
    // view into the row's new path, which lasts the run.
    if (key.data() != newPath.data()) key = folded_.emplace_back(std::move(storage));
    movedInto_.emplace(SplitView(key).name, newPath);
  }
  bool TakenMeanwhile(std::string_view path) {
    if (movedInto_.empty()) return false;
    std::string storage;
    const auto [first, last] = movedInto_.equal_range(LastName(path, storage));
    if (first == last) return false;
    const std::string here = Located(path);
    for (auto it = first; it != last; ++it)
      if (Located(it->second) == here) return true;
    return false;
  }

 private:
  // The last name in one case wherever its folder ignores case, so that
  // another spelling of a name moved into is found too.
  std::string_view LastName(std::string_view path, std::string& storage) {
    return SplitView(rules_.PathKey(path, storage)).name;
  }
  static std::size_t HashOf(std::string_view name) { return std::hash<std::string_view>{}(name); }
  std::string Located(std::string_view name) {
    std::string storage;
    const std::string_view plain = NameKey(name, storage);
    const std::string folder(FolderOf(plain));
    auto it = folders_.find(folder);
    if (it == folders_.end()) it = folders_.emplace(folder, disk_.Status(folder.c_str())).first;
    const FileStatus& where = it->second;
    if (where.kind != FileKind::Folder) return std::string(plain);
    std::string key(reinterpret_cast<const char*>(&where.device), sizeof where.device);
    key.append(reinterpret_cast<const char*>(&where.inode), sizeof where.inode);
    std::string nameStorage;
    key.append(rules_.PathKey(plain, nameStorage).substr(folder.size()));
    return key;
  }

  DiskLooks& disk_;
  FolderRules& rules_;
  std::vector<std::size_t> startNames_;                                    // sorted hashes
  std::unordered_multimap<std::string_view, std::string_view> movedInto_;  // name -> new path
  std::deque<std::string> folded_;
  std::unordered_map<std::string, FileStatus> folders_;
};

// One run over the table, row after row.
class Run {
 public:
  Run(EntryTable& table, FileOps& ops, UserPrompts& ui, const RunServices& services)
      : table_(table),
        ops_(ops),
        disk_(ops),
        ui_(ui),
        services_(services),
        ownRules_(services.folders != nullptr ? nullptr : NewSystemFolderRules()),
        rules_(services.folders != nullptr ? *services.folders : *ownRules_),
        rows_(static_cast<std::size_t>(table.entryCount)),
        start_(OriginsToUse(table, disk_, services.origins, own_)),
        holds_(FoldersHoldingRows(table, start_, disk_)),
        arrivals_(disk_, rules_, table) {}

  std::vector<RunRow> Go() {
    Plan();
    if (!BeginRecord()) {
      ui_.SetStatus(NotStartedStatus());
      return std::move(rows_);
    }
    const PlaceholderRecording placeholders(ops_, records_.empty() ? nullptr : services_.history);
    for (int i = 0; i < table_.entryCount; ++i) {
      if (table_.entryCount > ProgressFrom)
        ui_.Progress(i + 1, table_.entryCount);
      else
        ui_.SetStatus(table_[i].path);
      if (table_[i].newPath[0] != '\0') DoRow(static_cast<std::size_t>(i));
    }
    LookAtMoved();
    if (!records_.empty())
      TellUnrecorded(services_.history->FinishRename(plan_, records_, ops_), ui_);
    if (!failures_.empty()) ui_.Refuse(FailureReport(failures_), FailedCaption());
    ui_.SetStatus(FinishedStatus(deleted_));
    return std::move(rows_);
  }

 private:
  void Plan();
  bool BeginRecord();
  bool MovesAcross(std::size_t i, std::unordered_map<std::string_view, std::uint64_t>& devices);
  void DoRow(std::size_t i);
  bool Ask(std::size_t i, RenameRowResult* record);
  bool MoveDecided(std::size_t i, int quickError, RenameRowResult* record);
  bool MoveOtherCase(std::size_t i, RenameRowResult* record);
  FileResult MoveRow(std::size_t i, RenameRowResult* record, bool lookLater = false);
  bool LooksLater(std::size_t i);
  void LookAtMoved();

  FileEntry& Entry(std::size_t i) { return table_[static_cast<int>(i)]; }
  bool Holds(std::size_t i) const { return !holds_.empty() && holds_[i] != 0; }
  void Fail(std::size_t i, Step step, int error) {
    failures_.push_back(FailureOf(Entry(i), step, error));
  }

  EntryTable& table_;
  FileOps& ops_;
  RealDisk disk_;
  UserPrompts& ui_;
  const RunServices& services_;
  std::unique_ptr<FolderRules> ownRules_;
  FolderRules& rules_;
  std::vector<RunRow> rows_;
  std::vector<FileStatus> own_;
  const std::vector<FileStatus>& start_;
  const std::vector<char> holds_;
  Arrivals arrivals_;
  std::vector<Failure> failures_;
  RunSoFar soFar_;
  int deleted_ = 0;
  // The plan, one step per row with a new name, its native names, and the
  // results recorded.
  std::vector<RenamePlanRow> plan_;
  NativePaths natives_;
  std::vector<RenameRowResult> records_;
  std::vector<std::size_t> recordOf_;  // row -> its step
  // Rows moved whose new place the record has yet to look at, on a medium
  // that waits for each call (see LookAtMoved).
  std::vector<std::size_t> unlooked_;
  MediumWaits waits_;
};

// One step per row with a new name, from the statuses the rows' files
// already gave, with both names in native form: made here once, then used
// by the move and the record alike.
void Run::Plan() {
  recordOf_.assign(rows_.size(), 0);
  plan_.reserve(rows_.size());
  std::unordered_map<std::string_view, std::uint64_t> devices;  // of new folders
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const FileEntry& entry = Entry(i);
    if (entry.newPath[0] == '\0') continue;
    recordOf_[i] = plan_.size();
    RenamePlanRow& step = plan_.emplace_back();
    step.path = entry.path;
    step.newPath = entry.newPath;
    if (services_.history != nullptr) {
      step.file = start_[i];
      step.copied = MovesAcross(i, devices);
    }
    // A row with no native name keeps none, so that neither the move nor
    // the record uses half of it.
    step.native = natives_.Add(entry.path);
    step.newNative = natives_.Add(entry.newPath);
    if (step.native.empty() || step.newNative.empty()) step.native = step.newNative = {};
  }
}

// The plan is written down before the first change on disk. A file a row
// may replace is looked at only when that row comes to it.
bool Run::BeginRecord() {
  if (services_.history == nullptr) return true;
  const RecordResult recorded = services_.history->BeginRename(plan_, TemporaryName);
  if (!GoOnAfterRecording(recorded, ui_, RenamingWord())) return false;
  if (recorded.recorded) records_.resize(plan_.size());
  return true;
}

// A move into a folder on another file system copies the file. Only a row
// that leaves its folder can; each new folder is looked at once.
bool Run::MovesAcross(std::size_t i, std::unordered_map<std::string_view, std::uint64_t>& devices) {
  const FileEntry& entry = Entry(i);
  const std::string_view folder = FolderOf(entry.newPath);
  if (start_[i].kind == FileKind::Missing || folder.empty() ||
      SameName(folder, FolderOf(entry.path)))
    return false;
  auto it = devices.find(folder);
  if (it == devices.end()) {
    const FileStatus there = disk_.Status(std::string(folder).c_str());
    it = devices.emplace(folder, there.kind == FileKind::Folder ? there.device : 0).first;
  }
  return it->second != 0 && it->second != start_[i].nameDevice;
}

// A row whose file simply moves to a free name is the common case: the move
// itself, which never replaces, is its test. Only a move that fails (the
// name taken, a folder missing, the file gone) or a row that the decision
// without a look does not clear looks at the disk for the full decision.
void Run::DoRow(std::size_t i) {
  FileEntry& entry = Entry(i);
  RunRow& row = rows_[i];
  RenameRowResult* record = records_.empty() ? nullptr : &records_[recordOf_[i]];
  int quickError = 0;
  if (MovesWithoutLooking(entry, start_[i], rules_, soFar_, Holds(i)) &&
      !arrivals_.TakenMeanwhile(entry.path)) {
    const bool later = record != nullptr && LooksLater(i);
    if (!later) LookAtMoved();
    const FileResult moved = MoveRow(i, record, later);
    if (moved) {
      row.moved = true;
      row.decision.fate = RowFate::Moves;
      if (record != nullptr) record->outcome = RowOutcome::Moved;
      arrivals_.Arrived(entry, start_[i]);
      CopyField(entry.path, entry.newPath);
      return;
    }
    quickError = moved.error;
  }
  LookAtMoved();
  const RenamePlanRow& names = plan_[recordOf_[i]];
  row.decision =
      DecideRow(entry, start_[i], disk_, rules_, soFar_, Holds(i), {names.native, names.newNative});
  const RowDecision& d = row.decision;
  switch (d.fate) {
    case RowFate::LeftAlone:
      return;
    case RowFate::NotCarriedOn:
      return Fail(i, Step::Replaced, 0);
    case RowFate::CannotMove:
      return Fail(i, Step::CannotMove, d.error);
    case RowFate::Refused:
      ui_.Refuse(SkipMessage(entry.path, entry.newPath, d.refusal), SkipCaption());
      return;
    case RowFate::Asks:
      if (!Ask(i, record)) return;
      break;
    case RowFate::Moves:
      if (!MoveDecided(i, quickError, record)) return;
      break;
  }
  row.moved = true;
  // A file put back under its own name changed nothing to take back; a new
  // letter case did.
  if (record != nullptr && (!d.meetsItself || d.otherCase)) record->outcome = RowOutcome::Moved;
  CopyField(entry.path, entry.newPath);
}

// The overwrite question and, after "Yes", the road. True when the file
// lies at its new path.
bool Run::Ask(std::size_t i, RenameRowResult* record) {
  FileEntry& entry = Entry(i);
  RunRow& row = rows_[i];
  const bool meetsItself = row.decision.meetsItself;
  row.asked = true;
  if (!ui_.Ask(OverwriteQuestion(entry.path, entry.newPath), OverwriteCaption())) return false;
  row.answeredYes = true;
  // The folder takes the new spelling for the file's own name: it only
  // changes case, and no other file is replaced or put aside for it.
  if (row.decision.otherCase) return MoveOtherCase(i, record);
  const std::size_t failed = failures_.size();
  const RenamePlanRow& names = plan_[recordOf_[i]];
  const PlannedPath newPath{entry.newPath, names.newNative};
  if (record != nullptr)
    services_.history->RecordReplacing(recordOf_[i], newPath,
                                       meetsItself ? FileStatus{} : ops_.StatusPlanned(newPath));
  const Replacement done = ReplaceTarget(entry, names, meetsItself, ops_, services_.trash, record,
                                         deleted_, failures_, row.error);
  if (done == Replacement::Failed) {
    if (record != nullptr) {
      // Back under its own name, or where the way back ended.
      record->outcome = RowOutcome::Failed;
      if (!meetsItself && std::strcmp(entry.path, entry.newPath) == 0)
        record->outcome = RowOutcome::Moved;
      else if (failures_.size() > failed)
        record->Overwritten().where = failures_.back().where;
    }
    return false;
  }
  if (done == Replacement::Done) {
    soFar_.replacers.push_back(ops_.StatusPlanned(newPath));
    arrivals_.Arrived(entry, start_[i]);
  }
  return true;
}

bool Run::MoveOtherCase(std::size_t i, RenameRowResult* record) {
  FileEntry& entry = Entry(i);
  const RenamePlanRow& names = plan_[recordOf_[i]];
  if (const FileResult moved =
          ops_.MoveToOtherCasePlanned({entry.path, names.native}, {entry.newPath, names.newNative});
      !moved) {
    rows_[i].error = moved.error;
    if (record != nullptr) record->outcome = RowOutcome::Failed;
    Fail(i, Step::Move, moved.error);
    return false;
  }
  arrivals_.Arrived(entry, start_[i]);
  return true;
}

// The move, and for the record where the file lies after it. Where the
// medium keeps inode numbers a rename in place keeps the planned identity,
// so only another road (a copy, a placeholder) costs a second look.
FileResult Run::MoveRow(std::size_t i, RenameRowResult* record, bool lookLater) {
  FileEntry& entry = Entry(i);
  const RenamePlanRow& step = plan_[recordOf_[i]];
  const PlannedPath from{entry.path, step.native}, to{entry.newPath, step.newNative};
  if (record == nullptr) return ops_.MovePlanned(from, to, nullptr);
  record->placed = {};
  if (rules_.RuleFor(entry.newPath).medium.keepsInodes) {
    record->placed = start_[i];
  } else if (lookLater) {
    const FileResult moved = ops_.MovePlanned(from, to, nullptr);
    if (moved) unlooked_.push_back(i);
    return moved;
  }
  return ops_.MovePlanned(from, to, &record->placed);
}

// A plain regular file moved on a medium that waits for each call: where it
// lies afterwards is looked at later, together with the others.
bool Run::LooksLater(std::size_t i) {
  const FileStatus& file = start_[i];
  return file.kind == FileKind::Regular && !file.link && !plan_[recordOf_[i]].copied &&
         !rules_.RuleFor(Entry(i).newPath).medium.keepsInodes &&
         waits_.PaysForWaitingOnDevice(file.nameDevice);
}

// The new places of the rows moved since the last look, many at a time. Only
// moves of other regular files, never onto a taken name, came between: none
// of them changed what those names hold, so each is what a look right after
// its move would have seen. Called before any other step of the run.
void Run::LookAtMoved() {
  if (unlooked_.empty()) return;
  std::vector<std::string> natives;
  natives.reserve(unlooked_.size());
  for (const std::size_t i : unlooked_) natives.emplace_back(plan_[recordOf_[i]].newNative);
  ReadManyEnds(natives, ManyReadsOptions{}, [this](std::size_t k, EndsRead& read) {
    RenameRowResult& record = records_[recordOf_[unlooked_[k]]];
    record.placed = std::move(read.status);
    if (read.result.ok() && read.length >= static_cast<std::int64_t>(TrailerSize))
      record.placedTail.assign(reinterpret_cast<const char*>(read.tail), TrailerSize);
  });
  unlooked_.clear();
}

// Nothing in the way, yet the quick move failed (rights, a full disk), or
// the row was not tried: try (again) and tell what failed. The move never
// replaces, so nothing is lost either way.
bool Run::MoveDecided(std::size_t i, int quickError, RenameRowResult* record) {
  FileEntry& entry = Entry(i);
  const FileResult result = quickError != 0 ? FileResult{quickError} : MoveRow(i, record);
  if (!result) {
    rows_[i].error = result.error;
    if (record != nullptr) record->outcome = RowOutcome::Failed;
    Fail(i, Step::Move, result.error);
    return false;
  }
  arrivals_.Arrived(entry, start_[i]);
  return true;
}

}  // namespace

std::vector<RowOutlook> ForecastRename(const EntryTable& table, FileOps& ops,
                                       const std::vector<FileStatus>* origins,
                                       FolderRules* folders) {
  std::unique_ptr<FolderRules> own = folders != nullptr ? nullptr : NewSystemFolderRules();
  FolderRules& rules = folders != nullptr ? *folders : *own;
  std::vector<RowOutlook> rows(static_cast<std::size_t>(std::max(table.entryCount, 0)));
  RealDisk real(ops);
  std::vector<FileStatus> looked;
  const std::vector<FileStatus>& start = OriginsToUse(table, real, origins, looked);
  const std::vector<char> holds = FoldersHoldingRows(table, start, real);
  PlannedDisk disk(real, rules, table.entryCount);
  RunSoFar soFar;
  // Each row's new path is made native once, for the check of the name and
  // every look at it.
  std::string newNative;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const FileEntry& entry = table[static_cast<int>(i)];
    if (entry.newPath[0] == '\0' || !Cp932PathToNative(entry.newPath, newNative)) newNative.clear();
    disk.Current(entry.path, start[i], entry.newPath, newNative);
    const RowDecision d = DecideRow(entry, start[i], disk, rules, soFar,
                                    !holds.empty() && holds[i] != 0, {{}, newNative});
    RowOutlook& row = rows[i];
    row.outlook = OutlookOf(d, disk, entry);
    row.refusal = d.refusal;
    row.error = d.error;
    // The forecast takes every answer to be Yes.
    if (d.fate == RowFate::Moves || (d.fate == RowFate::Asks && !d.meetsItself))
      disk.Moved(entry.path, entry.newPath);
    if (d.fate == RowFate::Asks && !d.meetsItself)
      soFar.replacers.push_back(disk.Status(entry.newPath));
  }
  return rows;
}

std::vector<RunRow> RunRename(EntryTable& table, FileOps& ops, UserPrompts& ui,
                              const RunServices& services) {
  if (table.entryCount <= 0) return {};
  Run run(table, ops, ui, services);
  return run.Go();
}

}  // namespace selvane
