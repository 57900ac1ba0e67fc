#!/usr/bin/env bash
# Runs a test program under Wine with the browser lab serving beside it: the
# lab (browser_lab.py) serves the test pages on 127.0.0.1 and starts real
# Linux browsers when the test asks.  Hands its port over in
# EE_BROWSER_LAB_PORT (and EE_BROWSER_LAB_URL, EE_BROWSER_LAB_MEDIA); ends
# the lab and every browser it started afterwards, also when the test fails
# or is ended.
# Usage: run_with_browser_lab.sh PROGRAM [ARGUMENTS...]
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../../../scripts/env.sh"

# A short folder: the browsers' socket paths below it must stay short.
work="$(mktemp -d /tmp/eelab.XXXXXX)"
lab=""
test_program=""
cleanup() {
  if [ -n "$test_program" ] && kill -0 "$test_program" 2>/dev/null; then
    kill -TERM "$test_program" 2>/dev/null
    wait "$test_program" 2>/dev/null
  fi
  if [ -n "$lab" ] && kill -0 "$lab" 2>/dev/null; then
    kill -TERM "$lab"
    # The lab ends its browsers before it exits.
    for _ in $(seq 300); do kill -0 "$lab" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$lab" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

python3 "$here/browser_lab.py" --serve --work "$work/lab" --port-file "$work/port" --parent-pid $$ \
  >"$work/lab.log" 2>&1 &
lab=$!
# Making the media takes a few seconds.
for _ in $(seq 600); do
  [ -s "$work/port" ] && break
  kill -0 "$lab" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$work/port" ]; then
  echo "browser lab did not start:" >&2
  cat "$work/lab.log" >&2
  exit 1
fi
export EE_BROWSER_LAB_PORT="$(cat "$work/port")"
export EE_BROWSER_LAB_URL="http://127.0.0.1:$EE_BROWSER_LAB_PORT"
# HTTPS beside it, where the lab could make its certificate (written first).
if [ -s "$work/port.tls" ]; then export EE_BROWSER_LAB_TLS_PORT="$(cat "$work/port.tls")"; fi
# The served media as files (Linux form; the driver's PathFromEnvironment
# gives the Z: form).
export EE_BROWSER_LAB_MEDIA="$work/lab/media"
echo "browser lab on $EE_BROWSER_LAB_URL"

# In the background, so a signal to this script ends the run at once.
wine "$@" &
test_program=$!
wait "$test_program"
status=$?
test_program=""
if grep -q . "$work/lab.log" 2>/dev/null; then
  echo "--- browser lab log"
  cat "$work/lab.log"
fi
exit $status
