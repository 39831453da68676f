#!/usr/bin/env bash
# Whole-process benchmark of Selvane on folders of tagged files, run by hand.
# bench/whole/README.md says what each figure means and how it is taken.
#
# Usage: bench/whole/run_whole.sh [SELVANE] [--rounds N] [--files N[,N...]]
#                                 [--layout PATH] [--kid3-upto N] [--keep] [--nice N]
#                                 [--slow-us N] [--before PATH] [--jobs LIST]
#   SELVANE   the program to measure (default: build/app/selvane of this tree)
#   --rounds  measured rounds (default 7; a warm-up round comes first)
#   --files   files in the folder, one count or several side by side
#             (default 1024; e.g. 1024,20000,100000; the smallest is the base
#             that the others are compared with)
#   --layout  the same-layout window (default: bench/whole/layout_window of
#             the build that SELVANE comes from)
#   --kid3-upto N  run kid3-cli at counts up to N only (default: the smallest
#             count; it takes minutes on 20,000 files, far longer on 100,000)
#   --keep    keep the work folder (logs, tools, results) and say where
#   --nice N  niceness of Xvfb and every measured program (default -10 as root,
#             so that other work on the machine disturbs the figures less)
#   --slow-us N  on a slow medium: every folder is served through slowfs
#             (tools/slowfs, FUSE, as root), each call held N microseconds, as
#             on a share; measures start, refresh and rename against the
#             floors that read with 64 requests in flight (wide_floor.c)
#   --before PATH  also measures PATH (an earlier build) alternating with
#             SELVANE on the same folders, and compares the two
#   --jobs LIST  only these jobs (comma-separated; see "jobs=" below)
#
# Installs what is missing (Debian packages), builds its helpers with cc and
# g++ into a temporary folder, starts one Xvfb, and runs the C floors (rename,
# list), the minimal Qt window, the same-layout window, Selvane and kid3-cli
# round-robin on the same folders, put back as they were before each run.
# Prints medians, the ratios against the targets with PASS or FAIL, and the
# peak memory. Exits non-zero when it could not measure (a job failed: the
# report says which and why).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
selvane="$root/build/app/selvane"
layout=""
kid3_upto=""
slow_us=""
before=""
only_jobs=""
rounds=7
files=1024
keep=0
nice_level=0
(($(id -u) == 0)) && nice_level=-10
while (($#)); do
  case $1 in
    --nice) nice_level=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --layout) layout=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --kid3-upto) kid3_upto=$2; shift 2 ;;
    --slow-us) slow_us=$2; shift 2 ;;
    --before) before=$2; shift 2 ;;
    --jobs) only_jobs=$2; shift 2 ;;
    -h | --help) sed -n '2,34p' "$0"; exit 0 ;;
    -*) echo "run_whole: unknown option $1" >&2; exit 2 ;;
    *) selvane=$1; shift ;;
  esac
done
[[ -x $selvane ]] || { echo "run_whole: no program at $selvane (build it first)" >&2; exit 2; }
selvane=$(realpath "$selvane")
if [[ -n $before ]]; then
  [[ -x $before ]] || { echo "run_whole: no program at $before" >&2; exit 2; }
  before=$(realpath "$before")
fi
if [[ -n $slow_us ]]; then
  [[ $slow_us =~ ^[0-9]+$ ]] || { echo "run_whole: --slow-us takes microseconds" >&2; exit 2; }
  (($(id -u) == 0)) || { echo "run_whole: --slow-us mounts the slow medium: run as root" >&2; exit 2; }
