// Files named on the command line, added during start-up. Each argument is
// looked up in the file system and enters the list under the name stored
// there, behind its directory exactly as typed.
#include <dirent.h>
#include <sys/stat.h>

#include <QFile>
#include <QList>
#include <QScrollBar>
#include <QString>
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/Cp932Text.h"
#include "app/ListRows.h"
#include "app/ListSelection.h"
#include "app/Unit1.h"
#include "core/filelist/SplitPath.h"
#include "core/platform/Cp932.h"

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

// The stored name of the file that the native path's final component names,
// found as the designed find-first service finds it: the component itself
// when a file has exactly that name, else the first name in the order the
// directory reports that matches it (wildcards, any letter case). None when
// nothing matches.
std::optional<std::string> FindStoredName(const std::string& native) {
  const std::size_t slash = native.rfind('/');
  const std::string base = slash == std::string::npos ? native : native.substr(slash + 1);
  if (base.empty() || base == "." || base == "..") return std::nullopt;
  struct stat info {};
  if (stat(native.c_str(), &info) == 0) return base;
  const std::string dir =
      slash == std::string::npos ? std::string(".") : native.substr(0, slash == 0 ? 1 : slash);
  DIR* stream = opendir(dir.c_str());
  if (stream == nullptr) return std::nullopt;
  const QString pattern = QString::fromUtf8(base);
  std::optional<std::string> found;
  while (const dirent* item = readdir(stream)) {
    const std::string_view name = item->d_name;
    if (name == "." || name == "..") continue;
    if (WildcardMatch(pattern,
                      QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())))) {
      found = std::string(name);
      break;
    }
  }
  closedir(stream);
  return found;
}

// Drive and directory of the argument as typed.
std::string PrefixOf(std::string_view cp932) {
  const selvane::PathParts parts = selvane::SplitPath(cp932);
  std::string prefix;
  if (parts.flags & selvane::HasDrive) prefix = parts.drive;
  if (parts.flags & selvane::HasDirectory) prefix += parts.directory;
  return prefix;
}

// The start-up road tells what it refused once the window is on screen.
class OnScreenPrompts : public selvane::UserPrompts {
 public:
  explicit OnScreenPrompts(TForm1& form) : form_(form) {}
  void SetStatus(std::string_view text) override { form_.SetStatusText(text); }
  void Refuse(std::string_view text, std::string_view caption) override {
    form_.ShowWhenOnScreen([form = &form_, text = ToQt(text), caption = ToQt(caption)] {
      form->DialogsInUse().Refuse(form, text, caption);
    });
  }
  void RefuseUtf8(std::string_view text, std::string_view caption) override {
    form_.ShowWhenOnScreen(
        [form = &form_, text = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
         caption = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()))] {
          form->DialogsInUse().Refuse(form, text, caption);
        });
  }
  bool Ask(std::string_view text, std::string_view caption) override {
    return form_.Prompts().Ask(text, caption);
  }
  void ShowError(std::string_view text) override {
    form_.ShowWhenOnScreen(
        [form = &form_, text = ToQt(text)] { form->DialogsInUse().ShowError(form, text); });
  }

 private:
  TForm1& form_;
};

}  // namespace

namespace {

// A name that was not valid in the system's encoding has lost bytes on its
// way in and cannot be found faithfully.
bool LostBytes(const QString& arg) { return arg.contains(QChar::ReplacementCharacter); }

}  // namespace

// The files the first paint can show are listed at once; the others right
// after it, so that a collection of 20,000 files comes up as fast as one of
// twenty (the first screen is the same). One message tells every refusal,
// once all are in.
void TForm1::AddCommandLineFiles(const QStringList& args) {
  startPrompts_ = std::make_unique<OnScreenPrompts>(*this);
  startBatch_ = std::make_unique<selvane::AddBatch>(table, *startPrompts_);
  // No more rows than the window is high in list rows can be on screen.
  const qsizetype firstScreenRows = OuterSize().height() / kListRowPixels + 1;
  const qsizetype now = std::min(args.size(), firstScreenRows);
  const std::string rule = NamingRule();
  for (qsizetype i = 0; i < now; ++i) AddArgument(args[i], rule);
  for (qsizetype i = now; i < args.size(); ++i) {
    // Refused here as on the first screen: encoded back, it would name
    // nothing and be passed over without a word.
    if (LostBytes(args[i]))
      startBatch_->RefuseUnconvertible(args[i].toStdString());
    else
      pendingArgs_.push_back(QFile::encodeName(args[i]).toStdString());
  }
}

void TForm1::AddLaterArguments(std::span<char* const> native) {
  pendingArgs_.insert(pendingArgs_.end(), native.begin(), native.end());
}

void TForm1::AddTheRest() {
  if (!pendingArgs_.empty()) {
    const std::vector<std::string> rest = std::exchange(pendingArgs_, {});
    const int remembered = ItemIndex(ListBox1);
    const int top = ListBox1->verticalScrollBar()->value();
    const bool counting = table.entryCount + static_cast<int>(rest.size()) > selvane::ProgressFrom;
    const std::string rule = NamingRule();
    const int total = static_cast<int>(rest.size());
    for (int i = 0; i < total; ++i) {
      if (counting) ShowProgress(i + 1, total);
      AddArgument(rest[static_cast<std::size_t>(i)], rule);
    }
    // The command line has no text of its own for the status line.
    if (counting) SetStatusText(QString());
    RefreshLists();
    SelectRow(remembered);
    for (ListBox* list : {ListBox1, ListBox2}) list->verticalScrollBar()->setValue(top);
    ShowTagPanel();
  }
  if (startBatch_ != nullptr) startBatch_->Finish();
  startBatch_.reset();
}

void TForm1::AddArgument(const QString& arg, const std::string& rule) {
  if (LostBytes(arg)) {
    startBatch_->RefuseUnconvertible(arg.toStdString());
    return;
  }
  AddArgument(QFile::encodeName(arg).toStdString(), rule);
}

void TForm1::AddArgument(const std::string& native, const std::string& rule) {
  selvane::AddBatch& batch = *startBatch_;
  const std::optional<std::string> stored = FindStoredName(native);
  if (!stored) return;  // names nothing: skipped
  std::string cp932Arg;
  std::string cp932Name;
  if (!selvane::NativePathToCp932(native, cp932Arg) ||
      !selvane::NativePathToCp932(*stored, cp932Name)) {
    const std::size_t slash = native.rfind('/');
    batch.RefuseUnconvertible(slash == std::string::npos ? *stored
                                                         : native.substr(0, slash + 1) + *stored);
    return;
  }
  const std::string path = PrefixOf(cp932Arg) + cp932Name;
  batch.Add(path.c_str(), rule);
}
