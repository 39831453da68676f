#include "app/StatusLine.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <charconv>
#include <utility>

#include "app/Cp932Text.h"
#include "app/Hints.h"

namespace {

constexpr qint64 kPaintMs = 16;  // one frame of a 60 Hz display
// While a box of the command is up, the pointer's hint waits for it.
constexpr int kModalRetryMs = 50;

}  // namespace

StatusLine::StatusLine(QStatusBar* bar, QWidget& window)
    : QObject(bar), window_(window), label_(new QLabel(bar)), stop_(new QPushButton(bar)) {
  label_->setObjectName(QStringLiteral("StatusText"));
  // The line may hold a long path; it must never widen the window.
  label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  label_->setMinimumWidth(1);
  bar->addWidget(label_, 1);
  stop_->setObjectName(QStringLiteral("StopButton"));
  stop_->setText(QStringLiteral("中止"));
  stop_->setFocusPolicy(Qt::NoFocus);
  bar->addPermanentWidget(stop_);
  stop_->hide();
  connect(stop_, &QPushButton::clicked, this, [this] {
    if (onStop_) onStop_();
  });
}

void StatusLine::ShowStop(std::function<void()> stop) {
  onStop_ = std::move(stop);
  stop_->show();
}

void StatusLine::HideStop() {
  stop_->hide();
  onStop_ = nullptr;
  // The command goes on without the event loop: the button must not stay
  // painted there meanwhile.
  if (stop_->parentWidget()->isVisible()) stop_->parentWidget()->repaint();
}

// Commands that write progress run without returning to the event loop, so
// the line is painted by hand, but at most once a frame and not in the
// command's first frame: a run over 1024 files does not wait on 1024 paints,
// and a command shorter than a frame paints nothing but its last text,
// which the event loop paints once the command is done.
bool StatusLine::PaintDue() {
  if (!busySince_.isValid()) {
    busySince_.start();
    QTimer::singleShot(0, this, [this] {
      busySince_.invalidate();
      TakePending();
    });
    return false;
  }
  if (!label_->isVisible() || busySince_.elapsed() < kPaintMs) return false;
  return !painted_.isValid() || painted_.elapsed() >= kPaintMs;
}

void StatusLine::Paint() {
  label_->repaint();
  painted_.start();
}

void StatusLine::TakePending() {
  if (!hasPending_) return;
  hasPending_ = false;
  label_->setText(ToQt(pending_));
}

void StatusLine::SetText(const QString& text) {
  hasPending_ = false;
  label_->setText(text);
  if (PaintDue()) Paint();
}

void StatusLine::SetText(std::string_view cp932) {
  pending_.assign(cp932);
  hasPending_ = true;
  if (!PaintDue()) return;
  TakePending();
  Paint();
}

// Every count is kept, painted or not, so that the newest is there to be
// painted when a box comes up.
void StatusLine::ShowProgress(int done, int total) {
  char text[32];
  char* end = std::to_chars(text, text + 11, done).ptr;
  *end++ = ' ';
  *end++ = '/';
  *end++ = ' ';
  end = std::to_chars(end, text + sizeof text, total).ptr;
  SetText(std::string_view(text, static_cast<std::size_t>(end - text)));
}

QString StatusLine::Text() const { return hasPending_ ? ToQt(pending_) : label_->text(); }

void StatusLine::Flush() {
  TakePending();
  if (label_->isVisible()) Paint();
}

// --- Hints ---

void StatusLine::SetCurrentHint(const QString& hint) {
  if (hint == currentHint_) return;
  currentHint_ = hint;
  SetText(hint);
}

// The long hint of `widget`, or of its nearest ancestor in the window that has
// a hint; nothing under the pointer gives an empty hint.
void StatusLine::FollowPointer(QWidget* widget) {
  while (widget != nullptr && HintOf(widget).empty() && widget != &window_)
    widget = widget->parentWidget();
  SetCurrentHint(widget != nullptr ? LongHintOf(widget) : QString());
}

// Once the command a menu item started is done, the control under the
// pointer gives the hint again, whether the item was chosen with the mouse
// or the keyboard (the pointer may not have moved at all).
void StatusLine::FollowPointerWhenIdle() {
  // Left or Right from the keyboard closed one menu of the bar and opened
  // the next: its highlighted item gives the hint, not the resting pointer.
  // Its own closing looks again.
  if (qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr) return;
  if (QApplication::activeModalWidget() != nullptr) {
    QTimer::singleShot(kModalRetryMs, this, [this] { FollowPointerWhenIdle(); });
    return;
  }
  pointerParked_ = false;
  QWidget* under = QApplication::widgetAt(QCursor::pos());
  FollowPointer(under != nullptr && under->window() == &window_ ? under : nullptr);
}

void StatusLine::FollowMenu(QMenu* menu) {
  // A menu passes on the hover of its actions from anywhere, a toolbar
  // button's included: only its own highlighted item counts.
  connect(menu, &QMenu::hovered, this, [this, menu](QAction* item) {
    if (menu->isVisible()) SetCurrentHint(LongHintOf(item));
  });
  connect(menu, &QMenu::aboutToHide, this, [this] {
    SetCurrentHint(QString());
    // After the event that closed the menu, which runs the chosen command.
    QTimer::singleShot(0, this, [this] { FollowPointerWhenIdle(); });
  });
}

void StatusLine::PointerEvent(QWidget* widget, QEvent* event) {
  if (widget == nullptr || widget->window() != &window_) return;
  if (event->type() == QEvent::Enter) {
    // The end of a modal box or a menu brings Enters for the controls under
    // a pointer that has not moved; the command's last status stays until
    // the pointer really moves.
    if (pointerParked_ && QCursor::pos() == parkedAt_) return;
    pointerParked_ = false;
    FollowPointer(widget);
  } else if (event->type() == QEvent::Leave) {
    // A box or a menu coming up takes the pointer from the window without
    // the pointer leaving the control: nothing changes under it. (Qt may
    // send this Leave before the box counts as modal, so the pointer's place
    // decides.)
    const QWidget* modal = QApplication::activeModalWidget();
    const bool stillInside = widget->rect().contains(widget->mapFromGlobal(QCursor::pos()));
    if ((modal != nullptr && modal != &window_) || stillInside) {
      pointerParked_ = true;
      parkedAt_ = QCursor::pos();
      return;
    }
    pointerParked_ = false;
    // The pointer is now over the parent, unless an Enter of another control
    // follows; leaving the window leaves no control under it.
    FollowPointer(widget == &window_ ? nullptr : widget->parentWidget());
  }
}
