// The main window: layout, lifecycle, the status line and its hints.
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

#include "app/ByteLimitValidator.h"
#include "app/Cp932Text.h"
#include "app/Glyphs.h"
#include "app/Hints.h"
#include "app/ListRows.h"
#include "app/Unit2.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"
#include "core/tags/GenreList.h"

unsigned char firstPaintPending = 1;

namespace {

// Designed outer size of the window and its limits.
constexpr QSize kDesignedSize(411, 321);
constexpr QSize kMinimumSize(240, 300);
constexpr QSize kMaximumSize(1024, 768);
constexpr int kSpeedBarHeight = 33;
constexpr int kTagGroupHeight = 94;
constexpr int kRuleGroupHeight = 42;
constexpr int kStatusBarHeight = 22;
constexpr qint64 kStatusPaintMs = 16;  // one frame of a 60 Hz display

// The core speaks CP932; the window shows it and asks through Dialogs.
class WindowPrompts : public selvane::UserPrompts {
 public:
  explicit WindowPrompts(TForm1& form) : form_(form) {}
  void SetStatus(std::string_view text) override { form_.SetStatusText(text); }
  void Progress(int done, int total) override { form_.ShowProgress(done, total); }
  void Refuse(std::string_view text, std::string_view caption) override {
    form_.DialogsInUse().Refuse(&form_, ToQt(text), ToQt(caption));
  }
  void RefuseUtf8(std::string_view text, std::string_view caption) override {
    form_.DialogsInUse().Refuse(&form_, Utf8(text), Utf8(caption));
  }
  bool Ask(std::string_view text, std::string_view caption) override {
    return form_.DialogsInUse().Ask(&form_, ToQt(text), ToQt(caption));
  }

 private:
  static QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  }

 public:
  void ShowError(std::string_view text) override {
    form_.DialogsInUse().ShowError(&form_, ToQt(text));
  }

 private:
  TForm1& form_;
};

