// The main window: layout and lifecycle.
#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <functional>
#include <vector>

#include "app/AboutBox.h"
#include "app/AppLook.h"
#include "app/ByteLimitValidator.h"
#include "app/CommandTable.h"
#include "app/Cp932Text.h"
#include "app/FileIntake.h"
#include "app/Glyphs.h"
#include "app/Hints.h"
#include "app/ListRows.h"
#include "app/TagPanel.h"
#include "app/WindowLayout.h"
#include "app/WindowPrompts.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"
#include "core/tags/GenreList.h"

unsigned char firstPaintPending = 1;

namespace {

using namespace window_layout;

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

ListBox* AddList(QGroupBox* group, const char* name, const QFont& font,
                 const selvane::EntryTable& table, EntryListModel::Side side) {
  auto* list = Named(new ListBox(table, side, group), name);
  list->setFont(font);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setTextElideMode(Qt::ElideNone);
  list->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setFocusPolicy(Qt::ClickFocus);  // not in the tab order
  list->setContextMenuPolicy(Qt::PreventContextMenu);
  list->viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
  list->setMinimumSize(1, 1);
  auto* layout = new QVBoxLayout(group);
  layout->setContentsMargins(2, 0, 2, 2);
  layout->addWidget(list);
  return list;
}

}  // namespace

MainWindow::MainWindow(std::vector<std::string> args, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), args_(std::move(args)) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowTitle(QStringLiteral("Selvane"));
  setWindowIcon(ApplicationIcon());
  setFont(GothicFont("IPAPGothic", false));
  setContextMenuPolicy(Qt::NoContextMenu);
  BuildLayout();
  prompts_ = std::make_unique<WindowPrompts>(*this, dialogs_, *status_);
  intake_ = std::make_unique<FileIntake>(*this);
  BuildCommands();
  ConnectRuleBox();
  // Every control reports the pointer entering and leaving, for the hints.
  installEventFilter(this);
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
  ApplySizeLimits();
  SetOuterSize(StartSize.width(), StartSize.height());
  StartUp();
}

MainWindow::~MainWindow() = default;

// The commands' states follow what changes them: the list's rows and
// selection, the tag clipboard (SetTagClipboard) and the history.
void MainWindow::BuildCommands() {
  commands_ = new CommandTable(*this, *this, toolbar, menuBar(), *status_);
  connect(beforeList->model(), &QAbstractItemModel::modelReset, this, &MainWindow::FollowList);
  connect(beforeList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &MainWindow::FollowList);
  // 元に戻す stays greyed until its menu first shows: the start does not
  // look at the history.
  connect(this, &MainWindow::UndoableChanged, commands_, &CommandTable::FollowHistory);
  history.store().OnUndoableChanged([this](bool undoable) { emit UndoableChanged(undoable); });
  connect(commands_->fileMenu, &QMenu::aboutToShow, this, &MainWindow::UpdateUndoState,
          Qt::SingleShotConnection);
}

void MainWindow::FollowList() {
  const int s = SelectedIndex();
  commands_->FollowList(table.entryCount, s, s >= 0 && table[s].hasTag == 1);
}

void MainWindow::SetTagClipboard(const selvane::FileEntry& entry) {
  tagClipboard_ = entry;
  commands_->FollowClipboard(entry.hasTag == 1);
}

