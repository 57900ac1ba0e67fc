// The entries of a block-file cache that are new since the last look, found
// without reading the whole index: the browser puts every entry it creates
// or uses at the head of a rankings list (index header, lists of nodes in
// data_0, each with the time of its last use), so the new ones are those
// from the heads down to the first used before the last look.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/browser_caches/cache_files.h"
#include "app/browser_caches/chromium_block_owner.h"

// Where the last look ended: the index header it saw and the newest use.
struct BlockFileNewsMark {
  bool set = false;
  std::vector<std::uint8_t> header;
  std::uint64_t newestUse = 0;   // the rankings' time (microseconds since 1601)
  std::uint32_t newestNode = 0;  // the rankings node used then, read already
};

struct BlockFileNews {
  bool readable = false;  // the index could be read
  bool changed = false;   // its header differed from the mark's
  // The elements of the new or newly used entries, newest first, each once
  // (a range child gives its parent's key and its signature).
  std::vector<BlockFileOwner> entries;
  bool cut = false;  // more than `maxEntries` were new
};

// Reads the index header; only when it changed since `mark`, walks the lists
// down to the mark's time.  A mark not set yet is set without a walk, unless
// `fromStart` (a cache made during the watch: all of it is new).  Costs one
// read of 368 bytes when nothing changed, and two small reads per new entry.
BlockFileNews BlockFileNewsRead(CacheFolder& folder, BlockFileNewsMark& mark, bool fromStart,
                                std::size_t maxEntries);
