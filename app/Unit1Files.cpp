// Files named on the command line, added during start-up. Each argument is
// looked up in the file system and enters the list under the name stored
// there, behind its directory exactly as typed.
#include <dirent.h>
#include <sys/stat.h>

#include <QFile>
#include <QList>
#include <QString>
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "app/Cp932Text.h"
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

void TForm1::AddCommandLineFiles(const QStringList& args) {
  const std::string rule = NamingRule();
  OnScreenPrompts prompts(*this);
  // No more rows than the window is high in list rows can be on screen.
  const int firstScreenRows = OuterSize().height() / kListRowPixels + 1;
  selvane::AddBatch batch(table, prompts);
  for (const QString& arg : args) {
    // A name that was not valid in the system's encoding has lost bytes on
    // its way in and cannot be found faithfully.
    if (arg.contains(QChar::ReplacementCharacter)) {
      batch.RefuseUnconvertible(arg.toStdString());
      continue;
    }
    const std::string native = QFile::encodeName(arg).toStdString();
    const std::optional<std::string> stored = FindStoredName(native);
    if (!stored) continue;  // names nothing: skipped
    std::string cp932Arg;
    std::string cp932Name;
    if (!selvane::NativePathToCp932(native, cp932Arg) ||
        !selvane::NativePathToCp932(*stored, cp932Name)) {
      const std::size_t slash = native.rfind('/');
      batch.RefuseUnconvertible(slash == std::string::npos ? *stored
                                                           : native.substr(0, slash + 1) + *stored);
      continue;
    }
    const std::string path = PrefixOf(cp932Arg) + cp932Name;
    // Beyond the rows the first paint can show, the naming waits until the
    // window is on screen (NameTheRest): no tag is read for them yet.
    const bool onFirstScreen = table.entryCount < firstScreenRows;
    batch.Add(path.c_str(), onFirstScreen ? std::string_view(rule) : std::string_view());
    if (!onFirstScreen) unnamedFrom_ = std::min(unnamedFrom_, firstScreenRows);
  }
  batch.Finish();
}
