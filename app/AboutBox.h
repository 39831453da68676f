#pragma once
// The About box: made hidden when first asked for, shown modally on demand.
#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
class QFrame;
class Dialogs;

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit AboutBox(Dialogs& dialogs, QWidget* parent = nullptr);

  QLabel *icon = nullptr, *nameLabel = nullptr, *versionLabel = nullptr, *copyrightLabel = nullptr,
         *authorLabel = nullptr, *mailLink = nullptr, *webLink = nullptr;
  QPushButton* okButton = nullptr;
  QFrame* divider = nullptr;

 public slots:
  void Close();
  void OpenMail();
  void OpenWeb();

 public:
  void HoverMail();
  void HoverWeb();
  void HoverNeither();

  // Shows the box modally (ShowAbout goes through here). Tests set
  // `runModal` to show it without entering a nested event loop.
  int ShowModal();
  std::function<int(AboutBox&)> runModal;

  void setVisible(bool visible) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  Dialogs& dialogs_;
  bool placed_ = false;  // centred on its first showing, left where it is later
};
