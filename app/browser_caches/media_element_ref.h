// A media element of a Chromium cache folder, named so that it can be read
// again later (when the user confirms its prompt): the folder, the store,
// and the entry (simple cache: its file; block files: its key and the
// signature of its range children).
#pragma once

#include <cstdint>
#include <string>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/media_signature.h"

struct MediaElementRef {
  std::uint64_t session = 0;   // the watch session that found it
  std::u16string folderExact;  // the cache folder's exact path (UTF-16)
  std::string folderAnsi;      // the same in the ANSI code page
  CacheStore store = CacheStore::ChromiumSimple;
  std::string fileName;  // simple cache: "<16 hex>_0"; empty for block files
  std::string key;       // the entry's key as stored
  // Block files: the signature of its range children's keys, which finds
  // them while the browser still writes the answer (0 when none is known).
  std::uint64_t rangeSignature = 0;
  std::string webAddress;
  MediaNature nature = MediaNature::Unknown;  // Video or Audio
  std::string extension;                      // the container's, without the dot ("mp4")
};
