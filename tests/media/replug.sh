#!/usr/bin/env bash
# Unplugs a FUSE medium and plugs it in again: unmounts MOUNTPOINT and mounts
# the same device again at NEW-MOUNTPOINT (default: the same place). FUSE
# hands out new inode numbers after that, as after a real replug.
#   replug.sh MOUNTPOINT [NEW-MOUNTPOINT]
#   replug.sh --unplug MOUNTPOINT        unmount only (the medium is gone)
#   replug.sh --plug DEVICE MOUNTPOINT   mount a device with its own driver
#   replug.sh --unmount-under FOLDER     unmount everything below FOLDER
set -euo pipefail

# Mount points (mountinfo escapes spaces as \040) of a device or below a folder.
source_of() { awk -v m="$1" '{ for (i = 7; $i != "-"; i++); if ($5 == m) print $(i + 2) }' /proc/self/mountinfo | tail -n 1; }

mount_once() {
  case "$(blkid -o value -s TYPE "$1")" in
    exfat) mount.exfat-fuse "$1" "$2" >/dev/null ;;
    ntfs) ntfs-3g "$1" "$2" ;;
    *) mount "$1" "$2" ;;
  esac
}

# The driver of the last mount may still hold the device for a moment.
plug() {
  mkdir -p "$2"
  for _ in $(seq 30); do
    mount_once "$1" "$2" 2>/dev/null && return 0
    sleep 0.1
  done
  mount_once "$1" "$2"
}

case "${1:-}" in
  --unmount-under)
    awk '{ print $5 }' /proc/self/mountinfo | grep "^$2/" | sort -r | while read -r point; do
      umount "$point" || umount -l "$point"
    done
    ;;
  --unplug)
    umount "$2"
    ;;
  --plug)
    plug "$2" "$3"
    ;;
  *)
    device=$(source_of "$1")
    [ -n "$device" ] || { echo "nothing is mounted at $1" >&2; exit 1; }
    umount "$1"
    plug "$device" "${2:-$1}"
    ;;
esac
