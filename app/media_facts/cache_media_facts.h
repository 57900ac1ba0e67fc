// The facts of what the cache holds: an element's body as far as it is
// present without a hole, or a stream's pieces joined; a stream's length is
// its playlist's where the playlist gives one (the whole stream, not only
// the segments cached).
#pragma once

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_files.h"
#include "app/media_facts/media_facts.h"
#include "app/streams/cache_streams.h"

MediaFacts MediaFactsOfElement(CacheFolder& folder, const CacheElement& element);
MediaFacts MediaFactsOfStream(CacheFolder& folder, const CacheStream& stream);
