#!/usr/bin/env bash
# The browser lab's stream pages against the real browsers: starts the lab
# (tests/e2e/browsers/browser_lab.py), lets chromium (block files, then the
# simple cache) and firefox-esr load /streams/all.html, which runs every
# stream page in a frame of its own, waits until every page's player said it
# is done, ends the browser, and has the cache readers' test check the three
# caches against the bytes the lab serves.  The same three then load
# /streams/encoded.html over HTTPS (runs named <run>-tls): its playlists
# come gzip-, br- and zstd-encoded.
# Usage: stream_cache_test.sh STREAM_CACHE_TESTS OUTDIR
# Leaves OUTDIR/runs/<run> (each browser's user data folder with its cache
# and pages/<page>.txt, what /control/page said after the run),
# OUTDIR/served (every stream file as fetched over HTTP), OUTDIR/files.txt
# and OUTDIR/lab.log.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
tests="${1:?usage: stream_cache_test.sh STREAM_CACHE_TESTS OUTDIR}"
out="${2:?usage: stream_cache_test.sh STREAM_CACHE_TESTS OUTDIR}"
lab_script="$here/../e2e/browsers/browser_lab.py"
began=$(date +%s.%N)
rm -rf "$out"; mkdir -p "$out/runs" "$out/served"
out="$(cd "$out" && pwd)"
# A short folder for the lab: Chromium's socket path below it must stay short.
work="$(mktemp -d /tmp/eelab.XXXXXX)"
lab=""
cleanup() {
  if [ -n "$lab" ] && kill -0 "$lab" 2>/dev/null; then
    kill -TERM "$lab"
    # The lab ends its browsers before it exits.
    for _ in $(seq 300); do kill -0 "$lab" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$lab" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

python3 "$lab_script" --serve --work "$work/lab" --port-file "$work/port" --parent-pid $$ >"$out/lab.log" 2>&1 &
lab=$!
for _ in $(seq 600); do
  [ -s "$work/port" ] && break
  kill -0 "$lab" 2>/dev/null || break
  sleep 0.1
done
[ -s "$work/port" ] || { echo "stream_cache: the browser lab did not start:" >&2; cat "$out/lab.log" >&2; exit 1; }
echo "stream_cache: lab serving after $(awk -v a="$began" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s"
url="http://127.0.0.1:$(cat "$work/port")"
echo "$url" >"$out/lab-url"
[ -s "$work/port.tls" ] || { echo "stream_cache: the lab serves no HTTPS (openssl missing?)" >&2; exit 1; }
echo "https://127.0.0.1:$(cat "$work/port.tls")" >"$out/lab-url-tls"

control() {  # action, key=value lines
  curl -sS --max-time 120 --data-binary "${2:-}" "$url/control/$1"
}
value() {  # key, key=value text
  awk -v key="$1" 'index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }' <<<"$2"
}

for run in chromium-blockfile chromium-simple firefox chromium-blockfile-tls chromium-simple-tls firefox-tls; do
  started=$(date +%s.%N)
  folder="$out/runs/$run"
  browser=${run%%-*}
  store=${run#chromium-}
  store=${store%-tls}
  tls=0 all=/streams/all.html
  [ "${run%-tls}" = "$run" ] || tls=1 all=/streams/encoded.html
  pages="$(value parts "$(control page page=$all)" | tr ',' ' ')"
  [ -n "$pages" ] || { echo "stream_cache: the lab lists no stream pages in $all" >&2; exit 1; }
  launched="$(control launch "browser=$browser
store=$store
tls=$tls
userDataDir=$folder
page=$all")"
  id="$(value id "$launched")"
  [ -n "$id" ] || { echo "stream_cache: $run did not start: $launched" >&2; exit 1; }
  idle="$(control wait-idle "page=$all
timeout=90000")"
  # Each page's account of the run (the counters end with the next launch).
  mkdir -p "$folder/pages"
  for page in $pages; do
    name="${page##*/}"
    control page "page=$page" >"$folder/pages/${name%.html}.txt"
  done
  stopped="$(control stop "id=$id")"
  if [ "$(value idle "$idle")" != 1 ]; then
    echo "stream_cache: $run did not finish the stream pages: $idle" >&2
    exit 1
  fi
  [ "$(value remaining "$stopped")" = 0 ] || { echo "stream_cache: $run left processes: $stopped" >&2; exit 1; }
  echo "stream_cache: $run: pages done after $(value waitedMs "$idle") ms of waiting, run $(value runMs "$stopped") ms," \
    "whole step $(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s"
done

# The bytes as served, fetched as any client fetches them (one connection)
# and checked against what the lab says it serves.
control files >"$out/files.txt"
fetches=()
sums=""
while IFS= read -r line; do
  path="${line%.sha256=*}"
  mkdir -p "$out/served${path%/*}"
  fetches+=(-o "$out/served$path" "$url$path")
  sums+="${line##*=}  $out/served$path"$'\n'
done < <(grep -E '^/streams/[^=]+/[^=/]+\.sha256=' "$out/files.txt")
[ ${#fetches[@]} -gt 0 ] || { echo "stream_cache: the lab lists no stream files" >&2; exit 1; }
curl -sS --fail --max-time 60 "${fetches[@]}"
printf %s "$sums" | sha256sum --check --quiet ||
  { echo "stream_cache: files came over HTTP other than the lab states" >&2; exit 1; }
echo "stream_cache: $((${#fetches[@]} / 3)) stream files fetched for comparison"

EE_STREAM_CAPTURE="$out" "$tests"
echo "stream_cache: $(awk -v a="$began" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s in all"
