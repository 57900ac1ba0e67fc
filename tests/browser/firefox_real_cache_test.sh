#!/usr/bin/env bash
# Fills a real Firefox cache (firefox_capture.sh) and runs the cache2
# reader's test on it.  Usage: firefox_real_cache_test.sh PORTABLE_TESTS OUTDIR
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
tests="${1:?usage: firefox_real_cache_test.sh PORTABLE_TESTS OUTDIR}"
out="${2:?usage: firefox_real_cache_test.sh PORTABLE_TESTS OUTDIR}"
"$here/firefox_capture.sh" "$out"
EE_FIREFOX_CAPTURE="$out" "$tests" --gtest_filter='FirefoxCache2.RealBrowserCache'
