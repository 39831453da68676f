#include "app/FileIntake.h"

#include <QList>
#include <QScrollBar>
#include <QString>
#include <optional>
#include <string_view>
#include <utility>

#include "app/ListRows.h"
#include "app/ListSelection.h"
#include "app/RowsHost.h"
#include "app/RowsReadAhead.h"
#include "app/StatusLine.h"
#include "core/platform/Cp932.h"
#include "core/platform/FileOps.h"
#include "core/platform/FolderListing.h"
#include "core/platform/ManyReads.h"

namespace {

// '*' matches any run of characters, '?' any one character (not one byte of
// its UTF-8 form); letter case does not matter, as in the open dialog.
bool WildcardMatch(const QString& patternText, const QString& nameText) {
  const QList<uint> pattern = patternText.toCaseFolded().toUcs4();
  const QList<uint> name = nameText.toCaseFolded().toUcs4();
  qsizetype p = 0, n = 0, starP = -1, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP >= 0) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FolderOfArgument(const std::string& native, std::size_t slash) {
  return slash == std::string::npos ? std::string(".") : native.substr(0, slash == 0 ? 1 : slash);
}

// The stored name of the file that the native path's final component names:
// the component itself when something has exactly that name, else the first
// name in the order the folder reports that matches it. None when nothing
// matches. A name that its folder, read whole, lists as it is written
// (and no link) needs no look of its own.
std::optional<std::string> FindStoredName(const std::string& native,
                                          selvane::ListedFolders* folders) {
  const std::size_t slash = native.rfind('/');
  const std::string base = slash == std::string::npos ? native : native.substr(slash + 1);
  if (base.empty() || base == "." || base == "..") return std::nullopt;
  if (folders != nullptr &&
      folders->Find(FolderOfArgument(native, slash), base) == selvane::ListedFolders::Holds::Name)
    return base;
  int error = 0;
  if (selvane::NativeStatus(native, &error).kind != selvane::FileKind::Missing && error == 0)
    return base;
  selvane::FolderListing folder(FolderOfArgument(native, slash));
  const QString pattern = FromUtf8(base);
  while (const std::optional<std::string_view> name = folder.Next())
    if (WildcardMatch(pattern, FromUtf8(*name))) return std::string(*name);
  return std::nullopt;
}

// A path without a CP932 form is kept for the batch's closing message.
bool AddNative(selvane::AddBatch& batch, const std::string& native, const std::string& rule,
               std::string& cp932) {
  if (!selvane::NativePathToCp932(native, cp932)) {
    batch.RefuseUnconvertible(native);
    return false;
  }
  batch.Add(cp932.c_str(), rule);
  return true;
}

}  // namespace

FileIntake::FileIntake(RowsHost& host)
    : host_(host),
      startPrompts_(host.Window(), host.DialogsInUse(), host.Status(),
                    [&host](std::function<void()> box) { host.ShowWhenOnScreen(std::move(box)); }) {
}

FileIntake::~FileIntake() = default;

void FileIntake::StartWith(std::vector<std::string> native, std::size_t firstScreenRows) {
  startBatch_ = std::make_unique<selvane::AddBatch>(host_.Rows(), startPrompts_);
  const std::size_t now = std::min(native.size(), firstScreenRows);
  const std::string rule = host_.NamingRule();
  for (std::size_t i = 0; i < now; ++i) AddArgument(native[i], rule);
  native.erase(native.begin(), native.begin() + static_cast<std::ptrdiff_t>(now));
  pending_ = std::move(native);
}

void FileIntake::AddTheRest() {
  // The tags read ahead serve this call only.
  std::unique_ptr<selvane::TailsReadAhead> ahead = std::move(readAhead_);
  // A start whose creation failed took none of its files.
  if (startBatch_ == nullptr) return;
  if (!pending_.empty()) {
    const std::vector<std::string> rest = std::exchange(pending_, {});
    ListBox* const lists[] = {&host_.BeforeList(), &host_.AfterList()};
    const int remembered = ItemIndex(&host_.BeforeList());
    const int top = host_.BeforeList().verticalScrollBar()->value();
    const bool counting =
        host_.Rows().entryCount + static_cast<int>(rest.size()) > selvane::ProgressFrom;
    const std::string rule = host_.NamingRule();
    const int from = host_.Rows().entryCount;
    // The files are listed first and named together, their tags read on
    // two threads; the count in the status line follows the reading.
    startBatch_->NameLater();
    // A folder that many arguments name is read once.
    // On a share it is read at the first name, which would cost a round trip.
    selvane::MediumWaits media;
    selvane::ListedFolders folders(
        [](std::string_view folder, const selvane::ListedFolders::Each& each) {
          return selvane::FolderListing::ForEach(std::string(folder), each);
        },
        [&media](std::string_view folder) { return media.PaysForWaiting(std::string(folder)); });
    for (const std::string& native : rest) AddArgument(native, rule, &folders);
    if (ahead != nullptr) ahead->Stop();
    {
      RowsReadAhead many(host_, from, ahead != nullptr ? *ahead : selvane::SystemFileOps());
      startBatch_->NameTheRest(rule, counting ? &host_.Prompts() : nullptr, many.Ops());
    }
    ahead.reset();  // its memory goes before the lists are filled
    // The command line has no text of its own for the status line.
    if (counting) host_.Status().SetText(QString());
    host_.RefreshLists(startBatch_->Statuses());
    host_.SelectRow(remembered);
    for (ListBox* list : lists) list->verticalScrollBar()->setValue(top);
    host_.ShowTagPanel();
  }
  startBatch_->Finish();
  startBatch_.reset();
}

// The entry takes the name stored on disk, behind the folder as typed.
void FileIntake::AddArgument(const std::string& native, const std::string& rule,
                             selvane::ListedFolders* folders) {
  const std::optional<std::string> stored = FindStoredName(native, folders);
  if (!stored) return;  // names nothing: skipped
  const std::size_t slash = native.rfind('/');
  const std::string path =
      slash == std::string::npos ? *stored : native.substr(0, slash + 1) + *stored;
  std::string cp932;
  AddNative(*startBatch_, path, rule, cp932);
}

void FileIntake::AddPaths(const std::vector<std::string>& native, int remembered) {
  selvane::AddBatch batch(host_.Rows(), host_.Prompts());
  const std::string rule = host_.NamingRule();
  // Over many files the status line counts them rather than naming each.
  const int total = static_cast<int>(native.size());
  const bool counting = total > selvane::ProgressFrom;
  std::string cp932;
  if (counting) {
    batch.NameLater();
    for (const std::string& path : native) AddNative(batch, path, rule, cp932);
    batch.NameTheRest(rule, &host_.Prompts());
  } else {
    for (const std::string& path : native)
      if (AddNative(batch, path, rule, cp932)) host_.Status().SetText(std::string_view(cp932));
  }
  host_.Status().SetText(QStringLiteral("アイテム登録終了"));
  host_.RefreshLists(batch.Statuses());
  host_.SelectRow((!native.empty() && remembered == -1) ? 0 : remembered);
  host_.ShowTagPanel();
  batch.Finish();
}
