#include "core/history/UndoSteps.h"

#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <string>
#include <unordered_set>
#include <utility>

#include "core/filelist/FileListReport.h"
#include "core/filelist/PathNames.h"
#include "core/history/HistoryTexts.h"
#include "core/history/UndoTagHead.h"
#include "core/platform/Cp932.h"

namespace selvane {
namespace {

// Why something was left as it is.
enum class Why {
  OldNameTaken,
  Changed,
  TagChanged,
  TagsChanged,
  Gone,
  MoveFailed,
  ReadFailed,
  WriteFailed,
  ReplacedDeleted,
  ReplacedNotInTrash,
  ReplacedNameTaken,
  RestoreFailed,
  TemporaryUnknown,
  NotSynced,
};

struct Left {
  Left(std::string from_, std::string to_, Why why_, int error_ = 0, std::string where_ = {})
      : from(std::move(from_)),
        to(std::move(to_)),
        why(why_),
        error(error_),
        where(std::move(where_)) {}
  std::string from, to;  // where the file is, where it should have gone (CP932)
  Why why;
  int error;
  std::string where;  // where it lies, when that is worth saying
};

struct Texts {
  std::string head = Cp932("次のファイルは元に戻せませんでした。\n");
  std::string arrow = Cp932("\n  → ");
  std::string nowAt = Cp932("\n  現在の場所：");
  std::string moreBefore = Cp932("\nほか ");
  std::string moreAfter = Cp932(" 件のファイルも元に戻せませんでした。");
  std::string oldNameTaken = Cp932("元の名前に別のファイルがあります");
  std::string changed = Cp932("この操作の後でファイルが変更されています（長さが違います）");
  std::string tagChanged = Cp932("この操作の後でファイルの末尾（タグ情報）が変更されています");
  std::string tagsChanged = Cp932("この操作の後でファイルのタグ情報が変更されています");
  std::string gone = Cp932("ファイルが見つかりません（移動または削除されています）");
  std::string moveFailed = Cp932("元の名前に戻せません：");
  std::string readFailed = Cp932("ファイルを読み取れません：");
  std::string writeFailed = Cp932("タグ情報を戻せません：");
  std::string replacedDeleted = Cp932(
      "この名前にあったファイルは、上書きのときゴミ箱が使えなかったため削除されていて、"
      "戻せません");
  std::string replacedNotInTrash =
      Cp932("この名前にあった（上書きされた）ファイルがゴミ箱に見つかりません");
  std::string replacedNameTaken = Cp932(
      "この名前にあった（上書きされた）ファイルは、この名前が使われているためゴミ箱に"
      "残しました");
  std::string restoreFailed =
      Cp932("この名前にあった（上書きされた）ファイルをゴミ箱から戻せません：");
  std::string temporaryUnknown = Cp932(
      "一時ファイルが残っていますが、この操作のどのファイルとも一致しないため、そのままに"
      "しました");
  std::string notSynced = Cp932("変更をディスクに書き込めません：");
  std::string undone = Cp932("を元に戻しました");
  std::string partly = Cp932("（戻せなかったファイルがあります）");
  std::string rename = Cp932("リネーム");
  std::string tagUpdate = Cp932("タグ情報の更新");
  std::string tagRemoval = Cp932("タグ情報の削除");
};

const Texts& Text() {
  static const Texts texts;
  return texts;
}

std::string Reason(const Left& left) {
  const Texts& t = Text();
  switch (left.why) {
    case Why::OldNameTaken:
      return t.oldNameTaken;
    case Why::Changed:
      return t.changed;
    case Why::TagChanged:
      return t.tagChanged;
    case Why::TagsChanged:
      return t.tagsChanged;
    case Why::Gone:
      return t.gone;
    case Why::MoveFailed:
      return t.moveFailed + ErrorText(left.error);
    case Why::ReadFailed:
      return t.readFailed + ErrorText(left.error);
    case Why::WriteFailed:
      return t.writeFailed + ErrorText(left.error);
    case Why::ReplacedDeleted:
      return t.replacedDeleted;
    case Why::ReplacedNotInTrash:
      return t.replacedNotInTrash;
    case Why::ReplacedNameTaken:
      return t.replacedNameTaken;
    case Why::RestoreFailed:
      return t.restoreFailed + ErrorText(left.error);
    case Why::TemporaryUnknown:
      return t.temporaryUnknown;
    case Why::NotSynced:
      return t.notSynced + ErrorText(left.error);
  }
  return {};
}

// The one message, in the form of the rename run's failure report.
std::string Report(const std::vector<Left>& left) {
  if (left.empty()) return {};
  const Texts& t = Text();
  return FileListReport({t.head, t.arrow, t.nowAt, t.moreBefore, t.moreAfter}, left.size(),
                        [&left](std::size_t i) {
                          const Left& l = left[i];
                          return ReportedFile{l.from, l.to, Reason(l), l.where};
                        });
}

// FAT keeps modification times to two seconds, and a FUSE medium may show
// a finer time until it is mounted again.
constexpr std::int64_t TimeSlack = 2'000'000'000;

// Two records of one file: the same entry, or the same content.
bool SameFile(const Identity& a, const Identity& b) {
  if (!a.known || !b.known) return false;
  if (a.device == b.device && a.inode == b.inode) return true;
  return !a.tail.empty() && a.tail == b.tail && a.length == b.length;
}

// What the trash looks for: a file of this length (and entry).
FileStatus AsStatus(const Identity& identity) {
  FileStatus status;
  if (!identity.known) return status;
  status.kind = FileKind::Regular;
  status.device = status.nameDevice = identity.device;
  status.inode = status.nameInode = identity.inode;
  status.length = identity.length;
  return status;
}

// Tells `record` of every placeholder `ops` makes while this lives.
class PlaceholderRecordGuard {
 public:
  PlaceholderRecordGuard(FileOps& ops, const PlaceholderRecord& record)
      : ops_(ops), on_(static_cast<bool>(record)) {
    if (on_) before_ = ops_.SetPlaceholderRecord(record);
  }
  ~PlaceholderRecordGuard() {
    if (on_) ops_.SetPlaceholderRecord(std::move(before_));
  }
  PlaceholderRecordGuard(const PlaceholderRecordGuard&) = delete;
  PlaceholderRecordGuard& operator=(const PlaceholderRecordGuard&) = delete;

