#!/usr/bin/env bash
# Takes the documentation's screenshots on a virtual display: starts the
# program under Wine through the end-to-end driver, which brings it into each
# state and holds it there, and captures the window into docs/images/.
#
#   screenshots.sh [main|welcome|firstrun|chooser|prompt|cached]...   (default: all)
set -euo pipefail
here="$(dirname "${BASH_SOURCE[0]}")"
source "$here/env.sh"
source "$here/display.sh"

states=("$@")
[ ${#states[@]} -gt 0 ] || states=(main welcome firstrun chooser prompt cached)

# ImageMagick's import captures the X display; installed here only when missing.
if ! command -v import >/dev/null 2>&1; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "screenshots: ImageMagick is missing; run as root to install it" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends imagemagick >/dev/null
fi

"$here/setup.sh"
[ -f "$BUILD_ROOT/win32/CMakeCache.txt" ] || EE_JOBS="${EE_JOBS:-1}" "$here/build.sh" native win32
cmake --build "$BUILD_ROOT/win32" --target ee_driver ElementExtractor >/dev/null

display_start
# Wine's processes hold the display open: let them end before it goes.
trap 'timeout 30 wineserver -w 2>/dev/null || true; display_stop' EXIT

images="$EE_ROOT/docs/images"
mkdir -p "$images"
work="$(mktemp -d)"
trap 'rm -rf "$work"; timeout 30 wineserver -w 2>/dev/null || true; display_stop' EXIT
status=0
for state in "${states[@]}"; do
  ready="$work/$state.ready"
  release="$work/$state.release"
  wine "$BUILD_ROOT/win32/tests/e2e/ee_driver.exe" screenshot-state "$state" \
    --ready-file "$ready" --release-file "$release" --product "$BUILD_ROOT/win32/ElementExtractor.exe" &
  driver=$!
  # The driver says where the window is once the state is reached.
  for _ in $(seq 1 900); do
    [ -f "$ready" ] && break
    kill -0 "$driver" 2>/dev/null || break
    sleep 0.1
  done
  if [ -f "$ready" ]; then
    read -r x y w h < <(tr -d '\r' < "$ready")
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$images/$state.png"
    echo "screenshots: $images/$state.png (${w}x${h})"
  else
    echo "screenshots: the program did not reach the state $state" >&2
    status=1
  fi
  touch "$release"
  wait "$driver" || status=1
done
exit $status
