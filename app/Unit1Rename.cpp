// The rule box, the presets, the new-name refresh and the rename run.
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QToolButton>
#include <utility>
#include <vector>

#include "app/Cp932Text.h"
#include "app/ListRows.h"
#include "app/ListSelection.h"
#include "app/Unit1.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"
#include "core/rename/RenameRun.h"

namespace {

// Routes the rule box's key presses and focus loss to the handlers.
class RuleBoxFilter : public QObject {
 public:
  explicit RuleBoxFilter(TForm1& form) : QObject(&form), form_(form) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const QString text = static_cast<QKeyEvent*>(event)->text();
      if (text.size() == 1 && form_.Edit1KeyPress(text.front())) return true;
    } else if (event->type() == QEvent::FocusOut) {
      // Only focus moving to another control of the window leaves the box; a
      // message box, a menu or another window taking the focus does not.
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
          reason != Qt::MenuBarFocusReason)
        form_.Edit1Exit();
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  TForm1& form_;
};

}  // namespace

void TForm1::ConnectRuleBox() { Edit1->installEventFilter(new RuleBoxFilter(*this)); }

bool TForm1::Edit1KeyPress(QChar key) {
  if (key == QChar('\r')) Edit1Exit();
  std::string one;
  if (!FromQt(QString(key), one)) return false;  // the box's validator refuses it
  if (!selvane::FindForbiddenChars(one).empty()) {
    Prompts().Refuse(selvane::ForbiddenNameChars,
                     selvane::Cp932("命名規則に使用できない文字です！"));
    return true;
  }
  return false;
}

void TForm1::Edit1Exit() { RegenerateNames(true); }

// The refresh reads every tag; the status of each file as read is kept for
// the forecast (or the run) that follows at once, which need not look at
// the files again. Over many files it shows its progress, then gives the
// status line back: a refresh has no text of its own.
void TForm1::RegenerateNames(bool markRows) {
  const bool counting = table.entryCount > selvane::ProgressFrom;
  const QString before = StatusText();
  selvane::ExpandAll(NamingRule(), table, *fileOps, &readStatuses_,
                     counting ? &Prompts() : nullptr);
  if (counting) SetStatusText(before);
  const int remembered = ItemIndex(ListBox1);
  if (markRows) {
    RefreshLists();
  } else {
    ListBox1->Fill(SpeedButton7->isChecked());
    ListBox2->Fill(SpeedButton7->isChecked());
    UpdateCommandStates();
  }
  SelectRow(remembered);
  ShowTagPanel();
}

// The names are made anew first; the marks are not (the run itself is what
// they would tell, and looking at every new name first would double the
// run's work): the rows are marked again after it.
void TForm1::rinemu1Click() {
  if (table.entryCount <= 0) return;
  RegenerateNames(false);
  const std::vector<selvane::FileStatus> origins = std::exchange(readStatuses_, {});
  selvane::RunRename(table, *fileOps, Prompts(), {&origins, trash, &history});
  RefreshLists();
  SelectRow(0);
  ShowTagPanel();
  UpdateUndoState();
}

void TForm1::SetPreset(int index) {
  Edit1->setText(QString::fromUtf8(selvane::RulePresets[static_cast<std::size_t>(index)].rule));
  Edit1Exit();
}

void TForm1::mp311Click() { SetPreset(0); }
void TForm1::mp31Click() { SetPreset(1); }
void TForm1::D3Click() { SetPreset(2); }
void TForm1::mp3D1Click() { SetPreset(3); }
void TForm1::N13Click() { SetPreset(4); }
void TForm1::EXTF1Click() { SetPreset(5); }
