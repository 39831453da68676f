// The rule box, the presets, the new-name refresh and the rename run.
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QToolButton>
#include <vector>

#include "app/Cp932Text.h"
#include "app/ListRows.h"
#include "app/ListSelection.h"
#include "app/MainWindow.h"
#include "app/RowsReadAhead.h"
#include "app/WindowPrompts.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"
#include "core/rename/RenameRun.h"

namespace {

// Routes the rule box's key presses and focus loss to the handlers.
class RuleBoxFilter : public QObject {
 public:
  explicit RuleBoxFilter(MainWindow& form) : QObject(&form), form_(form) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const QString text = static_cast<QKeyEvent*>(event)->text();
      if (text.size() == 1 && form_.RuleBoxKeyPress(text.front())) return true;
    } else if (event->type() == QEvent::FocusOut) {
      // Only focus moving to another control of the window leaves the box; a
      // message box, a menu or another window taking the focus does not.
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
          reason != Qt::MenuBarFocusReason)
        form_.RefreshNames();
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  MainWindow& form_;
};

}  // namespace

void MainWindow::ConnectRuleBox() { ruleBox->installEventFilter(new RuleBoxFilter(*this)); }

bool MainWindow::RuleBoxKeyPress(QChar key) {
  if (key == QChar('\r')) RefreshNames();
  std::string one;
  if (!FromQt(QString(key), one)) return false;  // the box's validator refuses it
  if (!selvane::FindForbiddenChars(one).empty()) {
    Prompts().Refuse(selvane::ForbiddenNameChars,
                     selvane::Cp932("命名規則に使用できない文字です！"));
    return true;
  }
  return false;
}

// Every tag is read again; what each row's file was as it was read stands
// for it in the after list's marks, which need not look at the files again.
void MainWindow::RefreshNames() { ShowNewNames(ExpandNames()); }

void MainWindow::ShowNewNames(const std::vector<selvane::FileStatus>& read) {
  const int remembered = ItemIndex(beforeList);
  RefreshLists(read);
  SelectRow(remembered);
  ShowTagPanel();
}

// Over many files the refresh shows its progress, then gives the status
// line back: a refresh has no text of its own.
std::vector<selvane::FileStatus> MainWindow::ExpandNames(bool* stopped) {
  const bool counting = table.entryCount > selvane::ProgressFrom;
  const QString before = StatusText();
  std::vector<selvane::FileStatus> read;
  RowsReadAhead ahead(*this, 0, *fileOps);
  if (stopped != nullptr) *stopped = ahead.Stopped();
  selvane::ExpandAll(NamingRule(), table, ahead.Ops(), &read, counting ? prompts_.get() : nullptr);
  if (counting) SetStatusText(before);
  return read;
}

// The names are made anew first, and the run takes the files as that
// refresh found them; the lists are filled once, after the run, their marks
// telling what the run left.
void MainWindow::RenameAll() {
  if (table.entryCount <= 0) return;
  bool stopped = false;
  const std::vector<selvane::FileStatus> origins = ExpandNames(&stopped);
  // Stopped while the files were looked at: nothing moves, and the lists
  // show the names as far as they were made.
  if (stopped) return ShowNewNames(origins);
  // A question of the run paints the lists under it before the event loop
  // would have laid out their rows: every row must show its name by then.
  beforeList->LayOutNow();
  afterList->LayOutNow();
  selvane::RunRename(table, *fileOps, *prompts_, {&origins, trash, &history});
  RefreshLists(LookAfterRun());
  SelectRow(0);
  ShowTagPanel();
  UpdateUndoState();
}

// What each row's file is after the run, for the marks: on a share read
// many at a time; else (or when stopped) empty, and the forecast looks at
// each row itself.
std::vector<selvane::FileStatus> MainWindow::LookAfterRun() {
  RowsReadAhead ahead(*this, 0, *fileOps, false);
  std::vector<selvane::FileStatus> now;
  if (!ahead.ReadAny() || ahead.Stopped()) return now;
  now.resize(static_cast<std::size_t>(table.entryCount));
  unsigned char tail[selvane::TrailerSize];
  for (int i = 0; i < table.entryCount; ++i) {
    std::int64_t length = -1;
    static_cast<void>(ahead.Ops().ReadTailAndStatus(table[i].path, tail, length,
                                                    now[static_cast<std::size_t>(i)]));
  }
  return now;
}

void MainWindow::ChoosePreset(std::size_t index) {
  ruleBox->setText(QString::fromUtf8(selvane::PresetRules[index]));
  RefreshNames();
}
