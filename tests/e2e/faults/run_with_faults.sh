#!/usr/bin/env bash
# Runs a fault test program under Wine with faults made from the Linux side,
# where Wine as root cannot make them: a folder that refuses writes (an
# immutable folder; the read-only attribute does not stop root) and a drive
# that is almost full (a small tmpfs mapped as a drive letter).  Hands them
# over in EE_FAULT_IMMUTABLE_FOLDER and EE_FAULT_FULL_DRIVE; a fault that
# cannot be made here (no root, no tmpfs) is left unset and its tests skip.
# Usage: run_with_faults.sh PROGRAM [ARGUMENTS...]
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../../../scripts/env.sh"

work="$(mktemp -d /tmp/ee_faults.XXXXXX)"
full="$work/full"; immutable="$work/immutable"; link=""
mkdir -p "$full" "$immutable"
cleanup() {
  chattr -i "$immutable" 2>/dev/null
  [ -n "$link" ] && rm -f "$link"
  mountpoint -q "$full" && umount "$full"
  rm -rf "$work"
}
trap cleanup EXIT

# 256 KiB with all but 16 KiB taken: a copy starts, then the disk is full.
if mount -t tmpfs -o size=256k,mode=0777 tmpfs "$full" 2>/dev/null; then
  dd if=/dev/zero of="$full/filler" bs=4k count=60 status=none
  for letter in r s t u v w x y; do
    if [ ! -e "$WINEPREFIX/dosdevices/$letter:" ]; then
      link="$WINEPREFIX/dosdevices/$letter:"
      ln -s "$full" "$link"
      export EE_FAULT_FULL_DRIVE="${letter^^}:\\"
      break
    fi
  done
fi
if chattr +i "$immutable" 2>/dev/null; then export EE_FAULT_IMMUTABLE_FOLDER="$immutable"; fi

wine "$@"
