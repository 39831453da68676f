#!/usr/bin/env bash
# Starts the program in a real X server (Xvfb, xcb platform) on demo MP3
# files, checks that its window "Selvane" comes up, then quits it through
# its menu (ﾌｧｲﾙ → 終了) and checks that it ended with 0 and saved its
# settings. Usage: smoke.sh PROGRAM DEMO_TOOL
set -euo pipefail

if [[ "${1:-}" != --inside ]]; then
  program=$(realpath "$1")
  demo_tool=$(realpath "$2")
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/config" "$work/config-system" "$work/runtime"
  chmod 700 "$work/runtime"
  "$demo_tool" "$work/demo"
  # xvfb-run -a starts its search for a free display at the given number;
  # a random start keeps parallel runs from racing for the same one.
  # An X server lost to another run that took the same display number at
  # the same moment (status 3) is tried again on another one.
  for attempt in 1 2 3; do
    status=0
    XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$work/config-system" \
      XDG_RUNTIME_DIR="$work/runtime" XDG_STATE_HOME="$work/state" XDG_DATA_HOME="$work/data" \
      QT_QPA_PLATFORM=xcb \
      xvfb-run -a -n $((100 + RANDOM % 800)) -e "$work/xvfb.log" -s "-screen 0 1024x768x24" \
      "$0" --inside "$program" "$work" || status=$?
    [[ $status == 3 ]] || exit $status
    echo "smoke: no X server on attempt $attempt, trying another display" >&2
  done
  exit 1
fi

program=$2
work=$3
cd "$work/demo"
"$program" ./*.mp3 >"$work/program.log" 2>&1 &
pid=$!

fail() {
  echo "smoke: $*" >&2
  cat "$work/program.log" >&2 || true
  kill "$pid" 2>/dev/null || true
  exit 1
}

window=""
for _ in $(seq 1 100); do
  window=$(xdotool search --name '^Selvane$' 2>/dev/null | head -n 1 || true)
  [[ -n "$window" ]] && break
  if ! kill -0 "$pid" 2>/dev/null; then
    grep -q 'could not connect to display' "$work/program.log" && exit 3
    fail "the program ended before its window appeared"
  fi
  sleep 0.1
done
[[ -n "$window" ]] || fail "no window titled Selvane appeared"
echo "smoke: window $window: $(xdotool getwindowgeometry "$window" | tr '\n' ' ')"
sleep 0.5

# Exit through the menu; the close saves the settings.
xdotool windowfocus --sync "$window"
xdotool key --window "$window" alt+f
sleep 0.3
xdotool key x
status=""
for _ in $(seq 1 50); do
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid" && status=0 || status=$?
    break
  fi
  sleep 0.1
done
[[ -n "$status" ]] || fail "the program did not end after 終了"
[[ "$status" == 0 ]] || fail "the program ended with $status"
grep -q '^ParamExist=1' "$work/config/Brindle/Selvane.ini" || fail "no settings were saved"
echo "smoke: started, showed its window, quit with 0 and saved its settings"
