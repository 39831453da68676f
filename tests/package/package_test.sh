#!/usr/bin/env bash
# Builds the Debian package with scripts/package.sh, then checks the .deb:
# its version against the project's, its Depends, the files it installs,
# lintian's verdict, and that the build left the source tree as it was.
# Installs what it needs (lintian) when missing. Slow: a full package build.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

if ! command -v lintian >/dev/null 2>&1; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: lintian"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends lintian
fi

# What git sees of the tree, before and after the build.
in_git=false
git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1 && in_git=true
tree_state() { ! $in_git || git -C "$root" status --porcelain --untracked-files=all; }
before=$(tree_state)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! "$root/scripts/package.sh" >"$log" 2>&1; then
  tail -n 60 "$log"
  echo "package: 0 passed, 1 failed"
  exit 1
fi
deb=$(tail -n 1 "$log")

passed=0
failed=0
check() {  # check NAME PROBLEMS: passes when PROBLEMS is empty
  if [ -z "$2" ]; then
    passed=$((passed + 1))
    echo "ok: $1"
  else
    failed=$((failed + 1))
    printf 'FAIL: %s\n%s\n' "$1" "$2"
  fi
}

field() { dpkg-deb -f "$deb" "$1"; }

# The package's version is the program's.
version=$(sed -n 's/^project(Selvane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
problems=""
[ "$(field Package)" = selvane ] || problems+="Package is $(field Package)"$'\n'
[ "$(field Version)" = "$version" ] || problems+="Version $(field Version), project $version"$'\n'
[ "$(basename "$deb")" = "selvane_${version}_$(dpkg --print-architecture).deb" ] ||
  problems+="last line of package.sh is not the .deb: $deb"$'\n'
check "version $version" "$problems"

# Depends: the Qt libraries found by dpkg-shlibdeps, and what the program
# loads by name at run time: the Japanese font and Qt's Japanese texts.
depends=$(field Depends)
problems=""
for needed in libc6 libqt6core6 libqt6gui6 libqt6widgets6 fonts-ipafont-gothic qt6-translations-l10n; do
  grep -Eq "(^|, )$needed( |,|$)" <<<"$depends" || problems+="Depends lacks $needed"$'\n'
done
check "Depends: $depends" "$problems"

# Exactly these files: nothing of the tests, benchmarks or build tools.
expected="usr/bin/selvane
usr/share/applications/selvane.desktop
usr/share/doc/selvane/changelog.gz
usr/share/doc/selvane/copyright
usr/share/lintian/overrides/selvane
usr/share/icons/hicolor/scalable/apps/selvane.svg
usr/share/man/ja/man1/selvane.1.gz
usr/share/man/man1/selvane.1.gz
usr/share/metainfo/example.selvane.selvane.metainfo.xml
usr/share/selvane/Selvane.hlp"
for size in 16 22 24 32 48 64 128 256; do
  expected+=$'\n'"usr/share/icons/hicolor/${size}x${size}/apps/selvane.png"
done
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort)
check "installed files" "$(diff <(sort <<<"$expected") <(cat <<<"$actual") || true)"

# lintian: no error and no warning (overrides carry their reasons).
lintian_status=0
lintian_out=$(lintian --fail-on error,warning -I "$deb" 2>&1) || lintian_status=$?
lintian_out=$(grep -v '^running with root privileges' <<<"$lintian_out" || true)
check "lintian" "$( ((lintian_status == 0)) || echo "${lintian_out:-lintian exited with $lintian_status}")"
[ "$lintian_status" -ne 0 ] || [ -z "$lintian_out" ] || echo "$lintian_out"

# The build ran in a copy: the source tree is as it was.
if $in_git; then
  after=$(tree_state)
  check "source tree untouched" "$([ "$before" = "$after" ] || diff <(echo "$before") <(echo "$after"))"
else
  echo "skipped: source tree check (not a git work tree)"
fi

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
