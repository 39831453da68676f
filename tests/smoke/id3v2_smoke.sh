#!/usr/bin/env bash
# Starts the program in a real X server (Xvfb, xcb platform) on the ID3v2
# test files (tests/fixtures/id3v2, written by mutagen), checks
# 命名規則 → "ID3v2 も使う"(&2) with the keyboard, renames from ﾌｧｲﾙ → ﾘﾈｰﾑ,
# checks the names and bytes on disk, quits through ﾌｧｲﾙ → 終了, and checks
# that the item was kept with the settings.
# Usage: id3v2_smoke.sh PROGRAM FIXTURES
# Exits 77 (skipped) only when Xvfb or xdotool is not installed.
# shellcheck source=tests/smoke/common.sh
source "$(dirname "$0")/common.sh" id3v2_smoke Xvfb xdotool md5sum

program=$(realpath "$1")
fixtures=$(realpath "$2")
use_work_folder
shown="$work/files"

# Every form that gets a new name; the wave dash and the minus come back
# from Shift-JIS as their full-width forms, as on Windows.
declare -A expected=(
  ["v22-ucs2.mp3"]="夜空の向こう(青い鳥).mp3"
  ["v23-utf16-cut.mp3"]="春の終わりに咲く花のうた（シングル・ヴァージョン）(月光楽団).mp3"
  ["v24-utf8.mp3"]="桜～さくら～(東京－大阪).mp3"
  ["v23-latin1-sjis.mp3"]="恋のうた(山田花子).mp3"
  ["v24-mojibake.mp3"]="夢の中へ(井上).mp3"
  ["v23-garbled.mp3"]="Garbled(Noise).mp3"
)
mkdir -p "$work/files" "$work/config" "$work/config-system" "$work/runtime"
chmod 700 "$work/runtime"
declare -A digest=()
files=()
for name in "${!expected[@]}"; do
  cp "$fixtures/$name" "$work/files/$name"
  digest[$name]=$(md5sum <"$work/files/$name")
  files+=("$work/files/$name")
done

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
display_known() { [[ -s "$work/display" ]]; }
wait_for 20 display_known || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$work/display")"

start() {
  env XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$work/config-system" \
    XDG_RUNTIME_DIR="$work/runtime" XDG_STATE_HOME="$work/state" XDG_DATA_HOME="$work/data" \
    QT_QPA_PLATFORM=xcb "$program" "$@" >>"$work/program.log" 2>&1 &
  program_pid=$!
  window=$(timeout 30 xdotool search --sync --name '^Selvane$' 2>/dev/null | head -n 1 || true)
  [[ -n "$window" ]] || fail "no window titled Selvane appeared"
  xdotool windowfocus --sync "$window" || fail "could not focus the window"
}
visible_windows() { xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null | wc -l; }
menu_open() { (($(visible_windows) >= 2)); }
menu_closed() { (($(visible_windows) == 1)); }
choose() {  # MENU-LETTER ITEM-KEY
  xdotool key --window "$window" "alt+$1"
  wait_for 10 menu_open || fail "the menu alt+$1 did not open"
  xdotool key "$2"
}
quit() {
  choose f x  # ﾌｧｲﾙ → 終了(&X)
  ended() { ! kill -0 "$program_pid" 2>/dev/null; }
  wait_for 20 ended || fail "the program did not end after 終了"
  local status=0
  wait "$program_pid" || status=$?
  program_pid=""
  ((status == 0)) || fail "the program ended with $status"
}
renamed() {
  local name
  for name in "${!expected[@]}"; do
    [[ -f "$work/files/${expected[$name]}" && ! -e "$work/files/$name" ]] || return 1
  done
}

start "${files[@]}"
choose n 2  # 命名規則 → ID3v2 も使う(&2)
wait_for 10 menu_closed || fail "the menu 命名規則 stayed open"
rename_and_check "$work/files" "the files were not renamed from their ID3v2 tags"
quit
grep -q '^id3v2=1' "$work/config/Brindle/Selvane.ini" || fail "the item was not kept with the settings"
echo "id3v2_smoke: named six files from their ID3v2 tags through the menu, bytes intact, item kept"
