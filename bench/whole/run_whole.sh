#!/usr/bin/env bash
# Whole-process benchmark of Selvane on 1024 tagged files, run by hand.
# bench/whole/README.md says what each figure means and how it is taken.
#
# Usage: bench/whole/run_whole.sh [SELVANE] [--rounds N] [--files N] [--keep] [--nice N]
#   SELVANE   the program to measure (default: build/app/selvane of this tree)
#   --rounds  measured rounds (default 5; a warm-up round comes first)
#   --files   files in the folder (default 1024)
#   --keep    keep the work folder (logs, tools, results) and say where
#   --nice N  niceness of Xvfb and every measured program (default -10 as root,
#             so that other work on the machine disturbs the figures less)
#
# Installs what is missing (Debian packages), builds its helpers with cc and
# g++ into a temporary folder, starts one Xvfb, and runs the C floor, the
# minimal Qt window, Selvane and kid3-cli round-robin on fresh copies of the
# same folder. Prints medians, the ratios against the targets with PASS or
# FAIL, and the peak memory. Exits non-zero only when it could not measure.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
selvane="$root/build/app/selvane"
rounds=5
files=1024
keep=0
nice_level=0
(($(id -u) == 0)) && nice_level=-10
while (($#)); do
  case $1 in
    --nice) nice_level=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h | --help) sed -n '2,18p' "$0"; exit 0 ;;
    -*) echo "run_whole: unknown option $1" >&2; exit 2 ;;
    *) selvane=$1; shift ;;
  esac
done
[[ -x $selvane ]] || { echo "run_whole: no program at $selvane (build it first)" >&2; exit 2; }
selvane=$(realpath "$selvane")

# --- what it needs --------------------------------------------------------
packages=(xvfb xdotool kid3-cli gcc g++ pkg-config libx11-dev libxdamage-dev libxtst-dev
  qt6-base-dev fonts-ipafont-gothic)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  (($(id -u) == 0)) || sudo=sudo
  echo "run_whole: installing ${missing[*]}" >&2
  $sudo apt-get update >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}" >&2
fi

