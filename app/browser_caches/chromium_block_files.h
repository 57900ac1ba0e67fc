// Chromium's block-file cache (net/disk_cache/blockfile/), the default of
// Chrome and Edge on Windows: "index" (a hash table of cache addresses),
// "data_0".."data_3" (blocks of 36, 256, 1024 and 4096 bytes) and
// "f_xxxxxx" (one stream each, raw bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_files.h"

// The browser's hash of a key (base::PersistentHash, SuperFastHash).
std::uint32_t BlockFileKeyHash(std::string_view key);

// What one read may spend, whatever the folder's numbers ask for.  Keys over
// 8 KiB are never read, and a long-key record serves one entry per walk.
struct BlockFileBudget {
  // Entry records and keys one walk of the index holds; the walk ends there
  // (the elements met so far are still given).
  std::uint64_t walkBytes = 64ull << 20;
  // Pieces of one element's body (whole 1 MiB children make one each); an
  // element with more holes than that keeps its first pieces, never finished.
  std::size_t piecesPerElement = 1u << 16;
};

// Every element of a block-file cache: one per entry that is not a range
// child, with its children (1 MiB each) put in place.
std::vector<CacheElement> BlockFileElementsRead(CacheFolder& folder, const BlockFileBudget& budget = {});
// The same, each element handed to `sink` as it is put together.
void BlockFileElementsVisit(CacheFolder& folder, const CacheElementSink& sink,
                            const BlockFileBudget& budget = {});

// One element by its key, found as the browser finds it: the key's bucket of
// the index, that bucket's chain, and for range answers each child by the
// hash of its key.  Costs a few small reads per 1 MiB of body, whatever the
// number of entries; for following a growing element.  The parent of a range
// answer lists its children only once the browser closed it: until then they
// are found by `rangeSignature` (the signature their keys carry, as a child's
// key told it), from child 0 to the first one missing.  Empty when the key is
// not (or no longer) in the cache or its entry is damaged.
std::optional<CacheElement> BlockFileElementRead(CacheFolder& folder, std::string_view key,
                                                 std::uint64_t rangeSignature = 0,
                                                 const BlockFileBudget& budget = {});
