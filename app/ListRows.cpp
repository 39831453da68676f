#include "app/ListRows.h"

#include <QFontMetrics>
#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "app/Glyphs.h"

QSize ListRows::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const QSize own = QStyledItemDelegate::sizeHint(option, index);
  const QFontMetrics metrics(option.font);
  // The padding around this row's text, around the widest text instead.
  const int padding = own.width() - metrics.horizontalAdvance(index.data().toString());
  return {std::max(own.width(), widest_ + padding + 2), metrics.height()};
}

// Measuring every line would cost some 10 ms for 1024 Japanese names. A
// bound per character (the widest half-width glyph for ASCII and half-width
// katakana, the widest full-width one for the rest) finds the few lines
// that can be the widest; only those are measured, widest bound first.
void ListRows::TakeLines(const QListWidget& list, const QStringList& lines) {
  const QFontMetrics metrics(list.font());
  if (narrow_ == 0) {
    for (char16_t c = 0x20; c < 0x7F; ++c)
      narrow_ = std::max(narrow_, metrics.horizontalAdvance(QChar(c)));
    for (const char16_t c : {u'ｱ', u'ﾟ'})
      narrow_ = std::max(narrow_, metrics.horizontalAdvance(QChar(c)));
    for (const char16_t c : {u'あ', u'〓', u'Ｗ', u'\uFFFD'})
      wide_ = std::max(wide_, metrics.horizontalAdvance(QChar(c)));
  }
  std::vector<std::pair<int, qsizetype>> bounds;
  bounds.reserve(static_cast<std::size_t>(lines.size()));
  for (qsizetype i = 0; i < lines.size(); ++i) {
    int bound = 0;
    for (const QChar c : lines[i]) {
      const char16_t u = c.unicode();
      bound += (u < 0x80 || (u >= 0xFF61 && u <= 0xFF9F)) ? narrow_ : wide_;
    }
    bounds.emplace_back(bound, i);
  }
  std::sort(bounds.begin(), bounds.end(), std::greater<>());
  widest_ = 0;
  for (const auto& [bound, i] : bounds) {
    if (bound <= widest_) break;
    widest_ = std::max(widest_, metrics.horizontalAdvance(lines[i]));
  }
}

void ListRows::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  if (!withMarks_) return;
  option->features |= QStyleOptionViewItem::HasDecoration;
  option->decorationSize = QSize(RowMarkSize, RowMarkSize);
  option->icon = RowMark(index.data(RowMarkRole).toInt());
}

void ListBox::Fill(const QStringList& lines) {
  clear();
  if (auto* rows = dynamic_cast<ListRows*>(itemDelegate())) rows->TakeLines(*this, lines);
  addItems(lines);
}

QItemSelectionModel::SelectionFlags ListBox::selectionCommand(const QModelIndex& index,
                                                              const QEvent* event) const {
  if (!index.isValid()) return QItemSelectionModel::NoUpdate;
  const QItemSelectionModel::SelectionFlags flags = QListWidget::selectionCommand(index, event);
  if (flags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
    return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
  return flags;
}