work=$(mktemp -d /tmp/selvane-whole-XXXXXX)
xvfb_pid=""
cleanup() {
  if [[ -n $xvfb_pid ]]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  if ((keep)); then echo "run_whole: work folder kept: $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
die() { echo "run_whole: $*" >&2; exit 1; }

# --- helpers -------------------------------------------------------------
tools=$work/tools
mkdir -p "$tools" "$work/used" "$work/logs" "$work/home" "$work/config-system" "$work/runtime"
chmod 700 "$work/runtime"
cflags=(-O2 -Wall -Wextra)
cc "${cflags[@]}" -o "$tools/probe" "$here/probe.c" -lX11 -lXdamage -lXtst
cc "${cflags[@]}" -o "$tools/make_files" "$here/make_files.c"
cc "${cflags[@]}" -o "$tools/rename_floor" "$here/rename_floor.c"
# shellcheck disable=SC2046
g++ "${cflags[@]}" -std=c++17 -fPIC -o "$tools/floor_window" "$here/floor_window.cpp" \
  $(pkg-config --cflags --libs Qt6Widgets)

master=$work/master
mkdir "$master"
"$tools/make_files" "$master" "$files" "$work/expected.tsv"
LC_ALL=C sort -t $'\t' -k2 "$work/expected.tsv" | cut -f2 >"$work/expected-new.txt"
folder=$work/run/files  # every run starts on a fresh copy at this same path
args=()
while IFS=$'\t' read -r old _; do args+=("$folder/$old"); done <"$work/expected.tsv"
ascii=$(((files + 2) / 3))

used=0
fresh_copy() {
  # Deleting a thousand files is slow on some file systems: the used copy
  # is moved aside and removed at the end.
  if [[ -e $work/run ]]; then
    used=$((used + 1))
    mv "$work/run" "$work/used/$used"
  fi
  mkdir -p "$work/run"
  cp -a "$master" "$folder"
  # No write-back of the copy may fall into a measurement.
  sync -f "$folder"
}

# One Xvfb for every run; no window manager.
nice -n "$nice_level" Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/logs/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.05; done
[[ -s $work/display ]] || die "Xvfb did not start (see $work/logs/xvfb.log)"
display=":$(head -n 1 "$work/display")"

# Every program runs in the same clean environment with a fresh, empty
# settings folder (so Selvane starts with its default rule "$T($A).mp3" and
# kid3-cli with its defaults) and a private runtime folder for the lock.
probe() {
  local name=$1
  shift
  rm -rf "$work/config"
  mkdir "$work/config"
  nice -n "$nice_level" env -i PATH="$PATH" DISPLAY="$display" HOME="$work/home" LC_ALL=C.UTF-8 \
    XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$work/config-system" \
    XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
    "$tools/probe" --xserver "$xvfb_pid" --log "$work/logs/$name.log" "$@"
}

# Names in the folder against the expected ones: "ok", or what differs.
check_names() {
  local got=$work/got.txt
  find "$folder" -mindepth 1 -maxdepth 1 -printf '%f\n' | LC_ALL=C sort >"$got"
  if cmp -s "$got" "$work/expected-new.txt"; then
    echo ok
  else
    echo "$(LC_ALL=C comm -23 "$work/expected-new.txt" "$got" | wc -l) expected names missing," \
      "$(LC_ALL=C comm -13 "$work/expected-new.txt" "$got" | wc -l) others present," \
      "e.g. \"$(LC_ALL=C comm -13 "$work/expected-new.txt" "$got" | head -n 1)\""
  fi
}

results=$work/results.tsv
: >"$results"
record() {  # JOB ROUND OUTPUT
  local key value
  while IFS='=' read -r key value; do
    [[ -n $key ]] && printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$key" "$value" >>"$results"
  done <<<"$3"
}

kid3_names=""
retries=0
attempt() {  # JOB NAME: the probe's output on stdout; non-zero when it failed
  case $1 in
    floor) probe "$2" floor "$folder" "$files" -- "$tools/rename_floor" "${args[@]}" ;;
    minimal) probe "$2" window FloorWindow -- "$tools/floor_window" "${args[@]}" ;;
    steps) probe "$2" steps Selvane "$folder" "$files" -- "$selvane" "${args[@]}" ;;
    whole) probe "$2" whole Selvane "$folder" "$files" -- "$selvane" "${args[@]}" ;;
    kid3)
      probe "$2" run -- kid3-cli -c "config Tag.textEncodingV1 Shift_JIS" \
        -c "select all" -c "fromtag '%{title}(%{artist})' 1" "$folder"
      ;;
  esac
}

run_job() {  # JOB ROUND
  local job=$1 round=$2 out names status
  fresh_copy
  # A run that fails (a key lost on a loaded machine, say) is tried once more
  # on a fresh copy; the report counts such retries.
  out=$(attempt "$job" "$job-$round") || {
    status=$?
    echo "run_whole: $job failed in round $round with status $status; trying once more" >&2
    retries=$((retries + 1))
    fresh_copy
    out=$(attempt "$job" "$job-$round-retry") ||
      die "$job failed twice in round $round (logs: $work/logs/$job-$round*.log)"
  }
  grep -qx 'status=0' <<<"$out" || die "$job ended with $(grep status= <<<"$out") in round $round"
  if [[ $job != minimal ]]; then
    names=$(check_names)
    if [[ $job == kid3 ]]; then
      [[ $names == ok ]] || kid3_names=$names
    else
      [[ $names == ok ]] || die "$job in round $round left wrong names: $names"
    fi
  fi
  ((round == 0)) || record "$job" "$round" "$out"
}