 private:
  FileOps& ops_;
  bool on_;
  PlaceholderRecord before_;
};

class RenameUndo {
 public:
  RenameUndo(const StoredBatch& batch, FileOps& ops, Trash& trash, UndoResult& result,
             std::vector<Left>& left, const PlaceholderRecord& record)
      : batch_(batch), ops_(ops), trash_(trash), result_(result), left_(left), record_(record) {}

  // Last step first, so that a name a later step took is free again when
  // the earlier step that gave it up comes back to it.
  void Run() {
    // A move's placeholder is written down as the run's are, so that a
    // kill during undo leaves nothing the next undo cannot account for.
    PlaceholderRecordGuard recording(ops_, record_);
    ClearPlaceholders();
    GuessTemporary();
    for (std::size_t k = batch_.steps.size(); k-- > 0;) {
      const StoredStep& step = batch_.steps[k];
      // A row the run left alone has nothing to take back.
      if (step.undone || (step.outcomeKnown && step.outcome == RowOutcome::NotMoved &&
                          step.place.empty() && step.replaced == ReplacedFate::None))
        continue;
      if (UndoStep(k)) {
        result_.undoneSteps.push_back(step.seq);
        // Found back already, maybe by an undo that was killed before its sync.
        Touched(step.path);
        Touched(step.newPath);
      } else {
        result_.complete = false;
      }
    }
    SyncFolders();
  }

 private:
  enum class At { Nowhere, Old, Elsewhere, Changed };
  struct Found {
    At at = At::Nowhere;
    std::string path, native;
  };

