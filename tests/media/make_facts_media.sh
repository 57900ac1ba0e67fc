#!/usr/bin/env bash
# Makes the files whose facts (length, picture size, codecs) the media-facts
# tests compare with ffprobe's, with Debian's ffmpeg: one per container
# shape the readers know.  Usage: make_facts_media.sh OUTDIR
# Each file is made once; a file already there is kept.
set -euo pipefail
out="${1:?usage: make_facts_media.sh OUTDIR}"
mkdir -p "$out"
common=(-v error -y -nostdin -threads 1)
x264=(-c:v libx264 -preset ultrafast -pix_fmt yuv420p)

make() {  # name, ffmpeg arguments...
  local name=$1; shift
  [ -s "$out/$name" ] || ffmpeg "${common[@]}" "$@" "$out/$name.part.${name##*.}"
  [ -s "$out/$name" ] || mv "$out/$name.part.${name##*.}" "$out/$name"
}
video() {  # seconds, size, rate
  echo -f lavfi -i "testsrc=size=$2:rate=$3:duration=$1"
}
tone() {  # seconds, rate
  echo -f lavfi -i "sine=frequency=440:sample_rate=$2:duration=$1"
}

# MP4 with its moov after the media (as ffmpeg writes it) and before it.
make moov_last.mp4 $(video 3 320x240 25) $(tone 3 44100) "${x264[@]}" -bf 2 -c:a aac -b:a 64k
make moov_first.mp4 $(video 5 640x360 30) $(tone 5 48000) "${x264[@]}" -c:a aac -movflags +faststart
# Fragmented: no length in moov (fragment times), and a single track with one sidx.
make fragmented.mp4 $(video 4 320x180 25) $(tone 4 48000) "${x264[@]}" -g 25 -c:a aac \
  -movflags frag_keyframe+empty_moov+default_base_moof
make sidx.mp4 $(video 3 256x144 25) "${x264[@]}" -an -movflags frag_keyframe+empty_moov+default_base_moof+dash+global_sidx
# H.265 in MP4, sound only in MP4.
make hevc.mp4 $(video 2 320x240 25) -c:v libx265 -preset ultrafast -x265-params log-level=none -tag:v hvc1 -an
make sound.m4a $(tone 6 44100) -c:a aac -b:a 96k -vn
# WebM and Matroska.
make vp9_opus.webm $(video 3 320x240 25) $(tone 3 48000) -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 200k -c:a libopus
make vorbis.webm $(tone 4 44100) -c:a libvorbis -q:a 2 -vn
make h264_aac.mkv $(video 3 426x240 25) $(tone 3 48000) "${x264[@]}" -c:a aac
# MP3: constant bitrate without a Xing/Info frame, with an Info frame, and variable bitrate.
make cbr.mp3 $(tone 7 44100) -c:a libmp3lame -b:a 128k -write_xing 0
make cbr_info.mp3 $(tone 5 44100) -c:a libmp3lame -b:a 96k
make vbr.mp3 $(tone 6 48000) -c:a libmp3lame -q:a 4
make mono_22k.mp3 $(tone 4 22050) -c:a libmp3lame -q:a 6 -ac 1
# AAC in ADTS frames: short (every frame counted) and longer than the count budget.
make short.aac $(tone 5 44100) -c:a aac -b:a 64k -f adts
make long.aac $(tone 100 48000) -c:a aac -b:a 128k -f adts
# MPEG-TS: H.264 with AAC, and sound only.
make video.ts $(video 4 320x240 25) $(tone 4 48000) "${x264[@]}" -c:a aac -f mpegts
make sound.ts $(tone 3 44100) -c:a aac -f mpegts
