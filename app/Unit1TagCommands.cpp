// Tag update, removal, copy and paste on the selected row.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <optional>
#include <string>

#include "app/Cp932Text.h"
#include "app/TagPanel.h"
#include "app/Unit1.h"
#include "app/WindowPrompts.h"
#include "core/history/RecordedTags.h"
#include "core/platform/Cp932.h"
#include "core/tags/TagWriter.h"

namespace {

// The panel's texts as they will be written. An edited field holding a
// character without a CP932 form is refused by its label's name.
bool ReadPanel(TForm1& form, const TagPanel& panel, TagPanel::Texts& texts) {
  const std::optional<TagField> unwritable = panel.Read(texts);
  if (!unwritable) return true;
  form.Prompts().Refuse(
      QStringLiteral("「%1」にシフトJISで書けない文字が含まれています。\n"
                     "「%2」などの文字を消すか書き直してから、もう一度更新してください。")
          .arg(panel.Caption(*unwritable), QChar(QChar::ReplacementCharacter)),
      QStringLiteral("Selvane"));
  return false;
}

// "<what went wrong>\n<file>\n<the system's reason>", all CP932.
std::string FileMessage(const char* utf8What, const char* cp932Path, int error) {
  return selvane::Cp932(utf8What) + "\n" + cp932Path + "\n" + selvane::ErrorText(error);
}

const char* const MessageCaption = "Selvane";

void ReselectAndShowTag(TForm1& form, int row) {
  form.SelectRow(row);
  form.ShowTagPanel();
}

}  // namespace

void TForm1::A1Click() {
  const int k = SelectedIndex();
  if (k == -1) return;
  selvane::FileEntry& entry = table[k];

  TagPanel::Texts texts;
  if (!ReadPanel(*this, *tagPanel_, texts)) return;
  const selvane::Trailer trailer = selvane::BuildTrailer(texts.Values(), entry.genre[0]);
  // A file that cannot be written is told and left alone; the panel keeps
  // what was typed so the update can be tried again.
  bool replaced = false;
  const selvane::FileResult result =
      selvane::WriteTagRecorded(entry, trailer, *fileOps, history, Prompts(), &replaced);
  UpdateUndoState();
  // The user chose to leave a file the history could not record.
  if (result.error == selvane::NotRecordedError) return;
  if (!result) {
    SetStatusText(QStringLiteral("ﾀｸﾞ情報を更新できませんでした"));
    Prompts().Refuse(FileMessage("タグ情報を書き込めませんでした。", entry.path, result.error),
                     selvane::Cp932(MessageCaption));
    return;
  }
  // The file, not the entry, says whether a tag was there to change.
  SetStatusText(replaced ? QStringLiteral("ﾀｸﾞ情報を変更しました")
                         : QStringLiteral("ﾀｸﾞ情報を追加しました"));
  Edit1Exit();
  ReselectAndShowTag(*this, k);
}

void TForm1::N9Click() {
  const int k = SelectedIndex();
  if (k == -1) return;
  selvane::FileEntry& entry = table[k];
  if (entry.hasTag == 0) {
    SetStatusText(QStringLiteral("ﾀｸﾞ情報はありません"));
    return;
  }
  if (!Prompts().Ask(selvane::Cp932("タグ情報を削除します\nよろしいですか？"),
                     selvane::Cp932("確認")))
    return;
  const selvane::FileResult result =
      selvane::RemoveTagRecorded(entry, *fileOps, history, Prompts());
  UpdateUndoState();
  if (result.error == selvane::NotRecordedError) return;
  if (!result) {
    if (result.error != selvane::NoTrailerError) {
      Prompts().Refuse(FileMessage("タグ情報を削除できませんでした。", entry.path, result.error),
                       selvane::Cp932(MessageCaption));
      return;
    }
    // Someone else already stripped it: nothing was cut, and the refresh
    // below shows the file as it is.
    Prompts().Refuse(
        selvane::Cp932("タグ情報が見つからないため、ファイルは変更しませんでした。\n") + entry.path.c_str(),
        selvane::Cp932(MessageCaption));
  }
  Edit1Exit();
  ReselectAndShowTag(*this, k);
}

// What is copied is the entry as last read, not the panel's edits.
void TForm1::C2Click() {
  const int k = SelectedIndex();
  if (k == -1) return;
  if (table[k].hasTag == 0) {
    SetStatusText(QStringLiteral("ﾀｸﾞ情報はありません"));
    return;
  }
  tagClipboard = table[k];
  Edit1Exit();
  ReselectAndShowTag(*this, k);
  SetStatusText(QStringLiteral("一時バッファにコピー終了"));
}

// The buffer keeps the source file's path, so the refresh run with the
// buffer in the selected slot reads that file's tag as it is now. The
// selected entry is then put back; only the panel keeps the pasted values.
void TForm1::P2Click() {
  const int k = SelectedIndex();
  if (k == -1 || tagClipboard.hasTag == 0) return;
  pasteSaveSlot = table[k];
  table[k] = tagClipboard;
  Edit1Exit();
  ReselectAndShowTag(*this, k);
  table[k] = pasteSaveSlot;
  RefreshLists();
  SelectRow(k);
  // The rebuild left no row selected and the commands greyed; they follow
  // the row selected again, or the pasted values could not be written.
  UpdateCommandStates();
  SetStatusText(QStringLiteral("貼り付け終了。反映させるには『更新』を忘れずに"));
}