  // The file at `place` is the one `identity` records: its device and
  // inode agree, or, where the medium does not keep them (FUSE, a
  // remount), its length, modification time and last bytes do. Never the
  // inode number alone.
  bool Holds(const PlannedPath& place, const FileStatus& status, const Identity& identity) {
    if (!identity.known || status.kind == FileKind::Missing) return false;
    if (status.nameDevice == identity.device && status.nameInode == identity.inode) return true;
    if (status.kind != FileKind::Regular || status.link || identity.tail.empty() ||
        identity.modified == 0 || status.length != identity.length ||
        std::abs(status.modified - identity.modified) > TimeSlack)
      return false;
    std::string end(identity.tail.size(), '\0');
    return ops_.ReadAtPlanned(place, status.length - static_cast<std::int64_t>(end.size()),
                              end.data(), end.size())
               .ok() &&
           end == identity.tail;
  }

  // Where the step's file is now, by its identity: its old name first (a
  // file there needs nothing), then wherever the batch may have left it.
  Found Locate(const StoredStep& step) {
    const std::string* places[] = {&step.path, &step.newPath, &step.place, &batch_.temporary};
    const std::string* natives[] = {&step.nativePath, &step.nativeNewPath, &step.nativePlace,
                                    &batch_.nativeTemporary};
    // After a change of case alone the old spelling may name the file too.
    if (step.path != step.newPath && SameName(step.path, step.newPath, true)) {
      std::swap(places[0], places[1]);
      std::swap(natives[0], natives[1]);
    }
    for (std::size_t p = 0; p < std::size(places); ++p) {
      const std::string* place = places[p];
      if (place->empty() || (place != &step.path && *place == step.path)) continue;
      const PlannedPath planned{place->c_str(), *natives[p]};
      const FileStatus status = ops_.StatusPlanned(planned);
      if (!Holds(planned, status, step.file) && !Holds(planned, status, step.placed)) continue;
      if (place == &step.path) return {At::Old, *place, *natives[p]};
      if (status.length != step.file.length) return {At::Changed, *place, *natives[p]};
      return {At::Elsewhere, *place, *natives[p]};
    }
    return {};
  }

  // The file that the given step's plan or outcome says an earlier step
  // replaced: it is in the trash (or deleted), and that step's undo
  // brings it back (or tells).
  bool ReplacedByEarlier(std::size_t k) const {
    const Identity& own = batch_.steps[k].file;
    for (std::size_t j = 0; j < k; ++j) {
      const StoredStep& earlier = batch_.steps[j];
      const Identity& replaced = earlier.outcomeKnown ? earlier.replacedFile : earlier.target;
      if (SameFile(replaced, own)) return true;
    }
    return false;
  }

  // After a crash the temporary file may hold a file of this batch under a
  // new inode (a move to another file system copies). It is taken for the
  // one step whose file is nowhere else and has its length; with none or
  // several it stays, and is listed.
  void GuessTemporary() {
    if (batch_.finished || batch_.temporary.empty()) return;
    const PlannedPath place{batch_.temporary.c_str(), batch_.nativeTemporary};
    const FileStatus temporary = ops_.StatusPlanned(place);
    if (temporary.kind != FileKind::Regular) return;
    for (const StoredStep& step : batch_.steps)
      if (Holds(place, temporary, step.file) || Holds(place, temporary, step.placed)) return;
    std::size_t candidates = 0;
    for (std::size_t k = 0; k < batch_.steps.size(); ++k) {
      const StoredStep& step = batch_.steps[k];
      if (!step.file.known || step.file.length != temporary.length || ReplacedByEarlier(k) ||
          Locate(step).at != At::Nowhere)
        continue;
      ++candidates;
      guess_ = k;
    }
    if (candidates != 1) {
      guess_ = NoGuess;
      left_.emplace_back(batch_.temporary, std::string(), Why::TemporaryUnknown);
    }
  }

