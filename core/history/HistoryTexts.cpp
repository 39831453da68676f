#include "core/history/HistoryTexts.h"

#include <sqlite3.h>

#include "core/platform/Cp932.h"

namespace selvane {

std::string ShownPath(const std::string& native) {
  std::string cp932;
  if (NativePathToCp932(native, cp932) || NativeToCp932(native, cp932)) return cp932;
  return native;
}

sql::Status NewerLayout() { return {SQLITE_READONLY, "newer layout"}; }

bool IsNewerLayout(const sql::Status& status) {
  return status.code == SQLITE_READONLY && status.message == "newer layout";
}

std::string ReasonOf(const sql::Status& status) {
  if (IsNewerLayout(status)) return Cp932("新しい版の Selvane で書かれています");
  switch (status.primary()) {
    case SQLITE_FULL:
      return Cp932("ディスクに空きがありません");
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return Cp932("書き込めません");
    case SQLITE_CANTOPEN:
      return Cp932("開けません");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Cp932("ほかのプログラムが使っています");
    case SQLITE_IOERR:
      return Cp932("読み書きのエラーです");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
      return Cp932("壊れています");
    default:
      return Cp932("SQLite のエラー ") + std::to_string(status.code);
  }
}

RecordResult RecordResultOf(const HistoryStore::Written& written, const std::string& store) {
  RecordResult result;
  result.recorded = written.status.ok();
  if (!written.aside.empty())
    result.notice =
        Cp932("操作の履歴が壊れていたため、次の名前で残して新しい履歴を始めました：\n") +
        ShownPath(written.aside);
  if (!result.recorded)
    result.error = Cp932("操作の履歴に記録できません（") + ReasonOf(written.status) +
                   Cp932("）。\n履歴：") + ShownPath(store);
  return result;
}

std::string UnreadableHistory(const std::string& store, const std::string& detail) {
  return Cp932("操作の履歴を読み取れないため、元に戻せません。\n\n履歴：") + ShownPath(store) +
         "\n" + detail + Cp932("\n\nファイルは何も変更していません。");
}

std::string HistoryPutAside(const std::string& store, const std::string& aside) {
  return UnreadableHistory(
      store, Cp932("\n読み取れなかった履歴は次の名前で残し、新しい履歴を始めました：\n") +
                 ShownPath(aside));
}

std::string RecordLost(const sql::Status& status, const std::string& store) {
  return Cp932("リネームの結果を操作の履歴に記録できませんでした（") + ReasonOf(status) +
         Cp932("）。\nこのリネームは元に戻せないか、一部しか戻せないことがあります。\n履歴：") +
         ShownPath(store);
}

void TellUnrecorded(const RecordResult& result, UserPrompts& ui) {
  if (!result.recorded && !result.error.empty()) ui.Refuse(result.error, Cp932("操作の履歴"));
}

std::string UnnamablePath() { return Cp932("ファイル名にできない文字が含まれています"); }

bool GoOnAfterRecording(const RecordResult& result, UserPrompts& ui, std::string_view change) {
  if (!result.notice.empty()) ui.Refuse(result.notice, Cp932("操作の履歴"));
  if (result.recorded) return true;
  return ui.Ask(result.error + Cp932("\n\nこの") + std::string(change) +
                    Cp932("は元に戻せなくなります。続けますか？"),
                Cp932("確認"));
}

}  // namespace selvane
