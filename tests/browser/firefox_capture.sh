#!/usr/bin/env bash
# Fills a real Firefox cache: makes the test media, serves them with a page
# that plays them, lets Debian's firefox-esr (headless, its own profile) load
# the page, then ends it.  Usage: firefox_capture.sh OUTDIR [PLAY_SECONDS]
# Leaves OUTDIR/site (the files served), OUTDIR/cache/cache2 (what Firefox
# kept), OUTDIR/during/cache2/entries (a copy taken while the media were
# loading) and OUTDIR/server.log.  Exits non-zero when a step fails.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="${1:?usage: firefox_capture.sh OUTDIR [PLAY_SECONDS]}"
play="${2:-5}"
command -v firefox-esr >/dev/null || { echo "firefox_capture: firefox-esr not installed" >&2; exit 2; }
rm -rf "$out"; mkdir -p "$out/site" "$out/profile" "$out/cache" "$out/tmp"
out="$(cd "$out" && pwd)"

"$here/make_media.sh" "$out/site"
(cd "$out/site" && sha256sum -c --quiet "$here/media.sha256") ||
  echo "firefox_capture: note: this ffmpeg makes other bytes than media.sha256 records" >&2
cat >"$out/site/index.html" <<'HTML'
<!doctype html>
<html><body>
<video src="clip.mp4" autoplay muted preload="auto"></video>
<video src="clip.webm" autoplay muted preload="auto"></video>
<audio src="tone,1.mp3" autoplay preload="auto"></audio>
</body></html>
HTML

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -f "$out/profile/lock"; }
trap cleanup EXIT

python3 -u "$here/media_server.py" "$out/site" 0 262144 >"$out/server.port" 2>"$out/server.log" &
pids+=($!)
for _ in $(seq 100); do grep -q '^port ' "$out/server.port" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/^port /{print $2}' "$out/server.port")
[ -n "$port" ] || { echo "firefox_capture: the page server did not start" >&2; exit 1; }

cat >"$out/profile/user.js" <<JS
user_pref("media.autoplay.default", 0);
user_pref("media.autoplay.blocking_policy", 0);
user_pref("browser.cache.disk.parent_directory", "$out/cache");
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.update.enabled", false);
user_pref("browser.aboutwelcome.enabled", false);
JS

TMPDIR="$out/tmp" MOZ_HEADLESS=1 firefox-esr --headless --no-remote --profile "$out/profile" \
  "http://127.0.0.1:$port/index.html" >"$out/firefox.log" 2>&1 &
fox=$!
pids+=($fox)
# Wait until every medium was asked for (a generous bound), then let them play.
for _ in $(seq 600); do
  if grep -q 'GET /clip.mp4' "$out/server.log" && grep -q 'GET /clip.webm' "$out/server.log" &&
     grep -q 'GET /tone,1.mp3' "$out/server.log"; then break; fi
  kill -0 "$fox" 2>/dev/null || { echo "firefox_capture: firefox ended early" >&2; exit 1; }
  sleep 0.1
done
grep -q 'GET /tone,1.mp3' "$out/server.log" || { echo "firefox_capture: not every medium was fetched" >&2; exit 1; }
# A copy while the MP4 (sent slowly) is still coming in: its entry is a raw
# body without metadata yet.
mp4_entry_started() {
  local f
  for f in "$out"/cache/cache2/entries/*; do
    [ "$(stat -c %s "$f" 2>/dev/null || echo 0)" -ge 65536 ] && cmp -s -n 4096 "$f" "$out/site/clip.mp4" && return 0
  done
  return 1
}
for _ in $(seq 300); do mp4_entry_started && break; sleep 0.1; done
mkdir -p "$out/during/cache2"
cp -r "$out/cache/cache2/entries" "$out/during/cache2/" 2>/dev/null || true
for _ in $(seq 600); do grep -q '^sent clip.mp4' "$out/server.log" && break; sleep 0.1; done
sleep "$play"
kill -TERM "$fox"
for _ in $(seq 300); do kill -0 "$fox" 2>/dev/null || break; sleep 0.1; done
kill -KILL "$fox" 2>/dev/null || true
wait "$fox" 2>/dev/null || true
rm -f "$out/profile/lock"
[ -d "$out/cache/cache2/entries" ] || { echo "firefox_capture: no cache2/entries in $out/cache" >&2; exit 1; }
echo "firefox_capture: $(ls "$out/cache/cache2/entries" | wc -l) entries in $out/cache/cache2/entries"