  // True when the step is taken back as far as it ever can be.
  bool UndoStep(std::size_t k) {
    const StoredStep& step = batch_.steps[k];
    if (!step.file.known) return true;
    Found found = Locate(step);
    if (found.at == At::Nowhere && k == guess_)
      found = {At::Elsewhere, batch_.temporary, batch_.nativeTemporary};
    bool movedBack = false;
    switch (found.at) {
      case At::Old:
        break;
      case At::Changed:
        left_.emplace_back(found.path, step.path, Why::Changed);
        return false;
      case At::Nowhere:
        // A move that failed where it began left nothing of the batch on
        // disk: where the file went since is the user's doing.
        if (step.outcomeKnown && step.outcome == RowOutcome::Failed && step.place.empty() &&
            step.replaced == ReplacedFate::None)
          return true;
        if (!ReplacedByEarlier(k)) {
          left_.emplace_back(step.newPath, step.path, Why::Gone);
          return false;
        }
        break;
      case At::Elsewhere: {
        // Where the folder ignores case, the old spelling names the file itself.
        const bool otherCase = SameName(found.path, step.path, true);
        if (!otherCase &&
            ops_.StatusPlanned({step.path.c_str(), step.nativePath}).kind != FileKind::Missing) {
          left_.emplace_back(found.path, step.path, Why::OldNameTaken);
          return false;
        }
        // The move to another case tells no record of a placeholder it may make.
        FileResult moved = otherCase ? Reserve(step.path) : FileResult{};
        const PlannedPath from{found.path.c_str(), found.native},
            to{step.path.c_str(), step.nativePath};
        if (moved)
          moved = otherCase ? ops_.MoveToOtherCasePlanned(from, to)
                            : ops_.MovePlanned(from, to, nullptr);
        if (!moved) {
          if (moved.error == EEXIST)
            left_.emplace_back(found.path, step.path, Why::OldNameTaken);
          else
            left_.emplace_back(found.path, step.path, Why::MoveFailed, moved.error);
          return false;
        }
        Changed({found.path, step.path, found.native, step.nativePath});
        movedBack = true;
        break;
      }
    }
    return step.path == step.newPath || BringBackReplaced(k, movedBack);
  }

  // The file the step's overwrite sent to the trash goes back to the name
  // it had, now that the file which took it has gone back to its own.
  bool BringBackReplaced(std::size_t k, bool movedBack) {
    const StoredStep& step = batch_.steps[k];
    const std::string& nearNative = step.nativeNewPath;
    if (step.outcomeKnown) {
      // Deleted when the trash could not take it: told, and nothing more
      // can ever bring it back.
      if (step.replaced == ReplacedFate::Deleted)
        left_.emplace_back(step.newPath, std::string(), Why::ReplacedDeleted);
      if (step.replaced != ReplacedFate::Trashed) return true;
      // Back already (an undo cut short, or the user's own restore).
      const PlannedPath newPath{step.newPath.c_str(), step.nativeNewPath};
      if (Holds(newPath, ops_.StatusPlanned(newPath), step.replacedFile)) return true;
      return Restore(step, trash_.Find(AsStatus(step.replacedFile), step.replacedFile.tail,
                                       step.replacedPath, nearNative));
    }
    // After a crash only the disk can tell: the file that held the name
    // just before this step is the latest earlier step's that moved there,
    // else the one recorded as held there (just before the overwrite).
    if (!movedBack) return true;
    for (std::size_t j = k; j-- > 0;) {
      const StoredStep& earlier = batch_.steps[j];
      if (earlier.newPath != step.newPath || !earlier.file.known) continue;
      if (std::string found =
              trash_.Find(AsStatus(earlier.file), earlier.file.tail, {}, nearNative);
          !found.empty())
        return Restore(step, found);
    }
    if (std::string found = trash_.Find(AsStatus(step.target), step.target.tail, {}, nearNative);
        !found.empty())
      return Restore(step, found);
    return true;
  }

