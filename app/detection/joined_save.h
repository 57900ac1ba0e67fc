// Saving a presentation's picture and sound as one muxed file, for the
// watch's streams and elements alike.
#pragma once

#include <cstdint>

#include "app/browser_caches/cache_files.h"
#include "app/detection/detection_paths.h"
#include "app/muxing/presentation_mux.h"
#include "runtime/core/text.h"

// Muxes the two tracks into a temporary file of the save folder, then gives
// it the detection time's free name with the muxed container's extension.
// `saved` tells whether the file took its name; the result why not.
PresentationMuxResult JoinedSave(CacheFile& video, CacheFile& audio, std::uint64_t lastWritten,
                                 const DestinationName& name, Text& written, bool& saved);

// The refusal told: which track and why, and that both are saved apart.
void NotJoinedShow(const PresentationMuxResult& result);
