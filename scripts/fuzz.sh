#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang into build-fuzz and runs
# each for SECONDS (default 20), two at a time, on a temporary copy of its
# corpus, under AddressSanitizer and UndefinedBehaviorSanitizer. Prints the
# executions per target; fails when a target finds a fault, keeping the
# input that did it in build-fuzz/findings/ (replay: build-fuzz/fuzz/TARGET
# FILE; SELVANE_FUZZ_VERBOSE=1 makes the rename target describe its case).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
build="$root/build-fuzz"
"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DSELVANE_FUZZ=ON -DSELVANE_CORE_ONLY=ON -DSELVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target selvane_fuzz -j2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One target on a copy of its seeds; its verdict goes to $work/TARGET.status.
run_target() {
  local target=$1 status=0
  cp -r "$root/fuzz/corpus/$target" "$work/$target"
  # The settings target writes its INI files under TMPDIR.
  TMPDIR="$work" "$build/fuzz/$target" "$work/$target" -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/$target-" \
    >"$work/$target.log" 2>&1 || status=$?
  echo "$status" >"$work/$target.status"
}

# Two targets at a time, one per core.
targets=()
for seeds in "$root"/fuzz/corpus/*/; do targets+=("$(basename "$seeds")"); done
running=0
for target in "${targets[@]}"; do
  run_target "$target" &
  running=$((running + 1))
  if [ "$running" -ge 2 ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

failed=()
for target in "${targets[@]}"; do
  log="$work/$target.log"
  status=$(cat "$work/$target.status")
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if [ "$status" -eq 0 ]; then
    echo "$target: ${executions:-?} executions in ${seconds} s, no fault"
  else
    echo "$target: FAULT after ${executions:-?} executions (exit $status)"
    grep -E 'invariant broken|ERROR|SUMMARY|^    #[0-9]' "$log" | head -30 || tail -30 "$log"
    mkdir -p "$build/findings"
    for artifact in "$work/$target"-*; do
      [ -e "$artifact" ] || continue
      cp "$artifact" "$build/findings/"
      echo "  input: build-fuzz/findings/$(basename "$artifact")"
      od -A d -t x1z "$artifact" | head -20
    done
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}"
  exit 1
fi