QFont GothicFont(const char* family, bool fixedPitch) {
  QFont font(QString::fromLatin1(family));
  font.setPixelSize(12);
  font.setFixedPitch(fixedPitch);
  font.setStyleHint(fixedPitch ? QFont::TypeWriter : QFont::SansSerif);
  return font;
}

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLabel* AddLabel(QWidget* panel, const char* name, const QString& text, int top) {
  auto* label = Named(new QLabel(text, panel), name);
  label->setGeometry(6, top, 46, 20);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

QLineEdit* AddEdit(QWidget* panel, const char* name, int top, int width, int byteLimit) {
  auto* edit = Named(new QLineEdit(panel), name);
  edit->setGeometry(54, top, width, 20);
  edit->setValidator(new ByteLimitValidator(byteLimit, edit, true));
  // Files dropped on a box go to the window's drop handler, not into the text.
  edit->setAcceptDrops(false);
  return edit;
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

TForm1::TForm1(const QStringList& args, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), args_(args) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Selvane"));
  setWindowIcon(ApplicationIcon());
  setFont(GothicFont("IPAPGothic", false));
  setContextMenuPolicy(Qt::NoContextMenu);
  prompts_ = std::make_unique<WindowPrompts>(*this);
  BuildLayout();
  BuildCommands();
  ConnectRuleBox();
  // Every control reports the pointer entering and leaving, for the hints.
  installEventFilter(this);
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
  ApplySizeLimits();
  SetOuterSize(kDesignedSize.width(), kDesignedSize.height());
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::BuildLayout() {
  client_ = Named(new QWidget(this), "ClientArea");
  setCentralWidget(client_);

  auto* bar = Named(new QFrame(client_), "SpeedBar");
  bar->setFrameStyle(QFrame::Panel | QFrame::Raised);
  SpeedBar = bar;

  GroupBox7 = Named(new QGroupBox(QStringLiteral("ﾀｸﾞ情報"), client_), "GroupBox7");
  Panel1 = Named(new QWidget(GroupBox7), "Panel1");
  Panel1->resize(203, Panel1->height());  // as designed, until the first resize
  Panel2 = Named(new QWidget(GroupBox7), "Panel2");
  Label1 = AddLabel(Panel1, "Label1", QStringLiteral("ﾀｲﾄﾙ"), 4);
  Label3 = AddLabel(Panel1, "Label3", QStringLiteral("ｱｰﾃｨｽﾄ"), 28);
  Label4 = AddLabel(Panel1, "Label4", QStringLiteral("ｱﾙﾊﾞﾑ"), 52);
  EditTytle = AddEdit(Panel1, "EditTytle", 4, 130, 30);
  EditArtist = AddEdit(Panel1, "EditArtist", 28, 130, 30);
  EditAlbum = AddEdit(Panel1, "EditAlbum", 52, 130, 30);
  Label6 = AddLabel(Panel2, "Label6", QStringLiteral("ｺﾒﾝﾄ"), 4);
  Label8 = AddLabel(Panel2, "Label8", QStringLiteral("ｼﾞｬﾝﾙ"), 28);
  Label5 = AddLabel(Panel2, "Label5", QStringLiteral("年"), 52);
  EditComment = AddEdit(Panel2, "EditComment", 4, 130, 30);
  ComboBoxGenre = Named(new QComboBox(Panel2), "ComboBoxGenre");
  ComboBoxGenre->setGeometry(54, 28, 130, 20);
  ComboBoxGenre->setEditable(false);
  ComboBoxGenre->setMaxVisibleItems(16);
  for (const std::string_view genre : selvane::GenreList)
    ComboBoxGenre->addItem(QString::fromLatin1(genre.data(), static_cast<qsizetype>(genre.size())));
  ComboBoxGenre->setCurrentIndex(-1);
  EditYear = AddEdit(Panel2, "EditYear", 52, 131, 4);

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
  StatusBar1->setFixedHeight(kStatusBarHeight);
  statusText_ = Named(new QLabel(StatusBar1), "StatusText");
  // The line may hold a long path; it must never widen the window.
  statusText_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  statusText_->setMinimumWidth(1);
  StatusBar1->addWidget(statusText_, 1);

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
  SpeedBar->setGeometry(0, 0, width, kSpeedBarHeight);
  GroupBox7->setGeometry(0, kSpeedBarHeight, width, kTagGroupHeight);
  const int listsTop = kSpeedBarHeight + kTagGroupHeight;
  const int ruleTop = std::max(listsTop, height - kRuleGroupHeight);
  GroupBox6->setGeometry(0, ruleTop, width, kRuleGroupHeight);
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
    ShowWhenOnScreen([this, text] { dialogs_.ShowError(this, text); });
    // The commands still show what an empty list allows.
    UpdateCommandStates();
    return;
  }
  ApplyStaysOnTop();
  AddCommandLineFiles(args_);
  RefreshLists();
  if (!args_.isEmpty()) {
    SelectRow(0);
    ShowTagPanel();
  }
}

void TForm1::Exit1Click() { close(); }

// Commands that write progress run without returning to the event loop, so
// the line is painted by hand, but at most once a frame and not in the
// command's first frame: a run over 1024 files does not wait on 1024 paints,
// and a command shorter than a frame paints nothing but its last text,
// which the event loop paints once the command is done.
bool TForm1::StatusPaintDue() {
  if (!busySince_.isValid()) {
    busySince_.start();
    QTimer::singleShot(0, this, [this] {
      busySince_.invalidate();
      TakePendingStatus();
    });
    return false;
  }
  if (!statusText_->isVisible() || busySince_.elapsed() < kStatusPaintMs) return false;
  return !statusPainted_.isValid() || statusPainted_.elapsed() >= kStatusPaintMs;
}

void TForm1::PaintStatus() {
  statusText_->repaint();
  statusPainted_.start();
}

void TForm1::SetStatusText(const QString& text) {
  statusPending_ = false;
  statusText_->setText(text);
  if (StatusPaintDue()) PaintStatus();
}

// A run writes each row's path: it is converted and handed to the label only
// when it is painted, or when the command is done.
void TForm1::SetStatusText(std::string_view cp932) {
  pendingStatus_.assign(cp932);
  statusPending_ = true;
  if (!StatusPaintDue()) return;
  TakePendingStatus();
  PaintStatus();
}

void TForm1::TakePendingStatus() {
  if (!statusPending_) return;
  statusPending_ = false;
  statusText_->setText(ToQt(pendingStatus_));
}

void TForm1::ShowProgress(int done, int total) {
  if (done < total && progressShown_.isValid() && progressShown_.elapsed() < kStatusPaintMs) return;
  progressShown_.start();
  SetStatusText(QStringLiteral("%1 / %2").arg(done).arg(total));
}

QString TForm1::StatusText() const {
  return statusPending_ ? ToQt(pendingStatus_) : statusText_->text();
}

std::string TForm1::NamingRule() const {
  std::string rule;
  // An unconvertible text cannot reach the box; should it anyway, an empty
  // rule keeps every file's name instead of inventing one.
  if (!FromQt(Edit1->text(), rule)) return {};
  return rule;
}

selvane::UserPrompts& TForm1::Prompts() { return *prompts_; }

void TForm1::ShowErrorBox(const std::exception& error) {
  dialogs_.ShowError(this, QString::fromUtf8(error.what()));
}

// --- Status line and hints ---

void TForm1::SetCurrentHint(const QString& hint) {
  if (hint == currentHint_) return;
  currentHint_ = hint;
  SetStatusText(hint);
}

// The long hint of `widget`, or of its nearest ancestor in the window that has
// a hint; nothing under the pointer gives an empty hint.
void TForm1::FollowPointer(QWidget* widget) {
  while (widget != nullptr && HintOf(widget).empty() && widget != this)
    widget = widget->parentWidget();
  SetCurrentHint(widget != nullptr ? LongHintOf(widget) : QString());
}

void TForm1::FollowMenu(QMenu* menu) {
  connect(menu, &QMenu::hovered, this, [this](QAction* item) { SetCurrentHint(LongHintOf(item)); });
  connect(menu, &QMenu::aboutToHide, this, [this] { SetCurrentHint(QString()); });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  switch (event->type()) {
    case QEvent::Enter:
      if (widget != nullptr && widget->window() == this) {
        // The end of a modal box or a menu brings Enters for the controls
        // under a pointer that has not moved; the command's last status
        // stays until the pointer really moves.
        if (pointerParked_ && QCursor::pos() == parkedAt_) break;
        pointerParked_ = false;
        FollowPointer(widget);
      }
      break;
    case QEvent::Leave:
      if (widget != nullptr && widget->window() == this) {
        // A box or a menu coming up takes the pointer from the window
        // without the pointer leaving the control: nothing changes under
        // it. (Qt may send this Leave before the box counts as modal, so
        // the pointer's place decides.)
        const QWidget* modal = QApplication::activeModalWidget();
        const bool stillInside = widget->rect().contains(widget->mapFromGlobal(QCursor::pos()));
        if ((modal != nullptr && modal != this) || stillInside) {
          pointerParked_ = true;
          parkedAt_ = QCursor::pos();
          break;
        }
        pointerParked_ = false;
        // The pointer is now over the parent, unless an Enter of another
        // control follows; leaving the window leaves no control under it.
        FollowPointer(widget == this ? nullptr : widget->parentWidget());
      }
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
  return kMaximumSize;
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
  const QSize outer(std::clamp(outerWidth, kMinimumSize.width(), kMaximumSize.width()),
                    std::clamp(outerHeight, kMinimumSize.height(), kMaximumSize.height()));
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
  setMinimumSize(kMinimumSize - Extra(frame));
  setMaximumSize(kMaximumSize - Extra(frame));
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
    AddTheRest();
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
