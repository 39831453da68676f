// The least a Qt 6 Widgets program shows: a main window with a title and one
// menu, at Selvane's start size, on Qt's default font. It takes the same
// arguments as Selvane and ignores them.
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("FloorWindow"));
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("FloorWindow"));
  QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(QStringLiteral("E&xit"), &window, &QWidget::close);
  window.resize(411, 321);
  window.show();
  return QApplication::exec();
}
