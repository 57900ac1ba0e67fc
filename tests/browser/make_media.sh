#!/usr/bin/env bash
# Makes the small media the browser tests serve, into OUTDIR: an MP4 larger
# than 1 MiB (moov first), a WebM and an MP3.  Bit-exact flags keep the bytes
# the same on every run with the same ffmpeg, so media.sha256 can tell when
# a different ffmpeg made different files (the tests compare against the
# files actually served, so they do not depend on it).
set -euo pipefail
out="${1:?usage: make_media.sh OUTDIR}"
mkdir -p "$out"
common=(-hide_banner -loglevel error -y)
exact=(-map_metadata -1 -fflags +bitexact -flags:v +bitexact -flags:a +bitexact)
ffmpeg "${common[@]}" -f lavfi -i testsrc=size=640x360:rate=25:duration=6 -f lavfi -i sine=frequency=440:duration=6 \
  -c:v libx264 -threads 1 -preset veryfast -b:v 2500k -minrate 2500k -maxrate 2500k -bufsize 2500k -x264-params nal-hrd=cbr -pix_fmt yuv420p -c:a aac -b:a 96k \
  -movflags +faststart "${exact[@]}" "$out/clip.mp4"
ffmpeg "${common[@]}" -f lavfi -i testsrc=size=320x240:rate=25:duration=4 -f lavfi -i sine=frequency=660:duration=4 \
  -c:v libvpx -threads 1 -b:v 400k -c:a libvorbis -b:a 64k "${exact[@]}" "$out/clip.webm"
ffmpeg "${common[@]}" -f lavfi -i sine=frequency=880:duration=3 -c:a libmp3lame -b:a 64k "${exact[@]}" "$out/tone,1.mp3"
