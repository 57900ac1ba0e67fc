#include "app/media_facts/cache_media_facts.h"

#include <cmath>

#include "app/media_facts/media_facts_read.h"
#include "app/muxing/cache_track_file.h"

MediaFacts MediaFactsOfElement(CacheFolder& folder, const CacheElement& element) {
  // A compressed body's bytes are not the media's.
  if (!element.contentEncoding.empty() || ContiguousLength(element) == 0) return {};
  CacheElementFile file(folder, element);
  return MediaFactsRead(file, element.fullLength);
}

MediaFacts MediaFactsOfStream(CacheFolder& folder, const CacheStream& stream) {
  MediaFacts facts;
  if (!stream.pieces.empty()) {
    CacheStreamFile file(folder, stream);
    facts = MediaFactsRead(file);
  }
  if (stream.playlistSeconds && std::isfinite(*stream.playlistSeconds) && *stream.playlistSeconds > 0)
    facts.seconds = stream.playlistSeconds;
  return facts;
}
