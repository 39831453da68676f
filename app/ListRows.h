#pragma once
// The two list boxes' rows and selection.
#include <QListWidget>
#include <QStringList>
#include <QStyledItemDelegate>

// Rows as high as the lists' 12-pixel font (ascent and descent), so that
// the baseline lies at the font's ascent and nothing below it, such as the
// underscore, is cut off; every row as wide as the widest line, so that no
// name is cut short and the scroll bar reaches its end (the lists keep
// uniform row sizes, which is what keeps a rebuild of 1024 lines fast).
// ListBox2's rows keep a narrow gutter in front for the mark that tells how
// the rename run will treat them.
class ListRows : public QStyledItemDelegate {
 public:
  ListRows(QObject* parent, bool withMarks) : QStyledItemDelegate(parent), withMarks_(withMarks) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  // Measures the lines about to be shown.
  void TakeLines(const QListWidget& list, const QStringList& lines);

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  bool withMarks_;
  int widest_ = 0;             // pixels of the widest line
  int narrow_ = 0, wide_ = 0;  // bounds of a half-width and a full-width glyph
};

// A list box as the designed one behaves: one row is selected at a time,
// and a click outside the rows, or a Ctrl+click on the selected row, leaves
// that selection as it is.
class ListBox : public QListWidget {
 public:
  using QListWidget::QListWidget;
  // Rebuilds the list from `lines`, measured for the row width.
  void Fill(const QStringList& lines);

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;
};
