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
#include "app/Unit1.h"
#include "app/WindowPrompts.h"
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

// Every tag is read again; what each row's file was as it was read stands
// for it in the after list's marks, which need not look at the files again.
void TForm1::Edit1Exit() {
  const std::vector<selvane::FileStatus> read = ExpandNames();
  const int remembered = ItemIndex(ListBox1);
  RefreshLists(read);
  SelectRow(remembered);
  ShowTagPanel();
}

// Over many files the refresh shows its progress, then gives the status
// line back: a refresh has no text of its own.
std::vector<selvane::FileStatus> TForm1::ExpandNames() {
  const bool counting = table.entryCount > selvane::ProgressFrom;
  const QString before = StatusText();
  std::vector<selvane::FileStatus> read;
  selvane::ExpandAll(NamingRule(), table, *fileOps, &read, counting ? prompts_.get() : nullptr);
  if (counting) SetStatusText(before);
  return read;
}

// The names are made anew first, and the run takes the files as that
// refresh found them; the lists are filled once, after the run, their marks
// telling what the run left.
void TForm1::rinemu1Click() {
  if (table.entryCount <= 0) return;
  const std::vector<selvane::FileStatus> origins = ExpandNames();
  selvane::RunRename(table, *fileOps, *prompts_, {&origins, trash, &history});
  RefreshLists();
  SelectRow(0);
  ShowTagPanel();
  UpdateUndoState();
}

void TForm1::SetPreset(std::size_t index) {
  Edit1->setText(QString::fromUtf8(selvane::PresetRules[index]));
  Edit1Exit();
}

void TForm1::mp311Click() { SetPreset(0); }
void TForm1::mp31Click() { SetPreset(1); }
void TForm1::D3Click() { SetPreset(2); }
void TForm1::mp3D1Click() { SetPreset(3); }
void TForm1::N13Click() { SetPreset(4); }
void TForm1::EXTF1Click() { SetPreset(5); }
