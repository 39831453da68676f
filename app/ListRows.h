#pragma once
// The two list boxes: a view over the table, its rows and its selection.
#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/rename/RenameRun.h"

// The rows of one list, read from the table when they are drawn: nothing is
// kept per row but the after list's marks, so a list of 100,000 files costs
// what the rows on screen cost, and a rebuild costs nothing per row.
class EntryListModel : public QAbstractListModel {
 public:
  enum class Side { Before, After };  // path or newPath
  EntryListModel(const selvane::EntryTable& table, Side side, QObject* parent)
      : QAbstractListModel(parent), table_(table), side_(side) {}

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // The table has changed: every row is read again. `outlook` gives the
  // after list's marks (empty: none).
  void Rebuild(bool fullPath, std::vector<selvane::RowOutlook> outlook = {});
  // The text of row `row` as the list shows it.
  QString Line(int row) const;
  // The CP932 text behind row `row` (a path, or its final component).
  std::string_view Bytes(int row) const;
  bool FullPath() const { return fullPath_; }

 private:
  const selvane::EntryTable& table_;
  Side side_;
  int rows_ = 0;  // the table's size at the last rebuild
  bool fullPath_ = false;
  std::vector<selvane::RowOutlook> outlook_;
};

// Rows as high as the lists' 12-pixel font (ascent and descent), so that
// the baseline lies at the font's ascent and nothing below it, such as the
// underscore, is cut off; every row as wide as the widest line, so that no
// name is cut short and the scroll bar reaches its end. afterList's rows
// keep a narrow gutter in front for the mark that tells how the rename run
// will treat them.
class ListRows : public QStyledItemDelegate {
 public:
  ListRows(QObject* parent, bool withMarks) : QStyledItemDelegate(parent), withMarks_(withMarks) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  // Finds the widest of the model's lines (see the definition for how).
  void TakeLines(const QFont& font, const EntryListModel& model);

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  bool withMarks_;
  int widest_ = 0;             // pixels of the widest line
  int narrow_ = 0, wide_ = 0;  // bounds of a half-width and a full-width glyph
  int mark_ = 0;               // of the mark of a byte that is no Shift-JIS
};

// A list box of one selected row at a time,
// and a click outside the rows, or a Ctrl+click on the selected row, leaves
// that selection as it is.
class ListBox : public QListView {
 public:
  ListBox(const selvane::EntryTable& table, EntryListModel::Side side, QWidget* parent);
  EntryListModel& Rows() const { return *model_; }
  int count() const { return model_->rowCount(); }
  // Rebuilds the rows from the table and measures them for the row width.
  void Fill(bool fullPath, std::vector<selvane::RowOutlook> outlook = {});
  // Lays the rows out now rather than when the event loop next runs: a
  // command's modal box paints the list before that.
  void LayOutNow() { executeDelayedItemsLayout(); }

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;

 private:
  EntryListModel* model_;
  ListRows* rows_;
};
