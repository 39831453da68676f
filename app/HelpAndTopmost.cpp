// Always on top, help and the About box.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QToolButton>
#include <QWindow>

#include "app/AboutBox.h"
#include "app/HelpViewer.h"
#include "app/MainWindow.h"

namespace {

// An installed program keeps its help under share/ rather than beside the
// executable in bin/; SELVANE_HELP_FALLBACK is that folder relative to bin/.
QString FileToOpen(const QString& helpFile) {
#ifdef SELVANE_HELP_FALLBACK
  if (!QFileInfo::exists(helpFile)) {
    const QString installed =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + '/' +
                        QStringLiteral(SELVANE_HELP_FALLBACK) + QStringLiteral("/Selvane.hlp"));
    if (QFileInfo::exists(installed)) return installed;
  }
#endif
  return helpFile;
}

}  // namespace

void MainWindow::ToggleTopmost() {
  ApplyStaysOnTop();
  SetStatusText(ActionFor(Command::Topmost)->isChecked() ? QStringLiteral("常に最前面表示ﾓｰﾄﾞです")
                                                         : QStringLiteral("通常表示ﾓｰﾄﾞです"));
}

void MainWindow::ApplyStaysOnTop() {
  Qt::WindowFlags flags = windowFlags();
  flags.setFlag(Qt::WindowStaysOnTopHint, ActionFor(Command::Topmost)->isChecked());
  if (flags == windowFlags()) return;
  if (QWindow* native = windowHandle(); native != nullptr) {
    // A window that exists changes its stacking in place; QWidget's own
    // setWindowFlags would hide it and build it anew.
    overrideWindowFlags(flags);
    native->setFlags(flags);
  } else {
    setWindowFlags(flags);  // not created yet: taken up when it is first shown
  }
}

void MainWindow::ShowHelp() {
  helpFile = QCoreApplication::applicationDirPath() + QStringLiteral("/Selvane.hlp");
  if (helpViewer_ == nullptr) helpViewer_ = new HelpViewer(this);
  helpViewer_->ShowContents(FileToOpen(helpFile));
}

AboutBox* MainWindow::AboutDialog() {
  if (aboutBox_ == nullptr) aboutBox_ = new AboutBox(dialogs_, this);
  return aboutBox_;
}

void MainWindow::ShowAbout() { AboutDialog()->ShowModal(); }
