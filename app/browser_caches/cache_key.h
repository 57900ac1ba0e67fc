// Chromium's HTTP cache keys (net/http/http_cache.cc): an optional
// "<credentials>/<upload id>/" prefix, with the split cache "_dk_" and the
// isolation sites separated by blanks, then the URL.  Range answers kept in
// the block files are split into child entries of 1 MiB whose keys name the
// parent's key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The URL inside a key (a view into it); empty when the key holds none.
std::string_view CacheKeyUrl(std::string_view key);

struct RangeChildKey {
  std::string_view parentKey;  // a view into the child's key
  std::uint64_t signature = 0;
  std::uint64_t childIndex = 0;  // element offset >> 20
};

// "Range_<parent key>:<signature hex>:<child index hex>".
std::optional<RangeChildKey> RangeChildKeyParse(std::string_view key);
// The key of a child, as the browser makes it (lower-case hex).
std::string RangeChildKeyMake(std::string_view parentKey, std::uint64_t signature, std::uint64_t childIndex);
