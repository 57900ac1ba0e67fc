#!/usr/bin/env bash
# Makes a report file that refuses writes from the Linux side (Wine, as
# root, ignores the read-only attribute) and runs the browser-lab wrapper
# with its path in EE_SCAN_READONLY_REPORT; the file goes afterwards.  When
# chattr cannot be used here the variable stays unset and that case skips.
# Usage: wrapper.sh RUN_WITH_BROWSER_LAB PROGRAM [ARGUMENTS...]
set -u
work="$(mktemp -d /tmp/ee_scan.XXXXXX)"
readonly_report="$work/readonly.csv"
printf 'kept as it was\r\n' >"$readonly_report"
cleanup() {
  chattr -i "$readonly_report" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
if chattr +i "$readonly_report" 2>/dev/null; then export EE_SCAN_READONLY_REPORT="$readonly_report"; fi
bash "$@"
