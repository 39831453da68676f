#!/usr/bin/env bash
# Builds the Debian package of Selvane with dpkg-buildpackage and debhelper.
# The build runs in a copy of the source tree, build-package/src, so that the
# tree itself stays clean; the .deb lands in build-package/. Installs the
# packaging tools and the build dependencies (debian/control) that are
# missing, so it is safe to run again. The last line of output is the path
# of the .deb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build-package"

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
updated=false
apt_update_once() {
  if ! $updated; then
    $sudo apt-get update
    updated=true
  fi
}

tools=(dpkg-dev debhelper fakeroot)
missing=()
for p in "${tools[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  apt_update_once
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

if ! dpkg-checkbuilddeps "$root/debian/control"; then
  echo "Installing the build dependencies of debian/control"
  apt_update_once
  DEBIAN_FRONTEND=noninteractive $sudo apt-get build-dep -y --no-install-recommends "$root"
fi

# A fresh copy without the version control data and without the output of
# earlier builds, in or out of the tree.
rm -rf "$out"
mkdir -p "$out/src"
tar -C "$root" -cf - --exclude=./.git --exclude='./build*' --exclude='./obj-*' \
  --exclude=./debian/selvane --exclude=./debian/.debhelper --exclude=./debian/files \
  --exclude='./debian/*.substvars' --exclude='./debian/*.debhelper.log' --exclude=./debian/debhelper-build-stamp . |
  tar -C "$out/src" -xf -

(cd "$out/src" && dpkg-buildpackage -us -uc -b -Jauto)

version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb="$out/selvane_${version}_${arch}.deb"
if [ ! -f "$deb" ]; then
  echo "package.sh: dpkg-buildpackage wrote no $deb" >&2
  exit 1
fi
echo "$deb"
