#include "app/Dialogs.h"

void QtDialogs::Refuse(QWidget*, const QString&, const QString&) {}
bool QtDialogs::Ask(QWidget*, const QString&, const QString&) { return false; }
void QtDialogs::ShowError(QWidget*, const QString&) {}
QStringList QtDialogs::ChooseFiles(QWidget*, const QString&, const QString&, const QString&,
                                   const QString&) {
  return {};
}
void QtDialogs::OpenUrl(const QUrl&) {}
