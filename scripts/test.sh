#!/usr/bin/env bash
# Installs what is missing, builds everything (program, tests, benchmarks),
# checks the rooms' sizes and includes (scripts/check-rooms.sh) and runs
# every test; then builds the core with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the core tests again; last, a short
# bounded fuzzing run of every libFuzzer target (scripts/fuzz.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build"
"$root/scripts/check-rooms.sh" "$root/build"
ctest --test-dir "$root/build" --output-on-failure --no-tests=error

cmake -S "$root" -B "$root/build-sanitize" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DSELVANE_CORE_ONLY=ON -DSELVANE_SANITIZE=ON
cmake --build "$root/build-sanitize"
ctest --test-dir "$root/build-sanitize" --output-on-failure --no-tests=error

"$root/scripts/fuzz.sh"
