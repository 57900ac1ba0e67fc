// A stream of the live watch read again from the cache: its parts (the
// playlists and segments the watch kept, named by their entries) or, where
// segments may have arrived since, every element of the folder; and the
// stream of those that a watch reference names.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_files.h"
#include "app/browser_caches/media_element_ref.h"
#include "app/browser_caches/media_signature.h"
#include "app/streams/cache_streams.h"

// The element of a part as the cache holds it now; nothing when the browser
// dropped it, or replaced it by an entry of another key.
std::optional<CacheElement> StreamPartRead(CacheFolder& folder, const StreamPartRef& part);

// Elements with what their first bytes say, ready for CacheStreamsFind.
struct StreamElements {
  std::vector<CacheElement> elements;
  std::vector<MediaSignature> signatures;
};

// The parts that can still be read, each sniffed.
StreamElements StreamPartsRead(CacheFolder& folder, std::span<const StreamPartRef> parts);
// Every element of the folder's store, each with a body sniffed.
StreamElements StreamFolderRead(CacheFolder& folder, CacheStore store);

// Which stream a watch reference names: a playlist's by its address and
// representation; a group's by its first segment, or (once its playlist is
// there too) the stream that now holds that segment.  Null when none.
const CacheStream* StreamNamed(const CacheStreams& streams, const std::string& address,
                               const std::string& representation, bool segmentGroup);
