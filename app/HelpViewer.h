#pragma once
// Selvane's own help window: shows the help file beside the executable with
// its contents and an index. Non-modal, one window reused on later calls.
#include <QWidget>

class HelpViewer : public QWidget {
  Q_OBJECT

 public:
  explicit HelpViewer(QWidget* parent = nullptr);
  // Opens the contents and index of `file`; a missing file is told in the
  // help window's own words.
  void ShowContents(const QString& file);
  QString CurrentFile() const { return file_; }

 private:
  QString file_;
  // [help viewer private members]
};
