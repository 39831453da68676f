#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang into build-fuzz and runs
# each for SECONDS (default 20) on a temporary copy of its corpus, under
# AddressSanitizer and UndefinedBehaviorSanitizer. Prints the executions per
# target; fails when a target finds a fault, keeping the input that did it
# in build-fuzz/findings/ (replay: build-fuzz/fuzz/TARGET FILE).
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
failed=()
for seeds in "$root"/fuzz/corpus/*/; do
  target=$(basename "$seeds")
  cp -r "$seeds" "$work/$target"
  log="$work/$target.log"
  status=0
  # The settings target writes its INI files under TMPDIR.
  TMPDIR="$work" "$build/fuzz/$target" "$work/$target" -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/$target-" \
    >"$log" 2>&1 || status=$?
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
