// The file names that can belong to an element of a Chromium cache, told
// from the name alone: the cheap test every new file of a watch passes.
#pragma once

#include <string_view>

enum class CacheFileKind {
  None,           // no cache file of interest
  Index,          // "index": tells a cache folder and its store
  SimpleEntry,    // "<16 hex>_0" or "<16 hex>_s"
  BlockExternal,  // "f_xxxxxx": one stream of a block-file entry
};

CacheFileKind CacheFileKindOf(std::string_view fileName);
