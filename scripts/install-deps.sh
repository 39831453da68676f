#!/usr/bin/env bash
# Installs the Debian packages Selvane needs to build, run and test.
# Only what is missing is installed, so it is safe to run again.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev
  libsqlite3-dev libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils imagemagick openbox
  fonts-ipafont-gothic desktop-file-utils appstream man-db
  clang libclang-rt-14-dev clang-tidy
  libblkid-dev exfat-fuse exfatprogs ntfs-3g trash-cli fuse3 libfuse3-dev liburing-dev
  libtag1-dev zlib1g-dev python3-mutagen eyed3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
