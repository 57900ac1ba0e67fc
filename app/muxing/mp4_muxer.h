// Two fragmented MP4 tracks (a video and a sound track, each from its own
// file) written as one fragmented MP4: the sample entries copied, every
// sample's bytes and times kept as they were, the two tracks interleaved
// about a second at a time, and edit lists that start each track where it
// started in its source so that picture and sound stay in sync.  Memory is
// one fragment's sample table per track and a copy buffer, whatever the
// length.  Fragmented output because a player finds a fragment's samples in
// the moof before it, so nothing of the whole file has to be held.
#pragma once

#include <cstdint>

#include "app/browser_caches/cache_files.h"
#include "app/muxing/mux_result.h"
#include "app/muxing/mux_output.h"

// Muxes the track of `first` and of `second` (either order: video goes first
// in the output).  Nothing is written when a track is refused.
MuxResult Mp4MuxTracks(CacheFile& first, CacheFile& second, MuxOutput& output);
