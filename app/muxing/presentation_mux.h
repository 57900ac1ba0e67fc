// The one entry for muxing a presentation's two tracks: picks the output by
// the tracks' containers (MP4 for fragmented MP4 tracks, WebM for WebM
// tracks, Matroska where WebM cannot carry a codec) and runs its muxer.
// Adding a container is a muxer and a line here.
#pragma once

#include <string_view>

#include "app/browser_caches/cache_files.h"
#include "app/muxing/mux_output.h"
#include "app/muxing/mux_result.h"

struct PresentationMuxResult : MuxResult {
  std::string_view extension;  // of the file written: "mp4", "webm" or "mkv"; empty when none
};

// The extension the muxed file would have, to name it before writing; empty
// when the two files are no pair the muxers take (a track fault shows only
// when muxing).
std::string_view PresentationMuxedExtension(CacheFile& first, CacheFile& second);

PresentationMuxResult PresentationMuxWrite(CacheFile& first, CacheFile& second, MuxOutput& output);
