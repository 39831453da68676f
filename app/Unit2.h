#pragma once
// TForm2, the About box: created hidden at start-up, shown modally on demand.
#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
class QFrame;
class Dialogs;

class TForm2 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm2(Dialogs& dialogs, QWidget* parent = nullptr);

  QLabel *Image1 = nullptr, *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr,
         *Label4 = nullptr, *Label5 = nullptr, *Label6 = nullptr;
  QPushButton* Button1 = nullptr;
  QFrame* Bevel1 = nullptr;

 public slots:
  void Button1Click();
  void Label5Click();
  void Label6Click();

 public:
  void Label5MouseMove();
  void Label6MouseMove();
  void FormMouseMove();

  // Shows the box modally (About1Click goes through here). Tests set
  // `runModal` to show it without entering a nested event loop.
  int ShowModal();
  std::function<int(TForm2&)> runModal;

  void setVisible(bool visible) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  Dialogs& dialogs_;
  // [about box private members]
  bool placed_ = false;  // centred on its first showing, left where it is later
};