  bool Restore(const StoredStep& step, const std::string& found) {
    if (found.empty()) {
      left_.emplace_back(step.newPath, std::string(), Why::ReplacedNotInTrash);
    } else if (ops_.StatusPlanned({step.newPath.c_str(), step.nativeNewPath}).kind !=
               FileKind::Missing) {
      left_.emplace_back(step.newPath, std::string(), Why::ReplacedNameTaken, 0, ShownPath(found));
    } else if (FileResult restored = Reserve(step.newPath);
               !restored ||
               !(restored = trash_.Restore(found, {step.newPath.c_str(), step.nativeNewPath}))) {
      left_.emplace_back(step.newPath, std::string(), Why::RestoreFailed, restored.error,
                         ShownPath(found));
    } else {
      // Its own change, so that its row finds it and its folders are synced.
      std::string fromTrash;
      if (!NativePathToCp932(found, fromTrash)) fromTrash.clear();
      Changed({fromTrash, step.newPath, found, step.nativeNewPath});
      return true;
    }
    return false;
  }

  // The trash moves a file back with no record of a placeholder it makes
  // on a medium without a no-replace rename: the name is written down
  // first, as such a move would.
  FileResult Reserve(const std::string& path) {
    return record_ ? record_(PlaceholderStep::Reserving, path.c_str()) : FileResult{};
  }

  void Changed(PathChange change) {
    Touched(change.from);
    Touched(change.to);
    result_.changes.push_back(std::move(change));
  }

  void Touched(const std::string& path) {
    if (path.empty()) return;
    const std::string_view folder = FolderOf(path);
    if (folder != lastFolder_) folders_.emplace(lastFolder_ = folder.empty() ? "/" : folder);
  }

  // One sync per folder whose names changed, before the batch is marked
  // undone: else a power cut could bring back the new names under a
  // history that offers nothing any more.
  void SyncFolders() {
    for (const std::string& folder : folders_) {
      if (const FileResult synced = ops_.SyncFolder(folder.c_str()); !synced) {
        left_.emplace_back(folder, std::string(), Why::NotSynced, synced.error);
        result_.undoneSteps.clear();
        result_.complete = false;
      }
    }
  }

  // Empty files that a killed move left to reserve a name: removed before
  // anything else, so that none is taken for a file of the batch or stands
  // in the way of one. Only what the batch wrote down, still empty, made
  // after it was written down, and no file of the batch itself.
  void ClearPlaceholders() {
    for (const StoredBatch::Placeholder& placeholder : batch_.placeholders) {
      if (!IsOwnPlaceholder(placeholder.path, placeholder.path, placeholder.made)) continue;
      std::string cp932;
      if (!NativePathToCp932(placeholder.path, cp932)) continue;
      const PlannedPath place{cp932.c_str(), placeholder.path};
      const FileStatus status = ops_.StatusPlanned(place);
      if (status.kind != FileKind::Regular) continue;
      const auto empty = [](const Identity& file) { return file.known && file.length == 0; };
      bool ours = true;
      for (const StoredStep& step : batch_.steps)
        if (empty(step.file) || empty(step.replacedFile) || empty(step.target) ||
            Holds(place, status, step.placed))
          ours = false;
      if (ours && ops_.DeletePlanned(place)) Touched(cp932);
    }
  }

