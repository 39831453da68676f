#!/usr/bin/env bash
# Keeps the rooms the size of one job: no source file in core/ or app/ over
# 600 lines, no function over 80 lines (clang-tidy, on the compile database
# of BUILD, default build/), the operating system reached only from
# core/platform and main(), no Qt in core, and the file list never
# reaching into the rename room, and no include cycle between files (X.h
# and X.cpp count as one). Prints every breach and fails on any.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cd "$root"
fail=0

while read -r lines file; do
  [ "$file" = total ] && continue
  if [ "$lines" -gt 600 ]; then
    echo "too long: $file has $lines lines (at most 600)"
    fail=1
  fi
done < <(git ls-files 'core/*.cpp' 'core/*.h' 'app/*.cpp' 'app/*.h' | xargs wc -l)

system='#include <(sys/[^>]*|unistd\.h|dirent\.h|pwd\.h|fcntl\.h)>'
if hits=$(git ls-files 'core/*' 'app/*' | grep -v -E '^core/platform/|^app/main\.cpp$' |
  xargs grep -n -E "$system"); then
  echo "system headers outside core/platform and app/main.cpp:"
  echo "$hits"
  fail=1
fi
if hits=$(git ls-files 'core/*' | xargs grep -n -E '#include <Q'); then
  echo "Qt in core:"
  echo "$hits"
  fail=1
fi
if hits=$(git ls-files 'core/filelist/*' | xargs grep -n -E '#include "core/rename/'); then
  echo "core/filelist includes the rename room:"
  echo "$hits"
  fail=1
fi

# Each file's includes as edges between modules; tsort names every loop.
edges=$(git ls-files 'core/*.cpp' 'core/*.h' 'app/*.cpp' 'app/*.h' | while read -r file; do
  from=${file%.*}
  sed -n -E 's/^#include "((core|app)\/[^"]+)\.[a-z]+"$/\1/p' "$file" |
    while read -r to; do [ "$to" != "$from" ] && echo "$from $to"; done
done)
# tsort fails on a loop; what it says is the report.
loops=$(printf '%s\n' "$edges" | tsort 2>&1 >/dev/null)
if [ -n "$loops" ]; then
  echo "include cycles:"
  echo "$loops" | sed -E 's/^tsort: .*input contains a loop:$/  loop:/; s/^tsort: /    /'
  fail=1
fi

if [ ! -f "$build/compile_commands.json" ]; then
  echo "no $build/compile_commands.json: configure the build first"
  exit 1
fi
config='{Checks: "-*,readability-function-size", WarningsAsErrors: "*",
  CheckOptions: [{key: readability-function-size.LineThreshold, value: 80}]}'
files=$(git ls-files 'core/*.cpp' 'app/*.cpp')
if ! out=$(printf '%s\n' $files | xargs -P 2 -n 8 clang-tidy -p "$build" --quiet \
  --config="$config" 2>&1); then
  echo "$out" | grep -E 'warning:|error:' | grep -v 'warnings generated'
  fail=1
fi

if [ $fail -eq 0 ]; then
  echo "rooms: every file at most 600 lines, every function at most 80, system headers in place, no include cycle"
fi
exit $fail
