// The facts of an MPEG transport stream: the codecs from the program map's
// stream types, the length from the first and last presentation times
// (packets at the start and at the end of the bytes).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "app/browser_caches/cache_files.h"
#include "app/media_facts/media_facts.h"

// What the packets in `head` and `tail` (each from its own start, perhaps
// not on a packet boundary) say.  `tail` may be empty (then no length).
MediaFacts TransportStreamFacts(std::span<const std::uint8_t> head, std::span<const std::uint8_t> tail);

// Nothing when the file does not start with packets.
std::optional<MediaFacts> TransportStreamFactsRead(CacheFile& file);
