// The facts of bare audio frames: MP3 (MPEG audio layers I to III) and
// AAC in ADTS frames.  An MP3's length comes from its Xing/Info or VBRI
// frame, else from the first frame's bitrate and the size; an ADTS
// stream's from its frames counted within the scan budget, else from the
// bitrate of those counted.
#pragma once

#include <cstdint>
#include <optional>

#include "app/browser_caches/cache_files.h"
#include "app/media_facts/media_facts.h"

// Nothing when the bytes (after an ID3v2 tag) do not start with two frames
// in a row.  `fullLength`: the whole body's length when only its beginning
// is present.
std::optional<MediaFacts> MpegAudioFactsRead(CacheFile& file, std::optional<std::uint64_t> fullLength);
