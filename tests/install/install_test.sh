#!/bin/sh
# install_test.sh CMAKE BUILD_DIR SOURCE_DIR
# Installs the build into a fresh prefix and checks the program, its help,
# the desktop entry, the icons, the manual pages and the AppStream metadata.
set -eu
cmake_command=$1
build=$2
source=$3

prefix=$(mktemp -d)
log=$(mktemp)
trap 'rm -rf "$prefix" "$log"' EXIT INT TERM
if ! "$cmake_command" --install "$build" --prefix "$prefix" >"$log" 2>&1; then
  cat "$log"
  echo "FAIL: cmake --install"
  exit 1
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The program, and the help where it looks when none lies beside it.
[ -x "$prefix/bin/selvane" ] || fail "bin/selvane is missing or not executable"
help="$prefix/share/selvane/Selvane.hlp"
if [ -f "$help" ]; then
  cmp -s "$help" "$source/data/Selvane.hlp" || fail "installed help differs from data/Selvane.hlp"
  [ -f "$prefix/bin/../share/selvane/Selvane.hlp" ] || fail "help not at bin/../share/selvane"
  grep -q 'class="index"' "$help" || fail "help has no index terms"
else
  fail "share/selvane/Selvane.hlp is missing"
fi

# The desktop entry: valid, opens files, names the icon.
entry="$prefix/share/applications/selvane.desktop"
if [ -f "$entry" ]; then
  if command -v desktop-file-validate >/dev/null 2>&1; then
    out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
    [ -z "$out" ] || fail "desktop-file-validate reports: $out"
  else
    fail "desktop-file-validate is not installed (Debian package desktop-file-utils)"
  fi
  grep -qx 'Exec=selvane %F' "$entry" || fail "Exec line does not pass the files (%F)"
  grep -qx 'Icon=selvane' "$entry" || fail "Icon is not selvane"
  grep -qx 'MimeType=audio/mpeg;' "$entry" || fail "MimeType is not audio/mpeg"
  grep -q '^Name\[ja\]=' "$entry" || fail "no Japanese name"
else
  fail "share/applications/selvane.desktop is missing"
fi

# Icons in the hicolor theme: each PNG of its stated size, and the SVG.
for size in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/selvane.png"
  if [ ! -f "$png" ]; then
    fail "icon ${size}x${size} is missing"
    continue
  fi
  # PNG signature, then the IHDR chunk: width and height as 32-bit big-endian.
  signature=$(od -An -tx1 -N8 "$png" | tr -d ' \n')
  [ "$signature" = "89504e470d0a1a0a" ] || fail "icon ${size}x${size} is not a PNG"
  set -- $(od -An -tu1 -j16 -N8 "$png")
  width=$(( ($1 << 24) + ($2 << 16) + ($3 << 8) + $4 ))
  height=$(( ($5 << 24) + ($6 << 16) + ($7 << 8) + $8 ))
  [ "$width" -eq "$size" ] && [ "$height" -eq "$size" ] ||
    fail "icon ${size}x${size} is ${width}x${height}"
done
svg="$prefix/share/icons/hicolor/scalable/apps/selvane.svg"
if [ -f "$svg" ]; then
  if command -v xmllint >/dev/null 2>&1; then
    xmllint --noout "$svg" || fail "selvane.svg is not well-formed"
  fi
  grep -q '<svg' "$svg" || fail "selvane.svg holds no <svg> element"
else
  fail "scalable/apps/selvane.svg is missing"
fi

# The manual pages, English and Japanese: present, of this version, and
# rendered by man without a warning.
version=$(sed -n 's/^project(Selvane VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
for page in share/man/man1/selvane.1 share/man/ja/man1/selvane.1; do
  if [ ! -f "$prefix/$page" ]; then
    fail "$page is missing"
    continue
  fi
  grep -q "^\.TH SELVANE 1 .*\"Selvane $version\"" "$prefix/$page" ||
    fail "$page is not headed as Selvane $version"
  if command -v man >/dev/null 2>&1; then
    out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$prefix/$page" 2>&1 >/dev/null) ||
      fail "man cannot render $page"
    [ -z "$out" ] || fail "man reports on $page: $out"
  else
    fail "man is not installed (Debian package man-db)"
  fi
done

# AppStream metadata: valid, naming the installed desktop entry and program.
metainfo=$(find "$prefix/share/metainfo" -name '*.metainfo.xml' 2>/dev/null)
if [ "$(printf '%s\n' "$metainfo" | grep -c .)" -eq 1 ]; then
  if command -v appstreamcli >/dev/null 2>&1; then
    out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
  else
    fail "appstreamcli is not installed (Debian package appstream)"
  fi
  id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo")
  [ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "metainfo file is not named after its id $id"
  launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
  [ -n "$launchable" ] && [ -f "$prefix/share/applications/$launchable" ] ||
    fail "metainfo launchable '$launchable' is not an installed desktop entry"
  grep -q '<binary>selvane</binary>' "$metainfo" || fail "metainfo does not provide the binary selvane"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo has no release $version"
else
  fail "expected one share/metainfo/*.metainfo.xml, found: ${metainfo:-none}"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures install check(s) failed"
  exit 1
fi
echo "install layout OK"
