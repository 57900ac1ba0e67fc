#!/usr/bin/env bash
# Sets up a fresh machine if needed, builds everything and runs every test:
# the portable tests natively under ASan/UBSan, then all tests of both
# Windows targets under Wine.  Exits non-zero on any failure.
set -uo pipefail
here="$(dirname "${BASH_SOURCE[0]}")"
# Each stage's wall time is printed as it ends (docs/testing.md lists them).
stage_start=$SECONDS
stage_done() { echo "test: $1 took $((SECONDS - stage_start)) s"; stage_start=$SECONDS; }

"$here/setup.sh" || exit 1
stage_done "set-up"
source "$here/env.sh"
source "$here/display.sh"

for t in native win32; do
  "$here/build.sh" $t || exit 1
  stage_done "the $t build"
done
# The 64-bit tree builds at the lowest priority beside the native and 32-bit
# tests: those mostly wait on windows and browsers, and keep the processor
# whenever they want it.  Its output is shown when it is waited for.
win64_log="$BUILD_ROOT/win64-build.log"
nice -n 19 "$here/build.sh" win64 >"$win64_log" 2>&1 &
win64_build=$!

display_start || exit 1
trap 'display_stop; kill $win64_build 2>/dev/null' EXIT

status=0
retried=()
# Runs a tree's tests; a test that fails is run once more, on its own.  Under
# Wine on a loaded machine a window can come up later than any sane bound; a
# real fault fails twice.  Every retry is named in the output and counted at
# the end, so a test that needs them stands out.
run_tests() {  # tree
  local tree=$1
  ctest --test-dir "$tree" --output-on-failure ${CTEST_ARGS:-} && return 0
  local failed="$tree/Testing/Temporary/LastTestsFailed.log"
  [ -s "$failed" ] || return 1
  local names
  names="$(cut -d: -f2- "$failed" | tr '\n' ' ')"
  echo "== retry in $(basename "$tree"): $names"
  for name in $names; do retried+=("$(basename "$tree")/$name"); done
  ctest --test-dir "$tree" --output-on-failure --rerun-failed ${CTEST_ARGS:-}
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
echo "== native (ASan, UBSan)"
# Two at once: the sanitized tests are bound by the processor, and the two
# real-browser ones hold a lock so they never overlap each other.
ctest --test-dir "$BUILD_ROOT/native" --output-on-failure -j 2 ${CTEST_ARGS:-} || status=1
stage_done "the native tests"
echo "== win32 (Wine)"
run_tests "$BUILD_ROOT/win32" || status=1
stage_done "the win32 tests"
wait $win64_build
win64_built=$?
tail -n 3 "$win64_log"
stage_done "waiting for the win64 build"
if [ $win64_built -ne 0 ]; then
  cat "$win64_log"
  echo "test: the win64 build failed" >&2
  exit 1
fi
# One Wine prefix, so the two targets run one after the other.
echo "== win64 (Wine)"
run_tests "$BUILD_ROOT/win64" || status=1
stage_done "the win64 tests"
wineserver -k 2>/dev/null || true
echo "== package (zips of the trees just built, checked)"
"$here/package.sh" --reuse || status=1
stage_done "packing"
echo "test: ${#retried[@]} test(s) retried${retried[*]:+: ${retried[*]}}"
[ $status -eq 0 ] && echo "test: all passed" || echo "test: FAILURES" >&2
exit $status
