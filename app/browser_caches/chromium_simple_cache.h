// Chromium's simple cache (net/disk_cache/simple/): one entry per
// "<16 hex>_0" (headers and body), "_1" (stream 2, unused here) and "_s"
// (range answers).  The readers only look at the named files, so following
// one growing entry costs two small reads, whatever the size of the cache.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_files.h"

// "<16 hex>" for a simple-cache entry file name ("<16 hex>_0", "_1", "_s");
// empty for any other name.
std::string_view SimpleCacheEntryNameOf(std::string_view fileName);

// The element of one entry, from "<entryName>_0" and "<entryName>_s".  Empty
// when neither file holds a valid entry.  `lastWritten` is left 0.
std::optional<CacheElement> SimpleCacheEntryRead(CacheFolder& folder, std::string_view entryName);

// Every element of a simple-cache folder, with the files' write times, in
// the order of their entry names.
std::vector<CacheElement> SimpleCacheElementsRead(CacheFolder& folder);
// The same, each element handed to `sink` as it is read.
void SimpleCacheElementsVisit(CacheFolder& folder, const CacheElementSink& sink);
