#include "app/Dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

void QtDialogs::Refuse(QWidget* parent, const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
  box.exec();
}

bool QtDialogs::Ask(QWidget* parent, const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void QtDialogs::ShowError(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Selvane"), text, QMessageBox::Ok, parent);
  box.exec();
}

QStringList QtDialogs::ChooseFiles(QWidget* parent, const QString& title, const QString& filter,
                                   const QString& selectedFilter, const QString& directory) {
  // Qt's own dialog shows each filter's caption as given and hides the
  // pattern list behind it; the desktop's dialog would cut the caption at "("
  // and match case-sensitively.
  QFileDialog dialog(parent, title, directory);
  dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilter(filter);
  dialog.selectNameFilter(selectedFilter);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

void QtDialogs::OpenUrl(const QUrl& url) { QDesktopServices::openUrl(url); }
