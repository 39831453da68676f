#include "core/rename/RenameTexts.h"

#include <cerrno>

#include "core/filelist/SplitPath.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"
#include "core/rename/RowDecision.h"

namespace selvane {
namespace {

// The fixed texts in CP932, converted once.
struct Texts {
  std::string before = Cp932("変換前：");
  std::string after = Cp932("\n変換後：");
  std::string forbidden = Cp932("変換後のファイル名に使用できない文字 ") +
                          std::string(ForbiddenNameChars) + Cp932(" が含まれています");
  std::string controlChars = Cp932(
      "変換後のファイル名に制御文字（改行、タブ、エスケープなど）が含まれています（^J などと表示"
      "しています）");
  std::string leavesFolder =
      Cp932("変換後のファイル名に「..」などが含まれていて、元のフォルダの外を指します");
  std::string hidden = Cp932(
      "変換後のファイル名が「.」で始まっています（隠しファイルになり、表示されなくなります）");
  std::string emptyName =
      Cp932("変換後のファイル名が空です（名前が「/」などの区切りで終わっています）");
  std::string noFileName = Cp932(
      "変換後のファイル名に、ファイル名にできない文字（シフトJISでないタグの文字）が含まれて"
      "います");
  std::string linkToTarget = Cp932(
      "変換前のファイルは、変換後の名前のファイルを指すリンクです（上書きすると、リンク先の"
      "ファイルそのものが失われます）");
  std::string noCp932Form = Cp932(
      "ID3v2 タグの値に、Shift-JIS にない文字（アクセント付きの文字や絵文字など）が含まれています");
  std::string tooLong =
      Cp932("変換後のファイル名が長すぎます（保存先のドライブに作れる長さを超えています）");
  std::string trailingDotOrSpace = Cp932(
      "変換後のファイル名が「.」か空白で終わっています（保存先のドライブでは末尾が削られて"
      "しまいます）");
  std::string deviceName = Cp932(
      "変換後のファイル名が CON、PRN、AUX、NUL、COM1～COM9、LPT1～LPT9 のいずれかです（保存先の"
      "ドライブでは装置の名前として予約されています）");
  std::string editAgain = Cp932("\n\nタグ情報を編集し直して下さい");
  std::string skipCaption = Cp932("リネーム作業をスキップします");
  std::string exists = Cp932("\n\n同名のファイルが既に存在します\n上書きしますか？");
  std::string overwriteCaption = Cp932("上書き確認");
  std::string finished = Cp932("リネーム終了");
  std::string deletedBefore = Cp932("リネーム終了（ゴミ箱に移せなかったため、上書きしたファイル ");
  std::string deletedAfter = Cp932(" 個を削除しました）");
  std::string renaming = Cp932("リネーム");
  std::string notStarted = Cp932("リネームを中止しました");
  std::string failedHead = Cp932("次のファイルはリネームできませんでした。\n");
  std::string failedCaption = Cp932("リネームできなかったファイルがあります");
  std::string arrow = Cp932("\n  → ");
  std::string toTemporary = Cp932("一時ファイル SelvaneBk.tmp へ移動できません：");
  std::string deleteTarget = Cp932("上書きするファイルを削除できません：");
  std::string fromTemporary = Cp932("一時ファイルから移動できません：");
  std::string folderInTheWay = Cp932("変換後の名前のフォルダが既にあります");
  std::string otherInTheWay = Cp932(
      "変換後の名前で、通常のファイルではないもの（パイプ、デバイス、リンク切れのリンクなど）が既に"
      "あります");
  std::string fileGone = Cp932("ファイルが見つかりません（移動または削除されています）");
  std::string noTargetFolder = Cp932("変換後の名前が指すフォルダがありません");
  std::string intoItself = Cp932("フォルダをそのフォルダの中へは移動できません");
  std::string linkLeavesFolder = Cp932(
      "リンクは別のフォルダへは移しません（リンクの指す先が変わったり、たどれなくなったり"
      "します）");
  std::string holdsListedRows = Cp932(
      "このフォルダの中のファイルもリストにあるため、フォルダはリネームしません（中のファイルの"
      "行が、ファイルを見失います）");
  std::string replaced = Cp932(
      "この実行で前の行のファイルに上書きされたため、リネームしていません（いまこの名前にあるのは"
      "前の行のファイルです）");
  std::string nowAt = Cp932("\n  現在の場所：");
  std::string moreBefore = Cp932("\nほか ");
  std::string moreAfter = Cp932(" 件のファイルもリネームできませんでした。");
  std::string willNotMove = Cp932("リネームされません：");
  std::string asksExisting =
      Cp932("同名のファイルが既に存在します（リネーム時に上書きの確認があります）");
  std::string asksEarlierRow =
      Cp932("前の行と同じ変換後の名前です（リネーム時に上書きの確認があります）");
  std::string meetsItself = Cp932(
      "変換後の名前が今の名前と同じです（リネーム時に上書きの確認があります。「いいえ」で"
      "そのままになります）");
  std::string mayBeReplaced = Cp932(
      "前の行のリネームで、このファイルを上書きするか確認があります（上書きすると"
      "この行はリネームされません）");
};

const Texts& Text() {
  static const Texts texts;
  return texts;
}

// Why a row cannot move, as the closing report and the marks say it.
const std::string& CannotMoveText(int error) {
  const Texts& t = Text();
  switch (error) {
    case EISDIR:
      return t.folderInTheWay;
    case ENOENT:
      return t.fileGone;
    case NoTargetFolderError:
      return t.noTargetFolder;
    case EINVAL:
      return t.intoItself;
    case HoldsListedRowsError:
      return t.holdsListedRows;
    case LinkLeavesFolderError:
      return t.linkLeavesFolder;
    default:
      return t.otherInTheWay;
  }
}

// A name for a message or a mark: a control byte becomes its caret form
// (^J for a newline, ^[ for ESC, ^? for DEL), which a box can show on one
// line. Control bytes are never trail bytes, so no character is split.
std::string Visible(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    if (IsControlByte(c)) {
      out += '^';
      out += static_cast<char>(static_cast<unsigned char>(c) ^ 0x40);
    } else {
      out += c;
    }
  }
  return out;
}

// The name and extension, as the skip box has always shown them.
std::string ShownName(std::string_view path) {
  const PathParts parts = SplitPath(path);
  return parts.name + parts.extension;
}

std::string StepText(const Failure& f) {
  const Texts& t = Text();
  switch (f.step) {
    case Step::Move:
      return ErrorText(f.error);
    case Step::ToTemporary:
      return t.toTemporary + ErrorText(f.error);
    case Step::DeleteTarget:
      return t.deleteTarget + ErrorText(f.error);
    case Step::FromTemporary:
      return t.fromTemporary + ErrorText(f.error);
    case Step::CannotMove:
      return CannotMoveText(f.error);
    case Step::Replaced:
      return t.replaced;
  }
  return {};
}

}  // namespace

