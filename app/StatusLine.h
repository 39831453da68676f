#pragma once
// The status line: one text across StatusBar1, painted by hand at most once
// a frame while a command runs, the hints that follow the pointer and the
// highlighted menu item, and the "done / total" of long work.
#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

class QEvent;
class QLabel;
class QMenu;
class QPushButton;
class QStatusBar;
class QWidget;

class StatusLine : public QObject {
 public:
  // Puts the line's label (objectName "StatusText") into `bar`; `window` is
  // the main window whose controls' hints it follows.
  StatusLine(QStatusBar* bar, QWidget& window);

  // Replaces the whole text.
  void SetText(const QString& text);
  // The same for a CP932 text: converted only when painted or once the
  // command is done, since a run writes one per row.
  void SetText(std::string_view cp932);
  void ShowProgress(int done, int total);
  // The "中止" button at the line's end, while long work can be stopped:
  // pressing it calls `stop`.
  void ShowStop(std::function<void()> stop);
  void HideStop();
  QPushButton* StopButton() const { return stop_; }
  // What the line reads, a text still to be painted included.
  QString Text() const;
  // Paints the newest text now: a modal box must never come up over a line
  // that still names an earlier row.
  void Flush();

  // Enter and Leave of the window's controls, for the hints.
  void PointerEvent(QWidget* widget, QEvent* event);
  // The menu's highlighted item gives the hint; its closing empties it.
  void FollowMenu(QMenu* menu);

 private:
  bool PaintDue();
  void Paint();
  void TakePending();
  void SetCurrentHint(const QString& hint);
  void FollowPointer(QWidget* widget);
  void FollowPointerWhenIdle();

  QWidget& window_;
  QLabel* label_;
  QPushButton* stop_;
  std::function<void()> onStop_;
  QElapsedTimer painted_;    // since the line was last painted by hand
  QElapsedTimer busySince_;  // since the current command's first text
  std::string pending_;      // CP932: the text the label is yet to be given
  bool hasPending_ = false;
  QString currentHint_;
  bool pointerParked_ = false;  // a modal box or a menu took the pointer at `parkedAt_`
  QPoint parkedAt_;
};
