# What the smoke tests share; sourced by each with `name` set to its own.

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