void MainWindow::BuildLayout() {
  client_ = Named(new QWidget(this), "ClientArea");
  setCentralWidget(client_);

  auto* bar = Named(new QFrame(client_), "toolbar");
  bar->setFrameStyle(QFrame::Panel | QFrame::Raised);
  toolbar = bar;

  tagPanel_ = std::make_unique<TagPanel>(client_);

  ruleGroup = Named(new QGroupBox(QStringLiteral("命名規則"), client_), "ruleGroup");
  ruleBox = Named(new QLineEdit(ruleGroup), "ruleBox");
  ruleBox->setGeometry(8, 14, 143, 20);
  // In the proportional Gothic "$" reads like "S"; the fixed-pitch one of
  // the lists draws its stroke through, so the five tokens read clearly.
  ruleBox->setFont(GothicFont("IPAGothic", true));
  ruleBox->setValidator(new ByteLimitValidator(static_cast<int>(selvane::RuleBoxLimit), ruleBox));
  ruleBox->setAcceptDrops(false);
  ruleBox->setText(QString::fromLatin1(selvane::DefaultNamingRule.data(),
                                       static_cast<qsizetype>(selvane::DefaultNamingRule.size())));
  SetHint(ruleBox, selvane::Cp932("|命名規則入力"));
  ruleBox->setToolTip(ShortHintOf(ruleBox));  // empty: no tooltip shows

  splitter = Named(new QSplitter(Qt::Horizontal, client_), "splitter");
  splitter->setHandleWidth(4);
  splitter->setOpaqueResize(true);
  splitter->setChildrenCollapsible(false);
  const QFont listFont = GothicFont("IPAGothic", true);
  beforeGroup = Named(new QGroupBox(QStringLiteral("変換前")), "beforeGroup");
  beforeList = AddList(beforeGroup, "beforeList", listFont, table, EntryListModel::Side::Before);
  afterGroup = Named(new QGroupBox(QStringLiteral("変換後")), "afterGroup");
  afterList = AddList(afterGroup, "afterList", listFont, table, EntryListModel::Side::After);
  // Both lists show a horizontal scroll bar when either needs one, so that
  // their viewports are equally high and the rows pair up to the bottom.
  for (ListBox* list : {beforeList, afterList}) {
    connect(list->horizontalScrollBar(), &QScrollBar::rangeChanged, this, [this] {
      const bool needed = beforeList->horizontalScrollBar()->maximum() > 0 ||
                          afterList->horizontalScrollBar()->maximum() > 0;
      for (ListBox* each : {beforeList, afterList})
        each->setHorizontalScrollBarPolicy(needed ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    });
  }
  splitter->addWidget(beforeGroup);
  splitter->addWidget(afterGroup);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);

  QStatusBar* statusArea = Named(statusBar(), "statusBar");
  statusArea->setFixedHeight(StatusBarHeight);
  status_ = new StatusLine(statusArea, *this);
  Named(menuBar(), "menuBar");

  const TagPanel& tags = *tagPanel_;
  setTabOrder(tags.titleBox, tags.artistBox);
  setTabOrder(tags.artistBox, tags.albumBox);
  setTabOrder(tags.albumBox, tags.commentBox);
  setTabOrder(tags.commentBox, tags.genreBox);
  setTabOrder(tags.genreBox, tags.yearBox);
  setTabOrder(tags.yearBox, ruleBox);

  DockControls();
}

// Lays the client area out by docking: toolbar and tag group at the top, the
// rule group at the bottom, the two lists in what remains; inside the tag
// group the left half keeps its width and the right half takes the rest.
void MainWindow::DockControls() {
  const int width = client_->width();
  const int height = client_->height();
  toolbar->setGeometry(0, 0, width, ToolbarHeight);
  tagPanel_->tagGroup->setGeometry(0, ToolbarHeight, width, TagGroupHeight);
  const int listsTop = ToolbarHeight + TagGroupHeight;
  const int ruleTop = std::max(listsTop, height - RuleGroupHeight);
  ruleGroup->setGeometry(0, ruleTop, width, RuleGroupHeight);
  splitter->setGeometry(0, listsTop, width, ruleTop - listsTop);
  // Qt draws a group's caption above its frame: the rule box sits inside
  // the frame, as the tag panels do.
  const QRect ruleInside = ruleGroup->contentsRect();
  ruleBox->move(ruleBox->x(),
                ruleInside.top() + std::max(0, (ruleInside.height() - ruleBox->height()) / 2));
  tagPanel_->Dock();
}

