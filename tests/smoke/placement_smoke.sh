#!/usr/bin/env bash
# The window's placement under a real window manager (openbox in Xvfb): the
# first start comes up centred at an outer size of 411 x 321 with the frame
# counted, every time, and saves that; a start with a bad stored value and
# a file that cannot be listed shows its boxes over the window once the
# window is on screen, and still saves 411 x 321.
# Usage: placement_smoke.sh PROGRAM
# Exits 77 (skipped) only when Xvfb, openbox or xdotool is not installed.
# shellcheck source=tests/smoke/common.sh
source "$(dirname "$0")/common.sh" placement_smoke Xvfb openbox xdotool xwininfo xprop

program=$(realpath "$1")
work=$(mktemp -d)
xvfb_pid="" wm_pid="" program_pid=""
cleanup() {
  for pid in "$program_pid" "$wm_pid" "$xvfb_pid"; do
    [[ -n "$pid" ]] && kill "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT



Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
display_known() { [[ -s "$work/display" ]]; }
wait_for 20 display_known || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$work/display")"
openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
wait_for 20 wm_ready || fail "openbox did not start"

# Outer geometry "x y width height" of a client window: its own plus the
# frame the window manager put around it.
outer() {
  local info extents
  info=$(xwininfo -id "$1")
  extents=$(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= //p' | tr -d ,)
  [[ -n "$extents" ]] || return 1
  read -r left right top bottom <<<"$extents"
  awk -v l="$left" -v r="$right" -v t="$top" -v b="$bottom" '
    /Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
    /Width:/ {w=$2} /Height:/ {h=$2}
    END {print x-l, y-t, w+l+r, h+t+b}' <<<"$info"
}

# Starts the program with a fresh settings folder holding `$1` (may be
# empty) and the files `$2...`; sets $window.
start() {
  rm -rf "$work/config" "$work/runtime"
  mkdir -p "$work/config/Brindle" "$work/runtime"
  chmod 700 "$work/runtime"
  [[ -z "$1" ]] || printf '%b' "$1" >"$work/config/Brindle/Selvane.ini"
  shift
  env XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$work/none" XDG_RUNTIME_DIR="$work/runtime" \
    XDG_STATE_HOME="$work/state" XDG_DATA_HOME="$work/data" \
    QT_QPA_PLATFORM=xcb "$program" "$@" >"$work/program.log" 2>&1 &
  program_pid=$!
  window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Selvane$' | head -n 1 || true)
  [[ -n "$window" ]] || fail "no window titled Selvane appeared"
}

quit() {
  xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
  xdotool key --window "$window" alt+f
  sleep 0.3
  xdotool key x
  ended() { ! kill -0 "$program_pid" 2>/dev/null; }
  wait_for 20 ended || fail "the program did not end after 終了"
  wait "$program_pid" || fail "the program ended with $?"
  program_pid=""
}

stored() { sed -n "s/^$1=//p" "$work/config/Brindle/Selvane.ini"; }

expected_place="306 223 411 321" # centred on 1024 x 768
for round in 1 2 3 4 5; do
  start ""
  framed() { outer "$window" >/dev/null; }
  wait_for 20 framed || fail "no frame around the window"
  sleep 0.5
  place=$(outer "$window")
  [[ "$place" == "$expected_place" ]] || fail "start $round: outer geometry $place, not $expected_place"
  quit
  [[ "$(stored width)x$(stored height)" == 411x321 ]] ||
    fail "start $round saved $(stored width)x$(stored height)"
  [[ "$(stored left) $(stored top)" == "306 223" ]] ||
    fail "start $round saved the place $(stored left) $(stored top)"
done

# A bad stored value; a name without a Shift-JIS form: each start's box
# comes up over the window, only once the window is on screen.
mkdir -p "$work/files"
: >"$work/files/노래.mp3"
box_over_window() {
  [[ "$(xwininfo -id "$window" | awk '/Map State/{print $3}')" == IsViewable ]] ||
    fail "$1: the window is not on screen"
  boxes() { (($(xdotool search --onlyvisible --pid "$program_pid" | wc -l) >= 2)); }
  wait_for 20 boxes || fail "$1: no box came up"
  sleep 0.3
  local wx wy ww wh bx by bw bh dialog
  read -r wx wy ww wh <<<"$(outer "$window")"
  dialog=$(xdotool getactivewindow)
  [[ "$dialog" != "$window" ]] || fail "$1: the box is not the active window"
  read -r bx by bw bh <<<"$(outer "$dialog")"
  local cx=$((bx + bw / 2)) cy=$((by + bh / 2))
  ((cx > wx && cx < wx + ww && cy > wy && cy < wy + wh)) ||
    fail "$1: the box at $bx,$by ${bw}x$bh is not over the window at $wx,$wy ${ww}x$wh"
  xdotool key Return
  gone() { (($(xdotool search --onlyvisible --pid "$program_pid" | wc -l) == 1)); }
  wait_for 20 gone || fail "$1: the box did not close"
  sleep 0.3
  local place
  place=$(outer "$window")
  [[ "$place" == "$expected_place" ]] || fail "$1: outer geometry $place afterwards"
  quit
  [[ "$(stored width)x$(stored height)" == 411x321 ]] ||
    fail "$1: saved $(stored width)x$(stored height)"
}
start '[General]\nParamExist=1\ncb1=yes\n'
box_over_window "bad stored value"
start "" "$work/files/노래.mp3"
box_over_window "unlistable file"
echo "placement_smoke: centred at 411x321 five times, start-up boxes over the window, sizes saved"
