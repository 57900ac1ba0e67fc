#!/usr/bin/env bash
# Sets up a fresh machine if needed, builds everything and runs every test:
# the portable tests natively under ASan/UBSan, then all tests of both
# Windows targets under Wine.  Exits non-zero on any failure.
set -uo pipefail
here="$(dirname "${BASH_SOURCE[0]}")"
"$here/setup.sh" || exit 1
source "$here/env.sh"
source "$here/display.sh"

"$here/build.sh" native win32 win64 || exit 1

display_start || exit 1
trap display_stop EXIT

status=0
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
echo "== native (ASan, UBSan)"
ctest --test-dir "$BUILD_ROOT/native" --output-on-failure ${CTEST_ARGS:-} || status=1
for t in win32 win64; do
  echo "== $t (Wine)"
  # One Wine prefix, so the two targets run one after the other.  A test that
  # fails is run once more: under Wine on a loaded machine a window can come
  # up later than any sane bound; a real fault fails twice.
  ctest --test-dir "$BUILD_ROOT/$t" --output-on-failure --repeat until-pass:2 ${CTEST_ARGS:-} || status=1
done
wineserver -k 2>/dev/null || true
echo "== package (zips of the trees just built, checked)"
"$here/package.sh" --reuse || status=1
[ $status -eq 0 ] && echo "test: all passed" || echo "test: FAILURES" >&2
exit $status
