#!/usr/bin/env bash
# Installs what is missing, builds Selvane and starts it on a folder of demo
# MP3 files (build/demo, written afresh on every start).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build"
rm -rf "$root/build/demo"
"$root/build/tools/selvane_make_demo" "$root/build/demo"
cd "$root/build/demo"
exec "$root/build/app/selvane" ./*.mp3
