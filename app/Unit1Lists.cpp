// The two list views: rebuilt whole from the table, one common selection,
// the display mode, and the lists' mouse and key handling.
#include <QEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolButton>
#include <algorithm>

#include "app/Cp932Text.h"
#include "app/Glyphs.h"
#include "app/ListRows.h"
#include "app/ListSelection.h"
#include "app/Unit1.h"
#include "core/filelist/SplitPath.h"
#include "core/rename/RenameRun.h"

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

// A line of a list: the whole path, or only its final component.
QString DisplayLine(const char* path, bool fullPath) {
  if (fullPath) return Printable(ToQt(path));
  const selvane::PathParts parts = selvane::SplitPath(path);
  std::string name;
  if (parts.flags & selvane::HasFileName) name = parts.name;
  if (parts.flags & selvane::HasExtension) name += parts.extension;
  return Printable(ToQt(name));
}

}  // namespace

void TForm1::RefreshLists() {
  const bool fullPath = SpeedButton7->isChecked();
  QStringList before;
  QStringList after;
  before.reserve(table.entryCount);
  after.reserve(table.entryCount);
  for (int i = 0; i < table.entryCount; ++i) {
    before << DisplayLine(table[i].path, fullPath);
    after << DisplayLine(table[i].newPath, fullPath);
  }
  static_cast<ListBox*>(ListBox1)->Fill(before);
  static_cast<ListBox*>(ListBox2)->Fill(after);
  MarkRows();
  UpdateCommandStates();
}

// Each row of 変換後 that the rename run will refuse, or where it will ask
// before replacing a file, gets a mark and its reason as a tooltip.
void TForm1::MarkRows() {
  const std::vector<selvane::RowOutlook> rows = selvane::ForecastRename(table, *fileOps);
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const selvane::RowOutlook& row = rows[static_cast<std::size_t>(i)];
    if (!row.Marked()) continue;
    QListWidgetItem* item = ListBox2->item(i);
    item->setData(RowMarkRole, row.HangsOnAQuestion() ? QuestionRowMark : RefusedRowMark);
    item->setToolTip(ToQt(selvane::OutlookText(row)));
  }
}

int TForm1::SelectedIndex() const {
  int first = -1;
  for (const QModelIndex& row : ListBox1->selectionModel()->selectedRows()) {
    if (row.row() < table.entryCount && (first == -1 || row.row() < first)) first = row.row();
  }
  return first;
}

void TForm1::SyncListSelection(QListWidget* source) {
  const bool fromFirst = source->objectName() == QLatin1String("ListBox1");
  QListWidget* from = fromFirst ? ListBox1 : ListBox2;
  QListWidget* to = fromFirst ? ListBox2 : ListBox1;
  to->verticalScrollBar()->setValue(from->verticalScrollBar()->value());
  SetItemIndex(to, ItemIndex(from));
}

void TForm1::SelectRow(int row) {
  SetItemIndex(ListBox1, row);
  SetItemIndex(ListBox2, ItemIndex(ListBox1));
}

void TForm1::SpeedButton7Click() {
  SetStatusText(SpeedButton7->isChecked() ? QStringLiteral("ﾌﾙﾊﾟｽ表示ﾓｰﾄﾞです")
                                          : QStringLiteral("ﾌｧｲﾙ名のみ表示ﾓｰﾄﾞです"));
  RefreshLists();
}

void TForm1::ListBox1MouseUp(QListWidget* sender, Qt::MouseButton button, const QPoint& globalPos) {
  if (button == Qt::RightButton) {
    raise();
    activateWindow();
    // Not modal: the menu's command runs when it is chosen, on the entry
    // that was selected before the click.
    PopupMenu1->popup(globalPos);
  }
  SyncListSelection(sender);
  ShowTagPanel();
}

void TForm1::ListBox1KeyUp(QListWidget* sender, int key) {
  QListWidget* other = sender == ListBox1 ? ListBox2 : ListBox1;
  SetItemIndex(other, ItemIndex(sender));
  if (key == Qt::Key_Delete) {
    D2Click();
  } else {
    ShowTagPanel();
  }
}

// Mouse events arrive at a list's viewport, key events at the list itself.
bool TForm1::ListEvent(QListWidget* list, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      // A right click leaves the selection as it was.
      return static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      ListBox1MouseUp(list, mouse->button(), mouse->globalPosition().toPoint());
      return mouse->button() == Qt::RightButton;
    }
    case QEvent::KeyRelease: {
      const auto* key = static_cast<QKeyEvent*>(event);
      // A held key repeats its press, but is released once.
      if (!key->isAutoRepeat()) ListBox1KeyUp(list, key->key());
      return false;
    }
    default:
      return false;
  }
}
