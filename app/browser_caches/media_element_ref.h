// A media element of a browser cache folder, named so that it can be read
// again later (when the user confirms its prompt): the folder, the store,
// and the entry (simple cache: its file; block files: its key and the
// signature of its range children; Firefox: its file).  A stream (HLS, DASH,
// a group of segments) is named by its address and the entries of its
// playlists and segments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/media_signature.h"

// One cache entry of a stream: a playlist or a segment.
struct StreamPartRef {
  CacheStore store = CacheStore::ChromiumSimple;
  std::string fileName;  // as in MediaElementRef
  std::string key;
  friend bool operator==(const StreamPartRef&, const StreamPartRef&) = default;
};

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
  // A stream: webAddress is its playlist's (or its group's first segment's),
  // nature and extension are the joined file's, the parts are non-empty.
  std::string representation;  // DASH: the Representation's id
  bool segmentGroup = false;   // segments no playlist names
  std::vector<StreamPartRef> streamParts;

  bool IsStream() const { return !streamParts.empty(); }
};
