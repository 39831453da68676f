#include "app/Unit2.h"

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

// Labels size themselves to their text, as the designed ones do; a centred
// label keeps its designed centre line, the others their designed left edge.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& designed,
                  const QFont& font, bool centred) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(font);
  label->setAlignment(centred ? Qt::AlignHCenter | Qt::AlignVCenter
                              : Qt::AlignLeft | Qt::AlignVCenter);
  const QSize hint = label->sizeHint();
  const int width = std::max(designed.width(), hint.width());
  const int height = std::max(designed.height(), hint.height());
  const int left = centred ? designed.center().x() + 1 - width / 2 : designed.left();
  label->setGeometry(left, designed.top(), width, height);
  return label;
}

void SetTextColour(QLabel* label, const QColor& colour) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
}

}  // namespace

TForm2::TForm2(Dialogs& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
  setWindowIcon(ApplicationIcon());
  setFont(FormFont());
  setFixedSize(238, 140);
  setSizeGripEnabled(false);
  // The hover rule needs moves without a button pressed.
  setMouseTracking(true);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(168, 64, 63, 23);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(6, 6, 37, 37);
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Image1->setPixmap(ApplicationIcon().pixmap(32, 32));

  const QFont fixed = FixedFont();
  Label1 = MakeLabel(this, "Label1", QStringLiteral("Selvane"), {86, 8, 66, 12}, fixed, true);
  Label2 = MakeLabel(this, "Label2", QStringLiteral("Ver. 2.03"), {92, 24, 54, 12}, fixed, true);
  Label3 = MakeLabel(this, "Label3", QStringLiteral("Copyright (C) Brindle"), {8, 48, 138, 12},
                     fixed, false);
  Label4 =
      MakeLabel(this, "Label4", QStringLiteral("作者：ブリンドル"), {8, 62, 120, 12}, fixed, false);

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setGeometry(6, 90, 225, 7);
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);

  Label5 = MakeLabel(this, "Label5", kSupportMail, {8, 104, 104, 12}, font(), false);
  Label6 = MakeLabel(this, "Label6", kWebAddress, {8, 122, 106, 12}, font(), false);
  for (QLabel* link : {Label5, Label6}) {
    link->setCursor(Qt::PointingHandCursor);
    link->setMouseTracking(true);
    link->installEventFilter(this);
  }
  Button1->setFocus();
}

void TForm2::Button1Click() { accept(); }

void TForm2::Label5Click() { dialogs_.OpenUrl(QUrl(QStringLiteral("mailto:") + kSupportMail)); }

void TForm2::Label6Click() { dialogs_.OpenUrl(QUrl(kWebAddress)); }

void TForm2::Label5MouseMove() {
  SetTextColour(Label5, kLinkHover);
  SetTextColour(Label6, kLinkIdle);
}

void TForm2::Label6MouseMove() {
  SetTextColour(Label6, kLinkHover);
  SetTextColour(Label5, kLinkIdle);
}

void TForm2::FormMouseMove() {
  SetTextColour(Label5, kLinkIdle);
  SetTextColour(Label6, kLinkIdle);
}

int TForm2::ShowModal() { return runModal ? runModal(*this) : exec(); }

void TForm2::setVisible(bool visible) {
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

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label5 || watched == Label6) {
    const bool isMail = watched == Label5;
    if (event->type() == QEvent::MouseMove) {
      isMail ? Label5MouseMove() : Label6MouseMove();
    } else if (event->type() == QEvent::MouseButtonRelease) {
      // A click is a left press and release on the same label.
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const auto* label = static_cast<QLabel*>(watched);
      if (mouse->button() == Qt::LeftButton &&
          label->rect().contains(mouse->position().toPoint())) {
        isMail ? Label5Click() : Label6Click();
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TForm2::mouseMoveEvent(QMouseEvent* event) {
  // Moves over a child that ignores them arrive here too; only the bare
  // surface of the box counts.
  if (childAt(event->position().toPoint()) == nullptr) FormMouseMove();
  QDialog::mouseMoveEvent(event);
}
