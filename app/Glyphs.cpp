#include "app/Glyphs.h"

#include <QColor>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <algorithm>
#include <initializer_list>
#include <utility>

// Every toolbar glyph is drawn on a 20 x 20 grid and rendered at 20 px and at
// twice that for high-density screens. Outlines sit on half units so that a
// one-unit pen covers whole pixels at 20 px.

namespace {

const QColor kInk(0x3c, 0x44, 0x4e);
const QColor kPage(0xff, 0xff, 0xff);
const QColor kFolderBack(0xd8, 0xa4, 0x38);
const QColor kFolderFront(0xf5, 0xcf, 0x62);
const QColor kFolderLine(0x86, 0x5a, 0x12);
const QColor kBlue(0x2f, 0x6f, 0xc0);
const QColor kBlueDark(0x1b, 0x45, 0x86);
const QColor kGreen(0x2e, 0x9a, 0x3e);
const QColor kGreenDark(0x1a, 0x5e, 0x25);
const QColor kRed(0xd2, 0x32, 0x28);
const QColor kTag(0xf2, 0xa6, 0x3a);
const QColor kTagLine(0x96, 0x58, 0x14);
const QColor kGrey(0x9a, 0xa2, 0xac);

constexpr int kGlyphGrid = 20;
constexpr int kIconGrid = 64;

QPolygonF Poly(std::initializer_list<QPointF> points) { return QPolygonF(QList<QPointF>(points)); }

void Shape(QPainter& p, const QPolygonF& shape, const QColor& fill, const QColor& line,
           qreal width = 1.0) {
  p.setPen(QPen(line, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(fill);
  p.drawPolygon(shape);
}

void Box(QPainter& p, const QRectF& r, const QColor& fill, const QColor& line) {
  p.setPen(QPen(line, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(fill);
  p.drawRect(r);
}

void Bar(QPainter& p, const QRectF& r, const QColor& fill) {
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRect(r);
}

// A page with a folded top-right corner and a few text lines.
void Page(QPainter& p, qreal left, qreal top, qreal right, qreal bottom, bool lines) {
  const qreal fold = 4;
  Shape(
      p,
      Poly(
          {{left, top}, {right - fold, top}, {right, top + fold}, {right, bottom}, {left, bottom}}),
      kPage, kInk);
  Shape(p, Poly({{right - fold, top}, {right - fold, top + fold}, {right, top + fold}}),
        QColor(0xdc, 0xe1, 0xe6), kInk);
  if (lines) {
    for (qreal y = top + 4; y < bottom - 2; y += 2.5)
      Bar(p, QRectF(left + 2, y, right - left - 4.5, 1), kGrey);
  }
}

// A luggage tag pointing left, with its hole.
void Tag(QPainter& p) {
  Shape(p, Poly({{1.5, 9.5}, {6.5, 3.5}, {17.5, 3.5}, {17.5, 15.5}, {6.5, 15.5}}), kTag, kTagLine);
  p.setPen(QPen(kTagLine, 1.0));
  p.setBrush(kPage);
  p.drawEllipse(QPointF(6.5, 9.5), 1.6, 1.6);
}

// A bold cross with a white halo so that it stands out on any shape.
void Cross(QPainter& p, const QRectF& r, qreal width) {
  for (const auto& [colour, w] :
       {std::pair{QColor(Qt::white), width + 2.0}, std::pair{kRed, width}}) {
    p.setPen(QPen(colour, w, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomLeft());
  }
}

void Arrow(QPainter& p, bool up) {
  QPolygonF a = Poly({{10, 2}, {18, 10}, {13.5, 10}, {13.5, 18}, {6.5, 18}, {6.5, 10}, {2, 10}});
  if (!up) {
    for (QPointF& pt : a) pt.setY(20 - pt.y());
  }
  QLinearGradient fill(0, 0, 20, 0);
  fill.setColorAt(0, kBlue.lighter(130));
  fill.setColorAt(1, kBlue);
  p.setPen(QPen(kBlueDark, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(fill);
  p.drawPolygon(a);
}

void DrawOpen(QPainter& p) {
  Shape(p, Poly({{1.5, 4.5}, {6.5, 4.5}, {8.5, 6.5}, {15.5, 6.5}, {15.5, 16.5}, {1.5, 16.5}}),
        kFolderBack, kFolderLine);
  Shape(p, Poly({{1.5, 16.5}, {4.5, 9.5}, {18.5, 9.5}, {15.5, 16.5}}), kFolderFront, kFolderLine);
}

void DrawRename(QPainter& p) {
  Page(p, 1.5, 1.5, 12.5, 16.5, true);
  Shape(p,
        Poly({{7.5, 10.5},
              {12.5, 10.5},
              {12.5, 7.5},
              {18.5, 13},
              {12.5, 18.5},
              {12.5, 15.5},
              {7.5, 15.5}}),
        kGreen, kGreenDark);
}

void DrawTagUpdate(QPainter& p) {
  Tag(p);
  // A pencil lying from the lower right corner up to the tag's middle.
  p.save();
  p.translate(12.5, 13.5);
  p.rotate(-45);
  Shape(p, Poly({{-1, -2}, {8, -2}, {8, 2}, {-1, 2}}), QColor(0xf7, 0xd3, 0x4a), kInk);
  Shape(p, Poly({{-1, -2}, {-5, 0}, {-1, 2}}), QColor(0xf3, 0xdc, 0xb8), kInk);
  Bar(p, QRectF(6, -1.5, 2, 3), QColor(0xe0, 0x7a, 0x8a));
  p.restore();
}

void DrawTagDelete(QPainter& p) {
  Tag(p);
  Cross(p, QRectF(12, 12, 6, 6), 2.2);
}

void DrawItemUp(QPainter& p) { Arrow(p, true); }
void DrawItemDown(QPainter& p) { Arrow(p, false); }

void DrawSort(QPainter& p) {
  Box(p, QRectF(1.5, 2.5, 4, 2), kBlue, kBlueDark);
  Box(p, QRectF(1.5, 8.5, 7, 2), kBlue, kBlueDark);
  Box(p, QRectF(1.5, 14.5, 10, 2), kBlue, kBlueDark);
  Bar(p, QRectF(14.5, 2, 2, 11), kInk);
  Shape(p, Poly({{11.5, 12.5}, {19.5, 12.5}, {15.5, 18.5}}), kInk, kInk, 0.5);
}

void ListRows(QPainter& p, int selectedRow) {
  for (int row = 0; row < 3; ++row) {
    const QRectF r(1.5, 3.5 + row * 5, 13, 3);
    if (row == selectedRow) {
      Box(p, r, kBlue, kBlueDark);
    } else {
      Box(p, r, kPage, kInk);
    }
  }
}

void DrawDeleteItem(QPainter& p) {
  ListRows(p, 1);
  Cross(p, QRectF(13.5, 6.5, 5, 5), 2.0);
}

void DrawClearList(QPainter& p) {
  ListRows(p, -1);
  Cross(p, QRectF(4, 4, 12, 12), 2.4);
}

void DrawContents(QPainter& p) {
  Box(p, QRectF(5.5, 16.5, 11, 2), kPage, kInk);  // page edges under the cover
  Box(p, QRectF(3.5, 1.5, 12, 16), kBlue, kBlueDark);
  Bar(p, QRectF(4, 2, 2, 15), kBlueDark);  // spine
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPainterPath question;
  question.moveTo(8.2, 6.8);
  question.arcTo(QRectF(8.2, 4.2, 5.2, 5.2), 180, -270);
  question.lineTo(10.8, 11.2);
  p.drawPath(question);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(10.8, 14), 1.1, 1.1);
}

void DrawAbout(QPainter& p) {
  QRadialGradient fill(QPointF(8, 7), 11);
  fill.setColorAt(0, kBlue.lighter(140));
  fill.setColorAt(1, kBlue);
  p.setPen(QPen(kBlueDark, 1.0));
  p.setBrush(fill);
  p.drawEllipse(QPointF(10, 10), 8.5, 8.5);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(10, 5.6), 1.4, 1.4);
  p.drawRect(QRectF(8.8, 8.2, 2.4, 7.6));
}

void DrawFullPath(QPainter& p) {
  Shape(p, Poly({{1.5, 2.5}, {4.5, 2.5}, {5.5, 3.5}, {9.5, 3.5}, {9.5, 8.5}, {1.5, 8.5}}),
        kFolderFront, kFolderLine);
  p.setPen(QPen(kInk, 1.0, Qt::DotLine));
  p.drawLine(QPointF(4.5, 9), QPointF(4.5, 14.5));
  p.drawLine(QPointF(5, 14.5), QPointF(9, 14.5));
  Page(p, 9.5, 9.5, 17.5, 19.5, false);
}

void DrawTopmost(QPainter& p) {
  Box(p, QRectF(1.5, 1.5, 11, 10), QColor(0xe4, 0xe7, 0xeb), kInk);
  Bar(p, QRectF(2, 2, 10, 2.5), kGrey);
  Box(p, QRectF(6.5, 7.5, 12, 11), kPage, kBlueDark);
  Bar(p, QRectF(7, 8, 11, 3), kBlue);
}

using GlyphPainter = void (*)(QPainter&);

GlyphPainter PainterFor(const QString& buttonName) {
  static const QHash<QString, GlyphPainter> painters = {
      {QStringLiteral("openButton"), DrawOpen},
      {QStringLiteral("renameButton"), DrawRename},
      {QStringLiteral("updateTagButton"), DrawTagUpdate},
      {QStringLiteral("removeTagButton"), DrawTagDelete},
      {QStringLiteral("moveUpButton"), DrawItemUp},
      {QStringLiteral("moveDownButton"), DrawItemDown},
      {QStringLiteral("sortButton"), DrawSort},
      {QStringLiteral("deleteRowButton"), DrawDeleteItem},
      {QStringLiteral("clearListButton"), DrawClearList},
      {QStringLiteral("helpButton"), DrawContents},
      {QStringLiteral("aboutButton"), DrawAbout},
      {QStringLiteral("fullPathButton"), DrawFullPath},
      {QStringLiteral("topmostButton"), DrawTopmost},
  };
  return painters.value(buttonName, nullptr);
}

QImage Render(GlyphPainter paint, int grid, int pixels) {
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(qreal(pixels) / grid, qreal(pixels) / grid);
  paint(p);
  p.end();
  return image;
}

// The classic disabled look: the dark strokes of the glyph, etched in grey
// with a white highlight one pixel down and right; light fills disappear.
QImage Emboss(const QImage& normal, int offset) {
  QImage ink(normal.size(), QImage::Format_ARGB32);
  ink.fill(Qt::transparent);
  for (int y = 0; y < normal.height(); ++y) {
    const QRgb* src = reinterpret_cast<const QRgb*>(normal.constScanLine(y));
    QRgb* dst = reinterpret_cast<QRgb*>(ink.scanLine(y));
    for (int x = 0; x < normal.width(); ++x) {
      const QColor c = QColor::fromRgba(qUnpremultiply(src[x]));
      if (c.alpha() > 0 && qGray(c.rgb()) < 150) dst[x] = qRgba(0, 0, 0, c.alpha());
    }
  }
  QImage result(normal.size(), QImage::Format_ARGB32_Premultiplied);
  result.fill(Qt::transparent);
  QPainter p(&result);
  const auto stamp = [&](const QColor& colour, int dx) {
    QImage tinted = ink;
    QPainter t(&tinted);
    t.setCompositionMode(QPainter::CompositionMode_SourceIn);
    t.fillRect(tinted.rect(), colour);
    t.end();
    p.drawImage(dx, dx, tinted);
  };
  stamp(Qt::white, offset);
  stamp(QColor(0x80, 0x80, 0x80), 0);
  p.end();
  return result;
}

// The program's icon on a 64 grid: a page with a folded corner carrying a
// pair of beamed eighth notes. data/icons/selvane.svg is the same drawing.
void DrawApplicationIcon(QPainter& p) {
  // The outline lies on units that fall on pixel boundaries at 16, 32, 48,
  // 64, 128 and 256 px; its width is chosen per size to stay crisp there.
  const qreal pixelsPerUnit = p.transform().m11();
  const qreal pen = pixelsPerUnit <= 1.0 ? 4.0 : pixelsPerUnit <= 2.0 ? 3.0 : 2.0;
  QLinearGradient paper(0, 2, 0, 62);
  paper.setColorAt(0, QColor(0xff, 0xff, 0xff));
  paper.setColorAt(1, QColor(0xe6, 0xec, 0xf3));
  p.setPen(QPen(QColor(0x4a, 0x55, 0x63), pen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(paper);
  p.drawPolygon(Poly({{10, 2}, {42, 2}, {54, 14}, {54, 62}, {10, 62}}));
  p.setBrush(QColor(0xc9, 0xd3, 0xde));
  p.drawPolygon(Poly({{42, 2}, {42, 14}, {54, 14}}));

  const QColor note(0x1f, 0x4e, 0x9c);
  p.setPen(Qt::NoPen);
  p.setBrush(note);
  p.drawPolygon(Poly({{26, 22}, {47, 16}, {47, 23}, {26, 29}}));  // beam
  p.drawRect(QRectF(26, 22, 4, 27));                              // stems
  p.drawRect(QRectF(43, 16, 4, 27));
  for (const QPointF centre : {QPointF(22.5, 49), QPointF(39.5, 43)}) {
    p.save();
    p.translate(centre);
    p.rotate(-20);
    p.drawEllipse(QPointF(0, 0), 7.5, 5.5);
    p.restore();
  }
}

// An icon drawn by the program, each size and look only when it is first
// shown (the start of the program then draws none it does not show).
class DrawnIcon : public QIconEngine {
 public:
  DrawnIcon(GlyphPainter painter, int grid, QList<QSize> sizes, bool embossDisabled)
      : paint_(painter), grid_(grid), sizes_(std::move(sizes)), emboss_(embossDisabled) {}

  QIconEngine* clone() const override { return new DrawnIcon(*this); }
  QString key() const override { return QStringLiteral("selvane-drawn"); }
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return sizes_; }
  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
    const int pixels = qRound(std::min(size.width(), size.height()) * scale);
    const bool disabled = emboss_ && mode == QIcon::Disabled;
    const quint64 key = (quint64(pixels) << 1) | (disabled ? 1 : 0);
    auto cached = cache_.constFind(key);
    if (cached == cache_.constEnd()) {
      QImage image = Render(paint_, grid_, pixels);
      if (disabled) image = Emboss(image, std::max(1, qRound(scale)));
      cached = cache_.insert(key, QPixmap::fromImage(image));
    }
    QPixmap pixmap = *cached;
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal scale = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, scale));
  }

 private:
  GlyphPainter paint_;
  int grid_;
  QList<QSize> sizes_;
  bool emboss_;
  QHash<quint64, QPixmap> cache_;
};

}  // namespace

QIcon ToolbarGlyph(const QString& buttonName) {
  const GlyphPainter paint = PainterFor(buttonName);
  if (paint == nullptr) return {};
  return QIcon(new DrawnIcon(paint, kGlyphGrid, {QSize(kGlyphGrid, kGlyphGrid)}, true));
}

// Each size is drawn afresh rather than scaled, so small sizes stay sharp.
// The window's icon offers the sizes a title bar and a task bar use (the
// window system takes every size offered); the desktop's menus take the
// installed icons.
QIcon ApplicationIcon() {
  static const QIcon icon(new DrawnIcon(
      DrawApplicationIcon, kIconGrid,
      {QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48), QSize(64, 64)},
      false));
  return icon;
}

QImage ApplicationIconImage(int size) { return Render(DrawApplicationIcon, kIconGrid, size); }

// A "2" on a blue tile for a name taken from ID3v2; outlined in grey for one
// that could be.
namespace {
void DrawId3v2Mark(QPainter& p, bool taken) {
  const QColor ink = taken ? QColor(0x1c, 0x5f, 0xb8) : QColor(0x80, 0x80, 0x80);
  p.setPen(QPen(ink, 0.8));
  p.setBrush(taken ? ink : QColor(Qt::white));
  p.drawRoundedRect(QRectF(0.6, 0.6, 8.8, 8.8), 1.6, 1.6);
  QFont font = p.font();
  font.setPixelSize(8);
  font.setBold(true);
  p.setFont(font);
  p.setPen(taken ? QColor(Qt::white) : ink);
  p.drawText(QRectF(0, 0, 10, 10), Qt::AlignCenter, QStringLiteral("2"));
}
}  // namespace

// Refused: a red no-entry disc. A question ahead: an amber triangle with
// "!". Drawn on a 10 grid, at the size shown, by the icon engine above.
QIcon RowMark(int kind) {
  static const QIcon marks[5] = {
      QIcon(new DrawnIcon([](QPainter&) {}, RowMarkSize, {QSize(RowMarkSize, RowMarkSize)}, false)),
      QIcon(new DrawnIcon(
          [](QPainter& p) {
            p.setPen(QPen(QColor(0x8e, 0x1b, 0x14), 0.8));
            p.setBrush(kRed);
            p.drawEllipse(QPointF(5, 5), 4.4, 4.4);
            Bar(p, QRectF(2.2, 4.1, 5.6, 1.8), Qt::white);
          },
          RowMarkSize, {QSize(RowMarkSize, RowMarkSize)}, false)),
      QIcon(new DrawnIcon(
          [](QPainter& p) {
            Shape(p, Poly({{5, 0.6}, {9.6, 9.4}, {0.4, 9.4}}), QColor(0xf5, 0xb0, 0x1e),
                  QColor(0x8a, 0x5a, 0x00), 0.8);
            Bar(p, QRectF(4.3, 3.2, 1.4, 3.6), kInk);
            Bar(p, QRectF(4.3, 7.6, 1.4, 1.3), kInk);
          },
          RowMarkSize, {QSize(RowMarkSize, RowMarkSize)}, false)),
      QIcon(new DrawnIcon([](QPainter& p) { DrawId3v2Mark(p, true); }, RowMarkSize,
                          {QSize(RowMarkSize, RowMarkSize)}, false)),
      QIcon(new DrawnIcon([](QPainter& p) { DrawId3v2Mark(p, false); }, RowMarkSize,
                          {QSize(RowMarkSize, RowMarkSize)}, false)),
  };
  return marks[kind >= 0 && kind < 5 ? kind : 0];
}
