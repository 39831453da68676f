#include "app/Dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpacerItem>
#include <algorithm>

void FitCaption(QMessageBox& box) {
  // The window manager draws the caption in its own font, usually bold and
  // a little larger than the box's, between an icon and three buttons.
  QFont title = box.font();
  title.setBold(true);
  const int captionWidth = QFontMetrics(title).horizontalAdvance(box.windowTitle()) * 6 / 5;
  constexpr int kTitleBarButtons = 120;
  const QScreen* screen = box.screen() != nullptr ? box.screen() : QGuiApplication::primaryScreen();
  const int most = screen != nullptr ? screen->availableGeometry().width() - 40 : captionWidth;
  const int width = std::min(captionWidth + kTitleBarButtons, most);
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

void FitScreen(QMessageBox& box) {
  auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  const QScreen* screen = box.screen() != nullptr ? box.screen() : QGuiApplication::primaryScreen();
  if (label == nullptr || grid == nullptr || screen == nullptr) return;
  // The caption, frame, buttons and margins take up to two fifths of a small screen.
  const int most = screen->availableGeometry().height() * 3 / 5;
  const int widest = screen->availableGeometry().width() * 4 / 5;
  label->setWordWrap(true);
  const int width = std::min(std::max(label->sizeHint().width(), 400), widest);
  if (label->heightForWidth(width) <= most) return;
  int row = 0, column = 0, rows = 0, columns = 0;
  grid->getItemPosition(grid->indexOf(label), &row, &column, &rows, &columns);
  grid->removeWidget(label);
  auto* scroll = new QScrollArea(&box);
  scroll->setObjectName(QStringLiteral("reportScroll"));
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setWidgetResizable(true);
  scroll->setWidget(label);
  scroll->setFixedSize(width + scroll->verticalScrollBar()->sizeHint().width(), most);
  grid->addWidget(scroll, row, column, rows, columns);
}

void QtDialogs::Refuse(QWidget* parent, const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
  FitCaption(box);
  FitScreen(box);
  box.exec();
}

bool QtDialogs::Ask(QWidget* parent, const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::Yes);
  FitCaption(box);
  FitScreen(box);
  return box.exec() == QMessageBox::Yes;
}

void QtDialogs::ShowError(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Selvane"), text, QMessageBox::Ok, parent);
  FitCaption(box);
  FitScreen(box);
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
