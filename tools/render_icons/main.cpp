// Writes the application icon as hicolor PNGs:
//   render_icons OUTDIR  ->  OUTDIR/<n>x<n>/apps/selvane.png
// The icon is drawn by the program's own code, so the installed icons and the
// window's icon cannot drift apart.
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <cstdio>

#include "app/Glyphs.h"

int main(int argc, char* argv[]) {
  // No display is needed to paint into images.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: render_icons OUTDIR\n");
    return 2;
  }
  const QString outDir = QString::fromLocal8Bit(argv[1]);
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
    const QString file = dir + QStringLiteral("/selvane.png");
    const QImage image = ApplicationIconImage(size);
    if (image.size() != QSize(size, size) || !QDir().mkpath(dir) || !image.save(file, "PNG")) {
      std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