void MainWindow::StartUp() {
  table.entryCount = 0;
  try {
    LoadSettings();
  } catch (const std::exception& error) {
    // The rest of the creation sequence does not run; the window still
    // shows, and the error box comes up over it once it is on screen.
    createLoadFailed_ = true;
    const QString text = QString::fromUtf8(error.what());
    ShowWhenOnScreen([this, text] { prompts_->ShowError(text); });
    return;
  }
  ApplyStaysOnTop();
  const bool hadArgs = !args_.empty();
  // No more rows than the window is high in list rows can be on screen.
  const auto firstScreenRows = static_cast<std::size_t>(OuterSize().height() / ListRowPixels + 1);
  intake_->StartWith(std::exchange(args_, {}), firstScreenRows);
  RefreshLists();
  if (hadArgs) {
    SelectRow(0);
    ShowTagPanel();
  }
}

void MainWindow::Exit() { close(); }

std::string MainWindow::NamingRule() const {
  std::string rule;
  // An unconvertible text cannot reach the box; should it anyway, an empty
  // rule keeps every file's name instead of inventing one.
  if (!FromQt(ruleBox->text(), rule)) return {};
  return rule;
}

void MainWindow::ShowErrorBox(const std::exception& error) {
  prompts_->ShowError(QString::fromUtf8(error.what()));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Enter:
    case QEvent::Leave:
      status_->PointerEvent(qobject_cast<QWidget*>(watched), event);
      break;
    case QEvent::Resize:
      // The client area settles after the window's own resize event (the
      // frame, the menu bar): the widths follow it too.
      if (watched == client_ || watched == tagPanel_->tagGroup) FitWidths();
      break;
    default:
      break;
  }
  if (beforeList != nullptr) {
    if (watched == beforeList || watched == beforeList->viewport()) {
      if (ListEvent(beforeList, event)) return true;
    } else if (watched == afterList || watched == afterList->viewport()) {
      if (ListEvent(afterList, event)) return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- Size, position, show, paint, close ---

QSize MainWindow::ScreenSize() const {
  if (screenSizeOverride.isValid()) return screenSizeOverride;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) return screen->geometry().size();
  return MaximumSize;
}

// The window manager's frame around Qt's window, as the platform reports it
// now: none until the window is shown, and none at all without a window
// manager. (QWidget's own frameGeometry() takes the frame over only on a
// move or a resize and can lag behind it.)
QMargins MainWindow::Frame() const {
  const QWindow* native = windowHandle();
  if (native == nullptr || !isVisible()) return {};
  // While the window manager is still putting its frame around the window,
  // Qt's reckoning from the window tree can come out negative, or none for a
  // moment: a frame, once known, stays until a real one replaces it.
  const QMargins frame = native->frameMargins();
  if (frame.left() >= 0 && frame.top() >= 0 && frame.right() >= 0 && frame.bottom() >= 0 &&
      !frame.isNull())
    knownFrame_ = frame;
  return knownFrame_;
}

namespace {
QSize Extra(const QMargins& frame) {
  return {frame.left() + frame.right(), frame.top() + frame.bottom()};
}
}  // namespace

// The outer size and place as the program reckons them: with the frame
// that the current size and limits were set for (none before it is known).
QSize MainWindow::OuterSize() const { return size() + Extra(appliedFrame_); }

QPoint MainWindow::OuterPosition() const {
  return geometry().topLeft() - QPoint(appliedFrame_.left(), appliedFrame_.top());
}

void MainWindow::MoveOuter(int left, int top) {
  intendedPosition_ = QPoint(left, top);
  setGeometry(QRect(QPoint(left + appliedFrame_.left(), top + appliedFrame_.top()), size()));
}

// Held to the limits first, which the window keeps anyway: a stored size
// can be any integer, and taking the frame off it must not overflow.
void MainWindow::SetOuterSize(int outerWidth, int outerHeight) {
  const QSize outer(std::clamp(outerWidth, MinimumSize.width(), MaximumSize.width()),
                    std::clamp(outerHeight, MinimumSize.height(), MaximumSize.height()));
  resize(outer - Extra(appliedFrame_));
}

// The limits are for the outer size; Qt holds the inner one. The frame is
// known only once the window manager has put one around the shown window:
// the outer size set before stays, and so does the outer place (the
// centring of the first show, a stored place), which until then was the
// inner window's.
void MainWindow::ApplySizeLimits() {
  // Between the first show and the first paint the window manager is still
  // taking the window in, and may drop a geometry request made meanwhile:
  // the frame is taken into account once the window has been painted.
  if (isVisible() && firstPaintPending != 0) return;
  const QMargins frame = Frame();
  if (limitsSet_ && frame == appliedFrame_) return;
  const QSize outer = OuterSize();
  const bool frameArrived = limitsSet_ && appliedFrame_.isNull() && !frame.isNull();
  appliedFrame_ = frame;
  limitsSet_ = true;
  setMinimumSize(MinimumSize - Extra(frame));
  setMaximumSize(MaximumSize - Extra(frame));
  if (isMaximized() || isFullScreen()) return;
  resize(outer - Extra(frame));
  if (frameArrived) MoveOuter(intendedPosition_.x(), intendedPosition_.y());
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) PlaceOnFirstShow();
}

