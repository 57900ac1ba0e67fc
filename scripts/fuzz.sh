#!/usr/bin/env bash
# Longer fuzzing with libFuzzer (clang), beside the short deterministic run of
# the test suite.  Usage: fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Builds build/fuzz with clang, ASan and UBSan; each target's corpus grows in
# build/fuzz/corpus/<target> (started from tests/fuzz/seeds/<target> and
# tests/fuzz/slow_seeds/<target>, inputs too slow for the replay), and
# inputs that crash land in build/fuzz/findings/<target>/.  Prints per target
# the seconds run, executions and corpus size; exits non-zero on a finding.
# Runs under memory limits (EE_FUZZ_RSS_MB, default 512; EE_FUZZ_MALLOC_MB,
# default 256): a reader that grows past its budget is a finding too.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
seconds="${1:-300}"; shift || true
dir="$BUILD_ROOT/fuzz"
command -v clang++ >/dev/null || { echo "fuzz: clang++ not installed (apt-get install clang libclang-rt-14-dev)" >&2; exit 2; }
if [ ! -f "$dir/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$EE_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DEE_SANITIZE=ON -DEE_LIBFUZZER=ON >/dev/null || exit 1
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for s in "$EE_ROOT"/tests/fuzz/*_target.cpp; do t=$(basename "$s" _target.cpp); targets+=("$t"); done
fi
cmake --build "$dir" -j "${EE_JOBS:-1}" --target $(printf 'fuzz_%s ' "${targets[@]}") || exit 1

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for t in "${targets[@]}"; do
  corpus="$dir/corpus/$t"; findings="$dir/findings/$t"
  mkdir -p "$corpus" "$findings"
  cp -n "$EE_ROOT/tests/fuzz/seeds/$t/"* "$corpus/" 2>/dev/null
  # Inputs too slow for the replay in the test command start the runs too.
  cp -n "$EE_ROOT/tests/fuzz/slow_seeds/$t/"* "$corpus/" 2>/dev/null
  log="$dir/$t.log"
  "$dir/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 \
    -rss_limit_mb="${EE_FUZZ_RSS_MB:-512}" -malloc_limit_mb="${EE_FUZZ_MALLOC_MB:-256}" \
    -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1
  rc=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
  echo "$t: ${seconds}s, ${runs:-?} executions, $(ls "$corpus" | wc -l) corpus files, exit $rc"
  if [ $rc -ne 0 ]; then status=1; echo "  finding: $(ls "$findings")  (log: $log)"; grep -m3 -E 'ERROR|rule broken|runtime error' "$log"; fi
done
exit $status
