#include "app/Unit1.h"

#include <QStatusBar>

unsigned char firstPaintPending = 1;

TForm1::TForm1(const QStringList& args, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), args_(args) {
  setWindowTitle(QStringLiteral("Selvane"));
}
TForm1::~TForm1() = default;
void TForm1::FormCreate() {}
void TForm1::Exit1Click() { close(); }
void TForm1::SetStatusText(const QString&) {}
void TForm1::SetStatusText(std::string_view) {}
std::string TForm1::NamingRule() const { return {}; }
selvane::UserPrompts& TForm1::Prompts() { return *prompts_; }
bool TForm1::eventFilter(QObject* w, QEvent* e) { return QMainWindow::eventFilter(w, e); }
void TForm1::showEvent(QShowEvent* e) { QMainWindow::showEvent(e); }
void TForm1::paintEvent(QPaintEvent* e) { QMainWindow::paintEvent(e); }
void TForm1::resizeEvent(QResizeEvent* e) { QMainWindow::resizeEvent(e); }
void TForm1::closeEvent(QCloseEvent* e) { QMainWindow::closeEvent(e); }
void TForm1::BuildLayout() {}
void TForm1::FormShow() {}
void TForm1::FormPaint() {}
void TForm1::FormResize() {}
bool TForm1::FormCloseQuery() { return true; }
