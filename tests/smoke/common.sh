# What the smoke tests share. Sourced as
#   source "$(dirname "$0")/common.sh" NAME TOOL...
# it stops the test at the first failing command, names it NAME in what it
# prints, and skips it (exit 77) when a TOOL is not installed.
set -euo pipefail
name=$1
shift

# Exits 77 (skipped) when a tool the test needs is not installed.
require_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "$name: SKIPPED: $tool is not installed (scripts/install-deps.sh installs it)"
      exit 77
    fi
  done
}

# Polls a condition every 0.1 s for at most $1 seconds.
wait_for() {
  local tries=$(($1 * 10))
  shift
  while ((tries-- > 0)); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}

# A work folder, removed at the end together with the program and the X
# server the test started (their process ids in program_pid and xvfb_pid).
use_work_folder() {
  work=$(mktemp -d)
  xvfb_pid=""
  program_pid=""
  trap end_smoke EXIT
}
end_smoke() {
  if [[ -n "$program_pid" ]]; then kill "$program_pid" 2>/dev/null || true; fi
  if [[ -n "$xvfb_pid" ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}

# ﾌｧｲﾙ → ﾘﾈｰﾑ from the keyboard, then each file of the associative arrays
# `expected` (new name by listed name) and `digest` (md5sum by listed name)
# checked under its new name in FOLDER. Uses the test's choose, renamed,
# menu_open and fail.
rename_and_check() {  # FOLDER WHAT-WAS-NOT-DONE
  local listed
  choose f r  # ﾌｧｲﾙ → ﾘﾈｰﾑ(&R)
  if ! wait_for 20 renamed; then
    menu_open && fail "a message box came up during the rename"
    fail "$2"
  fi
  for listed in "${!expected[@]}"; do
    [[ $(md5sum <"$1/${expected[$listed]}") == "${digest[$listed]}" ]] ||
      fail "\"${expected[$listed]}\" does not hold the bytes of \"$listed\""
  done
}

# Stops the test, telling why, what lies in `shown` (a folder, when set) and
# what the program printed.
fail() {
  echo "$name: FAILED: $*" >&2
  if [[ -n ${shown:-} ]]; then
    echo "--- files in $shown:" >&2
    ls -la "$shown" >&2 || true
  fi
  echo "--- program output:" >&2
  cat "$work/program.log" >&2 2>/dev/null || true
  exit 1
}

require_tools "$@"
