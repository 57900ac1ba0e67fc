#!/usr/bin/env bash
# Builds the native tree (host tools, sanitizer tests) and both Windows
# targets.  Usage: build.sh [native|win32|win64]...  (default: all three)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(native win32 win64)
jobs="${EE_JOBS:-$(nproc)}"

configure() {  # dir, extra cmake arguments...
  local dir=$1; shift
  # A configure that failed leaves a cache without a build file: run it again.
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$EE_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Test "$@" >/dev/null
  fi
}

for t in "${targets[@]}"; do
  case $t in
    native)
      configure "$BUILD_ROOT/native" -DEE_SANITIZE=ON
      cmake --build "$BUILD_ROOT/native" -j "$jobs"
      ;;
    win32|win64)
      arch=i686; [ "$t" = win64 ] && arch=x86_64
      # The cross build runs host tools from the native tree.
      [ -f "$BUILD_ROOT/native/CMakeCache.txt" ] || "$0" native
      configure "$BUILD_ROOT/$t" \
        -DCMAKE_TOOLCHAIN_FILE="$EE_ROOT/cmake/toolchain-$arch-w64-mingw32.cmake" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$EE_ROOT/scripts/wine-exec.sh" \
        -DEE_HOST_TOOLS_DIR="$BUILD_ROOT/native/tools"
      cmake --build "$BUILD_ROOT/$t" -j "$jobs"
      ;;
    *) echo "build: unknown target $t" >&2; exit 2 ;;
  esac
done
