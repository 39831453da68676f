// The open dialog and files dropped from a file manager.
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>

#include "app/Cp932Text.h"
#include "app/ListSelection.h"
#include "app/Unit1.h"
#include "core/platform/Cp932.h"

namespace {

// Native paths in, entries out: each path is converted to CP932, handed to
// AddEntry and shown in the status line. Returns how many paths came in.
void AddNativePaths(TForm1& form, selvane::AddBatch& batch, const QStringList& nativePaths) {
  const std::string rule = form.NamingRule();
  for (const QString& native : nativePaths) {
    std::string path;
    if (!selvane::NativePathToCp932(native.toStdString(), path)) {
      batch.RefuseUnconvertible(native.toStdString());
      continue;
    }
    batch.Add(path.c_str(), rule);
    form.SetStatusText(std::string_view(path));
  }
}

}  // namespace

void TForm1::f1Click() {
  const int remembered = ItemIndex(ListBox1);
  // The all-files entry matches names without a dot too, as "*.*" does on
  // the system the filter texts come from; the hidden pattern lists do that.
  const QStringList chosen = dialogs_.ChooseFiles(
      this, QStringLiteral("Selvane"),
      QStringLiteral("MP3ﾌｧｲﾙ(*.mp3);;すべて(*.*)"), QStringLiteral("MP3ﾌｧｲﾙ(*.mp3)"),
      QDir::currentPath());
  if (!chosen.isEmpty()) {
    // The next open starts in the folder of this choice.
    QDir::setCurrent(QFileInfo(chosen.first()).absolutePath());
    selvane::AddBatch batch(table, Prompts());
    AddNativePaths(*this, batch, chosen);
    SetStatusText(QStringLiteral("アイテム登録終了"));
    RefreshLists();
    SetItemIndex(ListBox1, remembered == -1 ? 0 : remembered);
    SetItemIndex(ListBox2, ItemIndex(ListBox1));
    ShowTagPanel();
    batch.Finish();
    return;
  }
  ShowTagPanel();
}

void TForm1::WMDropFiles(const QStringList& nativePaths) {
  const int remembered = ItemIndex(ListBox1);
  selvane::AddBatch batch(table, Prompts());
  AddNativePaths(*this, batch, nativePaths);
  SetStatusText(QStringLiteral("アイテム登録終了"));
  RefreshLists();
  SetItemIndex(ListBox1, (!nativePaths.isEmpty() && remembered == -1) ? 0 : remembered);
  SetItemIndex(ListBox2, ItemIndex(ListBox1));
  ShowTagPanel();
  batch.Finish();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths << QDir::cleanPath(url.toLocalFile());
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  WMDropFiles(paths);
}
