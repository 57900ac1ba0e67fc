// One Chromium cache folder ("Cache_Data"), whichever of its two stores it
// holds: told apart by the first bytes of its "index" file.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_files.h"

// ChromiumBlockFiles or ChromiumSimple; empty when the folder has no index
// of either kind (not a Chromium cache, or the experimental SQLite store).
std::optional<CacheStore> ChromiumStoreOf(CacheFolder& folder);

// Every element of the folder's store; none when it is not a Chromium cache.
std::vector<CacheElement> ChromiumCacheRead(CacheFolder& folder);
// The same, each element handed to `sink` as it is read.
void ChromiumCacheVisit(CacheFolder& folder, const CacheElementSink& sink);

// The element a cache file belongs to, read again cheaply to follow its
// growth: for the simple cache the entry named by the file ("<hash>_0",
// "_s"); for the block files the element whose key is `key` (as an earlier
// read reported it: an "f_" file or data block alone does not name it),
// with the children whose keys carry `rangeSignature` while its entry does
// not list them yet (BlockFileElementRead).
std::optional<CacheElement> ChromiumElementRead(CacheFolder& folder, CacheStore store,
                                                std::string_view fileName, std::string_view key,
                                                std::uint64_t rangeSignature = 0);