fi
[[ -n $layout ]] || layout=$(dirname "$selvane")/../bench/whole/layout_window
[[ -x $layout ]] || {
  echo "run_whole: no same-layout window at $layout (build the target layout_window, or give --layout)" >&2
  exit 2
}
layout=$(realpath "$layout")
counts=()
for c in ${files//,/ }; do
  if [[ ! $c =~ ^[1-9][0-9]*$ ]] || ((c > 999999)); then
    echo "run_whole: --files takes counts 1..999999" >&2
    exit 2
  fi
  counts+=("$c")
done
((${#counts[@]})) || { echo "run_whole: --files needs a count" >&2; exit 2; }
mapfile -t counts < <(printf '%s\n' "${counts[@]}" | sort -n -u)
base=${counts[0]}
largest=${counts[-1]}
[[ -n $kid3_upto ]] || kid3_upto=$base
[[ $kid3_upto =~ ^[0-9]+$ ]] || { echo "run_whole: --kid3-upto takes a count" >&2; exit 2; }

# --- what it needs --------------------------------------------------------
packages=(xvfb xdotool kid3-cli gcc g++ pkg-config libx11-dev libxdamage-dev libxtst-dev
  qt6-base-dev fonts-ipafont-gothic)
[[ -z $slow_us ]] || packages+=(fuse3 libfuse3-dev)
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

# Every program gets all the paths as arguments. The kernel takes at most a
# quarter of the stack limit for them (and never more than 6 MiB): a larger
# limit for everything started from here, the measured programs alike.
if [[ $(ulimit -s) != unlimited ]] && (($(ulimit -s) < 65536)); then
  ulimit -s 65536 2>/dev/null || echo "run_whole: cannot raise the stack limit; large counts may not fit" >&2
fi

work=$(mktemp -d /tmp/selvane-whole-XXXXXX)
xvfb_pid=""
inotify_queue=/proc/sys/fs/inotify/max_queued_events
inotify_was=""
mounted=()
fusectl=/sys/fs/fuse/connections
cleanup() {
  # Every slow medium goes before the folders: nothing is removed through one.
  local m
  for m in "${mounted[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" || true; done
  if [[ -n $xvfb_pid ]]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  [[ -z $inotify_was ]] || echo "$inotify_was" >"$inotify_queue" 2>/dev/null || true
  if ((keep)); then
    echo "run_whole: work folder kept: $work" >&2
  else
    echo "run_whole: removing the work folder (slow for many files)" >&2
    rm -rf "$work"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
die() { echo "run_whole: $*" >&2; exit 1; }

# Every name moved is one inotify event, queued until the probe reads it: the
# queue must hold a whole run's, should the probe fall behind.
queue=$(cat "$inotify_queue" 2>/dev/null || echo 0)
if ((queue < 2 * largest)); then
  if { echo $((2 * largest)) >"$inotify_queue"; } 2>/dev/null; then
    inotify_was=$queue
  else
    echo "run_whole: cannot raise $inotify_queue ($queue); the probe may see it overflow" >&2
  fi
fi

# --- helpers -------------------------------------------------------------
tools=$work/tools
mkdir -p "$tools" "$work/logs" "$work/home" "$work/config-system" "$work/runtime" "$work/spoilt"
# Where the floor that writes its plan down keeps it: beside Selvane's history.
: >"$work/home/floor-plan"
chmod 700 "$work/runtime"
cflags=(-O2 -Wall -Wextra)
cc "${cflags[@]}" -o "$tools/probe" "$here/probe.c" -lX11 -lXdamage -lXtst
cc "${cflags[@]}" -o "$tools/make_files" "$here/make_files.c"
cc "${cflags[@]}" -o "$tools/rename_floor" "$here/rename_floor.c"
cc "${cflags[@]}" -o "$tools/list_floor" "$here/list_floor.c"
cc "${cflags[@]}" -o "$tools/wide_floor" "$here/wide_floor.c" -lpthread
if [[ -n $slow_us ]]; then
  # shellcheck disable=SC2046
  cc "${cflags[@]}" -o "$tools/slowfs" "$root/tools/slowfs/slowfs.c" $(pkg-config --cflags --libs fuse3)
  # Each medium's count of calls in flight, which the probe reads to tell a
  # program waiting on the medium from one at rest. It stays mounted (as
  # systemd mounts it at boot): another run may be reading it.
  mountpoint -q "$fusectl" || mount -t fusectl fusectl "$fusectl" || die "cannot mount $fusectl"
fi
cc "${cflags[@]}" -o "$tools/restore_names" "$here/restore_names.c"
# shellcheck disable=SC2046
g++ "${cflags[@]}" -std=c++17 -fPIC -o "$tools/floor_window" "$here/floor_window.cpp" \
  $(pkg-config --cflags --libs Qt6Widgets)

# --- the folders ----------------------------------------------------------
# One folder per count, at a short path ($work/K), so that 100,000 paths fit
# on one command line. K-list.tsv holds "OLD<TAB>NEW" per file, K-new.txt the
# new names sorted, K-args the arguments (NUL-separated). With --slow-us the
# files lie in $work/K.disk and slowfs serves them at $work/K; the script
# puts them back and checks them there, past the slow medium.
disk() { if [[ -n $slow_us ]]; then echo "$work/$1.disk"; else echo "$work/$1"; fi; }
make_folder() {  # K COUNT
  local dir
  dir=$(disk "$1")
  mkdir "$dir"
  "$tools/make_files" "$dir" "$2" "$work/$1-list.tsv"
  [[ -n $slow_us ]] || return 0
  mkdir -p "$work/$1"
  "$tools/slowfs" --delay-us "$slow_us" "$dir" "$work/$1" || die "slowfs cannot mount $work/$1"
  mounted+=("$work/$1")
}
busy_of() {  # K: the probe's option that watches folder K's medium
  [[ -n $slow_us ]] || return 0
  printf '%s\n' --busy "$fusectl/$(mountpoint -d "$work/$1" | cut -d: -f2)/waiting"
}
unmount_folder() {  # K
  umount "$work/$1" || die "cannot unmount $work/$1"
  local m kept=()
  for m in "${mounted[@]}"; do [[ $m == "$work/$1" ]] || kept+=("$m"); done
  mounted=("${kept[@]}")
}
for k in "${!counts[@]}"; do
  echo "run_whole: writing ${counts[k]} files" >&2
  make_folder "$k" "${counts[k]}"
  LC_ALL=C sort -t $'\t' -k2 "$work/$k-list.tsv" | cut -f2 >"$work/$k-new.txt"
  while IFS=$'\t' read -r old _; do printf '%s\0' "$work/$k/$old"; done <"$work/$k-list.tsv" >"$work/$k-args"
  # Paths, their NULs and pointers, with room for the environment.
  need=$(($(stat -c %s "$work/$k-args") + 8 * counts[k] + 65536))
  stack=$(ulimit -s)
  room=$((6 * 1024 * 1024))
  [[ $stack == unlimited ]] || ((stack * 1024 / 4 >= room)) || room=$((stack * 1024 / 4))
  ((need <= room)) || die "${counts[k]} paths take $need bytes of arguments; at most $room fit"
done

# Before each run the folder is put back as it was written (or written anew
# when that fails), then synced so that no write-back falls into a
# measurement.
ready_folder() {  # K
  local dir
  dir=$(disk "$1")
  if ! "$tools/restore_names" "$dir" "$work/$1-list.tsv" 2>>"$work/logs/restore.log"; then
    echo "run_whole: writing the ${counts[$1]} files anew" >&2
    [[ -z $slow_us ]] || unmount_folder "$1"
    mv "$dir" "$work/spoilt/$1-$RANDOM$RANDOM"
    make_folder "$1" "${counts[$1]}"
  fi
  sync -f "$dir"
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
# With ID3V2_ON=1 the settings folder holds a store with "ID3v2 も使う" on.
probe() {  # NAME TIMEOUT-MS PROBE-ARGUMENTS...
  local name=$1 timeout=$2
  shift 2
  rm -rf "$work/config"
  mkdir "$work/config"
  if [[ ${ID3V2_ON:-0} == 1 ]]; then
    mkdir "$work/config/Brindle"
    printf '[General]\nParamExist=1\nid3v2=1\n' >"$work/config/Brindle/Selvane.ini"
  fi
  nice -n "$nice_level" env -i PATH="$PATH" DISPLAY="$display" HOME="$work/home" LC_ALL=C.UTF-8 \
    XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$work/config-system" \
    XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
    "$tools/probe" --xserver "$xvfb_pid" --timeout "$timeout" \
    --log "$work/logs/$name.log" "$@" 2>"$work/logs/$name.err"
}

# Names in folder K against the expected ones: "ok", or what differs.
check_names() {  # K
  local got=$work/got.txt expected=$work/$1-new.txt
  find "$(disk "$1")" -mindepth 1 -maxdepth 1 -printf '%f\n' | LC_ALL=C sort >"$got"
  if cmp -s "$got" "$expected"; then
    echo ok
  else
    echo "$(LC_ALL=C comm -23 "$expected" "$got" | wc -l) of $(wc -l <"$expected") expected names" \
      "missing, $(LC_ALL=C comm -13 "$expected" "$got" | wc -l) others present," \
      "e.g. \"$(LC_ALL=C comm -13 "$expected" "$got" | head -n 1)\""
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

args=()
args_of=""
load_args() {  # K
  [[ $args_of == "$1" ]] && return
  mapfile -d '' -t args <"$work/$1-args"
  args_of=$1
}

# Each step may take 30 s plus 2 ms per file; kid3-cli, 60 s plus 20 ms. On
# the slow medium a file may also take 40 calls one after another (the
# program as it was before it read wide took 20 per file in a refresh).
attempt() {  # JOB K NAME: the probe's output on stdout; its status
  local dir=$work/$2 count=${counts[$2]} busy
  mapfile -t busy < <(busy_of "$2")
  local limit=$((30000 + (2 + 40 * ${slow_us:-0} / 1000) * count))
  load_args "$2"
  case $1 in
    floor) probe "$3" "$limit" floor "$dir" "$count" -- "$tools/rename_floor" "${args[@]}" ;;
    floor2) probe "$3" "$limit" floor "$dir" "$count" -- "$tools/rename_floor" --head "${args[@]}" ;;
    floor3)
      probe "$3" "$limit" floor "$dir" "$count" -- \
        "$tools/rename_floor" --record "$work/home/floor-plan" "${args[@]}"
      ;;
    # Exec to exit from the probe, and the floor's own clock from its output.
    list)
      probe "$3" "$limit" run -- "$tools/list_floor" "${args[@]}" &&
        { grep -h '^internal_ms=' "$work/logs/$3.log" || true; }
      ;;
    minimal) probe "$3" "$limit" window FloorWindow -- "$tools/floor_window" "${args[@]}" ;;
    layout) probe "$3" "$limit" window LayoutWindow -- "$layout" "${args[@]}" ;;
    steps) probe "$3" "$limit" "${busy[@]}" steps Selvane "$dir" "$count" -- "$selvane" "${args[@]}" ;;
    steps2) ID3V2_ON=1 probe "$3" "$limit" "${busy[@]}" steps Selvane "$dir" "$count" -- "$selvane" "${args[@]}" ;;
    before) probe "$3" "$limit" "${busy[@]}" steps Selvane "$dir" "$count" -- "$before" "${args[@]}" ;;
    before2) ID3V2_ON=1 probe "$3" "$limit" "${busy[@]}" steps Selvane "$dir" "$count" -- "$before" "${args[@]}" ;;
    wlist | wlist2)
      local head=()
      [[ $1 == wlist ]] || head=(--head)
      probe "$3" "$limit" run -- "$tools/wide_floor" "${head[@]}" "${args[@]}" &&
        { grep -h '^internal_ms=' "$work/logs/$3.log" || true; }
      ;;
    wfloor)
      probe "$3" "$limit" floor "$dir" "$count" -- \
        "$tools/wide_floor" --record "$work/home/floor-plan" "${args[@]}"
      ;;
    whole) probe "$3" "$limit" whole Selvane "$dir" "$count" -- "$selvane" "${args[@]}" ;;
    kid3)
      probe "$3" $((60000 + 20 * count)) run -- kid3-cli -c "config Tag.textEncodingV1 Shift_JIS" \
        -c "select all" -c "fromtag '%{title}(%{artist})' 1" "$dir"
      ;;
  esac
}