jobs=(floor minimal steps kid3 whole)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
echo "run_whole: $files files, warm-up round and $rounds rounds of ${jobs[*]} (order rotates)" >&2
for ((round = 0; round <= rounds; ++round)); do
  for ((j = 0; j < ${#jobs[@]}; ++j)); do
    run_job "${jobs[(j + round) % ${#jobs[@]}]}" "$round"
  done
  echo "run_whole: round $round done" >&2
done
# How late polling sees a window: the same start watched both ways.
for ((round = 1; round <= rounds; ++round)); do
  fresh_copy
  out=$(probe "poll-minimal-$round" poll FloorWindow -- "$tools/floor_window" "${args[@]}") ||
    die "polling the minimal window failed (log: $work/logs/poll-minimal-$round.log)"
  record poll-minimal "$round" "$out"
  fresh_copy
  out=$(probe "poll-selvane-$round" poll Selvane -- "$selvane" "${args[@]}") ||
    die "polling Selvane failed (log: $work/logs/poll-selvane-$round.log)"
  record poll-selvane "$round" "$out"
done

load_after=$(cut -d' ' -f1-3 /proc/loadavg)
rm -rf "$work/used" "$work/run"

# --- report --------------------------------------------------------------
median() {  # JOB KEY
  awk -F'\t' -v j="$1" -v k="$2" '$1 == j && $3 == k { print $4 }' "$results" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
spread() {  # JOB KEY
  awk -F'\t' -v j="$1" -v k="$2" '$1 == j && $3 == k { print $4 }' "$results" | sort -g |
    awk '{ v[NR] = $1 } END { printf "%s..%s", v[1], v[NR] }'
}
minimum() {  # JOB KEY
  awk -F'\t' -v j="$1" -v k="$2" '$1 == j && $3 == k { print $4 }' "$results" | sort -g | head -n 1
}
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }
verdict() { awk "BEGIN { print ($1) ? \"PASS\" : \"FAIL\" }"; }
line() { printf '  %-54s %9s  (%s)\n' "$1" "$2" "$3"; }

floor_rename=$(median floor rename_ms)
selvane_rename=$(median steps rename_ms)
minimal_start=$(median minimal start_ms)
selvane_start=$(median steps start_ms)
minimal_exit=$(median minimal exit_ms)
selvane_exit=$(median steps exit_ms)
kid3_whole=$(median kid3 wall_ms)
selvane_whole=$(median whole whole_ms)
minimal_rss=$(median minimal maxrss_kb)
selvane_rss=$(median steps maxrss_kb)
rename_ratio=$(calc "$selvane_rename / $floor_rename")
start_ratio=$(calc "$selvane_start / $minimal_start")
whole_ratio=$(calc "$kid3_whole / $selvane_whole")
rss_ratio=$(calc "$selvane_rss / $minimal_rss")

cat <<EOF

Selvane whole-process benchmark
  program   $selvane
  files     $files ($ascii with ASCII tags, $((files - ascii)) with Shift-JIS tags), rule "\$T(\$A).mp3"
  method    Xvfb 1024x768, no window manager, warm cache, $rounds rounds round-robin
            after a warm-up round; medians in ms (min..max); ratios of medians;
            Xvfb and the programs at niceness $nice_level; runs tried again: $retries
  load      $load_before before, $load_after after (1, 5, 15 min; above 1 other work shared the 2 cores)

rename command: key R in the open menu ﾌｧｲﾙ to every new name on disk
EOF
line "C floor: open/fstat/pread/close/iconv/renameat2" "$floor_rename" "$(spread floor rename_ms)"
line "Selvane" "$selvane_rename" "$(spread steps rename_ms)"
line "  status-line flushes to the X server during it" "$(median steps rename_flushes)" "$(spread steps rename_flushes)"
line "  (the floor's own clock, without the trigger)" "$(median floor internal_ms)" "$(spread floor internal_ms)"
line "  CPU time of the C floor" "$(median floor rename_cpu_ms)" "$(spread floor rename_cpu_ms)"
line "  CPU time of Selvane" "$(median steps rename_cpu_ms)" "$(spread steps rename_cpu_ms)"
line "  CPU time of the X server meanwhile" "$(median steps rename_x_cpu_ms)" "$(spread steps rename_x_cpu_ms)"
echo "start with $files files: exec to the main window mapped and first painted"
line "minimal Qt 6 window, same arguments" "$minimal_start" "$(spread minimal start_ms)"
line "Selvane" "$selvane_start" "$(spread steps start_ms)"
line "  Selvane mapped (before painting)" "$(median steps map_ms)" "$(spread steps map_ms)"
line "  minimal window settled (last drawing before 150 ms quiet)" "$(median minimal settled_ms)" "$(spread minimal settled_ms)"
line "  Selvane settled (last drawing before 150 ms quiet)" "$(median steps settled_ms)" "$(spread steps settled_ms)"
line "  CPU time of the minimal window to shown" "$(median minimal start_cpu_ms)" "$(spread minimal start_cpu_ms)"
line "  CPU time of Selvane to shown" "$(median steps start_cpu_ms)" "$(spread steps start_cpu_ms)"
echo "exit: WM_DELETE_WINDOW sent to the process having ended"
line "minimal Qt 6 window" "$minimal_exit" "$(spread minimal exit_ms)"
line "Selvane (after the rename, $files entries)" "$selvane_exit" "$(spread steps exit_ms)"
line "  CPU time of Selvane from the close request" "$(median steps exit_cpu_ms)" "$(spread steps exit_cpu_ms)"
echo "whole job: start, rename from the menu, close, process ended"
line "kid3-cli (ID3v1 as Shift_JIS, fromtag '%{title}(%{artist})')" "$kid3_whole" "$(spread kid3 wall_ms)"
line "Selvane" "$selvane_whole" "$(spread whole whole_ms)"
line "  of which start to shown" "$(median whole start_ms)" "$(spread whole start_ms)"
line "  of which key R to all names on disk" "$(median whole rename_ms)" "$(spread whole rename_ms)"
line "  of which close to ended" "$(median whole exit_ms)" "$(spread whole exit_ms)"
if [[ -z $kid3_names ]]; then
  echo "  kid3-cli gave every file the same new name as Selvane"
else
  echo "  kid3-cli's names differ: $kid3_names"
fi
echo "peak memory (max RSS, KiB)"
line "minimal Qt 6 window" "$minimal_rss" "$(spread minimal maxrss_kb)"
line "Selvane with $files entries, started, renamed, closed" "$selvane_rss" "$(spread steps maxrss_kb)"
line "kid3-cli" "$(median kid3 maxrss_kb)" "$(spread kid3 maxrss_kb)"
echo "watching by polling: xdotool search --sync --onlyvisible on the same starts"
line "minimal window: xdotool sees it at" "$(median poll-minimal xdotool_ms)" "event watcher: $(median poll-minimal start_ms)"
line "Selvane: xdotool sees it at" "$(median poll-selvane xdotool_ms)" "event watcher: $(median poll-selvane start_ms)"

cat <<EOF

targets (on medians; the best of the $rounds rounds beside them for a noisy machine)
  rename command  Selvane / C floor          $rename_ratio  <= 1.50  $(verdict "$rename_ratio <= 1.5")   best $(calc "$(minimum steps rename_ms) / $(minimum floor rename_ms)")
  start           Selvane / minimal window   $start_ratio  <= 1.25  $(verdict "$start_ratio <= 1.25")   best $(calc "$(minimum steps start_ms) / $(minimum minimal start_ms)")
  exit            Selvane, absolute          $(calc "$selvane_exit") ms  <= 50 ms  $(verdict "$selvane_exit <= 50")   best $(calc "$(minimum steps exit_ms)") ms
  whole job       kid3-cli / Selvane         $whole_ratio  >= 2.00  $(verdict "$whole_ratio >= 2")   best $(calc "$(minimum kid3 wall_ms) / $(minimum whole whole_ms)")
  (CPU time)      rename $(calc "$(median steps rename_cpu_ms) / $(median floor rename_cpu_ms)")x the C floor's, start $(calc "$(median steps start_cpu_ms) / $(median minimal start_cpu_ms)")x the minimal window's
  peak memory     Selvane / minimal window   $rss_ratio  (reported, no target)
EOF
exit 0
