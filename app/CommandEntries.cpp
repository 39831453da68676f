// The table of commands itself: each command's action name, caption, hint,
// enabled rule, toolbar place and the main window's handler that runs it.
#include "app/CommandTable.h"
#include "app/MainWindow.h"
#include "app/RulePresetItems.h"

namespace {

using W = MainWindow;
using enum EnabledWhen;

// A preset's caption and hint are those of its menu item in RulePresetItems.
template <std::size_t Index>
constexpr CommandEntry Preset(Command command, const char* name) {
  return {.command = command,
          .name = name,
          .caption = RulePresetItems[Index].caption,
          .hint = RulePresetItems[Index].hint,
          .when = Always,
          .buttonLeft = -1,
          .face = nullptr,
          .checkable = false,
          .run = [](W& w) { w.ChoosePreset(Index); }};
}

}  // namespace

// Toolbar buttons are 25 wide; the gaps in their lefts group them: file,
// tag, list, help, and the two switches at the right end.
constexpr std::array<CommandEntry, CommandCount> CommandEntries = {{
    {Command::Open, "openAction", "開く(&O)...", "開く|ﾌｧｲﾙを開いてﾘｽﾄに追加", Always, 8, nullptr,
     false, [](W& w) { w.OpenFiles(); }},
    {Command::Rename, "renameAction", "ﾘﾈｰﾑ(&R)", "ﾘﾈｰﾑ実行|ﾘﾈｰﾑを実行", Listed, 32, nullptr, false,
     [](W& w) { w.RenameAll(); }},
    {Command::Undo, "undoAction", "元に戻す(&U)", "", Undoable, -1, nullptr, false,
     [](W& w) { w.UndoLastBatch(); }},
    {Command::Exit, "exitAction", "終了(&X)", "", Always, -1, nullptr, false,
     [](W& w) { w.Exit(); }},
    {Command::UpdateTag, "updateTagAction", "更新(&U)", "ﾀｸﾞ情報更新|ﾀｸﾞ情報更新", Selected, 62,
     nullptr, false, [](W& w) { w.UpdateTag(); }},
    {Command::RemoveTag, "removeTagAction", "削除(&X)", "ﾀｸﾞ情報削除|ﾀｸﾞ情報削除", SelectedTagged,
     86, nullptr, false, [](W& w) { w.RemoveTag(); }},
    {Command::CopyTag, "copyTagAction", "ﾀｸﾞ情報ｺﾋﾟｰ(&C)", "ﾀｸﾞ情報ｺﾋﾟｰ|ﾀｸﾞ情報ｺﾋﾟｰ",
     SelectedTagged, 110, "複", false, [](W& w) { w.CopyTag(); }},
    {Command::PasteTag, "pasteTagAction", "ﾀｸﾞ情報貼り付け(&P)", "ﾀｸﾞ情報貼り付け|ﾀｸﾞ情報貼り付け",
     Pasteable, 136, "貼", false, [](W& w) { w.PasteTag(); }},
    {Command::MoveUp, "moveUpAction", "選択ｱｲﾃﾑを上に(&P)", "ｱｲﾃﾑを上に|選択ｱｲﾃﾑを上に移動",
     NotFirst, 164, nullptr, false, [](W& w) { w.MoveUp(); }},
    {Command::MoveDown, "moveDownAction", "選択ｱｲﾃﾑを下に(&N)", "ｱｲﾃﾑを下に|選択ｱｲﾃﾑを下に移動",
     NotLast, 188, nullptr, false, [](W& w) { w.MoveDown(); }},
    {Command::Sort, "sortAction", "全体をｿｰﾄ(&S)", "ｱｲﾃﾑｿｰﾄ|ﾘｽﾄ中のｱｲﾃﾑをｿｰﾄ", Listed, 212, nullptr,
     false, [](W& w) { w.SortAll(); }},
    {Command::DeleteRow, "deleteRowAction", "選択ｱｲﾃﾑを削除(&D)",
     "選択ｱｲﾃﾑを削除|選択中のｱｲﾃﾑを削除", Selected, 236, nullptr, false,
     [](W& w) { w.DeleteSelected(); }},
    {Command::ClearList, "clearListAction", "ﾘｽﾄ全ｸﾘｱ(&C)", "ﾘｽﾄｸﾘｱ|ﾘｽﾄから全ｱｲﾃﾑを削除", Listed,
     260, nullptr, false, [](W& w) { w.ClearList(); }},
    Preset<0>(Command::PresetTitle, "presetTitleAction"),
    Preset<1>(Command::PresetTitleArtist, "presetTitleArtistAction"),
    Preset<2>(Command::PresetArtistTitle, "presetArtistTitleAction"),
    Preset<3>(Command::PresetNumberTitle, "presetNumberTitleAction"),
    Preset<4>(Command::PresetAlbum, "presetAlbumAction"),
    Preset<5>(Command::PresetExtension, "presetExtensionAction"),
    {Command::Id3v2, "id3v2Action", "ID3v2 も使う(&2)",
     "ID3v1 タグにない・空の・30 バイトで切れた値を ID3v2 "
     "タグで補って名前とタグ情報欄に使い、更新で ID3v2 タグにも書き込みます",
     Always, -1, nullptr, true, [](W& w) { w.ToggleId3v2(); }},
    {Command::FullPath, "fullPathAction", "ﾌﾙﾊﾟｽ表示切替",
     "ﾌﾙﾊﾟｽ表示切替|ﾌﾙﾊﾟｽ表示／通常表示を切替", Always, 350, nullptr, true,
     [](W& w) { w.ToggleFullPath(); }},
    {Command::Topmost, "topmostAction", "最前面表示切替", "最前面表示切替|最前面／通常表示を切替",
     Always, 374, nullptr, true, [](W& w) { w.ToggleTopmost(); }},
    {Command::Help, "helpAction", "Selvaneヘルプ(&C)", "目次|目次", Always, 290, nullptr, false,
     [](W& w) { w.ShowHelp(); }},
    {Command::About, "aboutAction", "ﾊﾞｰｼﾞｮﾝ情報(&A)...", "バージョン情報|バージョン情報", Always,
     314, nullptr, false, [](W& w) { w.ShowAbout(); }},
}};

const char* const RemoveTagId3v2Hint =
    "ID3v1 ﾀｸﾞ情報削除|ID3v1 ﾀｸﾞ情報を削除（ID3v2 ﾀｸﾞは残ります）";

constexpr bool InCommandOrder() {
  for (std::size_t i = 0; i < CommandCount; ++i)
    if (static_cast<std::size_t>(CommandEntries[i].command) != i) return false;
  return true;
}
static_assert(InCommandOrder(), "CommandEntries is indexed by Command");