  static constexpr std::size_t NoGuess = static_cast<std::size_t>(-1);
  const StoredBatch& batch_;
  FileOps& ops_;
  Trash& trash_;
  UndoResult& result_;
  std::vector<Left>& left_;
  const PlaceholderRecord& record_;
  std::size_t guess_ = NoGuess;
  std::unordered_set<std::string> folders_;
  std::string lastFolder_;
};

// The last `size` bytes of a file of `length` bytes.
FileResult ReadEnd(FileOps& ops, const PlannedPath& path, std::int64_t length, std::size_t size,
                   std::string& end) {
  end.assign(size, '\0');
  if (size == 0) return {};
  if (length < static_cast<std::int64_t>(size)) return FileResult{EIO};
  return ops.ReadAtPlanned(path, length - static_cast<std::int64_t>(size), end.data(), size);
}

// Syncs the file a tag change wrote; false (and told) when that failed.
bool Lasting(FileOps& ops, const PlannedPath& path, std::vector<Left>& left) {
  if (const FileResult synced = ops.SyncFilePlanned(path); !synced) {
    left.emplace_back(path.cp932, std::string(), Why::NotSynced, synced.error);
    return false;
  }
  return true;
}

// A tag change comes back only from the very end the batch left: then the
// old 128 bytes are put back in place, appended again, or the appended
// trailer is cut off, and synced. False when that write or its sync
// failed: the change stays to be taken back.
bool UndoTagChange(const StoredBatch& batch, FileOps& ops, std::vector<Left>& left) {
  const StoredStep& step = batch.steps.front();
  // The stored native path serves every call of the step.
  const PlannedPath path{step.path.c_str(), step.nativePath};
  const FileStatus now = ops.StatusPlanned(path);
  // Where the medium numbers its files anew (FUSE, a remount) the file at
  // the recorded path is known by the end this change wrote, checked below.
  const bool sameEntry = now.device == step.file.device && now.inode == step.file.inode;
  if (now.kind != FileKind::Regular || (!sameEntry && batch.volume.keepsInodes)) {
    left.emplace_back(step.path, std::string(), Why::Gone);
    return true;
  }
  const std::int64_t before = step.file.length, trailer = static_cast<std::int64_t>(TrailerSize);
  const bool removal = batch.kind == BatchKind::TagRemoval;
  const std::int64_t after = removal           ? before - trailer
                             : step.hasOldTail ? before
                                               : before + trailer;
  std::string end;
  if (now.length == after) {
    if (const FileResult read = ReadEnd(ops, path, now.length, step.newEnd.size(), end); !read) {
      left.emplace_back(step.path, std::string(), Why::ReadFailed, read.error);
      return true;
    }
  }
  if (now.length != after || end != step.newEnd) {
    // Still as it was before the batch (a crash before the write): nothing
    // to take back.
    const bool asBefore =
        now.length == before &&
        (!step.hasOldTail ||
         (ReadEnd(ops, path, now.length, TrailerSize, end).ok() && end == step.oldTail));
    if (!asBefore) {
      left.emplace_back(step.path, std::string(), Why::TagChanged);
      return true;
    }
    // Maybe put back by an undo that was killed before its sync.
    return Lasting(ops, path, left);
  }
  FileResult written;
  if (removal)
    written = ops.AppendPlanned(path, step.oldTail.data(), step.oldTail.size());
  else if (step.hasOldTail)
    written = ops.WriteAtPlanned(path, before - trailer, step.oldTail.data(), step.oldTail.size());
  else
    written = ops.TruncatePlanned(path, before);
  if (!written) {
    left.emplace_back(step.path, std::string(), Why::WriteFailed, written.error);
    return false;
  }
  return Lasting(ops, path, left);
}

// The same for an update that wrote the ID3v2 tag too.
bool UndoBothTags(const StoredBatch& batch, FileOps& ops, std::vector<Left>& left) {
  TagHeadLeft told;
  const bool done = UndoTagHead(batch, ops, told);
  static constexpr Why whys[] = {Why::Gone, Why::Gone, Why::TagsChanged, Why::ReadFailed,
                                 Why::WriteFailed};
  if (told.why != TagHeadLeft::Why::None)
    left.emplace_back(batch.steps.front().path, std::string(), whys[static_cast<int>(told.why)],
                      told.error);
  return done;
}

}  // namespace

UndoResult UndoBatch(const StoredBatch& batch, FileOps& ops, Trash& trash,
                     const PlaceholderRecord& record) {
  UndoResult result;
  std::vector<Left> left;
  if (batch.kind == BatchKind::Rename)
    RenameUndo(batch, ops, trash, result, left, record).Run();
  else if (batch.head.present)
    result.complete = UndoBothTags(batch, ops, left);
  else
    result.complete = UndoTagChange(batch, ops, left);
  const Texts& t = Text();
  result.report = Report(left);
  result.status = (batch.kind == BatchKind::Rename      ? t.rename
                   : batch.kind == BatchKind::TagUpdate ? t.tagUpdate
                                                        : t.tagRemoval) +
                  t.undone + (left.empty() ? std::string() : t.partly);
  return result;
}

}  // namespace selvane
