#include "app/AboutBox.h"

#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QWindow>
#include <algorithm>

#include "app/Dialogs.h"
#include "app/Glyphs.h"

namespace {

const QString kSupportMail = QStringLiteral("support@selvane.example");
const QString kWebAddress = QStringLiteral("https://selvane.example/");

const QColor kLinkHover(0, 0, 255);  // clBlue
const QColor kLinkIdle(0, 0, 0);     // clBlack

QFont FormFont() {
  QFont font(QStringLiteral("IPAPGothic"));
  font.setPixelSize(12);
  return font;
}

QFont FixedFont() {
  QFont font(QStringLiteral("IPAGothic"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(12);
  return font;
}

// Labels grow to fit their text in whatever font the system gives: a
// centred label keeps the centre line of `place`, the others its left edge.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& place,
                  const QFont& font, bool centred) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(font);
  label->setAlignment(centred ? Qt::AlignHCenter | Qt::AlignVCenter
                              : Qt::AlignLeft | Qt::AlignVCenter);
  const QSize hint = label->sizeHint();
  const int width = std::max(place.width(), hint.width());
  const int height = std::max(place.height(), hint.height());
  const int left = centred ? place.center().x() + 1 - width / 2 : place.left();
  label->setGeometry(left, place.top(), width, height);
  return label;
}

void SetTextColour(QLabel* label, const QColor& colour) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
}

}  // namespace

AboutBox::AboutBox(Dialogs& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs) {
  setObjectName(QStringLiteral("aboutBox"));
  setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
  setWindowIcon(ApplicationIcon());
  setFont(FormFont());
  setFixedSize(238, 140);
  setSizeGripEnabled(false);
  // The hover rule needs moves without a button pressed.
  setMouseTracking(true);

  okButton = new QPushButton(QStringLiteral("OK"), this);
  okButton->setObjectName(QStringLiteral("okButton"));
  okButton->setGeometry(168, 64, 63, 23);
  okButton->setDefault(true);
  connect(okButton, &QPushButton::clicked, this, &AboutBox::Close);

  icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("icon"));
  icon->setGeometry(6, 6, 37, 37);
  icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  icon->setPixmap(ApplicationIcon().pixmap(32, 32));

  const QFont fixed = FixedFont();
  nameLabel = MakeLabel(this, "nameLabel", QStringLiteral("Selvane"), {86, 8, 66, 12}, fixed, true);
  versionLabel =
      MakeLabel(this, "versionLabel", QStringLiteral("Ver. 2.03"), {92, 24, 54, 12}, fixed, true);
  copyrightLabel = MakeLabel(this, "copyrightLabel", QStringLiteral("Copyright (C) Brindle"),
                             {8, 48, 138, 12}, fixed, false);
  authorLabel = MakeLabel(this, "authorLabel", QStringLiteral("作者：ブリンドル"), {8, 62, 120, 12},
                          fixed, false);

  divider = new QFrame(this);
  divider->setObjectName(QStringLiteral("divider"));
  divider->setGeometry(6, 90, 225, 7);
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Sunken);

  mailLink = MakeLabel(this, "mailLink", kSupportMail, {8, 104, 104, 12}, font(), false);
  webLink = MakeLabel(this, "webLink", kWebAddress, {8, 122, 106, 12}, font(), false);
  for (QLabel* link : {mailLink, webLink}) {
    link->setCursor(Qt::PointingHandCursor);
    link->setMouseTracking(true);
    link->installEventFilter(this);
  }
  okButton->setFocus();
}

void AboutBox::Close() { accept(); }

void AboutBox::OpenMail() { dialogs_.OpenUrl(QUrl(QStringLiteral("mailto:") + kSupportMail)); }

void AboutBox::OpenWeb() { dialogs_.OpenUrl(QUrl(kWebAddress)); }

void AboutBox::HoverMail() {
  SetTextColour(mailLink, kLinkHover);
  SetTextColour(webLink, kLinkIdle);
}

void AboutBox::HoverWeb() {
  SetTextColour(webLink, kLinkHover);
  SetTextColour(mailLink, kLinkIdle);
}

void AboutBox::HoverNeither() {
  SetTextColour(mailLink, kLinkIdle);
  SetTextColour(webLink, kLinkIdle);
}

int AboutBox::ShowModal() { return runModal ? runModal(*this) : exec(); }

void AboutBox::setVisible(bool visible) {
  if (visible && !placed_) {
    // Centred on the screen once; afterwards Qt keeps the place it was left
    // at, because an explicit move marks the position as chosen. The frame
    // is counted where the platform knows it before the first showing.
    winId();
    const QScreen* screen =
        parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
      const QMargins frame =
          windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
      const QSize outer = size().grownBy(frame);
      const QRect area = screen->geometry();
      move(area.x() + std::max(0, (area.width() - outer.width()) / 2),
           area.y() + std::max(0, (area.height() - outer.height()) / 2));
    }
    placed_ = true;
  }
  QDialog::setVisible(visible);
}

bool AboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == mailLink || watched == webLink) {
    const bool isMail = watched == mailLink;
    if (event->type() == QEvent::MouseMove) {
      isMail ? HoverMail() : HoverWeb();
    } else if (event->type() == QEvent::MouseButtonRelease) {
      // A click is a left press and release on the same label.
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const auto* label = static_cast<QLabel*>(watched);
      if (mouse->button() == Qt::LeftButton &&
          label->rect().contains(mouse->position().toPoint())) {
        isMail ? OpenMail() : OpenWeb();
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void AboutBox::mouseMoveEvent(QMouseEvent* event) {
  // Moves over a child that ignores them arrive here too; only the bare
  // surface of the box counts.
  if (childAt(event->position().toPoint()) == nullptr) HoverNeither();
  QDialog::mouseMoveEvent(event);
}
