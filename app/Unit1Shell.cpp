// Always on top, help and the About box.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QToolButton>
#include <QWindow>

#include "app/HelpViewer.h"
#include "app/Unit1.h"
#include "app/Unit2.h"

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

void TForm1::SpeedButton8Click() {
  ApplyStaysOnTop();
  SetStatusText(SpeedButton8->isChecked() ? QStringLiteral("常に最前面表示ﾓｰﾄﾞです")
                                          : QStringLiteral("通常表示ﾓｰﾄﾞです"));
}

void TForm1::ApplyStaysOnTop() {
  Qt::WindowFlags flags = windowFlags();
  flags.setFlag(Qt::WindowStaysOnTopHint, SpeedButton8->isChecked());
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

void TForm1::Contents1Click() {
  helpFile = QCoreApplication::applicationDirPath() + QStringLiteral("/Selvane.hlp");
  if (helpViewer_ == nullptr) helpViewer_ = new HelpViewer(this);
  helpViewer_->ShowContents(FileToOpen(helpFile));
}

TForm2* TForm1::AboutBox() {
  if (Form2 == nullptr) Form2 = new TForm2(dialogs_, this);
  return Form2;
}

void TForm1::About1Click() { AboutBox()->ShowModal(); }
