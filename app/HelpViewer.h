#pragma once
// Selvane's own help window: shows the help file beside the executable with
// its contents and an index. Non-modal, one window reused on later calls.
#include <QList>
#include <QString>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

class HelpViewer : public QWidget {
  Q_OBJECT

 public:
  explicit HelpViewer(QWidget* parent = nullptr);
  // Opens the contents and index of `file`; a missing file is told in the
  // help window's own words.
  void ShowContents(const QString& file);
  QString CurrentFile() const { return file_; }

  // One index term, the anchor it jumps to, and its reading in kana for
  // sorting (empty when the term sorts as written).
  struct IndexTerm {
    QString term;
    QString anchor;
    QString reading;
  };
  // Index terms of a help document: every <a name="..." class="index"
  // title="term" data-reading="kana"> element, in document order.
  static QList<IndexTerm> FindIndexTerms(const QString& html);

  QTabWidget* Tabs = nullptr;
  QTreeWidget* ContentsTree = nullptr;
  QLineEdit* IndexFilter = nullptr;
  QListWidget* IndexList = nullptr;
  QTextBrowser* Browser = nullptr;

 private:
  QString file_;
  // [help viewer private members]
  bool placed_ = false;  // centred over the main window on its first showing
  void ShowMessage(const QString& text);
  void FillContents();
  void FillIndex(const QString& html);
  void FilterIndex(const QString& text);
  void OpenContentsItem(QTreeWidgetItem* item);
  void OpenIndexItem(QListWidgetItem* item);
};
