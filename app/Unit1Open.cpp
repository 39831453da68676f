// The open dialog and files dropped from a file manager.
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "app/Cp932Text.h"
#include "app/ListRows.h"
#include "app/ListSelection.h"
#include "app/Unit1.h"
#include "core/UserPrompts.h"
#include "core/platform/Cp932.h"

namespace {

// The dialog hands its choice over in one buffer of this many bytes: the
// folder once, then each name, each ended by a NUL, and a final NUL. A
// choice that does not fit fails the dialog.
constexpr qsizetype ChoiceBufferBytes = 65519;

// Each filter shows the caption before the blank; the pattern list in the
// last parentheses is hidden. The patterns list every MP3 whatever its case,
// and every file, with or without a dot in its name.
const QString kMp3Filter = QStringLiteral("MP3ﾌｧｲﾙ(*.mp3) (*.[mM][pP]3)");
const QString kAllFilter = QStringLiteral("すべて(*.*) (*)");

qsizetype ByteLength(const QString& text) {
  const int cp932 = Cp932Length(text);
  return cp932 >= 0 ? cp932 : text.toUtf8().size();
}

bool ChoiceFitsTheBuffer(const QStringList& chosen) {
  if (chosen.size() == 1) return ByteLength(chosen.first()) + 2 <= ChoiceBufferBytes;
  qsizetype bytes = ByteLength(QFileInfo(chosen.first()).absolutePath()) + 2;
  for (const QString& file : chosen) bytes += ByteLength(QFileInfo(file).fileName()) + 1;
  return bytes <= ChoiceBufferBytes;
}

// Native paths in, entries out: each path is converted to CP932, handed to
// AddEntry and shown in the status line. A name without a CP932 form is
// kept for the batch's closing message, told after the lists are shown
// again with the row `remembered` selected (the first row when none was and
// something came in).
void AddNativePaths(TForm1& form, const QStringList& nativePaths, int remembered) {
  selvane::AddBatch batch(form.table, form.Prompts());
  const std::string rule = form.NamingRule();
  // Over many files the status line counts them rather than naming each.
  const int total = static_cast<int>(nativePaths.size());
  const bool counting = total > selvane::ProgressFrom;
  int done = 0;
  for (const QString& native : nativePaths) {
    std::string path;
    ++done;
    if (!selvane::NativePathToCp932(native.toStdString(), path)) {
      batch.RefuseUnconvertible(native.toStdString());
      continue;
    }
    batch.Add(path.c_str(), rule);
    if (counting)
      form.ShowProgress(done, total);
    else
      form.SetStatusText(std::string_view(path));
  }
  form.SetStatusText(QStringLiteral("アイテム登録終了"));
  form.RefreshLists();
  form.SelectRow((!nativePaths.isEmpty() && remembered == -1) ? 0 : remembered);
  form.ShowTagPanel();
  batch.Finish();
}

// A drop only ever copies: a file manager that is told "moved" may remove
// its source, and listing a file must never cost the user the file.
bool TakeAsCopy(QDropEvent* event) {
  if (!event->mimeData()->hasUrls()) return false;
  if (event->possibleActions() & Qt::CopyAction) {
    event->setDropAction(Qt::CopyAction);
  } else if (event->possibleActions() & Qt::LinkAction) {
    event->setDropAction(Qt::LinkAction);
  } else {
    return false;
  }
  event->accept();
  return true;
}

}  // namespace

void TForm1::f1Click() {
  const int remembered = ItemIndex(ListBox1);
  QStringList chosen = dialogs_.ChooseFiles(this, QStringLiteral("Selvane"),
                                            kMp3Filter + QStringLiteral(";;") + kAllFilter,
                                            kMp3Filter, QDir::currentPath());
  if (!chosen.isEmpty() && !ChoiceFitsTheBuffer(chosen)) {
    // Counts as a cancel; unlike the bare failure of the dialog, the user
    // is told why nothing came in.
    chosen.clear();
    dialogs_.Refuse(this,
                    QStringLiteral("選択したファイルが多すぎます。\n一度に選べるのは、"
                                   "フォルダ名とファイル名の合計が %1 バイトまでです。\n"
                                   "何回かに分けて開いてください。")
                        .arg(ChoiceBufferBytes),
                    QStringLiteral("Selvane"));
  }
  if (chosen.isEmpty()) {
    ShowTagPanel();
    return;
  }
  // The next open starts in the folder of this choice.
  QDir::setCurrent(QFileInfo(chosen.first()).absolutePath());
  AddNativePaths(*this, chosen, remembered);
}

void TForm1::WMDropFiles(const QStringList& nativePaths) {
  AddNativePaths(*this, nativePaths, ItemIndex(ListBox1));
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) { TakeAsCopy(event); }

void TForm1::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths << QDir::cleanPath(url.toLocalFile());
  if (paths.isEmpty() || !TakeAsCopy(event)) return;
  WMDropFiles(paths);
}
