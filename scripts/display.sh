# Sourced: makes sure DISPLAY names a live X display, starting Xvfb when not.
# Sets EE_XVFB_PID when it started one; display_stop stops that one only.
EE_XVFB_PID=""
display_start() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local n
  for n in $(seq 90 160); do
    # An X server that was killed leaves its lock and socket behind; a lock
    # whose process is gone is stale, and its number can be used again.
    if [ -e "/tmp/.X$n-lock" ]; then
      local owner
      owner=$(tr -d ' ' < "/tmp/.X$n-lock" 2>/dev/null)
      [ -n "$owner" ] && kill -0 "$owner" 2>/dev/null && continue
      rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
    fi
    [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    EE_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
      xdpyinfo >/dev/null 2>&1 && { echo "display: started Xvfb on $DISPLAY" >&2; return 0; }
      sleep 0.1
    done
    kill "$EE_XVFB_PID" 2>/dev/null || true
    EE_XVFB_PID=""
  done
  echo "display: could not start Xvfb" >&2
  return 1
}
display_stop() {
  if [ -n "$EE_XVFB_PID" ]; then
    kill "$EE_XVFB_PID" 2>/dev/null || true
    wait "$EE_XVFB_PID" 2>/dev/null || true
    EE_XVFB_PID=""
  fi
}
