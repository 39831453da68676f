#include "app/RowsReadAhead.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QString>
#include <string>
#include <vector>

#include "app/RowsHost.h"
#include "app/StatusLine.h"
#include "core/UserPrompts.h"
#include "core/tags/Id3v2Read.h"

namespace {

// While the reading paints the window, the user's input reaches nothing but
// the stop: no command can start inside another (the table is being named)
// and the window cannot close under it. Esc stops too.
class OnlyStop : public QObject {
 public:
  OnlyStop(QPushButton* button, std::atomic<bool>& stop) : button_(button), stop_(stop) {
    qApp->installEventFilter(this);
  }
  ~OnlyStop() override { qApp->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) stop_.store(true);
        return true;
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::ContextMenu:
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop:
        return true;
      case QEvent::Close:
        event->ignore();
        return true;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
        return watched != button_;
      default:
        return false;
    }
  }

 private:
  QPushButton* button_;
  std::atomic<bool>& stop_;
};

}  // namespace

RowsReadAhead::RowsReadAhead(RowsHost& host, int from, selvane::FileOps& inner, bool naming)
    : inner_(inner) {
  host.UnreadRows().clear();
  if (naming && host.NamingRule().empty()) return;  // an empty rule reads no tag
  std::vector<std::string> paths;
  for (int i = from; i < host.Rows().entryCount; ++i) paths.emplace_back(host.Rows()[i].path);
  StatusLine& status = host.Status();
  const QString before = status.Text();
  const OnlyStop guard(status.StopButton(), stop_);
  bool shown = false;
  selvane::ManyReadsOptions options;
  // The naming reads an ID3v2 tag's first block beside the trailer when the
  // rule may take its texts; a header's worth decides the trailer alone.
  options.headSize = host.Rows().tagSources == selvane::TagSources::Id3v1 ? selvane::Id3v2HeaderSize
                                                                          : selvane::Id3v2HeadChunk;
  options.stop = &stop_;
  options.progress = [&](std::size_t done, std::size_t total) {
    if (total <= static_cast<std::size_t>(selvane::ProgressFrom)) return;
    if (!shown) status.ShowStop([this] { stop_.store(true); });
    shown = true;
    status.ShowProgress(static_cast<int>(done), static_cast<int>(total));
    QApplication::processEvents();
  };
  ahead_.emplace(inner, paths, options, host.ReadAheadWaits());
  // The count gives the line back to what it said before.
  if (shown) {
    status.HideStop();
    status.SetText(before);
  }
  if (Stopped()) {
    std::vector<char>& unread = host.UnreadRows();
    unread.assign(static_cast<std::size_t>(host.Rows().entryCount), 0);
    for (int i = from; i < host.Rows().entryCount; ++i)
      unread[static_cast<std::size_t>(i)] = ahead_->Skipped(host.Rows()[i].path);
  }
  if (ahead_->readAhead() == 0) ahead_.reset();
}
