// Which reader a body's facts come from: its first bytes choose the
// container (MP4, Matroska, transport stream, else MP3 or ADTS frames).
#pragma once

#include <cstdint>
#include <optional>

#include "app/browser_caches/cache_files.h"
#include "app/media_facts/media_facts.h"

// The facts of a whole file or element body.  `fullLength` is the whole
// body's length when only its beginning is present (a bitrate estimate
// then covers the whole).
MediaFacts MediaFactsRead(CacheFile& file, std::optional<std::uint64_t> fullLength = std::nullopt);