void MainWindow::PlaceOnFirstShow() {
  setAcceptDrops(true);
  ApplySizeLimits();
  if (firstShowDone_) return;
  firstShowDone_ = true;
  const QSize screen = ScreenSize();
  const QSize outer = OuterSize();
  MoveOuter(std::max(0, (screen.width() - outer.width()) / 2),
            std::max(0, (screen.height() - outer.height()) / 2));
}

void MainWindow::UseReadAhead(std::unique_ptr<selvane::TailsReadAhead> ahead) {
  intake_->UseReadAhead(std::move(ahead));
}

void MainWindow::paintEvent(QPaintEvent* event) {
  QMainWindow::paintEvent(event);
  FinishStartAfterFirstPaint();
}

// The second load brings the window to its stored place after the centring
// of the first show. It runs right after the paint, not inside it, since it
// moves the window and may show an error box. The flag is cleared first and
// a load that already failed at creation is not repeated, so a bad stored
// value is reported once, not on every paint.
void MainWindow::FinishStartAfterFirstPaint() {
  if (firstPaintPending == 0) return;
  firstPaintPending = 0;
  QTimer::singleShot(0, this, [this] {
    ApplySizeLimits();
    if (!createLoadFailed_) {
      try {
        LoadSettings();
      } catch (const std::exception& error) {
        ShowErrorBox(error);
      }
    }
    intake_->AddTheRest();
    onScreen_ = true;
    // Boxes of the start-up (a bad stored value, files that could not be
    // listed) come up over the window, not before it at the screen's corner.
    std::vector<std::function<void()>> boxes;
    boxes.swap(startupBoxes_);
    for (const auto& box : boxes) box();
  });
}

void MainWindow::ShowWhenOnScreen(std::function<void()> box) {
  if (onScreen_)
    box();
  else
    startupBoxes_.push_back(std::move(box));
}

// The window manager's frame may become known only after the first show
// and paint: it moves the window when it puts the frame around it, and on
// X11 it tells the frame's widths in a window property, which Qt takes up
// without an event of its own. Both lead to a look at the frame.
void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  ApplySizeLimits();
}

bool MainWindow::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
  constexpr unsigned char PropertyNotify = 28;  // X11 core event code
  if (eventType == "xcb_generic_event_t" && message != nullptr &&
      (static_cast<const unsigned char*>(message)[0] & 0x7F) == PropertyNotify)
    QTimer::singleShot(0, this, [this] { ApplySizeLimits(); });  // after Qt has read it
  return QMainWindow::nativeEvent(eventType, message, result);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  ApplySizeLimits();
  FitWidths();
}

void MainWindow::FitWidths() {
  const int half = OuterSize().width() / 2;
  tagPanel_->SetLeftWidth(half);
  DockControls();
  const int rest = splitter->width() - splitter->handleWidth() - half;
  splitter->setSizes({half, std::max(0, rest)});
  ruleBox->resize(ruleGroup->width() - 2 * ruleBox->x(), ruleBox->height());
  tagPanel_->StretchFields();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!SaveSettings()) {
    event->ignore();
    return;
  }
  selvane::ClearEntries(table);
  event->accept();
}