Failure FailureOf(const FileEntry& entry, Step step, int error) {
  return {std::string(entry.path), std::string(entry.newPath), {}, step, error};
}

std::string FailureReport(const std::vector<Failure>& failures) {
  const Texts& t = Text();
  return FileListReport(
      {t.failedHead, t.arrow, t.nowAt, t.moreBefore, t.moreAfter}, failures.size(),
      [&failures](std::size_t i) {
        const Failure& f = failures[i];
        return ReportedFile{Visible(f.path), Visible(f.newPath), StepText(f), f.where};
      });
}

const std::string& FailedCaption() { return Text().failedCaption; }

std::string RefusalReason(NameRefusal refusal) {
  const Texts& t = Text();
  switch (refusal) {
    case NameRefusal::ForbiddenChars:
      return t.forbidden;
    case NameRefusal::ControlChars:
      return t.controlChars;
    case NameRefusal::LeavesFolder:
      return t.leavesFolder;
    case NameRefusal::Hidden:
      return t.hidden;
    case NameRefusal::EmptyName:
      return t.emptyName;
    case NameRefusal::NoFileName:
      return t.noFileName;
    case NameRefusal::LinkToTarget:
      return t.linkToTarget;
    case NameRefusal::NoCp932Form:
      return t.noCp932Form;
    case NameRefusal::TooLong:
      return t.tooLong;
    case NameRefusal::TrailingDotOrSpace:
      return t.trailingDotOrSpace;
    case NameRefusal::DeviceName:
      return t.deviceName;
    case NameRefusal::None:
      break;
  }
  return {};
}

std::string OutlookText(const RowOutlook& row) {
  const Texts& t = Text();
  switch (row.outlook) {
    case Outlook::Refused:
      return t.willNotMove + RefusalReason(row.refusal);
    case Outlook::CannotMove:
      return t.willNotMove + CannotMoveText(row.error);
    case Outlook::AsksExisting:
      return t.asksExisting;
    case Outlook::AsksEarlierRow:
      return t.asksEarlierRow;
    case Outlook::MeetsItself:
      return t.meetsItself;
    case Outlook::MayBeReplaced:
      return t.mayBeReplaced;
    case Outlook::Moves:
    case Outlook::Unchanged:
      break;
  }
  return {};
}

// A refusal about what the naming added shows all it added (a folder part
// included); any other shows the new name alone.
std::string SkipMessage(std::string_view path, std::string_view newPath, NameRefusal refusal) {
  const Texts& t = Text();
  const bool wholeAddedPart = refusal == NameRefusal::LeavesFolder ||
                              refusal == NameRefusal::Hidden ||
                              refusal == NameRefusal::ControlChars;
  const std::string shown =
      wholeAddedPart ? std::string(AddedText(path, newPath)) : ShownName(newPath);
  std::string text;
  text.reserve(256);
  text.append(t.before).append(Visible(ShownName(path))).append(t.after).append(Visible(shown));
  text.append("\n\n").append(RefusalReason(refusal)).append(t.editAgain);
  return text;
}

const std::string& SkipCaption() { return Text().skipCaption; }

std::string OverwriteQuestion(std::string_view path, std::string_view newPath) {
  const Texts& t = Text();
  std::string text;
  text.append(t.before).append(path).append(t.after).append(newPath).append(t.exists);
  return text;
}

const std::string& OverwriteCaption() { return Text().overwriteCaption; }

std::string FinishedStatus(int deleted) {
  const Texts& t = Text();
  return deleted == 0 ? t.finished : t.deletedBefore + std::to_string(deleted) + t.deletedAfter;
}

const std::string& NotStartedStatus() { return Text().notStarted; }
const std::string& RenamingWord() { return Text().renaming; }

}  // namespace selvane