# A job that could not be measured at a count is not tried again in later
# rounds; the report says why.
declare -A failed=() kid3_names=()
retries=0
why() {  # NAME: the probe's last word on the failure
  local said
  said=$(grep '^probe: ' "$work/logs/$1.err" 2>/dev/null | tail -n 1 | sed 's/^probe: //' || true)
  echo "${said:-no reason given (see $work/logs/$1.err)}"
}

no_moves='^(minimal|layout|list|wlist|wlist2)$'
run_job() {  # JOB K ROUND
  local job=$1 k=$2 round=$3 count=${counts[$2]} name out status names
  local key=$job@$count
  [[ -z ${failed[$key]+set} ]] || return 0
  [[ $job != kid3 ]] || ((count <= kid3_upto)) || return 0
  ready_folder "$k"
  name=$job-$count-$round
  status=0
  out=$(attempt "$job" "$k" "$name") || status=$?
  # A run that failed while watching (a key lost on a loaded machine, say)
  # is tried once more; one where the program did not do its part is not.
  if ((status == 1)); then
    echo "run_whole: $key failed in round $round: $(why "$name"); trying once more" >&2
    retries=$((retries + 1))
    ready_folder "$k"
    name=$name-retry
    status=0
    out=$(attempt "$job" "$k" "$name") || status=$?
  fi
  if ((status != 0)); then
    failed[$key]="round $round: $(why "$name")"
    [[ $job =~ $no_moves ]] || failed[$key]+="; names on disk: $(check_names "$k")"
    echo "run_whole: $key not measured: ${failed[$key]} (log: $work/logs/$name.*)" >&2
    return 0
  fi
  if ! grep -qx 'status=0' <<<"$out"; then
    failed[$key]="round $round: the program ended with $(grep status= <<<"$out" || true)"
    echo "run_whole: $key not measured: ${failed[$key]}" >&2
    return 0
  fi
  if ! [[ $job =~ $no_moves ]]; then
    names=$(check_names "$k")
    if [[ $job == kid3 ]]; then
      [[ $names == ok ]] || kid3_names[$count]=$names
    elif [[ $names != ok ]]; then
      failed[$key]="round $round: wrong names on disk: $names"
      echo "run_whole: $key not measured: ${failed[$key]}" >&2
      return 0
    fi
  fi
  ((round == 0)) || record "$key" "$round" "$out"
}

