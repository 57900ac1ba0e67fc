#!/usr/bin/env bash
# Sets up the machine if needed, builds the 32-bit program and starts it
# under Wine on the current display (or on a virtual one, saying so).
set -euo pipefail
here="$(dirname "${BASH_SOURCE[0]}")"
"$here/setup.sh"
source "$here/env.sh"
source "$here/display.sh"
"$here/build.sh" native win32
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  echo "run: no usable display; starting the program on a virtual one (Xvfb), where it is not visible" >&2
fi
display_start
trap display_stop EXIT
wine "$BUILD_ROOT/win32/ElementExtractor.exe"
