// The facts of a Matroska or WebM file: Info's duration and scale, and each
// TrackEntry's codec and picture size.  Only the masters before the first
// Cluster are read.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "app/browser_caches/cache_files.h"
#include "app/media_facts/media_facts.h"

// From the data of the Info and Tracks masters (either may be empty).
MediaFacts MatroskaFactsFromMasters(std::span<const std::uint8_t> info, std::span<const std::uint8_t> tracks);

// Nothing when the file does not start with an EBML header and a Segment.
std::optional<MediaFacts> MatroskaFactsRead(CacheFile& file);

// "VP9", "Opus"... for a CodecID; the ID itself for others.
std::string MatroskaCodecName(std::string_view codecId);