if [[ -n $slow_us ]]; then
  jobs=(layout steps wlist wfloor steps2 wlist2)
else
  jobs=(floor minimal layout steps kid3 whole floor2 steps2 list floor3)
fi
[[ -z $before ]] || jobs+=(before before2)
if [[ -n $only_jobs ]]; then
  IFS=, read -r -a jobs <<<"$only_jobs"
  for job in "${jobs[@]}"; do
    [[ $job =~ ^(floor|floor2|floor3|minimal|layout|steps|steps2|kid3|whole|list|wlist|wlist2|wfloor|before|before2)$ ]] ||
      die "--jobs: no job $job"
    [[ $job != before* || -n $before ]] || die "--jobs: $job needs --before"
  done
fi
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
echo "run_whole: ${counts[*]} files, a warm-up round at $base and $rounds rounds of ${jobs[*]}" \
  "(the order of counts and jobs rotates)" >&2
for ((round = 0; round <= rounds; ++round)); do
  for ((c = 0; c < ${#counts[@]}; ++c)); do
    k=$(((c + round) % ${#counts[@]}))
    # The warm-up (caches, fonts) is the same at any count: the base's only.
    ((round > 0 || k == 0)) || continue
    for ((j = 0; j < ${#jobs[@]}; ++j)); do
      run_job "${jobs[(j + round) % ${#jobs[@]}]}" "$k" "$round"
    done
  done
  echo "run_whole: round $round done" >&2
done
# How late polling sees a window: the same start watched both ways, at the base
# (on a local disk only).
load_args 0
poll_rounds=$rounds
[[ -z $slow_us ]] || poll_rounds=0
for ((round = 1; round <= poll_rounds; ++round)); do
  ready_folder 0
  if out=$(probe "poll-minimal-$round" $((30000 + 2 * base)) poll FloorWindow -- "$tools/floor_window" "${args[@]}"); then
    record poll-minimal "$round" "$out"
  else
    echo "run_whole: polling the minimal window failed: $(why "poll-minimal-$round")" >&2
  fi
  if out=$(probe "poll-selvane-$round" $((30000 + 2 * base)) poll Selvane -- "$selvane" "${args[@]}"); then
    record poll-selvane "$round" "$out"
  else
    echo "run_whole: polling Selvane failed: $(why "poll-selvane-$round")" >&2
  fi
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# --- report --------------------------------------------------------------
values() { awk -F'\t' -v j="$1" -v k="$2" '$1 == j && $3 == k { print $4 }' "$results" | sort -g; }
median() {  # JOB KEY
  values "$1" "$2" |
    awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
spread() { values "$1" "$2" | awk '{ v[NR] = $1 } END { if (NR) printf "%s..%s", v[1], v[NR] }'; }
minimum() { values "$1" "$2" | awk 'NR == 1 { print } END { if (NR == 0) print "nan" }'; }
# Arithmetic on figures that may be missing ("nan"): the result is then "n/a".
calc() {
  if [[ $1 == *nan* || $1 == *n/a* ]]; then echo n/a; else awk "BEGIN { printf \"%.2f\", $1 }"; fi
}
verdict() {  # VALUE OP LIMIT
  [[ $1 == n/a ]] && { echo "    "; return; }
  awk -v v="$1" -v l="$3" -v op="$2" 'BEGIN { ok = op == "<=" ? v <= l : v >= l; print ok ? "PASS" : "FAIL" }'
}
line() { printf '  %-60s %9s  (%s)\n' "$1" "$2" "$3"; }
figure() {  # LABEL JOB KEY: the median and spread, or why there is none
  local job=$2
  if [[ $job == kid3@* ]] && ((${job#kid3@} > kid3_upto)); then
    printf '  %-60s %9s  (%s)\n' "$1" "--" "not run above $kid3_upto files: --kid3-upto"
  elif [[ -n ${failed[$job]+set} ]]; then
    printf '  %-60s %9s  (%s)\n' "$1" "--" "not measured, see below"
  elif [[ -z $(values "$job" "$3") ]]; then
    printf '  %-60s %9s  (%s)\n' "$1" "--" "not run"
  else
    line "$1" "$(median "$job" "$3")" "$(spread "$job" "$3")"
  fi
}

report_count() {  # COUNT
  local n=$1 ascii=$((($1 + 2) / 3))
  cat <<EOF

with $n files ($ascii with ASCII tags, $((n - ascii)) with Shift-JIS tags)
start: exec to the main window mapped and first drawn, the $n paths as arguments
EOF
  figure "minimal Qt 6 window (reference)" "minimal@$n" start_ms
  figure "same-layout window (the floor)" "layout@$n" start_ms
  figure "Selvane" "steps@$n" start_ms
  figure "  Selvane mapped (before drawing)" "steps@$n" map_ms
  figure "  CPU time of the same-layout window to shown" "layout@$n" start_cpu_ms
  figure "  CPU time of Selvane to shown" "steps@$n" start_cpu_ms
  echo "settled: start to the last drawing before 150 ms without drawing or work"
  figure "minimal Qt 6 window" "minimal@$n" settled_ms
  figure "same-layout window" "layout@$n" settled_ms
  figure "Selvane" "steps@$n" settled_ms
  figure "C list floor: open/fstat/pread/close/iconv, kept (own clock)" "list@$n" internal_ms
  figure "  the same, exec to exit (for reference)" "list@$n" wall_ms
  echo "refresh: key A in the open menu 命名規則 (rule \"\$T.mp3\", every new name made again) to settled"
  figure "Selvane (absolute)" "steps@$n" refresh_ms
  figure "  CPU time of Selvane" "steps@$n" refresh_cpu_ms
  figure "Selvane with ID3v2 も使う on (every head read too)" "steps2@$n" refresh_ms
  figure "  CPU time of Selvane" "steps2@$n" refresh_cpu_ms
  echo "rename command: key R in the open menu ﾌｧｲﾙ to every new name on disk"
  figure "C floor: open/fstat/pread/close/iconv/renameat2" "floor@$n" rename_ms
  figure "Selvane" "steps@$n" rename_ms
  figure "  Selvane to settled after (the record of the outcome, the marks)" "steps@$n" rename_done_ms
  figure "  status-line flushes to the X server during it" "steps@$n" rename_flushes
  figure "  (the floor's own clock, without the trigger)" "floor@$n" internal_ms
  figure "C floor writing its plan down first (fdatasync)" "floor3@$n" rename_ms
  figure "C floor that also reads the first 1 KiB (pread at 0)" "floor2@$n" rename_ms
  figure "Selvane with ID3v2 も使う on" "steps2@$n" rename_ms
  figure "  CPU time of the C floor that also reads the head" "floor2@$n" rename_cpu_ms
  figure "  CPU time of Selvane with ID3v2 も使う on" "steps2@$n" rename_cpu_ms
  figure "  CPU time of the C floor" "floor@$n" rename_cpu_ms
  figure "  CPU time of Selvane" "steps@$n" rename_cpu_ms
  figure "  CPU time of the X server meanwhile" "steps@$n" rename_x_cpu_ms
  echo "exit: WM_DELETE_WINDOW sent to the process having ended"
  figure "minimal Qt 6 window" "minimal@$n" exit_ms
  figure "Selvane (after the rename and the refresh)" "steps@$n" exit_ms
  figure "  CPU time of Selvane from the close request" "steps@$n" exit_cpu_ms
  echo "whole job: start, rename from the menu, close, process ended"
  figure "kid3-cli (ID3v1 as Shift_JIS, fromtag '%{title}(%{artist})')" "kid3@$n" wall_ms
  figure "Selvane" "whole@$n" whole_ms
  figure "  of which start to shown" "whole@$n" start_ms
  figure "  of which key R to all names on disk" "whole@$n" rename_ms
  figure "  of which close to ended" "whole@$n" exit_ms
  if [[ -n ${failed[kid3@$n]+set} ]] || ((n > kid3_upto)); then
    :
  elif [[ -z ${kid3_names[$n]+set} ]]; then
    echo "  kid3-cli gave every file the same new name as Selvane"
  else
    echo "  kid3-cli's names differ: ${kid3_names[$n]}"
  fi
  echo "peak memory (max RSS, KiB)"
  figure "minimal Qt 6 window" "minimal@$n" maxrss_kb
  figure "same-layout window" "layout@$n" maxrss_kb
  figure "C list floor" "list@$n" maxrss_kb
  figure "Selvane, $n entries: start, rename, refresh, close" "steps@$n" maxrss_kb
  figure "kid3-cli" "kid3@$n" maxrss_kb
}

# On the slow medium: the figures there against the floors that read wide.
report_slow() {  # COUNT
  local n=$1 ascii=$((($1 + 2) / 3))
  cat <<EOF

with $n files on the slow medium ($ascii with ASCII tags, $((n - ascii)) with Shift-JIS tags)
start: exec to the main window mapped and first drawn
EOF
  figure "same-layout window" "layout@$n" start_ms
  figure "Selvane" "steps@$n" start_ms
  [[ -z $before ]] || figure "Selvane before" "before@$n" start_ms
  echo "settled: start to the last drawing before 150 ms without drawing or work"
  figure "Selvane" "steps@$n" settled_ms
  [[ -z $before ]] || figure "Selvane before" "before@$n" settled_ms
  figure "C wide floor, 64 in flight (own clock)" "wlist@$n" internal_ms
  echo "refresh: key A in the open menu 命名規則 (rule \"\$T.mp3\") to settled"
  figure "Selvane" "steps@$n" refresh_ms
  [[ -z $before ]] || figure "Selvane before" "before@$n" refresh_ms
  figure "Selvane with ID3v2 も使う on" "steps2@$n" refresh_ms
  [[ -z $before ]] || figure "Selvane before with ID3v2 も使う on" "before2@$n" refresh_ms
  figure "C wide floor reading the first 10 bytes too (own clock)" "wlist2@$n" internal_ms
  echo "rename command: key R in the open menu ﾌｧｲﾙ to every new name on disk"
  figure "C floor: reads wide, synced record, moves one by one" "wfloor@$n" rename_ms
  figure "Selvane" "steps@$n" rename_ms
  figure "  Selvane to settled after (the record of the outcome, the marks)" "steps@$n" rename_done_ms
  [[ -z $before ]] || figure "Selvane before" "before@$n" rename_ms
  figure "Selvane with ID3v2 も使う on" "steps2@$n" rename_ms
  figure "  CPU time of Selvane" "steps@$n" rename_cpu_ms
  figure "peak memory of Selvane (max RSS, KiB)" "steps@$n" maxrss_kb
}

medium="the local disk"
[[ -z $slow_us ]] || medium="slowfs over every folder, each call held $slow_us µs"
cat <<EOF

Selvane whole-process benchmark
  program   $selvane${before:+ (before: $before)}
  medium    $medium
  layout    $layout
  files     ${counts[*]}; rule "\$T(\$A).mp3"
  method    Xvfb 1024x768, no window manager, warm cache, $rounds rounds round-robin
            after a warm-up round; medians in ms (min..max); ratios of medians;
            Xvfb and the programs at niceness $nice_level; runs tried again: $retries
  load      $load_before before, $load_after after (1, 5, 15 min; above 1 other work shared the 2 cores)
EOF
if [[ -n $slow_us ]]; then
  for n in "${counts[@]}"; do report_slow "$n"; done
else
  for n in "${counts[@]}"; do report_count "$n"; done
  echo "watching by polling: xdotool search --sync --onlyvisible on the same starts ($base files)"
  line "minimal window: xdotool sees it at" "$(median poll-minimal xdotool_ms)" "event watcher: $(median poll-minimal start_ms)"
  line "Selvane: xdotool sees it at" "$(median poll-selvane xdotool_ms)" "event watcher: $(median poll-selvane start_ms)"
fi

# The targets, one column per count: the ratio of medians, its verdict, and
# the ratio of the best rounds beside it for a noisy machine.
cell() {  # VALUE OP LIMIT BEST
  if [[ $1 == n/a ]]; then printf ' %-22s' "--"; else printf ' %-22s' "$1 $(verdict "$1" "$2" "$3") best $4"; fi
}
ratio() { calc "$(median "$1" "$2") / $(median "$3" "$4")"; }
best_ratio() { calc "$(minimum "$1" "$2") / $(minimum "$3" "$4")"; }
target_row() {  # LABEL CELLS...
  printf '  %-48s' "$1"
  shift
  printf '%s' "$@"
  echo
}
# A row of ratios of one figure: JOBs without "@" stand for one job per
# count; the column where both are the same job reads "(base)". Without an
# OP the row only informs: the ratio alone.
ratio_row() {  # LABEL OP LIMIT JOB FIGURE OVER-JOB [OVER-FIGURE]
  local n top bottom cells=()
  for n in "${counts[@]}"; do
    top=$4 bottom=$6
    [[ $top == *@* ]] || top+="@$n"
    [[ $bottom == *@* ]] || bottom+="@$n"
    if [[ $top == "$bottom" ]]; then
      cells+=("$(printf ' %-22s' "(base)")")
    elif [[ -z $2 ]]; then
      cells+=("$(printf ' %-22s' "$(ratio "$top" "$5" "$bottom" "${7:-$5}")")")
    else
      cells+=("$(cell "$(ratio "$top" "$5" "$bottom" "${7:-$5}")" "$2" "$3" \
        "$(best_ratio "$top" "$5" "$bottom" "${7:-$5}")")")
    fi
  done
  target_row "$1" "${cells[@]}"
}
# A target over a sum of figures (a single figure is a sum of one): the
# ratio of medians as above, and below it how far the rounds reach, each
# round's own ratio from the same round's runs: lowest..highest, and how many
# rounds were over the limit.
sum_row() {  # LABEL LIMIT JOB FIGURE (OVER-JOB OVER-FIGURE)...
  local label=$1 limit=$2 top=$3 figure=$4 n i med best over cells=() reach=() picks=() each=()
  shift 4
  local -a parts=("$@")
  for n in "${counts[@]}"; do
    med="$(median "$top@$n" "$figure") / (0" best="$(minimum "$top@$n" "$figure") / (0"
    picks=("$top@$n:$figure")
    for ((i = 0; i < ${#parts[@]}; i += 2)); do
      med+=" + $(median "${parts[i]}@$n" "${parts[i + 1]}")"
      best+=" + $(minimum "${parts[i]}@$n" "${parts[i + 1]}")"
      picks+=("${parts[i]}@$n:${parts[i + 1]}")
    done
    cells+=("$(cell "$(calc "$med)")" "<=" "$limit" "$(calc "$best)")")")
    mapfile -t each < <(round_ratios "${picks[@]}")
    if ((${#each[@]})); then
      over=$(printf '%s\n' "${each[@]}" | awk -v l="$limit" '$1 > l' | wc -l)
      reach+=("$(printf ' %-22s' "${each[0]}..${each[-1]}, $over/${#each[@]} over")")
    else
      reach+=("$(printf ' %-22s' "--")")
    fi
  done
  target_row "$label" "${cells[@]}"
  target_row "  rounds: lowest..highest, how many over" "${reach[@]}"
}
# Per round, the first JOB@COUNT:FIGURE over the sum of the others, for the
# rounds in which all of them were measured; sorted.
round_ratios() {  # TOP OVER...
  awk -F'\t' -v picks="$*" '
    BEGIN { n = split(picks, s, " ") }
    { for (i = 1; i <= n; ++i) if ($1 ":" $3 == s[i]) { v[i, $2] = $4; seen[$2] = 1 } }
    END {
      for (r in seen) {
        sum = 0; all = 1
        for (i = 1; i <= n; ++i) if (!((i, r) in v)) all = 0; else if (i > 1) sum += v[i, r]
        if (all && sum > 0) printf "%.2f\n", v[1, r] / sum
      }
    }' "$results" | sort -g
}
echo
printf 'targets (on medians; the best of the %s rounds beside them)\n' "$rounds"
((rounds >= 7)) || echo "  (fewer than 7 rounds: the rename target asks for the median of at least 7)"
printf '  %-48s' "files"
for n in "${counts[@]}"; do printf ' %-22s' "$n"; done
echo
if [[ -n $slow_us ]]; then
  ratio_row "start  Selvane / same-layout window <= 1.10" "<=" 1.10 steps start_ms layout
  sum_row "settled Selvane / (wide floor + layout) <= 1.50" 1.50 steps settled_ms \
    wlist internal_ms layout start_ms
  sum_row "refresh Selvane / wide floor <= 1.50" 1.50 steps refresh_ms wlist internal_ms
  sum_row "refresh ID3v2 on / wide floor with heads <= 1.50" 1.50 steps2 refresh_ms \
    wlist2 internal_ms
  sum_row "rename Selvane / floor moving one by one <= 1.50" 1.50 steps rename_ms wfloor rename_ms
  if [[ -n $before ]]; then
    ratio_row "settled before / Selvane >= 10" ">=" 10 before settled_ms steps
    ratio_row "refresh before / Selvane >= 10" ">=" 10 before refresh_ms steps
    ratio_row "refresh ID3v2 on, before / Selvane >= 10" ">=" 10 before2 refresh_ms steps2
    ratio_row "(info) rename before / Selvane" "" "" before rename_ms steps
  fi
else
  ratio_row "start  Selvane / same-layout window <= 1.10" "<=" 1.10 steps start_ms layout
  ratio_row "start  Selvane / Selvane at $base <= 1.50" "<=" 1.50 steps start_ms "steps@$base"
  sum_row "settled Selvane / (list floor + layout) <= 1.50" 1.50 steps settled_ms \
    list internal_ms layout start_ms
  sum_row "rename Selvane / C floor <= 1.50" 1.50 steps rename_ms floor rename_ms
  ratio_row "refresh ID3v2 on / off <= 1.50" "<=" 1.50 steps2 refresh_ms steps
  ratio_row "rename ID3v2 on / C floor with head <= 1.50" "<=" 1.50 steps2 rename_ms floor2
  cells=()
  for n in "${counts[@]}"; do
    if ((n == base)); then cells+=("$(printf ' %-22s' "(base)")"); continue; fi
    per=$(calc "($(median "steps@$n" maxrss_kb) - $(median "steps@$base" maxrss_kb)) / ($n - $base)")
    best=$(calc "($(minimum "steps@$n" maxrss_kb) - $(minimum "steps@$base" maxrss_kb)) / ($n - $base)")
    if [[ $per == n/a ]]; then
      cells+=("$(cell n/a)")
    else
      cells+=("$(printf ' %-22s' "$per $(verdict "$per" "<=" 1.5) best $best")")
    fi
  done
  target_row "memory KiB per entry beyond $base <= 1.5" "${cells[@]}"
  cells=()
  for n in "${counts[@]}"; do
    v=$(calc "$(median "steps@$n" exit_ms)")
    cells+=("$(cell "$v" "<=" 50 "$(calc "$(minimum "steps@$n" exit_ms)")")")
  done
  target_row "exit   Selvane, ms <= 50" "${cells[@]}"
  ratio_row "whole  kid3-cli / Selvane >= 2.00" ">=" 2 kid3 wall_ms whole whole_ms
  ratio_row "(CPU)  rename Selvane / C floor" "" "" steps rename_cpu_ms floor
  ratio_row "(CPU)  refresh ID3v2 on / off" "" "" steps2 refresh_cpu_ms steps
  ratio_row "(CPU)  rename ID3v2 on / C floor with head" "" "" steps2 rename_cpu_ms floor2
  ratio_row "(CPU)  start Selvane / same-layout window" "" "" steps start_cpu_ms layout
  ratio_row "(info) rename Selvane / C floor with plan" "" "" steps rename_ms floor3
  ratio_row "(info) start Selvane / minimal window" "" "" steps start_ms minimal
  ratio_row "(info) peak memory Selvane / minimal window" "" "" steps maxrss_kb minimal
fi

if ((${#failed[@]})); then
  echo
  echo "not measured (the figures above show -- for them):"
  for key in $(printf '%s\n' "${!failed[@]}" | sort -t@ -k2n -k1); do
    echo "  $key: ${failed[$key]}"
  done
  exit 1
fi
exit 0
