#include "app/ListRows.h"

#include <QFontMetrics>
#include <algorithm>
#include <functional>
#include <utility>

#include "app/Cp932Text.h"
#include "app/Glyphs.h"
#include "app/Id3v2Item.h"
#include "core/filelist/PathNames.h"
#include "core/filelist/SplitPath.h"
#include "core/platform/Cp932.h"

namespace {

// A control character (a newline or an ESC that a tag brought in) shows in
// its caret form, "^J" or "^[", as the skip box shows it: a row stays one
// line and the name can be read as the run will refuse it.
QString Printable(const QString& line) {
  QString out;
  out.reserve(line.size());
  for (const QChar c : line) {
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F) {
      out += QLatin1Char('^');
      out += QChar(static_cast<char16_t>(u ^ 0x40));
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

int EntryListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

std::string_view EntryListModel::Bytes(int row) const {
  // A command may have shortened the table since the last rebuild while a
  // box of its was open: such a row has nothing to show.
  if (row < 0 || row >= rows_ || row >= table_.entryCount) return {};
  const selvane::FileEntry& entry = table_[row];
  return side_ == Side::Before ? entry.path : entry.newPath;
}

// The whole path, or only its final component (name and extension as the
// path splitter gives them: a path ending in a separator shows empty).
QString EntryListModel::Line(int row) const {
  const std::string_view bytes = Bytes(row);
  if (fullPath_) return Printable(ToQt(bytes));
  const selvane::PathParts parts = selvane::SplitPath(bytes);
  std::string name;
  if (parts.flags & selvane::HasFileName) name = parts.name;
  if (parts.flags & selvane::HasExtension) name += parts.extension;
  return Printable(ToQt(name));
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
  const int row = index.row();
  if (!index.isValid() || row >= rows_) return {};
  if (role == Qt::DisplayRole) return Line(row);
  if (static_cast<std::size_t>(row) >= outlook_.size()) {
    return role == RowMarkRole ? QVariant(static_cast<int>(NoRowMark)) : QVariant();
  }
  const selvane::RowOutlook& outlook = outlook_[static_cast<std::size_t>(row)];
  const selvane::Id3v2Note* note = row < table_.entryCount ? &table_[row].id3v2 : nullptr;
  if (role == RowMarkRole) {
    if (!outlook.Marked()) return static_cast<int>(Id3v2MarkOf(note));
    return static_cast<int>(outlook.HangsOnAQuestion() ? QuestionRowMark : RefusedRowMark);
  }
  // The marks' reasons are the lists' only tooltips; a row without a mark
  // has none.
  if (role == Qt::ToolTipRole) {
    const QString reason = outlook.Marked() ? ToQt(selvane::OutlookText(outlook)) : QString();
    return WithId3v2Note(reason, note);
  }
  return {};
}

void EntryListModel::Rebuild(bool fullPath, std::vector<selvane::RowOutlook> outlook) {
  beginResetModel();
  rows_ = table_.entryCount;
  fullPath_ = fullPath;
  outlook_ = std::move(outlook);
  endResetModel();
}

QSize ListRows::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const QSize own = QStyledItemDelegate::sizeHint(option, index);
  const QFontMetrics metrics(option.font);
  // The padding around this row's text, around the widest text instead.
  const int padding = own.width() - metrics.horizontalAdvance(index.data().toString());
  // Two pixels more than the line: the underscore sits on the line's last
  // pixel row, which a selected row's highlight would leave outside.
  return {std::max(own.width(), widest_ + padding + 2), metrics.height() + 2};
}

// Measuring every line would cost some 10 ms for 1024 Japanese names, and
// a second for 100,000. A bound per character, read off the CP932 bytes
// without making the line (a half-width glyph's advance for a single byte,
// a full-width one's for a pair or a byte that shows as a mark), finds the
// few lines that can be the widest; only those are measured, widest bound
// first.
void ListRows::TakeLines(const QFont& font, const EntryListModel& model) {
  const QFontMetrics metrics(font);
  if (narrow_ == 0) {
    // The lists' font gives every half-width glyph one advance and every
    // full-width one twice that; a few of the widest glyphs of each kind
    // tell them (measuring all would load a hundred glyphs before the first
    // paint).
    for (const char16_t c : {u'W', u'M', u'@', u'm', u'w', u'%', u'ｱ', u'ﾟ'})
      narrow_ = std::max(narrow_, metrics.horizontalAdvance(QChar(c)));
    wide_ = std::max(metrics.maxWidth(), metrics.horizontalAdvance(QChar(u'あ')));
  }
  // The mark of a byte that is no Shift-JIS comes from another font, which
  // is looked for only once a row holds one (the search costs a millisecond).
  const auto markWidth = [&] {
    if (mark_ == 0) mark_ = std::max(wide_, metrics.horizontalAdvance(QChar(u'\uFFFD')));
    return mark_;
  };
  const int rows = model.rowCount();
  std::vector<int> bounds(static_cast<std::size_t>(rows));
  int most = -1, mostRow = -1;
  for (int row = 0; row < rows; ++row) {
    const std::string_view bytes = model.Bytes(row);
    std::size_t from = 0;
    if (!model.FullPath())
      for (std::size_t i = 0; i < bytes.size(); i += selvane::CharLength(bytes, i))
        if (selvane::IsSeparatorAt(bytes, i)) from = i + 1;
    int bound = 0;
    for (std::size_t i = from; i < bytes.size(); i += selvane::CharLength(bytes, i)) {
      switch (selvane::ClassifyChar(bytes, i)) {
        case selvane::CharClass::Wide:
          bound += wide_;
          break;
        case selvane::CharClass::Invalid:
          bound += markWidth();
          break;
        case selvane::CharClass::Control:
          bound += 2 * narrow_;  // "^J"
          break;
        case selvane::CharClass::Narrow:
          bound += narrow_;
          break;
      }
    }
    bounds[static_cast<std::size_t>(row)] = bound;
    if (bound > most) most = bound, mostRow = row;
  }
  widest_ = mostRow < 0 ? 0 : metrics.horizontalAdvance(model.Line(mostRow));
  std::vector<std::pair<int, int>> candidates;
  for (int row = 0; row < rows; ++row)
    if (bounds[static_cast<std::size_t>(row)] > widest_ && row != mostRow)
      candidates.emplace_back(bounds[static_cast<std::size_t>(row)], row);
  std::sort(candidates.begin(), candidates.end(), std::greater<>());
  for (const auto& [bound, row] : candidates) {
    if (bound <= widest_) break;
    widest_ = std::max(widest_, metrics.horizontalAdvance(model.Line(row)));
  }
}

void ListRows::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  if (!withMarks_) return;
  option->features |= QStyleOptionViewItem::HasDecoration;
  option->decorationSize = QSize(RowMarkSize, RowMarkSize);
  option->icon = RowMark(index.data(RowMarkRole).toInt());
}

ListBox::ListBox(const selvane::EntryTable& table, EntryListModel::Side side, QWidget* parent)
    : QListView(parent),
      model_(new EntryListModel(table, side, this)),
      rows_(new ListRows(this, side == EntryListModel::Side::After)) {
  setModel(model_);
  setItemDelegate(rows_);
  // Every row is as high and as wide as the others: the view asks the size
  // of one row, not of each, and lays out 100,000 rows as fast as ten.
  setUniformItemSizes(true);
}

void ListBox::Fill(bool fullPath, std::vector<selvane::RowOutlook> outlook) {
  model_->Rebuild(fullPath, std::move(outlook));
  rows_->TakeLines(font(), *model_);
}

QItemSelectionModel::SelectionFlags ListBox::selectionCommand(const QModelIndex& index,
                                                              const QEvent* event) const {
  if (!index.isValid()) return QItemSelectionModel::NoUpdate;
  const QItemSelectionModel::SelectionFlags flags = QListView::selectionCommand(index, event);
  if (flags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
    return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
  return flags;
}
