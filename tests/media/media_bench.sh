#!/usr/bin/env bash
# Runs the media tests on real media: an exFAT image through exfat-fuse, an
# NTFS image through ntfs-3g (both on loop devices) and a tmpfs as a second
# file system. Usage: media_bench.sh TEST-BINARY [gtest arguments...]
# Skips (exit 77) where the machine cannot mount, but fails under CI=true.
# SELVANE_LOOP_DEVICES="/dev/loopN /dev/loopM" picks the loop devices;
# otherwise the first free ones are taken.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$1
shift

cannot() {
  if [ "${CI:-}" = true ]; then
    echo "media tests cannot run: $*" >&2
    exit 1
  fi
  echo "media tests skipped: $*" >&2
  exit 77
}

[ "$(id -u)" -eq 0 ] || cannot "mounting needs root"
[ -c /dev/fuse ] || cannot "no /dev/fuse"
[ -e /dev/loop-control ] || ls /dev/loop[0-9]* >/dev/null 2>&1 || cannot "no loop devices"
for tool in mkfs.exfat mkntfs mount.exfat-fuse ntfs-3g losetup blkid trash-list trash-restore; do
  command -v "$tool" >/dev/null || cannot "$tool is not installed"
done

# A run killed outright (no trap runs then) leaves its media mounted: clear
# those of runs whose process is gone before making new ones.
for stale in /tmp/selvane-media-*; do
  [ -f "$stale/pid" ] || continue
  kill -0 "$(cat "$stale/pid")" 2>/dev/null && continue
  "$here/replug.sh" --unmount-under "$stale" || true
  for image in "$stale"/*.img; do
    for device in $(losetup -j "$image" -O NAME -n 2>/dev/null); do losetup -d "$device" || true; done
  done
  rm -rf "$stale"
done

work=$(mktemp -d /tmp/selvane-media-XXXXXX)
echo $$ >"$work/pid"
export SELVANE_MEDIA_WORK=$work

# Everything mounted under the work folder is unmounted (a replug may have
# mounted an image elsewhere in it), then every loop device the images hold.
cleanup() {
  "$here/replug.sh" --unmount-under "$work" || true
  for image in "$work"/*.img; do
    [ -e "$image" ] || continue
    for device in $(losetup -j "$image" -O NAME -n 2>/dev/null); do
      losetup -d "$device" || echo "could not detach $device" >&2
    done
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

read -r -a loops <<<"${SELVANE_LOOP_DEVICES:-}"
attach() {  # IMAGE INDEX: prints the loop device now holding IMAGE
  if [ -n "${loops[$2]:-}" ]; then
    losetup "${loops[$2]}" "$1" && echo "${loops[$2]}"
  else
    losetup -f --show "$1"
  fi
}

truncate -s 64M "$work/exfat.img" "$work/ntfs.img"
mkfs.exfat -L SELVEX "$work/exfat.img" >/dev/null || cannot "mkfs.exfat failed"
mkntfs -F -q -L SELVNT "$work/ntfs.img" >/dev/null 2>&1 || cannot "mkntfs failed"
mkdir -p "$work/exfat" "$work/ntfs" "$work/tmpfs"
exfatDevice=$(attach "$work/exfat.img" 0) || cannot "no free loop device"
ntfsDevice=$(attach "$work/ntfs.img" 1) || cannot "no free loop device"
mount.exfat-fuse "$exfatDevice" "$work/exfat" >/dev/null || cannot "exfat-fuse cannot mount"
ntfs-3g "$ntfsDevice" "$work/ntfs" || cannot "ntfs-3g cannot mount"
mount -t tmpfs -o size=32m selvane-media "$work/tmpfs" || cannot "tmpfs cannot be mounted"

export SELVANE_MEDIA_EXFAT=$work/exfat SELVANE_MEDIA_NTFS=$work/ntfs
export SELVANE_MEDIA_TMPFS=$work/tmpfs SELVANE_MEDIA_REPLUG=$here/replug.sh
# Within CTest's own limit, so that the cleanup above still runs.
timeout 240 "$binary" "$@"
