# Shared settings for the project's scripts (sourced, not run).
# BUILD_ROOT may be set by the caller to keep several build trees apart.
EE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_ROOT="${BUILD_ROOT:-$EE_ROOT/build}"
export WINEPREFIX="${WINEPREFIX:-$BUILD_ROOT/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ -d "$BUILD_ROOT/locale/zh_CN.UTF-8" ]; then
  export LOCPATH="$BUILD_ROOT/locale"
fi
{ export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8; } 2>/dev/null
