#!/usr/bin/env bash
# The muxer on tracks made by Debian's ffmpeg: makes them (once) in OUTDIR,
# then runs the muxer's media tests, which check their output with ffprobe
# and ffmpeg.  Usage: mux_media_test.sh MUX_MEDIA_TESTS OUTDIR
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
tests="${1:?usage: mux_media_test.sh MUX_MEDIA_TESTS OUTDIR}"
out="${2:?usage: mux_media_test.sh MUX_MEDIA_TESTS OUTDIR}"
"$here/make_tracks.sh" "$out/tracks"
rm -rf "$out/muxed"; mkdir -p "$out/muxed"
EE_MUX_TRACKS="$out/tracks" EE_MUX_OUT="$out/muxed" "$tests"
