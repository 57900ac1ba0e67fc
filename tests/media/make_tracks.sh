#!/usr/bin/env bash
# Makes the separate video and sound tracks the muxer tests join, with
# Debian's ffmpeg: fragmented MP4 (whole files, files with one sidx, and an
# init segment with its segments) and WebM.  Usage: make_tracks.sh OUTDIR
# Each file is made once; a file already there is kept.
set -euo pipefail
out="${1:?usage: make_tracks.sh OUTDIR}"
mkdir -p "$out"
common=(-v error -y -nostdin -threads 1)
frag=(-movflags frag_keyframe+empty_moov+default_base_moof)
sidx=(-movflags frag_keyframe+empty_moov+default_base_moof+dash+global_sidx)
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

# H.264 with B-frames (composition offsets, an edit list) and AAC, 4 s each.
make h264_bframes.mp4 $(video 4 320x240 25) "${x264[@]}" -bf 2 -g 25 -an "${frag[@]}"
make aac_48k.mp4 $(tone 4 48000) -c:a aac -b:a 64k -frag_duration 500000 "${frag[@]}"
# Different timescales (90 kHz video, 44.1 kHz sound), the sound 2 s longer.
make h264_90k.mp4 $(video 4 320x240 30) "${x264[@]}" -an -video_track_timescale 90000 "${frag[@]}"
make aac_44k_6s.mp4 $(tone 6 44100) -c:a aac -b:a 64k -frag_duration 1000000 "${frag[@]}"
# Whole files with one sidx (as a DASH SegmentBase resource), H.265 and AV1.
make hevc_sidx.mp4 $(video 3 320x240 25) -c:v libx265 -preset ultrafast -x265-params log-level=none -tag:v hvc1 -an "${sidx[@]}"
make av1_sidx.mp4 $(video 2 160x120 24) -c:v libaom-av1 -cpu-used 8 -row-mt 0 -an "${sidx[@]}"
make opus_sidx.mp4 $(tone 3 48000) -c:a libopus -b:a 48k "${sidx[@]}"
make eac3.mp4 $(tone 3 48000) -c:a eac3 -b:a 96k -movflags frag_keyframe+empty_moov+delay_moov+default_base_moof
# One sample each.
make one_frame.mp4 $(video 1 160x120 25) "${x264[@]}" -frames:v 1 -an "${frag[@]}"
make one_audio.mp4 $(tone 1 48000) -c:a aac -frames:a 1 "${frag[@]}"
# 10,000 fragments: one AAC frame each (1024 samples at 48 kHz, about 213 s).
make aac_10000.mp4 $(tone 214 48000) -c:a aac -b:a 32k -frames:a 10000 -movflags frag_every_frame+empty_moov+default_base_moof
make h264_long.mp4 $(video 214 96x64 2) "${x264[@]}" -g 4 -an "${frag[@]}"
# An init segment and its media segments, as a DASH player fetches them
# (the tests join a run of them, which may start after the first: a track
# that starts later than the other).
if [ ! -s "$out/dash/done" ]; then
  rm -rf "$out/dash"; mkdir -p "$out/dash"
  ffmpeg "${common[@]}" $(video 4 320x240 25) $(tone 4 48000) -map 0:v -map 1:a "${x264[@]}" -g 25 -c:a aac \
    -f dash -seg_duration 1 -use_template 1 -use_timeline 0 \
    -init_seg_name 'init-$RepresentationID$.m4s' -media_seg_name 'chunk-$RepresentationID$-$Number%05d$.m4s' \
    "$out/dash/manifest.mpd"
  touch "$out/dash/done"
fi
# WebM: VP9 and Opus, VP8 and Vorbis.
make vp9.webm $(video 3 320x240 25) -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 200k -an
make opus.webm $(tone 3 48000) -c:a libopus -b:a 48k -vn
make vp8.webm $(video 2 160x120 25) -c:v libvpx -deadline realtime -cpu-used 8 -b:v 100k -an
make vorbis.webm $(tone 2 44100) -c:a libvorbis -q:a 2 -vn
# Matroska: H.264 with B-frames, which WebM does not carry.
make h264.mkv $(video 3 320x240 25) "${x264[@]}" -bf 2 -an
