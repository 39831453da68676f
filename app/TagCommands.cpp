// The tag panel showing the selected row, and tag update, removal, copy and
// paste on that row.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <optional>
#include <string>

#include "app/Cp932Text.h"
#include "app/MainWindow.h"
#include "app/TagPanel.h"
#include "app/WindowPrompts.h"
#include "core/history/RecordedTags.h"
#include "core/platform/Cp932.h"
#include "core/tags/TagWriter.h"

namespace {

// The panel's texts as they will be written. An edited field holding a
// character without a CP932 form is refused by its label's name.
bool ReadPanel(MainWindow& form, const TagPanel& panel, TagPanel::Texts& texts) {
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

// Why the ID3v2 tag of a file is left alone, as the user reads it.
QString Id3v2RefusalText(selvane::Id3v2Refusal refusal) {
  using enum selvane::Id3v2Refusal;
  switch (refusal) {
    case UnsynchronisedTag:
      return QStringLiteral(
          "ID3v2 タグ全体が非同期化（unsynchronisation）されているため、"
          "安全に書き換えられません。");
    case CompressedFrame:
      return QStringLiteral(
          "変更する項目の ID3v2 フレームが圧縮されているため、"
          "安全に書き換えられません。");
    case EncryptedFrame:
      return QStringLiteral(
          "変更する項目の ID3v2 フレームが暗号化されているため、"
          "書き換えられません。");
    case UnsynchronisedFrame:
      return QStringLiteral(
          "変更する項目の ID3v2 フレームが非同期化されているため、"
          "安全に書き換えられません。");
    case ExtendedHeaderCrc:
      return QStringLiteral(
          "ID3v2 タグの拡張ヘッダーに CRC が含まれているため、"
          "安全に書き換えられません。");
    case Footer:
      return QStringLiteral("ID3v2 タグの末尾にフッターがあるため、安全に書き換えられません。");
    case Malformed:
      return QStringLiteral(
          "ID3v2 タグが壊れているか、読み取れない形をしているため、"
          "書き換えられません。");
    case BadText:
      return QStringLiteral("入力した値を ID3v2 タグの文字に変換できません。");
    case TooLarge:
      return QStringLiteral("ID3v2 タグが書き込める大きさ（256MB）を超えてしまいます。");
    case None:
      break;
  }
  return {};
}

void ReselectAndShowTag(MainWindow& form, int row) {
  form.SelectRow(row);
  form.ShowTagPanel();
}

}  // namespace

void MainWindow::UpdateTag() {
  const int k = SelectedIndex();
  if (k == -1) return;
  selvane::FileEntry& entry = table[k];

  TagPanel::Texts texts;
  if (!ReadPanel(*this, *tagPanel_, texts)) return;
  const selvane::Trailer trailer = selvane::BuildTrailer(texts.Values(), entry.genre[0]);
  // A file that cannot be written is told and left alone; the panel keeps
  // what was typed so the update can be tried again.
  bool replaced = false;
  selvane::Id3v2Refusal refusal = selvane::Id3v2Refusal::None;
  const selvane::FileResult result =
      table.tagSources == selvane::TagSources::WithId3v2
          ? selvane::WriteBothTagsRecorded(entry, trailer, tagPanel_->EditedFields(), *fileOps,
                                           history, Prompts(), refusal, &replaced)
          : selvane::WriteTagRecorded(entry, trailer, *fileOps, history, Prompts(), &replaced);
  UpdateUndoState();
  // The user chose to leave a file the history could not record.
  if (result.error == selvane::NotRecordedError) return;
  if (result.error == selvane::Id3v2RefusedError) {
    SetStatusText(QStringLiteral("ﾀｸﾞ情報を更新できませんでした"));
    Prompts().Refuse(
        Id3v2RefusalText(refusal) +
            QStringLiteral(
                "\nこのファイルは何も変更していません（ID3v1 タグも書き込んでいません）。"
                "\n") +
            ToQt(entry.path),
        QStringLiteral("Selvane"));
    return;
  }
  if (!result) {
    SetStatusText(QStringLiteral("ﾀｸﾞ情報を更新できませんでした"));
    Prompts().Refuse(FileMessage("タグ情報を書き込めませんでした。", entry.path, result.error),
                     selvane::Cp932(MessageCaption));
    return;
  }
  // The file, not the entry, says whether a tag was there to change.
  SetStatusText(replaced ? QStringLiteral("ﾀｸﾞ情報を変更しました")
                         : QStringLiteral("ﾀｸﾞ情報を追加しました"));
  RefreshNames();
  ReselectAndShowTag(*this, k);
}

void MainWindow::RemoveTag() {
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
        selvane::Cp932("タグ情報が見つからないため、ファイルは変更しませんでした。\n") +
            entry.path.c_str(),
        selvane::Cp932(MessageCaption));
  }
  RefreshNames();
  ReselectAndShowTag(*this, k);
}

// What is copied is the entry as last read, not the panel's edits.
void MainWindow::CopyTag() {
  const int k = SelectedIndex();
  if (k == -1) return;
  if (table[k].hasTag == 0) {
    SetStatusText(QStringLiteral("ﾀｸﾞ情報はありません"));
    return;
  }
  SetTagClipboard(table[k]);
  RefreshNames();
  ReselectAndShowTag(*this, k);
  SetStatusText(QStringLiteral("一時バッファにコピー終了"));
}

// The buffer keeps the source file's path, so the refresh run with the
// buffer in the selected slot reads that file's tag as it is now. The
// selected entry is then put back; only the panel keeps the pasted values.
void MainWindow::PasteTag() {
  const int k = SelectedIndex();
  if (k == -1 || tagClipboard_.hasTag == 0) return;
  const selvane::FileEntry selected = table[k];
  table[k] = tagClipboard_;
  RefreshNames();
  ReselectAndShowTag(*this, k);
  table[k] = selected;
  tagPanel_->CompareWith(&table[k], *fileOps);
  RefreshLists();
  // The rebuild left no row selected; selecting it again lets the pasted
  // values be written.
  SelectRow(k);
  SetStatusText(QStringLiteral("貼り付け終了。反映させるには『更新』を忘れずに"));
}

void MainWindow::ShowTagPanel() {
  const int s = SelectedIndex();
  tagPanel_->Show(s >= 0 ? &table[s] : nullptr, *fileOps);
}
