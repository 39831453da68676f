// The open dialog and files dropped from a file manager.
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <string>
#include <vector>

#include "app/Cp932Text.h"
#include "app/FileIntake.h"
#include "app/ListRows.h"
#include "app/ListSelection.h"
#include "app/MainWindow.h"

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

// The file's name as the system holds it: the address's bytes, not a text
// decoded from them, which would turn a byte that is not UTF-8 into a mark
// that names no file.
std::string DroppedPath(const QUrl& url) {
  const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  const QString text = QString::fromUtf8(bytes);
  if (text.toUtf8() != bytes) return bytes.toStdString();
  return QFile::encodeName(QDir::cleanPath(text)).toStdString();
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

void MainWindow::OpenFiles() {
  const int remembered = ItemIndex(beforeList);
  QStringList chosen = dialogs_.ChooseFiles(this, QStringLiteral("Selvane"),
                                            kMp3Filter + QStringLiteral(";;") + kAllFilter,
                                            kMp3Filter, QDir::currentPath());
  if (!chosen.isEmpty() && !ChoiceFitsTheBuffer(chosen)) {
    // Counts as a cancel; unlike the bare failure of the dialog, the user
    // is told why nothing came in.
    chosen.clear();
    prompts_->Refuse(QStringLiteral("選択したファイルが多すぎます。\n一度に選べるのは、"
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
  std::vector<std::string> native;
  native.reserve(static_cast<std::size_t>(chosen.size()));
  for (const QString& file : chosen) native.push_back(QFile::encodeName(file).toStdString());
  intake_->AddPaths(native, remembered);
}

void MainWindow::AddDroppedFiles(const std::vector<std::string>& nativePaths) {
  intake_->AddPaths(nativePaths, ItemIndex(beforeList));
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) { TakeAsCopy(event); }

void MainWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(DroppedPath(url));
  if (paths.empty() || !TakeAsCopy(event)) return;
  AddDroppedFiles(paths);
}
