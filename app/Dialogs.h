#pragma once
// Every modal box and the open dialog go through this interface, so tests
// answer them with scripted replies and never block on a modal window.
#include <QString>
#include <QStringList>
#include <QUrl>

class QMessageBox;
class QWidget;

// Widens a message box so that the window manager's title bar shows its
// whole caption, up to the screen's width.
void FitCaption(QMessageBox& box);
// Keeps a message box within the screen: a text taller than the screen
// scrolls inside the box, so its buttons stay in sight.
void FitScreen(QMessageBox& box);

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Exclamation icon, OK.
  virtual void Refuse(QWidget* parent, const QString& text, const QString& caption) = 0;
  // Question icon, Yes/No, Yes default. True for Yes.
  virtual bool Ask(QWidget* parent, const QString& text, const QString& caption) = 0;
  // The application's error box: caption "Selvane", error icon, OK.
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
  // Multi-select open dialog. Returns the chosen native paths in order, or an
  // empty list when cancelled.
  virtual QStringList ChooseFiles(QWidget* parent, const QString& title, const QString& filter,
                                  const QString& selectedFilter, const QString& directory) = 0;
  // Opens an address with the desktop's default handler; failures are silent.
  virtual void OpenUrl(const QUrl& url) = 0;
};

// The real thing: QMessageBox, QFileDialog, QDesktopServices.
class QtDialogs : public Dialogs {
 public:
  void Refuse(QWidget* parent, const QString& text, const QString& caption) override;
  bool Ask(QWidget* parent, const QString& text, const QString& caption) override;
  void ShowError(QWidget* parent, const QString& text) override;
  QStringList ChooseFiles(QWidget* parent, const QString& title, const QString& filter,
                          const QString& selectedFilter, const QString& directory) override;
  void OpenUrl(const QUrl& url) override;
};
