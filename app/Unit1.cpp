// The main window: layout and lifecycle.
#include "app/Unit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
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

#include "app/AppLook.h"
#include "app/ByteLimitValidator.h"
#include "app/Cp932Text.h"
#include "app/FileIntake.h"
#include "app/Glyphs.h"
#include "app/Hints.h"
#include "app/ListRows.h"
#include "app/TagPanel.h"
#include "app/Unit2.h"
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

TForm1::TForm1(std::vector<std::string> args, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), args_(std::move(args)) {
  setObjectName(QStringLiteral("Form1"));
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
  SetOuterSize(DesignedSize.width(), DesignedSize.height());
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::BuildLayout() {
  client_ = Named(new QWidget(this), "ClientArea");
  setCentralWidget(client_);

  auto* bar = Named(new QFrame(client_), "SpeedBar");
  bar->setFrameStyle(QFrame::Panel | QFrame::Raised);
  SpeedBar = bar;

  BuildTagPanel();

  GroupBox6 = Named(new QGroupBox(QStringLiteral("命名規則"), client_), "GroupBox6");
  Edit1 = Named(new QLineEdit(GroupBox6), "Edit1");
  Edit1->setGeometry(8, 14, 143, 20);
  // In the proportional Gothic "$" reads like "S"; the fixed-pitch one of
  // the lists draws its stroke through, so the five tokens read clearly.
  Edit1->setFont(GothicFont("IPAGothic", true));
  Edit1->setValidator(new ByteLimitValidator(static_cast<int>(selvane::RuleBoxLimit), Edit1));
  Edit1->setAcceptDrops(false);
  Edit1->setText(QString::fromLatin1(selvane::DefaultNamingRule.data(),
                                     static_cast<qsizetype>(selvane::DefaultNamingRule.size())));
  SetHint(Edit1, selvane::Cp932("|命名規則入力"));
  Edit1->setToolTip(ShortHintOf(Edit1));  // empty: no tooltip shows

  Splitter1 = Named(new QSplitter(Qt::Horizontal, client_), "Splitter1");
  Splitter1->setHandleWidth(4);
  Splitter1->setOpaqueResize(true);
  Splitter1->setChildrenCollapsible(false);
  const QFont listFont = GothicFont("IPAGothic", true);
  GroupBox4 = Named(new QGroupBox(QStringLiteral("変換前")), "GroupBox4");
  ListBox1 = AddList(GroupBox4, "ListBox1", listFont, table, EntryListModel::Side::Before);
  GroupBox5 = Named(new QGroupBox(QStringLiteral("変換後")), "GroupBox5");
  ListBox2 = AddList(GroupBox5, "ListBox2", listFont, table, EntryListModel::Side::After);
  // Both lists show a horizontal scroll bar when either needs one, so that
  // their viewports are equally high and the rows pair up to the bottom.
  for (ListBox* list : {ListBox1, ListBox2}) {
    connect(list->horizontalScrollBar(), &QScrollBar::rangeChanged, this, [this] {
      const bool needed = ListBox1->horizontalScrollBar()->maximum() > 0 ||
                          ListBox2->horizontalScrollBar()->maximum() > 0;
      for (ListBox* each : {ListBox1, ListBox2})
        each->setHorizontalScrollBarPolicy(needed ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    });
  }
  Splitter1->addWidget(GroupBox4);
  Splitter1->addWidget(GroupBox5);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);

  StatusBar1 = Named(statusBar(), "StatusBar1");
  StatusBar1->setFixedHeight(StatusBarHeight);
  status_ = new StatusLine(StatusBar1, *this);

  MainMenu1 = Named(menuBar(), "MainMenu1");

  setTabOrder(EditTytle, EditArtist);
  setTabOrder(EditArtist, EditAlbum);
  setTabOrder(EditAlbum, EditComment);
  setTabOrder(EditComment, ComboBoxGenre);
  setTabOrder(ComboBoxGenre, EditYear);
  setTabOrder(EditYear, Edit1);

  DockControls();
}

// Lays the client area out by docking: toolbar and tag group at the top, the
// rule group at the bottom, the two lists in what remains; inside the tag
// group Panel1 keeps its width on the left and Panel2 takes the rest.
void TForm1::DockControls() {
  const int width = client_->width();
  const int height = client_->height();
  SpeedBar->setGeometry(0, 0, width, SpeedBarHeight);
  GroupBox7->setGeometry(0, SpeedBarHeight, width, TagGroupHeight);
  const int listsTop = SpeedBarHeight + TagGroupHeight;
  const int ruleTop = std::max(listsTop, height - RuleGroupHeight);
  GroupBox6->setGeometry(0, ruleTop, width, RuleGroupHeight);
  Splitter1->setGeometry(0, listsTop, width, ruleTop - listsTop);
  // Qt draws a group's caption above its frame: the rule box sits inside
  // the frame, as the tag panels do.
  const QRect ruleInside = GroupBox6->contentsRect();
  Edit1->move(Edit1->x(),
              ruleInside.top() + std::max(0, (ruleInside.height() - Edit1->height()) / 2));
  const QRect inside = GroupBox7->contentsRect();
  const int leftWidth = std::min(Panel1->width(), inside.width());
  Panel1->setGeometry(inside.left(), inside.top(), leftWidth, inside.height());
  Panel2->setGeometry(inside.left() + leftWidth, inside.top(), inside.width() - leftWidth,
                      inside.height());
}

void TForm1::FormCreate() {
  table.entryCount = 0;
  try {
    LoadSettings();
  } catch (const std::exception& error) {
    // The rest of the creation sequence does not run; the window still
    // shows, and the error box comes up over it once it is on screen.
    createLoadFailed_ = true;
    const QString text = QString::fromUtf8(error.what());
    ShowWhenOnScreen([this, text] { prompts_->ShowError(text); });
    // The commands still show what an empty list allows.
    UpdateCommandStates();
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

void TForm1::Exit1Click() { close(); }

std::string TForm1::NamingRule() const {
  std::string rule;
  // An unconvertible text cannot reach the box; should it anyway, an empty
  // rule keeps every file's name instead of inventing one.
  if (!FromQt(Edit1->text(), rule)) return {};
  return rule;
}

void TForm1::ShowErrorBox(const std::exception& error) {
  prompts_->ShowError(QString::fromUtf8(error.what()));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Enter:
    case QEvent::Leave:
      status_->PointerEvent(qobject_cast<QWidget*>(watched), event);
      break;
    case QEvent::Resize:
      // The client area settles after the window's own resize event (the
      // frame, the menu bar): the widths follow it too.
      if (watched == client_ || watched == GroupBox7) FormResize();
      break;
    default:
      break;
  }
  if (ListBox1 != nullptr) {
    if (watched == ListBox1 || watched == ListBox1->viewport()) {
      if (ListEvent(ListBox1, event)) return true;
    } else if (watched == ListBox2 || watched == ListBox2->viewport()) {
      if (ListEvent(ListBox2, event)) return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- Size, position, show, paint, close ---

QSize TForm1::ScreenSize() const {
  if (screenSizeOverride.isValid()) return screenSizeOverride;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) return screen->geometry().size();
  return MaximumSize;
}

// The window manager's frame around Qt's window, as the platform reports it
// now: none until the window is shown, and none at all without a window
// manager. (QWidget's own frameGeometry() takes the frame over only on a
// move or a resize and can lag behind it.)
QMargins TForm1::Frame() const {
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
QSize TForm1::OuterSize() const { return size() + Extra(appliedFrame_); }

QPoint TForm1::OuterPosition() const {
  return geometry().topLeft() - QPoint(appliedFrame_.left(), appliedFrame_.top());
}

void TForm1::MoveOuter(int left, int top) {
  intendedPosition_ = QPoint(left, top);
  setGeometry(QRect(QPoint(left + appliedFrame_.left(), top + appliedFrame_.top()), size()));
}

// Held to the limits first, which the window keeps anyway: a stored size
// can be any integer, and taking the frame off it must not overflow.
void TForm1::SetOuterSize(int outerWidth, int outerHeight) {
  const QSize outer(std::clamp(outerWidth, MinimumSize.width(), MaximumSize.width()),
                    std::clamp(outerHeight, MinimumSize.height(), MaximumSize.height()));
  resize(outer - Extra(appliedFrame_));
}

// The limits are for the outer size; Qt holds the inner one. The frame is
// known only once the window manager has put one around the shown window:
// the outer size set before stays, and so does the outer place (the
// centring of the first show, a stored place), which until then was the
// inner window's.
void TForm1::ApplySizeLimits() {
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

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TForm1::FormShow() {
  setAcceptDrops(true);
  ApplySizeLimits();
  if (firstShowDone_) return;
  firstShowDone_ = true;
  const QSize screen = ScreenSize();
  const QSize outer = OuterSize();
  MoveOuter(std::max(0, (screen.width() - outer.width()) / 2),
            std::max(0, (screen.height() - outer.height()) / 2));
}

void TForm1::UseReadAhead(std::unique_ptr<selvane::TailsReadAhead> ahead) {
  intake_->UseReadAhead(std::move(ahead));
}

void TForm1::paintEvent(QPaintEvent* event) {
  QMainWindow::paintEvent(event);
  FormPaint();
}

// The second load brings the window to its stored place after the centring
// of the first show. It runs right after the paint, not inside it, since it
// moves the window and may show an error box. The flag is cleared first and
// a load that already failed at creation is not repeated, so a bad stored
// value is reported once, not on every paint.
void TForm1::FormPaint() {
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

void TForm1::ShowWhenOnScreen(std::function<void()> box) {
  if (onScreen_)
    box();
  else
    startupBoxes_.push_back(std::move(box));
}

// The window manager's frame may become known only after the first show
// and paint: it moves the window when it puts the frame around it, and on
// X11 it tells the frame's widths in a window property, which Qt takes up
// without an event of its own. Both lead to a look at the frame.
void TForm1::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  ApplySizeLimits();
}

bool TForm1::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
  constexpr unsigned char PropertyNotify = 28;  // X11 core event code
  if (eventType == "xcb_generic_event_t" && message != nullptr &&
      (static_cast<const unsigned char*>(message)[0] & 0x7F) == PropertyNotify)
    QTimer::singleShot(0, this, [this] { ApplySizeLimits(); });  // after Qt has read it
  return QMainWindow::nativeEvent(eventType, message, result);
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  ApplySizeLimits();
  FormResize();
}

void TForm1::FormResize() {
  const int half = OuterSize().width() / 2;
  Panel1->resize(half, Panel1->height());
  DockControls();
  const int rest = Splitter1->width() - Splitter1->handleWidth() - half;
  Splitter1->setSizes({half, std::max(0, rest)});
  Edit1->resize(GroupBox6->width() - 2 * Edit1->x(), Edit1->height());
  const int leftEdits = Panel1->width() - EditTytle->x() - 8;
  for (QLineEdit* edit : {EditTytle, EditArtist, EditAlbum})
    edit->resize(leftEdits, edit->height());
  const int rightEdits = Panel2->width() - EditComment->x() - 8;
  EditComment->resize(rightEdits, EditComment->height());
  ComboBoxGenre->resize(rightEdits, ComboBoxGenre->height());
  EditYear->resize(rightEdits, EditYear->height());
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!FormCloseQuery()) {
    event->ignore();
    return;
  }
  selvane::ClearEntries(table);
  event->accept();
}

bool TForm1::FormCloseQuery() { return SaveSettings(); }
