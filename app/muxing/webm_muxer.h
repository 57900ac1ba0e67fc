// A video and a sound track, each from its own WebM (or Matroska) file,
// written as one: WebM when both codecs are WebM's, else Matroska.  Frames
// are copied with their flags and timestamps as they were (so both tracks
// keep their places on the common clock), interleaved in timestamp order in
// clusters of about a second that start at a video keyframe, with Cues for
// seeking.  The layout is run twice: once only counting bytes (for the
// Segment's size and where the Cues go), then writing; memory is one
// cluster's frame list and a copy buffer.
#pragma once

#include "app/browser_caches/cache_files.h"
#include "app/muxing/mux_result.h"
#include "app/muxing/mux_output.h"

struct WebmMuxResult : MuxResult {
  bool matroska = false;  // the output is Matroska (.mkv), not WebM
};

WebmMuxResult WebmMuxTracks(CacheFile& first, CacheFile& second, MuxOutput& output);
