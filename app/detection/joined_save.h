// Saving a presentation's picture and sound as one muxed file, for the
// watch's streams and elements alike.
#pragma once

#include <cstdint>

#include "app/browser_caches/cache_files.h"
#include "app/detection/detection_paths.h"
#include "app/detection/detection_texts.h"
#include "runtime/core/text.h"

// Muxes the two tracks into a temporary file of the save folder, gives it
// the detection time's free name with the muxed container's extension, and
// tells the user it was saved or could not be.  False when the muxer
// refused the tracks: that is told too, and the caller saves each track on
// its own.
bool JoinedSaveTold(CacheFile& video, CacheFile& audio, std::uint64_t lastWritten, const DestinationName& name,
                    const DetectionTexts& texts);
