#!/usr/bin/env bash
# Starts the program in a real X server (Xvfb, xcb platform) on five tagged
# demo MP3 files, picks the rule "(ｱｰﾃｨｽﾄ)ﾀｲﾄﾙ.mp3" from the menu 命名規則,
# renames from the menu ﾌｧｲﾙ → ﾘﾈｰﾑ with the keyboard, checks the names and
# the bytes on disk, then quits through ﾌｧｲﾙ → 終了 (bare Xvfb has no window
# manager to close a window) and checks the exit code.
# Usage: rename_smoke.sh PROGRAM DEMO_TOOL
# Exits 77 (skipped) only when Xvfb or xdotool is not installed.
# shellcheck source=tests/smoke/common.sh
source "$(dirname "$0")/common.sh" rename_smoke Xvfb xdotool md5sum

program=$(realpath "$1")
demo_tool=$(realpath "$2")
use_work_folder

shown="$work/demo"

mkdir -p "$work/config" "$work/config-system" "$work/runtime" "$work/cwd"
chmod 700 "$work/runtime"
"$demo_tool" "$work/demo" || fail "the demo tool could not write its files"

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
display_known() { [[ -s "$work/display" ]]; }
wait_for 20 display_known || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
export DISPLAY=":$(head -n 1 "$work/display")"

# The five tagged files, renamed by "($A)$T.mp3". The untagged one stays out:
# its new name would be its own, which asks before it is "replaced".
declare -A expected=(
  ["01 桜の坂道.mp3"]="(青葉ミナト)桜の坂道.mp3"
  ["02 ソラの表.mp3"]="(青葉ミナト)ソラの表.mp3"
  ["03 風のポルカ.mp3"]="(ｶﾜｾ ﾕｳ)風のポルカ.mp3"
  ["04 Morning Light.mp3"]="(Blue Harbor)Morning Light.mp3"
  ["05 Night Drive.mp3"]="(Blue Harbor)Night Drive.mp3"
)
declare -A digest=()
files=()
for name in "${!expected[@]}"; do
  [[ -f "$work/demo/$name" ]] || fail "the demo tool wrote no \"$name\""
  digest[$name]=$(md5sum <"$work/demo/$name")
  files+=("$work/demo/$name")
done

# Its own current directory, where the temporary name would lie.
(
  cd "$work/cwd"
  exec env XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$work/config-system" \
    XDG_RUNTIME_DIR="$work/runtime" XDG_STATE_HOME="$work/state" XDG_DATA_HOME="$work/data" \
    QT_QPA_PLATFORM=xcb "$program" "${files[@]}"
) >"$work/program.log" 2>&1 &
program_pid=$!

window=$(timeout 30 xdotool search --sync --name '^Selvane$' 2>/dev/null | head -n 1 || true)
[[ -n "$window" ]] || fail "no window titled Selvane appeared"
kill -0 "$program_pid" 2>/dev/null || fail "the program ended at start"
xdotool windowfocus --sync "$window" || fail "could not focus the window"

visible_windows() { xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null | wc -l; }
menu_open() { (($(visible_windows) >= 2)); }
menu_closed() { (($(visible_windows) == 1)); }

# Opens a menu of the menu bar with Alt+letter and picks an item by letter.
choose() {
  local menu=$1 item=$2
  xdotool key --window "$window" "alt+$menu"
  wait_for 10 menu_open || fail "the menu alt+$menu did not open"
  xdotool key "$item"
}

renamed() {
  local name
  for name in "${!expected[@]}"; do
    [[ -f "$work/demo/${expected[$name]}" && ! -e "$work/demo/$name" ]] || return 1
  done
}

choose n c  # 命名規則 → "(ｱｰﾃｨｽﾄ)ﾀｲﾄﾙ.mp3"(&C)
wait_for 10 menu_closed || fail "the menu 命名規則 stayed open"
rename_and_check "$work/demo" "the files were not renamed"
[[ -f "$work/demo/06 untitled.mp3" ]] || fail "the file that was not listed has gone"
[[ ! -e "$work/cwd/SelvaneBk.tmp" && ! -e "$work/demo/SelvaneBk.tmp" ]] ||
  fail "a temporary file was left behind"
(($(find "$work/demo" -type f | wc -l) == 6)) || fail "the demo folder does not hold six files"

choose f x  # ﾌｧｲﾙ → 終了(&X)
ended() { ! kill -0 "$program_pid" 2>/dev/null; }
wait_for 20 ended || fail "the program did not end after 終了"
status=0
wait "$program_pid" || status=$?
program_pid=""
((status == 0)) || fail "the program ended with $status"
echo "rename_smoke: renamed five files from the menu, bytes intact, quit with 0"
