// The file names that can belong to an element of a Chromium cache or a
// Firefox cache2, told from the name alone: the cheap test every new file of
// a watch passes.
#pragma once

#include <string_view>

enum class CacheFileKind {
  None,           // no cache file of interest
  Index,          // "index": tells a cache folder and its store
  SimpleEntry,    // "<16 hex>_0" or "<16 hex>_s"
  BlockExternal,  // "f_xxxxxx": one stream of a block-file entry
  BlockData,      // "data_0".."data_3": the block files of a block-file cache
  FirefoxEntry,   // "<40 upper-case hex>": a cache2 entry (its folder decides)
};

CacheFileKind CacheFileKindOf(std::string_view fileName);
