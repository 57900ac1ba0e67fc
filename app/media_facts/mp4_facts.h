// The facts of an MP4: the movie's and tracks' durations, the picture's
// size and the sample entries' codecs from moov; for a fragmented file
// whose moov leaves the length open, mehd, a sidx or the first and last
// fragments' times.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "app/browser_caches/cache_files.h"
#include "app/media_facts/media_facts.h"

// From a moov box's bytes (header included).
MediaFacts Mp4FactsFromMoov(std::span<const std::uint8_t> moov);

// Nothing when the file holds no moov the reader can reach (before any
// fragment, within the header cap).
std::optional<MediaFacts> Mp4FactsRead(CacheFile& file);

// "H.264", "AAC"... for a sample entry type (and, for mp4a, the decoder
// configuration's object type; 0 when unknown).
std::string Mp4CodecName(std::string_view entryType, std::uint8_t objectType);
